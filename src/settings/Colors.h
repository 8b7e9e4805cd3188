#pragma once
#include <cstdint>
#include <optional>
#include <string>

// Colours as the settings file stores them: 0x00BBGGRR values, named colours
// and system colour codes (0xFF000000 + index).
namespace qb {

constexpr std::uint32_t kSystemColorFlag = 0xFF000000u;
constexpr std::uint32_t kColorNone = 0x1FFFFFFFu;
constexpr std::uint32_t kColorDefault = 0x20000000u;
constexpr std::uint32_t kColorWindowText = kSystemColorFlag | 8u;

// Value of a colour name, letter case ignored; nothing for unknown names.
std::optional<std::uint32_t> IdentToColor(const std::string& name);
// Name of a colour value ("clBlue"); nothing when the value has no name.
std::optional<std::string> ColorToIdent(std::uint32_t color);

// The name when the colour has one, otherwise "$" and eight upper-case hex digits.
std::string ColorToString(std::uint32_t color);
// A name, "$" hexadecimal or decimal; raises qb::Error for anything else.
std::uint32_t StringToColor(const std::string& text);

// RGB of a colour: system colours from the light theme table, clDefault and
// clNone as window text, any other value unchanged (also declared for the engine).
std::uint32_t SystemColorToRgb(std::uint32_t color);

}  // namespace qb
