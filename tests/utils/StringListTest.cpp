#include <gtest/gtest.h>

#include "Utils/StringList.h"
#include "support/Error.h"
#include "tests/support/TestSupport.h"

using namespace qb;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    TStringList l;
    l.SetText(text);
    return l.Items();
}

using V = std::vector<std::string>;

}  // namespace

TEST(TStringList, SplitsAtCrLfLfAndCr) {
    EXPECT_EQ((V{"a", "b", "c", "d"}), Lines("a\r\nb\nc\rd"));
    EXPECT_EQ((V{"a", "b"}), Lines("a\r\nb\r\n"));
    EXPECT_EQ((V{"a", "", "b"}), Lines("a\n\nb"));
    EXPECT_EQ((V{"a", "", "b"}), Lines("a\r\rb"));
    // CR then CR LF is two breaks, LF then CR too.
    EXPECT_EQ((V{"a", "", "b"}), Lines("a\r\r\nb"));
    EXPECT_EQ((V{"a", "", "b"}), Lines("a\n\rb"));
    EXPECT_EQ((V{"", ""}), Lines("\r\n\r\n"));
    EXPECT_EQ(V{}, Lines(""));
    EXPECT_EQ(V{"x"}, Lines("x"));
}

TEST(TStringList, SetTextReplacesTheContent) {
    TStringList l;
    l.Add("old");
    l.SetText("new\r\n");
    EXPECT_EQ(V{"new"}, l.Items());
}

TEST(TStringList, TextEndsEveryLineWithCrLf) {
    TStringList l;
    EXPECT_EQ("", l.Text());
    l.Add("a");
    l.Add("");
    l.Add("b");
    EXPECT_EQ("a\r\n\r\nb\r\n", l.Text());
}

TEST(TStringList, SaveAndLoadFiles) {
    qbtest::TempDir tmp;
    TStringList l;
    l.Add("one");
    l.Add("two");
    l.SaveToFile(tmp / "l.txt");
    EXPECT_EQ("one\r\ntwo\r\n", qbtest::ReadFile(tmp / "l.txt"));

    qbtest::WriteFile(tmp / "unix.txt", "x\ny\n");
    TStringList r;
    r.Add("stale");
    r.LoadFromFile(tmp / "unix.txt");
    EXPECT_EQ((V{"x", "y"}), r.Items());

    r.LoadFromFile(tmp / "missing.txt");
    EXPECT_TRUE(r.Empty());

    EXPECT_THROW(l.SaveToFile(tmp / "no/such/folder/l.txt"), qb::Error);
}

TEST(TStringList, IndexOfIgnoresAsciiCaseAndKeepsDuplicates) {
    TStringList l;
    EXPECT_EQ(0, l.Add("C:\\Out\\Page.html"));
    EXPECT_EQ(1, l.Add("c:\\out\\page.HTML"));
    EXPECT_EQ(2, l.Add("C:\\Out\\Page.html"));
    EXPECT_EQ(3, l.Count());
    EXPECT_EQ(0, l.IndexOf("C:\\OUT\\PAGE.HTML"));
    EXPECT_TRUE(l.Contains("c:\\out\\page.html"));
    EXPECT_EQ(-1, l.IndexOf("C:\\Out\\Page.htm"));
    l.Delete(0);
    EXPECT_EQ(0, l.IndexOf("C:\\Out\\Page.html"));
    EXPECT_EQ(2, l.Count());

    TStringList u;
    u.Add("\xC3\x84.txt");
    EXPECT_EQ(-1, u.IndexOf("\xC3\xA4.txt"));
    EXPECT_EQ(0, u.IndexOf("\xC3\x84.TXT"));
}

TEST(TStringList, InsertDeleteAndValue) {
    TStringList l;
    l.Add("b");
    l.Insert(0, "a");
    l.Insert(99, "c");
    EXPECT_EQ((V{"a", "b", "c"}), l.Items());
    l.Delete(-1);
    l.Delete(3);
    EXPECT_EQ(3, l.Count());
    EXPECT_THROW(l[3], std::out_of_range);

    TStringList h;
    h.SetText("Database.HANDLE=7\r\nPath=\\Organizer\\data\\a=b\\\r\nempty=");
    EXPECT_EQ("7", h.Value("database.handle"));
    EXPECT_EQ("\\Organizer\\data\\a=b\\", h.Value("PATH"));
    EXPECT_EQ("", h.Value("empty"));
    EXPECT_EQ("", h.Value("missing"));
    EXPECT_EQ("", h.Value("Database"));
}

TEST(LowerAscii, FoldsOnlyAsciiLetters) {
    EXPECT_EQ("abc\xC4[", LowerAscii("ABC\xC4["));
}

// Long lists are looked up through an index; every change must keep it right.
class LongStringList : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 100; ++i) l.Add("Page" + std::to_string(i) + ".HTML");
    }
    TStringList l;
};

TEST_F(LongStringList, AddedEntriesAndDuplicates) {
    EXPECT_EQ(42, l.IndexOf("page42.html"));
    EXPECT_EQ(-1, l.IndexOf("page100.html"));
    l.Add("PAGE100.html");
    l.Add("page7.html");
    EXPECT_EQ(100, l.IndexOf("page100.HTML"));
    EXPECT_EQ(7, l.IndexOf("page7.html"));
}

TEST_F(LongStringList, InsertDeleteAndAssignmentShiftPositions) {
    EXPECT_EQ(10, l.IndexOf("page10.html"));
    l.Insert(0, "first");
    EXPECT_EQ(11, l.IndexOf("page10.html"));
    EXPECT_EQ(0, l.IndexOf("FIRST"));
    l.Delete(0);
    l.Delete(0);
    EXPECT_EQ(9, l.IndexOf("page10.html"));
    EXPECT_EQ(-1, l.IndexOf("page0.html"));
    l[9] = "renamed";
    EXPECT_EQ(-1, l.IndexOf("page10.html"));
    EXPECT_EQ(9, l.IndexOf("Renamed"));
    // Deleting the first of two equal entries uncovers the second.
    l.Add("page50.html");
    const int last = l.Count() - 1;
    l.Delete(l.IndexOf("page50.html"));
    EXPECT_EQ(last - 1, l.IndexOf("page50.html"));
    l.Insert(l.Count(), "tail");
    EXPECT_EQ(l.Count() - 1, l.IndexOf("tail"));
}

TEST_F(LongStringList, ClearSetTextCopyAndMove) {
    ASSERT_EQ(5, l.IndexOf("page5.html"));
    TStringList copy = l;
    copy.Delete(0);
    EXPECT_EQ(5, l.IndexOf("page5.html"));
    EXPECT_EQ(4, copy.IndexOf("page5.html"));

    TStringList moved = std::move(copy);
    EXPECT_EQ(4, moved.IndexOf("page5.html"));
    for (int i = 0; i < 100; ++i) copy.Add("other" + std::to_string(i));  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(0, copy.IndexOf("other0"));
    EXPECT_EQ(-1, copy.IndexOf("page5.html"));

    l.Clear();
    EXPECT_EQ(-1, l.IndexOf("page5.html"));
    std::string text;
    for (int i = 0; i < 50; ++i) text += "line" + std::to_string(i) + "\r\n";
    l.SetText(text);
    EXPECT_EQ(49, l.IndexOf("LINE49"));
    EXPECT_EQ(-1, l.IndexOf("page5.html"));
    l.Delete(20);
    while (l.Count() > 3) l.Delete(l.Count() - 1);
    for (int i = 0; i < 60; ++i) l.Add("again" + std::to_string(i));
    EXPECT_EQ(3, l.IndexOf("again0"));
    EXPECT_EQ(1, l.IndexOf("line1"));
}
