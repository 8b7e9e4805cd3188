#include <gtest/gtest.h>

#include <cstdint>

#include "Utils/Format.h"
#include "support/Error.h"

using qb::Format;

TEST(Format, TextsAndNumbersInOrder) {
    EXPECT_EQ("a=x, b=12, c=FF", Format("a=%s, b=%d, c=%x", {"x", 12, 255}));
    EXPECT_EQ("-5", Format("%d", {-5}));
    EXPECT_EQ("-9223372036854775808", Format("%d", {static_cast<long long>(INT64_MIN)}));
    EXPECT_EQ("100%", Format("%d%%", {100}));
    EXPECT_EQ("no places", Format("no places", {}));
    // Unused arguments are ignored.
    EXPECT_EQ("1", Format("%d", {1, 2}));
    EXPECT_EQ("", Format("%s", {std::string()}));
    EXPECT_EQ("", Format("%s", {static_cast<const char*>(nullptr)}));
}

TEST(Format, HexIsUpperCaseWithMinimumDigits) {
    EXPECT_EQ("0A", Format("%.2x", {10}));
    EXPECT_EQ("ABC", Format("%.2x", {0xABC}));
    EXPECT_EQ("0", Format("%x", {0}));
    EXPECT_EQ("00", Format("%.2x", {0}));
    EXPECT_EQ("0x78387E", Format("0x%x", {0x78387E}));
    EXPECT_EQ("7FFFFFFF", Format("%x", {0x7FFFFFFF}));
}

TEST(Format, NegativeHexIsThe32BitTwosComplement) {
    EXPECT_EQ("FFFFFFFF", Format("%x", {-1}));
    EXPECT_EQ("80000000", Format("%x", {static_cast<int>(0x80000000u)}));
    EXPECT_EQ("FFFFFF00", Format("%.2x", {-256}));
    EXPECT_EQ("FFFFFFFF", Format("%x", {0xFFFFFFFFu}));
}

TEST(Format, WidthPrecisionAndAlignment) {
    EXPECT_EQ("   42", Format("%5d", {42}));
    EXPECT_EQ("42   |", Format("%-5d|", {42}));
    EXPECT_EQ("ab   |", Format("%-5s|", {"ab"}));
    EXPECT_EQ("   ab", Format("%5s", {"ab"}));
    EXPECT_EQ("abcdef", Format("%3s", {"abcdef"}));
    EXPECT_EQ("ab", Format("%.2s", {"abcdef"}));
    EXPECT_EQ("007", Format("%.3d", {7}));
    EXPECT_EQ("-007", Format("%.3d", {-7}));
    EXPECT_EQ("  07", Format("%4.2d", {7}));
    EXPECT_EQ("X", Format("%S", {"X"}));
    EXPECT_EQ("1F", Format("%X", {31}));
}

// Language files supply the format texts: a huge width must neither overflow
// nor pad a line to gigabytes.
TEST(Format, HugeWidthsAndPrecisionsAreHeld) {
    EXPECT_EQ(1024u, Format("%99999999999d", {7}).size());
    EXPECT_EQ(1024u, Format("%2147483647d", {7}).size());
    EXPECT_EQ(1024u, Format("%-4294967297s|", {"ab"}).size() - 1);
    EXPECT_EQ(1024u, Format("%.99999999999d", {7}).size());
    EXPECT_EQ("abc", Format("%.99999999999s", {"abc"}));
    EXPECT_EQ(std::string(1023, ' ') + "7", Format("%1024d", {7}));
}

TEST(Format, MismatchesRaise) {
    EXPECT_THROW(Format("%d", {"text"}), qb::Error);
    EXPECT_THROW(Format("%x", {"text"}), qb::Error);
    EXPECT_THROW(Format("%s", {5}), qb::Error);
    EXPECT_THROW(Format("%d and %d", {5}), qb::Error);
    EXPECT_THROW(Format("%s", {}), qb::Error);
    EXPECT_THROW(Format("50%", {1}), qb::Error);
    EXPECT_THROW(Format("%q", {1}), qb::Error);
    EXPECT_THROW(Format("%5", {1}), qb::Error);
    try {
        Format("step %d", {"x"});
        FAIL() << "no error";
    } catch (const qb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("step %d"), std::string::npos) << e.what();
    }
}
