#include "rtf2html.h"

#include <algorithm>
#include <array>

#include "Utils.h"

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

void AppendHexByte(std::string& out, unsigned v) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += kDigits[(v >> 4) & 0xF];
    out += kDigits[v & 0xF];
}

// The font element's attributes; bytes of the colour value, lowest first.
void AppendFontAttrs(std::string& out, int size, std::uint32_t color) {
    out += std::to_string(size);
    out += "\" color=\"#";
    AppendHexByte(out, color & 0xFF);
    AppendHexByte(out, (color >> 8) & 0xFF);
    AppendHexByte(out, (color >> 16) & 0xFF);
    out += "\">";
}

void AppendParagraphStart(std::string& out, rtf::Align align) {
    switch (align) {
        case rtf::Align::Left: out += "<p align=\"left\">"; break;
        case rtf::Align::Right: out += "<p align=\"right\">"; break;
        case rtf::Align::Center: out += "<p align=\"center\">"; break;
        default: break;  // justified: no start tag, the "</p>" still comes
    }
}

const char* Replacement(const std::string& unit) {
    if (unit.size() == 1) {
        switch (unit[0]) {
            case '"': return "&quot;";
            case '<': return "&lt;";
            case '>': return "&gt;";
            default: return nullptr;
        }
    }
    // The seven letters are two-byte UTF-8 sequences starting with 0xC3.
    if (unit.size() == 2 && static_cast<unsigned char>(unit[0]) == 0xC3) {
        switch (static_cast<unsigned char>(unit[1])) {
            case 0xA4: return "&auml;";
            case 0x84: return "&Auml;";
            case 0xB6: return "&ouml;";
            case 0x96: return "&Ouml;";
            case 0xBC: return "&uuml;";
            case 0x9C: return "&Uuml;";
            case 0x9F: return "&szlig;";
            default: return nullptr;
        }
    }
    return nullptr;
}

std::string ReplaceDoubleSpaces(const std::string& text) {
    if (text.find("  ") == std::string::npos) return text;
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == ' ' && i + 1 < text.size() && text[i + 1] == ' ') {
            out += "&nbsp;&nbsp;";
            i += 2;
        } else {
            out += text[i++];
        }
    }
    return out;
}

}  // namespace

std::string RichTextToHtml(const std::string& title, const rtf::RichDocument& doc) {
    const int n = doc.Length();
    std::string out;
    out.reserve(static_cast<std::size_t>(n) * 2 + 256);

    bool boldOpen = false, italicOpen = false, underlineOpen = false, itemOpen = false;
    const rtf::CharAttrs first = doc.CharAt(0);
    std::uint32_t curColor = first.color;
    int curSize = FontSizeToHtmlSize(first.sizePoints);
    int curLine = 0;
    TagOrder order;

    out += "<html><head><meta name=\"Quillbook\" content=\"";
    out += title;
    out += "\"></head><body><font size=\"";
    AppendFontAttrs(out, curSize, curColor);
    AppendParagraphStart(out, doc.ParaAt(0).align);

    auto inlineCloseWalk = [&] {
        for (int i = 0; i < 6; ++i) {
            switch (order.At(i)) {
                case Tag::Bold: if (boldOpen) out += "</b>"; break;
                case Tag::Italic: if (italicOpen) out += "</i>"; break;
                case Tag::Underline: if (underlineOpen) out += "</u>"; break;
                case Tag::Colour: out += "</font>"; break;
                default: break;
            }
        }
        boldOpen = italicOpen = underlineOpen = false;
    };
    auto refont = [&] {
        out += "</font><font size=\"";
        AppendFontAttrs(out, curSize, curColor);
    };
    // Opens or closes one inline tag and moves its entry as the walk requires.
    auto toggle = [&](Tag tag, bool want, bool& open, const char* openTag, const char* closeTag) {
        if (want && !open) {
            out += openTag;
            open = true;
            order.ToFront(tag);
        } else if (!want && open) {
            out += closeTag;
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
                out += "</li>";
                itemOpen = false;
                order.ToEnd(Tag::Bullet);
                if (!doc.ParaAt(start).bulleted) {
                    inlineCloseWalk();
                    out += "<br>";
                }
            } else if (!Trim(doc.LineText(curLine)).empty()) {
                out += "<br>";
            } else {
                inlineCloseWalk();
                out += "</p>";
                AppendParagraphStart(out, doc.ParaAt(start).align);
            }
            curLine = line;
        }

        // Six visits by index: an entry moved during the walk changes what a later index finds.
        for (int i = 0; i < 6; ++i) {
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
                case Tag::Size: {
                    const int size = FontSizeToHtmlSize(a.sizePoints);
                    if (size != curSize) {
                        curSize = size;
                        refont();
                        order.ToFront(Tag::Size);
                    }
                    break;
                }
                case Tag::Bullet: toggle(Tag::Bullet, doc.ParaAt(start).bulleted, itemOpen, "<li>", "</li>"); break;
            }
        }

        if (unitLen == 0) continue;
        const std::string unit = doc.UnitText(start);
        if (const char* r = Replacement(unit)) out += r;
        else out += unit;
    }

    for (int i = 0; i < 6; ++i) {
        switch (order.At(i)) {
            case Tag::Bold: if (boldOpen) out += "</b>"; break;
            case Tag::Italic: if (italicOpen) out += "</i>"; break;
            case Tag::Underline: if (underlineOpen) out += "</u>"; break;
            case Tag::Colour: out += "</font>"; break;
            case Tag::Size: break;
            case Tag::Bullet: out += "</li>"; break;
        }
    }
    out += "</p>";
    std::string result = ReplaceDoubleSpaces(out);
    result += "</html>";
    return result;
}

}  // namespace qb
