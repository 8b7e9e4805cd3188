#pragma once
// Byte-level text helpers shared by every layer; letters are ASCII only, so
// results never depend on the C library's locale.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// Without the bytes 0..32 at both ends.
std::string Trim(std::string_view text);
// ASCII letters lower-cased, every other byte kept.
std::string LowerAscii(std::string_view text);
// Equal once ASCII letters are folded.
bool EqualsNoCase(std::string_view a, std::string_view b);
// Ordered once ASCII letters are folded, then by bytes; a prefix first.
bool LessNoCase(std::string_view a, std::string_view b);
// Every byte is below 0x80.
bool IsAscii(std::string_view text);
// Lines split at CR LF, CR or LF; a last line without an end counts, an empty one does not.
std::vector<std::string> SplitLines(std::string_view text);
// Each line followed by CR LF, as the settings and language files keep lists.
std::string JoinLines(const std::vector<std::string>& lines);
// The whole text as a decimal (or, with base 16, hexadecimal) integer with an
// optional sign; nothing for an empty text, other characters or overflow.
std::optional<std::int64_t> ParseInteger(std::string_view text, int base = 10);

}  // namespace qb
