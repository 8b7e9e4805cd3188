#include "rtf/rtf2html.h"

#include <algorithm>
#include <array>

#include "Utils/HtmlText.h"
#include "Utils/Utils.h"

namespace qb {
namespace {

enum class Tag { Bold, Italic, Underline, Colour, Size, Bullet };

// Most recently opened formatting first; closing walks go front to back.
class TagOrder {
public:
    Tag At(int i) const { return order_[i]; }
    void ToFront(Tag t) {
        auto it = std::find(order_.begin(), order_.end(), t);
        std::rotate(order_.begin(), it, it + 1);
    }
    void ToEnd(Tag t) {
        auto it = std::find(order_.begin(), order_.end(), t);
        std::rotate(it, it + 1, order_.end());
    }

private:
    std::array<Tag, 6> order_{Tag::Bold, Tag::Italic, Tag::Underline, Tag::Colour, Tag::Size, Tag::Bullet};
};

const char* Replacement(char16_t c) {
    switch (c) {
        case u'"': return "&quot;";
        case u'<': return "&lt;";
        case u'>': return "&gt;";
        case u'\u00E4': return "&auml;";
        case u'\u00C4': return "&Auml;";
        case u'\u00F6': return "&ouml;";
        case u'\u00D6': return "&Ouml;";
        case u'\u00FC': return "&uuml;";
        case u'\u00DC': return "&Uuml;";
        case u'\u00DF': return "&szlig;";
        default: return nullptr;
    }
}

// ASCII units written unchanged by HtmlOut::Units: not a space, a CR or a character with a replacement.
constexpr auto kPlain = [] {
    std::array<bool, 128> t{};
    for (int c = 0; c < 128; ++c) t[c] = c != ' ' && c != '\r' && c != '"' && c != '<' && c != '>';
    return t;
}();

// Output that replaces every two spaces by "&nbsp;&nbsp;" as it grows, left to
// right without overlap: the same result as one pass over the finished text,
// without a second copy of a large page.
class HtmlOut {
public:
    explicit HtmlOut(std::size_t reserve) { text_.reserve(reserve); }

    HtmlOut& operator+=(std::string_view s) {
        if (s.empty()) return *this;
        std::size_t i = 0;
        if (pendingSpace_ && s[0] == ' ') {
            text_.pop_back();
            text_ += "&nbsp;&nbsp;";
            i = 1;
        }
        pendingSpace_ = false;
        while (i < s.size()) {
            const std::size_t j = s.find("  ", i);
            if (j == std::string_view::npos) {
                text_.append(s.substr(i));
                pendingSpace_ = s.back() == ' ';
                break;
            }
            text_.append(s.substr(i, j - i));
            text_ += "&nbsp;&nbsp;";
            i = j + 2;
        }
        return *this;
    }

    HtmlOut& operator+=(char c) {
        if (c != ' ') {
            text_ += c;
            pendingSpace_ = false;
        } else if (pendingSpace_) {
            text_.pop_back();
            text_ += "&nbsp;&nbsp;";
            pendingSpace_ = false;
        } else {
            text_ += ' ';
            pendingSpace_ = true;
        }
        return *this;
    }

    // A fixed piece of markup: it neither starts nor ends with a space and holds
    // no two in a row, so it can take no part in a space pair.
    void Markup(std::string_view piece) {
        text_.append(piece);
        pendingSpace_ = false;
    }

    // The font element's attributes; bytes of the colour value, lowest first.
    void FontAttrs(int size, std::uint32_t color) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        pendingSpace_ = false;
        text_ += std::to_string(size);
        char attr[] = "\" color=\"#RRGGBB\">";
        char* hex = attr + 10;
        for (int shift = 0; shift < 24; shift += 8) {
            *hex++ = kDigits[(color >> (shift + 4)) & 0xF];
            *hex++ = kDigits[(color >> shift) & 0xF];
        }
        text_.append(attr, sizeof attr - 1);
    }

    // Writes the units from start on, each as its replacement or its UTF-8
    // text, and stops before a unit that would reach past limit; the first unit
    // is always written. Returns where it stopped.
    template <typename Unit>
    int Units(const Unit* units, int n, int start, int limit) {
        // Staged in a small buffer: a check per unit instead of a string append per byte.
        char buf[4096];
        char* o = buf;
        char* const end = buf + sizeof buf - 16;  // room for the longest piece, "&nbsp;&nbsp;"
        int p = start;
        while (p < limit) {
            if (o >= end) {
                text_.append(buf, static_cast<std::size_t>(o - buf));
                o = buf;
            }
            // Letters, digits and most punctuation are copied as they are.
            const Unit* const from = units + p;
            const Unit* q = from;
            const Unit* const stop = units + std::min<std::ptrdiff_t>(limit, p + (end - o));
            while (q < stop && *q < 0x80 && kPlain[*q]) *o++ = static_cast<char>(*q++);
            if (q != from) {
                pendingSpace_ = false;
                p += static_cast<int>(q - from);
                continue;
            }
            const char16_t u = units[p];
            if (u < 0x80) {
                if (u == u'\r' && p + 1 < n && units[p + 1] == u'\n') {
                    if (p + 2 > limit && p != start) break;
                    *o++ = '\r';
                    *o++ = '\n';
                    pendingSpace_ = false;
                    p += 2;
                    continue;
                }
                switch (u) {
                    case u' ':
                        if (!pendingSpace_) {
                            *o++ = ' ';
                            pendingSpace_ = true;
                        } else {
                            if (o > buf)
                                --o;
                            else
                                text_.pop_back();
                            o = Put(o, "&nbsp;&nbsp;");
                            pendingSpace_ = false;
                        }
                        ++p;
                        continue;
                    case u'"': o = Put(o, "&quot;"); break;
                    case u'<': o = Put(o, "&lt;"); break;
                    case u'>': o = Put(o, "&gt;"); break;
                    default: *o++ = static_cast<char>(u); break;
                }
                pendingSpace_ = false;
                ++p;
                continue;
            }
            pendingSpace_ = false;
            if (u >= 0xD800 && u <= 0xDBFF && p + 1 < n && units[p + 1] >= 0xDC00 && units[p + 1] <= 0xDFFF) {
                if (p + 2 > limit && p != start) break;
                const char32_t c = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[p + 1] - 0xDC00);
                *o++ = static_cast<char>(0xF0 | (c >> 18));
                *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                *o++ = static_cast<char>(0x80 | (c & 0x3F));
                p += 2;
                continue;
            }
            if (const char* r = Replacement(u)) {
                o = Put(o, r);
            } else {
                const char32_t c = u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u;  // an unpaired surrogate
                if (c < 0x800) {
                    *o++ = static_cast<char>(0xC0 | (c >> 6));
                } else {
                    *o++ = static_cast<char>(0xE0 | (c >> 12));
                    *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                }
                *o++ = static_cast<char>(0x80 | (c & 0x3F));
            }
            ++p;
        }
        text_.append(buf, static_cast<std::size_t>(o - buf));
        return p;
    }

    std::string& Text() { return text_; }
    std::size_t Size() const { return text_.size(); }

private:
    static char* Put(char* o, std::string_view piece) {
        for (char c : piece) *o++ = c;
        return o;
    }

    std::string text_;
    bool pendingSpace_ = false;
};

void AppendParagraphStart(HtmlOut& out, rtf::Align align) {
    switch (align) {
        case rtf::Align::Left: out.Markup("<p align=\"left\">"); break;
        case rtf::Align::Right: out.Markup("<p align=\"right\">"); break;
        case rtf::Align::Center: out.Markup("<p align=\"center\">"); break;
        default: break;  // justified: no start tag, the "</p>" still comes
    }
}

}  // namespace

std::string RichTextToHtml(const std::string& title, const rtf::RichDocument& doc) {
    const int n = doc.Length();
    const rtf::UnitStore& units = doc.Units();
    // Reserved address space is only touched as the page grows.
    HtmlOut out(static_cast<std::size_t>(n) * 3 + title.size() + 1024);

    bool boldOpen = false, italicOpen = false, underlineOpen = false, itemOpen = false;
    const rtf::CharAttrs first = doc.CharAt(0);
    std::uint32_t curColor = first.color;
    int curSize = FontSizeToHtmlSize(first.sizePoints);
    int curLine = 0;
    TagOrder order;

    out += "<html><head><meta name=\"Quillbook\" content=\"";
    out += HtmlQuote(title);
    out += "\"></head><body><font size=\"";
    out.FontAttrs(curSize, curColor);
    AppendParagraphStart(out, doc.ParaAt(0).align);

    // Closes the open tags in walk order; the list item only at the page's end.
    auto closeWalk = [&](bool closeBullet) {
        for (int i = 0; i < 6; ++i) {
            switch (order.At(i)) {
                case Tag::Bold:
                    if (boldOpen) out.Markup("</b>");
                    break;
                case Tag::Italic:
                    if (italicOpen) out.Markup("</i>");
                    break;
                case Tag::Underline:
                    if (underlineOpen) out.Markup("</u>");
                    break;
                case Tag::Colour: out.Markup("</font>"); break;
                case Tag::Size: break;
                case Tag::Bullet:
                    if (closeBullet) out.Markup("</li>");
                    break;
            }
        }
        boldOpen = italicOpen = underlineOpen = false;
    };
    auto refont = [&] {
        out.Markup("</font><font size=\"");
        out.FontAttrs(curSize, curColor);
    };
    // Opens or closes one inline tag and moves its entry as the walk requires.
    auto toggle = [&](Tag tag, bool want, bool& open, const char* openTag, const char* closeTag) {
        if (want && !open) {
            out.Markup(openTag);
            open = true;
            order.ToFront(tag);
        } else if (!want && open) {
            out.Markup(closeTag);
            open = false;
            order.ToEnd(tag);
        }
    };

    for (int pos = 0; pos <= n; ++pos) {
        const int start = pos;
        const int unitLen = doc.UnitLength(pos);
        if (unitLen > 1) pos += unitLen - 1;
        const rtf::CharAttrs a = doc.CharAt(start);
        const int line = doc.LineFromChar(start);

        if (line != curLine) {
            if (itemOpen) {
                out.Markup("</li>");
                itemOpen = false;
                order.ToEnd(Tag::Bullet);
                if (!doc.ParaAt(start).bulleted) {
                    closeWalk(false);
                    out.Markup("<br>");
                }
            } else if (!doc.LineIsBlank(curLine)) {
                out.Markup("<br>");
            } else {
                closeWalk(false);
                out.Markup("</p>");
                AppendParagraphStart(out, doc.ParaAt(start).align);
            }
            curLine = line;
        }

        const std::size_t sizeBeforeWalk = out.Size();
        const bool bulleted = doc.ParaAt(start).bulleted;
        const int size = FontSizeToHtmlSize(a.sizePoints);
        // When no entry would act, the walk moves nothing and writes nothing.
        const bool walkActs = a.bold != boldOpen || a.italic != italicOpen || a.underline != underlineOpen ||
                              a.color != curColor || size != curSize || bulleted != itemOpen;
        // Six visits by index: an entry moved during the walk changes what a later index finds.
        for (int i = 0; i < (walkActs ? 6 : 0); ++i) {
            switch (order.At(i)) {
                case Tag::Bold: toggle(Tag::Bold, a.bold, boldOpen, "<b>", "</b>"); break;
                case Tag::Italic: toggle(Tag::Italic, a.italic, italicOpen, "<i>", "</i>"); break;
                case Tag::Underline: toggle(Tag::Underline, a.underline, underlineOpen, "<u>", "</u>"); break;
                case Tag::Colour:
                    if (a.color != curColor) {
                        curColor = a.color;
                        refont();
                        order.ToFront(Tag::Colour);
                    }
                    break;
                case Tag::Size:
                    if (size != curSize) {
                        curSize = size;
                        refont();
                        order.ToFront(Tag::Size);
                    }
                    break;
                case Tag::Bullet: toggle(Tag::Bullet, bulleted, itemOpen, "<li>", "</li>"); break;
            }
        }

        if (unitLen == 0) continue;
        // A walk that wrote nothing changed nothing: until the attributes, the
        // paragraph or the line change, every step would write only its text.
        const int limit = out.Size() != sizeBeforeWalk
                              ? start + unitLen
                              : std::min({doc.CharRunEnd(start), doc.ParaRunEnd(start), doc.LineStart(line + 1), n});
        pos = (units.Wide() ? out.Units(units.WideData(), n, start, limit)
                            : out.Units(units.NarrowData(), n, start, limit)) -
              1;
    }

    closeWalk(true);
    out.Markup("</p>");
    std::string& result = out.Text();
    result += "</html>";
    return std::move(result);
}

}  // namespace qb
