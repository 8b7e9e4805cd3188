#pragma once
// UTF-8 / UTF-16 conversion through ICU.
#include <string>
#include <string_view>

namespace qb {

// Appends the UTF-8 bytes of one code point; surrogates, NUL and values
// beyond Unicode become U+FFFD.
void AppendUtf8(std::string& out, char32_t cp);
// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates
// or values beyond U+10FFFF).
bool IsValidUtf8(std::string_view text);
// UTF-16 of UTF-8 text; ill-formed bytes become U+FFFD.
std::u16string ToUtf16(std::string_view utf8);
// UTF-8 of UTF-16 text; unpaired surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view utf16);
// UTF-16 little-endian bytes of UTF-8 text, as binary files store names.
std::string Utf16Le(std::string_view utf8);

}  // namespace qb
