#pragma once
#include <cstdint>
#include <string>

namespace qb {

// Code point of a named HTML character reference ("Ouml" -> 0xD6): the
// Latin-1 set and the typographic ones; 0 when unknown. Names are case-sensitive.
std::uint32_t HtmlEntity(const std::string& name);

// Text with its character references ("&amp;", "&#214;", "&#xD6;") replaced
// by UTF-8; unknown or malformed ones, and "&#0;", stay as written.
std::string DecodeEntities(const std::string& text);

// A UTF-8 HTML page in ASCII alone, so that it reads the same in any
// ASCII-based charset: characters outside ASCII become "&#N;", in scripts
// "\uXXXX" and in style sheets "\X ".
std::string HtmlAsAscii(const std::string& html);

// True when an HTML page declares the UTF-8 charset in its first 4 KB.
bool DeclaresUtf8(const std::string& html);

}  // namespace qb
