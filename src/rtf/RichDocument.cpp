#include <algorithm>

#include "rtf/RichText.h"

namespace qb::rtf {
namespace {

bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (IsHigh(u) && i + 1 < units.size() && IsLow(units[i + 1])) {
            AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (IsHigh(u) || IsLow(u)) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

RichDocument::RichDocument() : lineStarts_{0} {}

std::string RichDocument::UnitText(int pos) const {
    const int len = UnitLength(pos);
    if (len == 0) return {};
    const char16_t u = text_[pos];
    if (len == 1 && u < 0x80) return std::string(1, static_cast<char>(u));
    return Utf16ToUtf8(std::u16string_view(text_).substr(pos, len));
}

int RichDocument::LineStart(int line) const {
    if (line < 0) return 0;
    return line < LineCount() ? lineStarts_[line] : Length();
}

std::string RichDocument::LineText(int line) const {
    if (line < 0 || line >= LineCount()) return {};
    const int start = lineStarts_[line];
    const int end = line + 1 < LineCount() ? lineStarts_[line + 1] - 2 : Length();
    return Utf16ToUtf8(std::u16string_view(text_).substr(start, end - start));
}

bool RichDocument::LineIsBlank(int line) const {
    if (line < 0 || line >= LineCount()) return true;
    const int start = lineStarts_[line];
    const int end = line + 1 < LineCount() ? lineStarts_[line + 1] - 2 : Length();
    return std::all_of(text_.begin() + start, text_.begin() + end, [](char16_t u) { return u <= 0x20; });
}

std::string RichDocument::PlainText() const { return Utf16ToUtf8(text_); }

}  // namespace qb::rtf
