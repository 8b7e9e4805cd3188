#include "settings/Colors.h"

#include <array>
#include <cstddef>

#include "Utils/StringList.h"
#include "settings/XmlValues.h"
#include "support/Error.h"

namespace qb {
namespace {

struct NamedColor {
    const char* name;
    std::uint32_t value;
};

constexpr std::uint32_t Sys(std::uint32_t index) { return kSystemColorFlag | index; }

// Every colour that is written by name; values are 0x00BBGGRR.
constexpr std::array<NamedColor, 52> kNamedColors = {{
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clNone", kColorNone},
    {"clDefault", kColorDefault},
    {"clScrollBar", Sys(0)},
    {"clBackground", Sys(1)},
    {"clActiveCaption", Sys(2)},
    {"clInactiveCaption", Sys(3)},
    {"clMenu", Sys(4)},
    {"clWindow", Sys(5)},
    {"clWindowFrame", Sys(6)},
    {"clMenuText", Sys(7)},
    {"clWindowText", Sys(8)},
    {"clCaptionText", Sys(9)},
    {"clActiveBorder", Sys(10)},
    {"clInactiveBorder", Sys(11)},
    {"clAppWorkSpace", Sys(12)},
    {"clHighlight", Sys(13)},
    {"clHighlightText", Sys(14)},
    {"clBtnFace", Sys(15)},
    {"clBtnShadow", Sys(16)},
    {"clGrayText", Sys(17)},
    {"clBtnText", Sys(18)},
    {"clInactiveCaptionText", Sys(19)},
    {"clBtnHighlight", Sys(20)},
    {"cl3DDkShadow", Sys(21)},
    {"cl3DLight", Sys(22)},
    {"clInfoText", Sys(23)},
    {"clInfoBk", Sys(24)},
    {"clHotLight", Sys(26)},
    {"clGradientActiveCaption", Sys(27)},
    {"clGradientInactiveCaption", Sys(28)},
    {"clMenuHighlight", Sys(29)},
    {"clMenuBar", Sys(30)},
}};

// The light desktop theme that stands in for the platform's system colours,
// indexed by system colour index (0x00BBGGRR). Index 25 has no role.
constexpr std::array<std::uint32_t, 31> kLightTheme = {
    0xC8C8C8,  // 0 scroll bar
    0x000000,  // 1 desktop background
    0xD1B499,  // 2 active caption
    0xDBCDBF,  // 3 inactive caption
    0xF0F0F0,  // 4 menu
    0xFFFFFF,  // 5 window
    0x646464,  // 6 window frame
    0x000000,  // 7 menu text
    0x000000,  // 8 window text
    0x000000,  // 9 caption text
    0xB4B4B4,  // 10 active border
    0xFCF7F4,  // 11 inactive border
    0xABABAB,  // 12 application workspace
    0xD77800,  // 13 highlight
    0xFFFFFF,  // 14 highlight text
    0xF0F0F0,  // 15 button face
    0xA0A0A0,  // 16 button shadow
    0x6D6D6D,  // 17 grey text
    0x000000,  // 18 button text
    0x000000,  // 19 inactive caption text
    0xFFFFFF,  // 20 button highlight
    0x696969,  // 21 3D dark shadow
    0xE3E3E3,  // 22 3D light
    0x000000,  // 23 tooltip text
    0xE1FFFF,  // 24 tooltip background
    0x000000,  // 25 (unused)
    0xCC6600,  // 26 hot-tracked item
    0xEAD1B9,  // 27 active caption gradient
    0xF2E4D7,  // 28 inactive caption gradient
    0xD77800,  // 29 menu highlight
    0xF0F0F0,  // 30 menu bar
};

}  // namespace

std::optional<std::uint32_t> IdentToColor(const std::string& name) {
    for (const auto& c : kNamedColors)
        if (EqualsNoCase(name, c.name)) return c.value;
    return std::nullopt;
}

std::optional<std::string> ColorToIdent(std::uint32_t color) {
    for (const auto& c : kNamedColors)
        if (c.value == color) return std::string(c.name);
    return std::nullopt;
}

std::string ColorToString(std::uint32_t color) {
    if (auto name = ColorToIdent(color)) return *name;
    static const char* const digits = "0123456789ABCDEF";
    std::string out = "$";
    for (int shift = 28; shift >= 0; shift -= 4) out += digits[(color >> shift) & 0xF];
    return out;
}

std::uint32_t StringToColor(const std::string& text) {
    if (auto named = IdentToColor(text)) return *named;
    if (auto number = ParseColorNumber(text)) return *number;
    throw Error("'" + text + "' is not a valid colour value");
}

std::uint32_t SystemColorToRgb(std::uint32_t color) {
    if (color == kColorDefault || color == kColorNone) color = kColorWindowText;
    if ((color & kSystemColorFlag) != kSystemColorFlag) return color;
    std::size_t index = color & 0xFFu;
    // The platform answers black for an index it does not know.
    return index < kLightTheme.size() ? kLightTheme[index] : 0x000000u;
}

}  // namespace qb
