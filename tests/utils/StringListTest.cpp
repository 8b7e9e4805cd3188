#include <gtest/gtest.h>

#include "Error.h"
#include "StringList.h"
#include "TestSupport.h"

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

TEST(SameTextAscii, FoldsOnlyAsciiLetters) {
    EXPECT_TRUE(SameTextAscii("AbC", "aBc"));
    EXPECT_FALSE(SameTextAscii("ab", "abc"));
    EXPECT_FALSE(SameTextAscii("@", "`"));
    EXPECT_FALSE(SameTextAscii("\xC4", "\xE4"));
    EXPECT_EQ("abc\xC4[", LowerAscii("ABC\xC4["));
}
