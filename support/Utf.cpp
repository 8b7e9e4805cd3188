#include "support/Utf.h"

#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace qb {

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || U_IS_SURROGATE(cp)) cp = 0xFFFD;
    char buf[U8_MAX_LENGTH];
    int32_t n = 0;
    U8_APPEND_UNSAFE(buf, n, static_cast<UChar32>(cp));
    out.append(buf, static_cast<std::size_t>(n));
}

bool IsValidUtf8(std::string_view text) {
    const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) return false;
    }
    return true;
}

std::u16string ToUtf16(std::string_view utf8) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    const auto size = static_cast<int32_t>(utf8.size());
    u_strFromUTF8WithSub(nullptr, 0, &length, utf8.data(), size, 0xFFFD, nullptr, &status);
    std::u16string out(static_cast<std::size_t>(length), u'\0');
    status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), length, &length, utf8.data(), size, 0xFFFD, nullptr, &status);
    return U_SUCCESS(status) ? out : std::u16string();
}

std::string ToUtf8(std::u16string_view utf16) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    const auto size = static_cast<int32_t>(utf16.size());
    u_strToUTF8WithSub(nullptr, 0, &length, utf16.data(), size, 0xFFFD, nullptr, &status);
    std::string out(static_cast<std::size_t>(length), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), length, &length, utf16.data(), size, 0xFFFD, nullptr, &status);
    return U_SUCCESS(status) ? out : std::string();
}

std::string Utf16Le(std::string_view utf8) {
    std::string out;
    for (char16_t u : ToUtf16(utf8)) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

}  // namespace qb
