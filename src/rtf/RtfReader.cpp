// The document model fed by the tokenizer: group state, destinations, code
// pages, and the positions, runs and lines of the resulting document.
#include <algorithm>
#include <array>
#include <unordered_map>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "rtf/CodePage.h"
#include "rtf/RichText.h"
#include "rtf/RtfTokenizer.h"

namespace qb::rtf {

// Appends units and keeps runs, paragraphs and line starts in step with the text.
class DocumentBuilder {
public:
    // The text never has more units than the input has bytes (plus line breaks of
    // plain text); reserving spares the copies of a growing buffer, and pages
    // not used are never touched.
    DocumentBuilder(RichDocument& doc, std::size_t inputBytes) : doc_(doc) { doc_.text_.reserve(inputBytes); }

    int Length() const { return static_cast<int>(doc_.text_.size()); }

    void Unit(char16_t u, const CharAttrs& a) {
        Attrs(a);
        doc_.text_.push_back(u);
        lastWasMark_ = false;
    }

    // Takes the bytes of s up to the first one above 0x7F and returns how many.
    // Control characters are dropped: they would break the CR LF pairing.
    std::size_t Ascii(std::string_view s, const CharAttrs& a) {
        Attrs(a);
        std::size_t len = 0;
        bool controls = false;
#ifdef __SSE2__
        // Sixteen bytes at a time while all are printable ASCII (signed, both
        // 8-bit bytes and control characters compare below the space).
        const __m128i space = _mm_set1_epi8(0x20);
        while (len + 16 <= s.size()) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + len));
            if (_mm_movemask_epi8(_mm_cmplt_epi8(v, space)) != 0) break;
            len += 16;
        }
#endif
        for (; len < s.size(); ++len) {
            const auto c = static_cast<unsigned char>(s[len]);
            if (c >= 0x80) break;
            controls |= c < 0x20;
        }
        auto& text = doc_.text_;
        const std::size_t before = text.size();
        text.AppendAscii(s.substr(0, len), controls);
        if (text.size() != before) lastWasMark_ = false;
        return len;
    }

    void Break(const CharAttrs& a) {
        Attrs(a);
        doc_.text_.push_back(u'\r');
        doc_.text_.push_back(u'\n');
        doc_.lineStarts_.push_back(Length());
        lastWasMark_ = false;
    }

    void ParagraphEnd(const CharAttrs& a, const ParaAttrs& p) {
        Para(p);
        Break(a);
        paraStart_ = Length();
        lastWasMark_ = true;
        markAttrs_ = a;
    }

    // The document's last paragraph mark is not a position.
    void Finish(const ParaAttrs& p, const CharAttrs& endAttrs) {
        if (lastWasMark_) {
            doc_.text_.Truncate(doc_.text_.size() - 2);
            doc_.lineStarts_.pop_back();
            while (!doc_.charRuns_.empty() && doc_.charRuns_.back().start >= Length()) doc_.charRuns_.pop_back();
            doc_.emptyAttrs_ = markAttrs_;
        } else {
            Para(p);
            doc_.emptyAttrs_ = endAttrs;
        }
        if (doc_.paraRuns_.empty()) doc_.paraRuns_.push_back({0, p});
    }

private:
    void Attrs(const CharAttrs& a) {
        auto& runs = doc_.charRuns_;
        if (!runs.empty() && runs.back().attrs == a) return;
        if (!runs.empty() && runs.back().start == Length()) {
            runs.back().attrs = a;
            if (runs.size() >= 2 && runs[runs.size() - 2].attrs == a) runs.pop_back();
            return;
        }
        runs.push_back({Length(), a});
    }

    void Para(const ParaAttrs& p) {
        auto& runs = doc_.paraRuns_;
        if (!runs.empty() && runs.back().attrs == p) return;
        if (!runs.empty() && runs.back().start == paraStart_) {
            runs.back().attrs = p;
            if (runs.size() >= 2 && runs[runs.size() - 2].attrs == p) runs.pop_back();
            return;
        }
        runs.push_back({paraStart_, p});
    }

    RichDocument& doc_;
    int paraStart_ = 0;
    bool lastWasMark_ = false;
    CharAttrs markAttrs_;
};

namespace {

enum class Kw {
    Ignore,
    // document
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCpg,
    Deff,
    // destinations
    FontTable,
    ColorTable,
    SkipDest,
    ListMarker,
    Pn,
    Upr,
    Ud,
    FieldResult,
    // font and colour tables
    Font,
    FCharset,
    Cpg,
    Red,
    Green,
    Blue,
    // character format
    Plain,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Color,
    FontSize,
    Hidden,
    // paragraph format
    Pard,
    AlignLeft,
    AlignRight,
    AlignCenter,
    AlignJustify,
    ListStyle,
    // content
    Par,
    Line,
    Tab,
    Cell,
    Row,
    Unicode,
    UnicodeSkip,
    Special,
};

struct Keyword {
    std::string_view name;
    Kw kw;
    char16_t ch = 0;  // the character of a Special
};

// The one table that drives dispatch.
constexpr Keyword kKeywords[] = {
    {"ansi", Kw::Ansi},
    {"mac", Kw::Mac},
    {"pc", Kw::Pc},
    {"pca", Kw::Pca},
    {"ansicpg", Kw::AnsiCpg},
    {"deff", Kw::Deff},
    {"fonttbl", Kw::FontTable},
    {"colortbl", Kw::ColorTable},
    {"stylesheet", Kw::SkipDest},
    {"info", Kw::SkipDest},
    {"pict", Kw::SkipDest},
    {"object", Kw::SkipDest},
    {"shp", Kw::SkipDest},
    {"shpgrp", Kw::SkipDest},
    {"shppict", Kw::SkipDest},
    {"nonshppict", Kw::SkipDest},
    {"do", Kw::SkipDest},
    {"header", Kw::SkipDest},
    {"headerl", Kw::SkipDest},
    {"headerr", Kw::SkipDest},
    {"headerf", Kw::SkipDest},
    {"footer", Kw::SkipDest},
    {"footerl", Kw::SkipDest},
    {"footerr", Kw::SkipDest},
    {"footerf", Kw::SkipDest},
    {"footnote", Kw::SkipDest},
    {"annotation", Kw::SkipDest},
    {"atnid", Kw::SkipDest},
    {"atnauthor", Kw::SkipDest},
    {"fldinst", Kw::SkipDest},
    {"listtable", Kw::SkipDest},
    {"listoverridetable", Kw::SkipDest},
    {"revtbl", Kw::SkipDest},
    {"rsidtbl", Kw::SkipDest},
    {"filetbl", Kw::SkipDest},
    {"xe", Kw::SkipDest},
    {"tc", Kw::SkipDest},
    {"tcn", Kw::SkipDest},
    {"template", Kw::SkipDest},
    {"userprops", Kw::SkipDest},
    {"bkmkstart", Kw::SkipDest},
    {"bkmkend", Kw::SkipDest},
    {"ftnsep", Kw::SkipDest},
    {"ftnsepc", Kw::SkipDest},
    {"ftncn", Kw::SkipDest},
    {"aftnsep", Kw::SkipDest},
    {"aftnsepc", Kw::SkipDest},
    {"aftncn", Kw::SkipDest},
    {"pnseclvl", Kw::SkipDest},
    {"txe", Kw::SkipDest},
    {"pntext", Kw::ListMarker},
    {"listtext", Kw::ListMarker},
    {"pn", Kw::Pn},
    {"upr", Kw::Upr},
    {"ud", Kw::Ud},
    {"fldrslt", Kw::FieldResult},
    {"f", Kw::Font},
    {"fcharset", Kw::FCharset},
    {"cpg", Kw::Cpg},
    {"red", Kw::Red},
    {"green", Kw::Green},
    {"blue", Kw::Blue},
    {"plain", Kw::Plain},
    {"b", Kw::Bold},
    {"i", Kw::Italic},
    {"ul", Kw::Underline},
    {"uld", Kw::Underline},
    {"uldash", Kw::Underline},
    {"uldashd", Kw::Underline},
    {"uldashdd", Kw::Underline},
    {"uldb", Kw::Underline},
    {"ulhwave", Kw::Underline},
    {"ulldash", Kw::Underline},
    {"ulth", Kw::Underline},
    {"ulthd", Kw::Underline},
    {"ulthdash", Kw::Underline},
    {"ulthdashd", Kw::Underline},
    {"ulthdashdd", Kw::Underline},
    {"ulthldash", Kw::Underline},
    {"ululdbwave", Kw::Underline},
    {"ulw", Kw::Underline},
    {"ulwave", Kw::Underline},
    {"ulnone", Kw::UnderlineNone},
    {"cf", Kw::Color},
    {"fs", Kw::FontSize},
    {"v", Kw::Hidden},
    {"pard", Kw::Pard},
    {"ql", Kw::AlignLeft},
    {"qr", Kw::AlignRight},
    {"qc", Kw::AlignCenter},
    {"qj", Kw::AlignJustify},
    {"qd", Kw::AlignJustify},
    {"ls", Kw::ListStyle},
    {"par", Kw::Par},
    {"sect", Kw::Par},
    {"line", Kw::Line},
    {"page", Kw::Line},
    {"tab", Kw::Tab},
    {"cell", Kw::Cell},
    {"nestcell", Kw::Cell},
    {"row", Kw::Row},
    {"nestrow", Kw::Row},
    {"u", Kw::Unicode},
    {"uc", Kw::UnicodeSkip},
    {"emdash", Kw::Special, u'\u2014'},
    {"endash", Kw::Special, u'\u2013'},
    {"bullet", Kw::Special, u'\u2022'},
    {"lquote", Kw::Special, u'\u2018'},
    {"rquote", Kw::Special, u'\u2019'},
    {"ldblquote", Kw::Special, u'\u201C'},
    {"rdblquote", Kw::Special, u'\u201D'},
    {"emspace", Kw::Special, u'\u2003'},
    {"enspace", Kw::Special, u'\u2002'},
    {"qmspace", Kw::Special, u'\u2005'},
    {"zwj", Kw::Special, u'\u200D'},
    {"zwnj", Kw::Special, u'\u200C'},
    {"ltrmark", Kw::Special, u'\u200E'},
    {"rtlmark", Kw::Special, u'\u200F'},
};

// Open addressing over the table: a hash of a short word and mostly one
// compare, against a binary search's many compares per control word.
class KeywordIndex {
public:
    KeywordIndex() {
        static_assert(std::size(kKeywords) < 255 && std::size(kKeywords) * 2 < kSlots);
        for (std::size_t k = 0; k < std::size(kKeywords); ++k) {
            std::size_t i = Hash(kKeywords[k].name);
            while (slots_[i] != 0) i = (i + 1) % kSlots;
            slots_[i] = static_cast<std::uint8_t>(k + 1);
        }
    }

    const Keyword* Find(std::string_view word) const {
        for (std::size_t i = Hash(word);; i = (i + 1) % kSlots) {
            if (slots_[i] == 0) return nullptr;
            const Keyword& k = kKeywords[slots_[i] - 1];
            if (Same(k.name, word)) return &k;
        }
    }

private:
    static constexpr std::size_t kSlots = 512;

    // Words are a few letters: a plain loop beats a call to memcmp.
    static bool Same(std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (a[i] != b[i]) return false;
        return true;
    }

    static std::size_t Hash(std::string_view w) {
        std::uint32_t h = static_cast<std::uint32_t>(w.size());
        for (char c : w) h = h * 31 + static_cast<unsigned char>(c);
        return (h ^ (h >> 9)) % kSlots;
    }

    std::array<std::uint8_t, kSlots> slots_{};
};

const Keyword* FindKeyword(std::string_view word) {
    static const KeywordIndex index;
    return index.Find(word);
}

enum class Dest : std::uint8_t { Body, Skip, FontTable, ColorTable, Upr };

// Copied on "{" and restored on "}".
struct GroupState {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool hidden = false;
    bool star = false;  // "\*" seen: an unknown destination word means skip the group
    Dest dest = Dest::Body;
    int color = 0;
    int halfPoints = 24;
    int font = -1;
    int uc = 1;
    ParaAttrs para;
};

// Deeper groups are read as skipped: no real writer nests this deep.
constexpr std::size_t kMaxDepth = 1024;

class Reader final : public RtfListener {
public:
    Reader(RichDocument& doc, std::size_t inputBytes) : out_(doc, inputBytes) {}

    void Finish() {
        FlushPending();
        out_.Finish(state_.para, Effective());
    }

    void GroupStart() override {
        FlushPending();
        skip_ = 0;
        if (finished_) return;
        if (overflow_ > 0 || stack_.size() >= kMaxDepth) {
            ++overflow_;
            return;
        }
        stack_.push_back(state_);
        state_.star = false;
    }

    void GroupEnd() override {
        FlushPending();
        skip_ = 0;
        if (finished_) return;
        if (overflow_ > 0) {
            --overflow_;
            return;
        }
        if (stack_.size() <= 1) {
            finished_ = true;  // the document group ends here; keep its last state
            return;
        }
        state_ = stack_.back();
        stack_.pop_back();
    }

    void ControlWord(std::string_view word, bool hasParam, std::int32_t param) override {
        if (Ignoring()) return;
        if (skip_ > 0) {
            --skip_;
            return;
        }
        const Keyword* k = FindKeyword(word);
        const Kw kw = k ? k->kw : Kw::Ignore;
        if (state_.star) {
            state_.star = false;
            // "\*" lets a reader skip a destination it does not know; one it
            // knows (some writers mark "\fldrslt" so) is read as usual.
            if (!IsDestination(kw)) {
                state_.dest = Dest::Skip;
                return;
            }
        }
        switch (state_.dest) {
            case Dest::Skip: return;
            case Dest::FontTable: return FontTableWord(kw, hasParam, param);
            case Dest::ColorTable: return ColorTableWord(kw, param);
            case Dest::Upr:
                if (kw == Kw::Ud) state_.dest = Dest::Body;
                return;
            case Dest::Body: break;
        }
        if (k) BodyWord(*k, kw, hasParam, param);
    }

    void ControlSymbol(char symbol) override {
        if (Ignoring()) return;
        if (skip_ > 0) {
            --skip_;
            return;
        }
        if (symbol == '*') {
            state_.star = true;
            return;
        }
        if (state_.dest != Dest::Body) return;
        switch (symbol) {
            case '\\':
            case '{':
            case '}': return Char(static_cast<unsigned char>(symbol));
            case '~': return Char(0x00A0);
            case '_': return Char(0x2011);
            case '\n': return ParagraphEnd();
            default: return;  // optional hyphen, index and formula marks
        }
    }

    void HexByte(std::uint8_t byte) override {
        if (Ignoring()) return;
        if (skip_ > 0) {
            --skip_;
            return;
        }
        if (state_.dest == Dest::Body && !state_.hidden) Byte(byte);
    }

    void Text(std::string_view bytes) override {
        if (Ignoring()) return;
        if (skip_ > 0) {
            const std::size_t n = std::min<std::size_t>(skip_, bytes.size());
            skip_ -= static_cast<int>(n);
            bytes.remove_prefix(n);
        }
        if (bytes.empty()) return;
        state_.star = false;
        switch (state_.dest) {
            case Dest::Body:
                if (!state_.hidden) BodyText(bytes);
                return;
            case Dest::FontTable: return;
            case Dest::ColorTable:
                for (char c : bytes)
                    if (c == ';') EndColor();
                return;
            default: return;
        }
    }

    void Binary(std::string_view) override {
        if (skip_ > 0) --skip_;
    }

private:
    bool Ignoring() const { return finished_ || overflow_ > 0; }

    static bool IsDestination(Kw kw) {
        switch (kw) {
            case Kw::FontTable:
            case Kw::ColorTable:
            case Kw::SkipDest:
            case Kw::ListMarker:
            case Kw::Pn:
            case Kw::Upr:
            case Kw::Ud:
            case Kw::FieldResult: return true;
            default: return false;
        }
    }

    CharAttrs Effective() const {
        CharAttrs a;
        a.bold = state_.bold;
        a.italic = state_.italic;
        a.underline = state_.underline;
        a.color = state_.color >= 0 && static_cast<std::size_t>(state_.color) < colors_.size() ? colors_[state_.color]
                                                                                               : kAutoColor;
        a.sizePoints = state_.halfPoints / 2;
        return a;
    }

    void FontTableWord(Kw kw, bool hasParam, std::int32_t param) {
        if (kw == Kw::Font && hasParam) {
            defining_ = param;
            fonts_.try_emplace(param, 0);
        } else if (kw == Kw::FCharset && defining_ >= 0) {
            fonts_[defining_] = CharsetToCodePage(param);
        } else if (kw == Kw::Cpg && defining_ >= 0) {
            fonts_[defining_] = param;
        }
        page_ = nullptr;
    }

    void ColorTableWord(Kw kw, std::int32_t param) {
        const auto v = static_cast<std::uint32_t>(std::clamp(param, 0, 255));
        if (kw == Kw::Red)
            rgb_ = (rgb_ & 0xFFFF00u) | v;
        else if (kw == Kw::Green)
            rgb_ = (rgb_ & 0xFF00FFu) | (v << 8);
        else if (kw == Kw::Blue)
            rgb_ = (rgb_ & 0x00FFFFu) | (v << 16);
        else
            return;
        colorSet_ = true;
    }

    void EndColor() {
        colors_.push_back(colorSet_ ? rgb_ : kAutoColor);
        rgb_ = 0;
        colorSet_ = false;
    }

    void SetBulleted() {
        state_.para.bulleted = true;
        // The marker group's own state is dropped at its "}"; the paragraph is the parent's.
        if (stack_.size() > 1) stack_.back().para.bulleted = true;
    }

    void BodyWord(const Keyword& k, Kw kw, bool hasParam, std::int32_t param) {
        const bool on = !hasParam || param != 0;
        switch (kw) {
            case Kw::Ignore: return;
            case Kw::Ansi:
                docCp_ = 1252;
                page_ = nullptr;
                return;
            case Kw::Mac:
                docCp_ = 10000;
                page_ = nullptr;
                return;
            case Kw::Pc:
                docCp_ = 437;
                page_ = nullptr;
                return;
            case Kw::Pca:
                docCp_ = 850;
                page_ = nullptr;
                return;
            case Kw::AnsiCpg:
                if (hasParam) docCp_ = param;
                page_ = nullptr;
                return;
            case Kw::Deff: deff_ = param; return;
            case Kw::FontTable: state_.dest = Dest::FontTable; return;
            case Kw::ColorTable:
                state_.dest = Dest::ColorTable;
                colors_.clear();
                return;
            case Kw::SkipDest: state_.dest = Dest::Skip; return;
            case Kw::ListMarker:
                SetBulleted();
                state_.dest = Dest::Skip;
                return;
            case Kw::Pn:
                SetBulleted();
                state_.dest = Dest::Skip;
                return;
            case Kw::Upr: state_.dest = Dest::Upr; return;
            case Kw::Ud:
            case Kw::FieldResult: return;
            case Kw::Font: state_.font = param; return;
            case Kw::FCharset:
            case Kw::Cpg:
            case Kw::Red:
            case Kw::Green:
            case Kw::Blue: return;
            case Kw::Plain:
                state_.bold = state_.italic = state_.underline = state_.hidden = false;
                state_.color = 0;
                state_.halfPoints = 24;
                state_.font = deff_;
                return;
            case Kw::Bold: state_.bold = on; return;
            case Kw::Italic: state_.italic = on; return;
            case Kw::Underline: state_.underline = on; return;
            case Kw::UnderlineNone: state_.underline = false; return;
            case Kw::Color: state_.color = param; return;
            case Kw::FontSize:
                if (hasParam) state_.halfPoints = param;
                return;
            case Kw::Hidden: state_.hidden = on; return;
            case Kw::Pard: state_.para = ParaAttrs{}; return;
            case Kw::AlignLeft: state_.para.align = Align::Left; return;
            case Kw::AlignRight: state_.para.align = Align::Right; return;
            case Kw::AlignCenter: state_.para.align = Align::Center; return;
            case Kw::AlignJustify: state_.para.align = Align::Justify; return;
            case Kw::ListStyle: state_.para.bulleted = true; return;
            case Kw::Par: return ParagraphEnd();
            case Kw::Line:
                FlushPending();
                CellSeparator();
                out_.Break(Effective());
                return;
            case Kw::Tab: return Char(u'\t');
            case Kw::Cell:
                FlushPending();
                CellSeparator();
                cellPending_ = true;
                return;
            case Kw::Row: cellPending_ = false; return ParagraphEnd();
            case Kw::Unicode: return UnicodeUnit(param);
            case Kw::UnicodeSkip: state_.uc = std::max(0, param); return;
            case Kw::Special: return Char(k.ch);
        }
    }

    void ParagraphEnd() {
        FlushPending();
        CellSeparator();
        out_.ParagraphEnd(Effective(), state_.para);
    }

    // Cells are separated by a tab; a row's last cell gets none.
    void CellSeparator() {
        if (!cellPending_) return;
        cellPending_ = false;
        out_.Unit(u'\t', Effective());
    }

    void UnicodeUnit(std::int32_t param) {
        skip_ = state_.uc;
        if (state_.dest != Dest::Body || state_.hidden) return;
        const auto u = static_cast<char16_t>(static_cast<std::uint16_t>(param));
        if (u >= 0xD800 && u <= 0xDBFF) {
            FlushBytes();
            FlushSurrogate();
            high_ = u;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            FlushBytes();
            if (high_) {
                CellSeparator();
                const CharAttrs a = Effective();
                out_.Unit(high_, a);
                out_.Unit(u, a);
                high_ = 0;
            } else {
                Char(0xFFFD);
            }
        } else {
            Char(u);
        }
    }

    CodePage& Page() {
        const int font = state_.font;
        if (!page_ || pageFont_ != font) {
            int cp = docCp_;
            auto it = fonts_.find(font);
            if (it != fonts_.end() && it->second > 0) cp = it->second;
            page_ = &GetCodePage(cp);
            pageFont_ = font;
        }
        return *page_;
    }

    void BodyText(std::string_view bytes) {
        std::size_t i = 0;
        while (i < bytes.size()) {
            const auto b = static_cast<std::uint8_t>(bytes[i]);
            if (b >= 0x80 || pendingCount_ > 0) {
                Byte(b);
                ++i;
                continue;
            }
            FlushSurrogate();
            CellSeparator();
            i += out_.Ascii(bytes.substr(i), Effective());
        }
    }

    void Byte(std::uint8_t b) {
        CodePage& page = Page();
        if (pendingCount_ > 0) {
            pending_[pendingCount_++] = b;
            const char32_t c = page.Multi(pending_.data(), pendingCount_);
            if (c == 0 && pendingCount_ < pending_.size()) return;
            pendingCount_ = 0;
            return Char(c == 0 ? CodePage::kInvalid : c);
        }
        const char32_t c = page.Single(b);
        if (c == CodePage::kLead) {
            pending_[0] = b;
            pendingCount_ = 1;
            return;
        }
        Char(c);
    }

    void Char(char32_t c) {
        if (state_.dest != Dest::Body || state_.hidden) return;
        FlushBytes();
        FlushSurrogate();
        // Control characters would break the CR LF pairing of line breaks.
        if (c < 0x20 && c != u'\t') return;
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        CellSeparator();
        const CharAttrs a = Effective();
        if (c >= 0x10000) {
            out_.Unit(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)), a);
            out_.Unit(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)), a);
        } else {
            out_.Unit(static_cast<char16_t>(c), a);
        }
    }

    void FlushBytes() {
        if (pendingCount_ == 0) return;
        pendingCount_ = 0;
        Char(CodePage::kInvalid);
    }

    void FlushSurrogate() {
        if (!high_) return;
        high_ = 0;
        Char(0xFFFD);
    }

    void FlushPending() {
        FlushBytes();
        FlushSurrogate();
    }

    DocumentBuilder out_;
    GroupState state_;
    std::vector<GroupState> stack_;
    std::size_t overflow_ = 0;
    bool finished_ = false;
    int skip_ = 0;
    int docCp_ = 1252;
    int deff_ = 0;
    std::unordered_map<int, int> fonts_;  // font number -> code page (0: the document's)
    int defining_ = -1;
    std::vector<std::uint32_t> colors_;
    std::uint32_t rgb_ = 0;
    bool colorSet_ = false;
    bool cellPending_ = false;
    char16_t high_ = 0;
    std::array<std::uint8_t, 4> pending_{};
    std::size_t pendingCount_ = 0;
    CodePage* page_ = nullptr;
    int pageFont_ = -2;
};

// Text that is not RTF: UTF-8 when valid, else code page 1252.
void LoadPlainText(std::string_view bytes, RichDocument& doc) {
    DocumentBuilder out(doc, bytes.size() * 2);
    std::string text(bytes);
    std::u16string units;
    bool utf8 = true;
    for (std::size_t i = 0; i < text.size() && utf8;) {
        const auto b = static_cast<unsigned char>(text[i]);
        const int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > text.size()) {
            utf8 = false;
            break;
        }
        char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k < len; ++k) {
            const auto t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80) utf8 = false;
            c = (c << 6) | (t & 0x3F);
        }
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) utf8 = false;
        if (c >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            units += static_cast<char16_t>(c);
        }
        i += len;
    }
    if (!utf8) {
        units.clear();
        CodePage& page = GetCodePage(1252);
        for (char ch : text) {
            const char32_t c = page.Single(static_cast<std::uint8_t>(ch));
            units += static_cast<char16_t>(c == CodePage::kLead ? CodePage::kInvalid : c);
        }
    }
    const CharAttrs a;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u == u'\r' || u == u'\n') {
            if (u == u'\r' && i + 1 < units.size() && units[i + 1] == u'\n') ++i;
            out.Break(a);
        } else if (u >= 0x20 || u == u'\t') {
            out.Unit(u, a);
        }
    }
    out.Finish(ParaAttrs{}, a);
}

}  // namespace

RichDocument LoadRtf(std::string_view bytes) {
    RichDocument doc;
    std::size_t start = 0;
    while (start < bytes.size() &&
           (bytes[start] == ' ' || bytes[start] == '\t' || bytes[start] == '\r' || bytes[start] == '\n'))
        ++start;
    if (bytes.substr(start, 5) != "{\\rtf") {
        LoadPlainText(bytes, doc);
        return doc;
    }
    Reader reader(doc, bytes.size());
    TokenizeInto(bytes.substr(start), reader);
    reader.Finish();
    return doc;
}

}  // namespace qb::rtf
