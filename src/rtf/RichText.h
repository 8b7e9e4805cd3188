#pragma once
// A rich-text document as the note converters read it: character positions with
// per-position character attributes, per-paragraph attributes and lines.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/Color.h"

namespace qb::rtf {

// Automatic text colour, reported as the window-text system colour code.
using qb::kAutoColor;

struct CharAttrs {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    std::uint32_t color = kAutoColor;  // 0x00BBGGRR, or kAutoColor
    int sizePoints = 12;               // whole points, fractions dropped

    bool operator==(const CharAttrs&) const = default;
};

enum class Align { Left, Right, Center, Justify };

struct ParaAttrs {
    Align align = Align::Left;
    bool bulleted = false;  // the paragraph belongs to a list

    bool operator==(const ParaAttrs&) const = default;
};

// The document's UTF-16 units, held one byte each while every unit is below
// U+0100: the model is the largest thing a big note holds, and most notes are
// Latin text. The first wider unit widens the whole store once.
class UnitStore {
public:
    std::size_t size() const { return wide_ ? wideUnits_.size() : narrow_.size(); }
    bool Wide() const { return wide_; }
    char16_t operator[](std::size_t i) const {
        return wide_ ? wideUnits_[i] : static_cast<char16_t>(static_cast<unsigned char>(narrow_[i]));
    }
    // Exactly one of these is valid, as Wide() says.
    const char16_t* WideData() const { return wideUnits_.data(); }
    const unsigned char* NarrowData() const { return reinterpret_cast<const unsigned char*>(narrow_.data()); }

    void reserve(std::size_t n) {
        reserved_ = n;
        if (wide_)
            wideUnits_.reserve(n);
        else
            narrow_.reserve(n);
    }
    void push_back(char16_t u) {
        if (wide_) {
            wideUnits_.push_back(u);
        } else if (u < 0x100) {
            narrow_.push_back(static_cast<char>(u));
        } else {
            Widen();
            wideUnits_.push_back(u);
        }
    }
    // Drops the units from n on.
    void Truncate(std::size_t n) {
        if (wide_)
            wideUnits_.erase(std::min(n, wideUnits_.size()));
        else
            narrow_.erase(std::min(n, narrow_.size()));
    }
    // Appends ASCII bytes as units, dropping control characters but the tab when asked.
    void AppendAscii(std::string_view s, bool dropControls);
    // UTF-8 of units [start, start + len).
    std::string Utf8(std::size_t start, std::size_t len) const;

private:
    void Widen() {
        std::u16string w;
        w.reserve(std::max(reserved_, narrow_.size() + 1));
        for (char c : narrow_) w.push_back(static_cast<unsigned char>(c));
        std::string().swap(narrow_);
        wideUnits_ = std::move(w);
        wide_ = true;
    }

    bool wide_ = false;
    std::size_t reserved_ = 0;
    std::string narrow_;  // Latin-1: the byte is the unit
    std::u16string wideUnits_;
};

// Positions are UTF-16 code units, as the platform's rich-text control counts
// them: a line break is CR LF (two positions, one unit), a character outside
// the basic plane is a surrogate pair (two positions, one unit), every other
// character is one position. Not thread-safe: lookups keep a position hint.
class RichDocument {
public:
    RichDocument();

    // Number of positions N.
    int Length() const { return static_cast<int>(text_.size()); }
    // Positions the unit starting at pos covers: 2 at the CR of CR LF and at a
    // high surrogate, 1 elsewhere, 0 outside 0..N-1.
    int UnitLength(int pos) const;
    // UTF-8 text of the unit at pos; empty outside 0..N-1.
    std::string UnitText(int pos) const;
    // Attributes of the character at pos; at or after N those of the last
    // character (of the insertion point for an empty document).
    CharAttrs CharAt(int pos) const;
    // Attributes of the paragraph holding pos (the last paragraph at or after N).
    ParaAttrs ParaAt(int pos) const;
    // Line index of pos; a line break belongs to the line it ends.
    int LineFromChar(int pos) const;
    int LineCount() const { return static_cast<int>(lineStarts_.size()); }
    // First position of a line; N for an index past the last line.
    int LineStart(int line) const;
    // Where the run of equal character (paragraph) attributes holding pos ends:
    // the first later position whose attributes may differ, or N.
    int CharRunEnd(int pos) const;
    int ParaRunEnd(int pos) const;
    // UTF-8 text of a line without its line break; empty for a bad index.
    std::string LineText(int line) const;
    // True when the line (without its line break) holds nothing above U+0020,
    // so its UTF-8 text trims to nothing; true for a bad index.
    bool LineIsBlank(int line) const;
    // The whole text in UTF-8, lines joined with CR LF.
    std::string PlainText() const;
    const UnitStore& Units() const { return text_; }

private:
    friend class DocumentBuilder;

    struct CharRun {
        int start;
        CharAttrs attrs;
    };
    struct ParaRun {
        int start;
        ParaAttrs attrs;
    };

    UnitStore text_;
    std::vector<CharRun> charRuns_;  // ascending starts, first at 0 when text exists
    std::vector<ParaRun> paraRuns_;  // ascending starts, first at 0
    std::vector<int> lineStarts_;    // first is 0
    CharAttrs emptyAttrs_;           // insertion point of an empty document
    mutable std::size_t charHint_ = 0;
    mutable std::size_t paraHint_ = 0;
    mutable std::size_t lineHint_ = 0;
};

// The lookups below run once or more per position of a conversion, so they
// are defined here where the converter can inline them.
namespace document_detail {

// Index of the last entry whose start is <= pos; entries ascend and the first
// starts at or before every pos asked. The hint makes a forward walk O(1).
template <typename Vec, typename StartOf>
std::size_t FindEntry(const Vec& v, int pos, std::size_t& hint, StartOf startOf) {
    const std::size_t n = v.size();
    if (hint < n && startOf(v[hint]) <= pos) {
        if (hint + 1 == n || startOf(v[hint + 1]) > pos) return hint;
        if (hint + 2 == n || startOf(v[hint + 2]) > pos) return ++hint;
    }
    auto it = std::upper_bound(v.begin(), v.end(), pos, [&](int p, const auto& e) { return p < startOf(e); });
    hint = it == v.begin() ? 0 : static_cast<std::size_t>(it - v.begin()) - 1;
    return hint;
}

}  // namespace document_detail

inline int RichDocument::UnitLength(int pos) const {
    const int n = Length();
    if (pos < 0 || pos >= n) return 0;
    const char16_t u = text_[pos];
    if (pos + 1 < n && ((u == u'\r' && text_[pos + 1] == u'\n') ||
                        (u >= 0xD800 && u <= 0xDBFF && text_[pos + 1] >= 0xDC00 && text_[pos + 1] <= 0xDFFF)))
        return 2;
    return 1;
}

inline CharAttrs RichDocument::CharAt(int pos) const {
    if (charRuns_.empty()) return emptyAttrs_;
    pos = std::clamp(pos, 0, Length() - 1);
    return charRuns_[document_detail::FindEntry(charRuns_, pos, charHint_, [](const CharRun& r) { return r.start; })]
        .attrs;
}

inline ParaAttrs RichDocument::ParaAt(int pos) const {
    if (paraRuns_.empty()) return {};
    pos = std::clamp(pos, 0, Length());
    return paraRuns_[document_detail::FindEntry(paraRuns_, pos, paraHint_, [](const ParaRun& r) { return r.start; })]
        .attrs;
}

inline int RichDocument::LineFromChar(int pos) const {
    pos = std::clamp(pos, 0, Length());
    return static_cast<int>(document_detail::FindEntry(lineStarts_, pos, lineHint_, [](int s) { return s; }));
}

inline int RichDocument::CharRunEnd(int pos) const {
    if (charRuns_.empty() || pos >= Length()) return Length();
    const std::size_t i =
        document_detail::FindEntry(charRuns_, std::max(pos, 0), charHint_, [](const CharRun& r) { return r.start; });
    return i + 1 < charRuns_.size() ? charRuns_[i + 1].start : Length();
}

inline int RichDocument::ParaRunEnd(int pos) const {
    if (paraRuns_.empty() || pos >= Length()) return Length();
    const std::size_t i =
        document_detail::FindEntry(paraRuns_, std::max(pos, 0), paraHint_, [](const ParaRun& r) { return r.start; });
    return i + 1 < paraRuns_.size() ? std::min(paraRuns_[i + 1].start, Length()) : Length();
}

// Reads RTF as real writers produce it; malformed input gives a document, never
// an error. Input that does not start with "{\rtf" is read as plain text.
RichDocument LoadRtf(std::string_view bytes);

// UTF-8 of UTF-16 units; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);

}  // namespace qb::rtf
