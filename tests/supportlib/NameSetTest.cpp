#include <gtest/gtest.h>

#include <string>

#include "support/NameSet.h"

using qb::NameSet;

TEST(NameSet, EqualNamesIgnoreAsciiCaseOnly) {
    NameSet set;
    EXPECT_TRUE(set.Insert("/9/Page.html"));
    EXPECT_FALSE(set.Insert("/9/PAGE.HTML"));
    EXPECT_TRUE(set.Contains("/9/page.html"));
    EXPECT_FALSE(set.Contains("/9/page.htm"));
    EXPECT_FALSE(set.Contains("/9/page.html "));
    // Letters outside ASCII are bytes: "Ä" and "ä" are two names.
    EXPECT_TRUE(set.Insert("/\xC3\x84.html"));
    EXPECT_TRUE(set.Insert("/\xC3\xA4.html"));
    EXPECT_TRUE(set.Insert(""));
    EXPECT_FALSE(set.Insert(""));
    EXPECT_FALSE(set.Contains(std::string("a\0b", 3)));
    EXPECT_TRUE(set.Insert(std::string("a\0b", 3)));
    EXPECT_TRUE(set.Contains(std::string("A\0B", 3)));
    EXPECT_FALSE(set.Contains("a"));
    EXPECT_EQ(5u, set.Size());
}

// Many names: every one found after the table has grown many times, and
// names that only share a prefix with them are not.
TEST(NameSet, GrowsWithoutLosingOrConfusingNames) {
    NameSet set;
    constexpr int kNames = 20000;
    for (int i = 0; i < kNames; ++i)
        ASSERT_TRUE(set.Insert("/n" + std::to_string(i % 10) + "/Item_" + std::to_string(i)));
    EXPECT_EQ(static_cast<std::size_t>(kNames), set.Size());
    for (int i = 0; i < kNames; ++i) {
        ASSERT_TRUE(set.Contains("/N" + std::to_string(i % 10) + "/ITEM_" + std::to_string(i))) << i;
        ASSERT_FALSE(set.Contains("/n" + std::to_string(i % 10) + "/Item_" + std::to_string(i) + "0" + "x")) << i;
        ASSERT_FALSE(set.Insert("/n" + std::to_string(i % 10) + "/item_" + std::to_string(i))) << i;
    }
    set.Clear();
    EXPECT_TRUE(set.Empty());
    EXPECT_FALSE(set.Contains("/n0/Item_0"));
    EXPECT_TRUE(set.Insert("/n0/Item_0"));
}
