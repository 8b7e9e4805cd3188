// Texts at the library's C interface: the system's ANSI code page there,
// UTF-8 inside (on Linux both are UTF-8 and nothing changes).
#pragma once
#include <string>

namespace qb::dvo {

// A text a caller handed in, as UTF-8; a null text is "".
std::string FromHostText(const char* text, int codePage);

// A name or caption as the caller gets it. Raises qb::Error naming what
// (an item's path, say) and the characters when the code page lacks one:
// a "?" in their place would name another item or none.
std::string ToHostText(const std::string& utf8, int codePage, const std::string& what);

// A message for a person: characters the code page lacks become "<U+XXXX>",
// so nothing is lost and nothing is mistaken for a real "?".
std::string ToHostMessage(const std::string& utf8, int codePage);

}  // namespace qb::dvo
