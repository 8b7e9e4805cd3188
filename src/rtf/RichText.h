#pragma once
// A rich-text document as the note converters read it: character positions with
// per-position character attributes, per-paragraph attributes and lines.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb::rtf {

// Automatic text colour, reported as the window-text system colour code.
inline constexpr std::uint32_t kAutoColor = 0xFF000008u;

struct CharAttrs {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    std::uint32_t color = kAutoColor;  // 0x00BBGGRR, or kAutoColor
    int sizePoints = 12;                // whole points, fractions dropped

    bool operator==(const CharAttrs&) const = default;
};

enum class Align { Left, Right, Center, Justify };

struct ParaAttrs {
    Align align = Align::Left;
    bool bulleted = false;  // the paragraph belongs to a list

    bool operator==(const ParaAttrs&) const = default;
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
    const std::u16string& Units() const { return text_; }

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

    std::u16string text_;
    std::vector<CharRun> charRuns_;  // ascending starts, first at 0 when text exists
    std::vector<ParaRun> paraRuns_;  // ascending starts, first at 0
    std::vector<int> lineStarts_;    // first is 0
    CharAttrs emptyAttrs_;           // insertion point of an empty document
    mutable std::size_t charHint_ = 0;
    mutable std::size_t paraHint_ = 0;
    mutable std::size_t lineHint_ = 0;
};

// Reads RTF as real writers produce it; malformed input gives a document, never
// an error. Input that does not start with "{\rtf" is read as plain text.
RichDocument LoadRtf(std::string_view bytes);

// UTF-8 of UTF-16 units; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);

}  // namespace qb::rtf
