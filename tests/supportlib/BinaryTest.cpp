#include "support/LeBytes.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace qb;

TEST(LeBytes, IntegersAreLittleEndianAndOverwriteInPlace) {
    std::string out;
    Put16(out, 0x1234);
    Put32(out, 0x89ABCDEF);
    Put64(out, 0x0102030405060708ull);
    EXPECT_EQ("3412efcdab890807060504030201", qbtest::HexBytes(out));
    Set16(out, 0, 0xBEEF);
    Set32(out, 2, 0xFFFFFFFF);
    Set64(out, 6, 0);
    EXPECT_EQ("efbeffffffff0000000000000000", qbtest::HexBytes(out));
    // Put16 keeps only the low sixteen bits.
    out.clear();
    Put16(out, 0x12345);
    EXPECT_EQ("4523", qbtest::HexBytes(out));
}

TEST(LeBytes, VariableLengthIntegersInBothGroupOrders) {
    const std::pair<std::uint64_t, const char*> high[] = {
        {0, "00"}, {127, "7f"}, {128, "8100"}, {0x3FFF, "ff7f"}, {0x4000, "818000"}};
    for (const auto& [v, hex] : high) {
        std::string out;
        PutEncInt(out, v);
        EXPECT_EQ(hex, qbtest::HexBytes(out)) << v;
    }
    const std::pair<std::uint64_t, const char*> low[] = {
        {0, "00"}, {127, "7f"}, {128, "8001"}, {0x3FFF, "ff7f"}, {0x4000, "808001"}};
    for (const auto& [v, hex] : low) {
        std::string out;
        PutEncIntLow(out, v);
        EXPECT_EQ(hex, qbtest::HexBytes(out)) << v;
    }
    std::string max;
    PutEncInt(max, UINT64_MAX);
    EXPECT_EQ("81ffffffffffffffff7f", qbtest::HexBytes(max));
}
