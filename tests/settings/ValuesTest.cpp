#include <gtest/gtest.h>

#include "settings/Colors.h"
#include "settings/XmlValues.h"
#include "support/Error.h"

namespace {

TEST(BoolText, AcceptsWordsInAnyCaseAndNumbers) {
    EXPECT_EQ(qb::ParseBool("TRUE"), true);
    EXPECT_EQ(qb::ParseBool("False"), false);
    EXPECT_EQ(qb::ParseBool("1"), true);
    EXPECT_EQ(qb::ParseBool("0"), false);
    EXPECT_EQ(qb::ParseBool("000"), false);
    EXPECT_EQ(qb::ParseBool("-3"), true);
    // Longer than any integer: still a number, and not zero.
    EXPECT_EQ(qb::ParseBool("100000000000000000000"), true);
}

TEST(BoolText, RejectsEmptyAndOtherWords) {
    for (const char* bad : {"", "yes", "no", "t", " true", "true ", "1.0", "-", "+"})
        EXPECT_FALSE(qb::ParseBool(bad).has_value()) << bad;
    EXPECT_THROW(qb::TextToBool("yes", "Config/WholeDB"), qb::Error);
    try {
        qb::TextToBool("yes", "Quillbook/Config/WholeDB");
    } catch (const qb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("'yes'"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("Quillbook/Config/WholeDB"), std::string::npos);
    }
}

TEST(IntText, DecimalOrHexWithinThirtyTwoBits) {
    EXPECT_EQ(qb::ParseInt("-1"), -1);
    EXPECT_EQ(qb::ParseInt("+7"), 7);
    EXPECT_EQ(qb::ParseInt("2147483647"), 2147483647);
    EXPECT_EQ(qb::ParseInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(qb::ParseInt("0000000000000300"), 300);
    EXPECT_EQ(qb::ParseInt("0x12C"), 300);
    EXPECT_EQ(qb::ParseInt("-0x80000000"), INT32_MIN);
    for (const char* bad : {"", "2147483648", "-2147483649", "0x80000000", "99999999999", "1.5", "$10", "12a", " 1"})
        EXPECT_FALSE(qb::ParseInt(bad).has_value()) << bad;
    EXPECT_EQ(qb::IntToText(-1), "-1");
    EXPECT_EQ(qb::IntToText(7878782), "7878782");
}

TEST(ColorText, NamedColoursAreWrittenByName) {
    EXPECT_EQ(qb::ColorToString(qb::kColorWindowText), "clWindowText");
    EXPECT_EQ(qb::ColorToString(0xFF0000), "clBlue");
    EXPECT_EQ(qb::ColorToString(0x0000FF), "clRed");
    EXPECT_EQ(qb::ColorToString(0xF0CAA6), "clSkyBlue");
    EXPECT_EQ(qb::ColorToString(0x1FFFFFFF), "clNone");
    EXPECT_EQ(qb::ColorToString(0xFF00001A), "clHotLight");
    EXPECT_EQ(qb::ColorToString(0xFF00001E), "clMenuBar");
}

TEST(ColorText, UnnamedColoursAreDollarHex) {
    EXPECT_EQ(qb::ColorToString(0x00123456), "$00123456");
    EXPECT_EQ(qb::ColorToString(0xFF000019), "$FF000019");  // index 25 has no name
    EXPECT_EQ(qb::ColorToString(0x00ABCDEF), "$00ABCDEF");
}

TEST(ColorText, EveryNameReadsBackToItsValue) {
    for (std::uint32_t v : {0x000000u, 0x000080u, 0x008000u, 0x008080u, 0x800000u,   0x800080u,  0x808000u, 0x808080u,
                            0xC0C0C0u, 0x0000FFu, 0x00FF00u, 0x00FFFFu, 0xFF0000u,   0xFF00FFu,  0xFFFF00u, 0xFFFFFFu,
                            0xC0DCC0u, 0xF0CAA6u, 0xF0FBFFu, 0xA4A0A0u, 0x1FFFFFFFu, 0x20000000u}) {
        std::string name = qb::ColorToString(v);
        EXPECT_EQ(name.substr(0, 2), "cl") << std::hex << v;
        EXPECT_EQ(qb::StringToColor(name), v) << name;
    }
    for (std::uint32_t i = 0; i <= 30; ++i) {
        std::string name = qb::ColorToString(0xFF000000u | i);
        EXPECT_EQ(name[0], i == 25 ? '$' : 'c') << i;
        EXPECT_EQ(qb::StringToColor(name), 0xFF000000u | i) << name;
    }
}

TEST(ColorText, ReadsNamesInAnyCaseAndNumbers) {
    EXPECT_EQ(qb::StringToColor("CLBLUE"), 0xFF0000u);
    EXPECT_EQ(qb::StringToColor("clwindowtext"), qb::kColorWindowText);
    EXPECT_EQ(qb::StringToColor("$00123456"), 0x00123456u);
    EXPECT_EQ(qb::StringToColor("$ff"), 0xFFu);
    EXPECT_EQ(qb::StringToColor("16711680"), 0xFF0000u);
    // System colours as signed decimals.
    EXPECT_EQ(qb::StringToColor("-16777208"), qb::kColorWindowText);
    EXPECT_EQ(qb::StringToColor("4294967295"), 0xFFFFFFFFu);
}

TEST(ColorText, AnythingElseIsAConversionError) {
    for (const char* bad : {"", "blue", "cl", "$", "$123456789", "$12G4", "#FF0000", "0xFF", "12abc", "4294967296",
                            "-2147483649", " clBlue"})
        EXPECT_THROW(qb::StringToColor(bad), qb::Error) << bad;
}

TEST(SystemColors, LightThemeValues) {
    EXPECT_EQ(qb::SystemColorToRgb(qb::kColorWindowText), 0x000000u);
    EXPECT_EQ(qb::SystemColorToRgb(0xFF000005), 0xFFFFFFu);  // window
    EXPECT_EQ(qb::SystemColorToRgb(0xFF00000E), 0xFFFFFFu);  // highlight text
    EXPECT_NE(qb::SystemColorToRgb(0xFF00000D), qb::SystemColorToRgb(0xFF00000E));
    // Default and none are no colours of their own for text.
    EXPECT_EQ(qb::SystemColorToRgb(qb::kColorDefault), 0x000000u);
    EXPECT_EQ(qb::SystemColorToRgb(qb::kColorNone), 0x000000u);
    EXPECT_EQ(qb::SystemColorToRgb(0x00123456), 0x00123456u);
    EXPECT_EQ(qb::SystemColorToRgb(0xFF0000FF), 0x000000u);  // unknown index
    for (std::uint32_t i = 0; i <= 30; ++i) EXPECT_EQ(qb::SystemColorToRgb(0xFF000000u | i) >> 24, 0u) << i;
}

}  // namespace
