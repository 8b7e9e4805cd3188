#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
    return text_.Utf8(static_cast<std::size_t>(pos), static_cast<std::size_t>(len));
}

int RichDocument::LineStart(int line) const {
    if (line < 0) return 0;
    return line < LineCount() ? lineStarts_[line] : Length();
}

std::string RichDocument::LineText(int line) const {
    if (line < 0 || line >= LineCount()) return {};
    const int start = lineStarts_[line];
    const int end = line + 1 < LineCount() ? lineStarts_[line + 1] - 2 : Length();
    return text_.Utf8(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

bool RichDocument::LineIsBlank(int line) const {
    if (line < 0 || line >= LineCount()) return true;
    const int start = lineStarts_[line];
    const int end = line + 1 < LineCount() ? lineStarts_[line + 1] - 2 : Length();
    for (int i = start; i < end; ++i)
        if (text_[static_cast<std::size_t>(i)] > 0x20) return false;
    return true;
}

std::string RichDocument::PlainText() const { return text_.Utf8(0, text_.size()); }

void UnitStore::AppendAscii(std::string_view s, bool dropControls) {
    if (!wide_) {
        if (!dropControls) {
            narrow_.append(s);
            return;
        }
        for (char c : s)
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') narrow_.push_back(c);
        return;
    }
    const std::size_t before = wideUnits_.size();
    wideUnits_.resize(before + s.size());
    char16_t* o = wideUnits_.data() + before;
    if (!dropControls) {
        std::size_t k = 0;
#ifdef __SSE2__
        const __m128i zero = _mm_setzero_si128();
        for (; k + 16 <= s.size(); k += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + k));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + k), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + k + 8), _mm_unpackhi_epi8(v, zero));
        }
#endif
        for (; k < s.size(); ++k) o[k] = static_cast<unsigned char>(s[k]);
        return;
    }
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        *o = c;
        o += c >= 0x20 || c == '\t';
    }
    wideUnits_.resize(static_cast<std::size_t>(o - wideUnits_.data()));
}

std::string UnitStore::Utf8(std::size_t start, std::size_t len) const {
    if (wide_) return Utf16ToUtf8(std::u16string_view(wideUnits_).substr(start, len));
    std::string out;
    out.reserve(len);
    for (std::size_t i = start; i < start + len && i < narrow_.size(); ++i)
        AppendUtf8(out, static_cast<unsigned char>(narrow_[i]));
    return out;
}

}  // namespace qb::rtf
