#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace qb {

// An integer as people and the settings file write it: decimal, or hexadecimal
// after "0x", with an optional sign; a leading zero is still decimal ("0300" is 300).
std::optional<std::int64_t> ParseDecimalOrHex(std::string_view text);

}  // namespace qb
