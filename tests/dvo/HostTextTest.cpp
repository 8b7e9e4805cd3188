// Texts at the storage library's C interface: the ANSI code page outside,
// UTF-8 inside; a name the code page cannot hold fails, naming the item.
#include "dvo/HostText.h"

#include <gtest/gtest.h>

#include "dvo/dvo.h"
#include "support/Error.h"
#include "support/Os.h"
#include "tests/dvo/DvoTestUtil.h"
#include "tests/support/TestSupport.h"

using namespace dvotest;
using qbtest::TempDir;
using qbtest::WriteFile;

namespace {

std::string Raised(const std::string& utf8, int codePage, const std::string& what) {
    try {
        qb::dvo::ToHostText(utf8, codePage, what);
    } catch (const qb::Error& e) {
        return e.what();
    }
    return "<nothing raised>";
}

}  // namespace

TEST(HostText, NamesAndCaptionsGoOutInTheCodePageAndComeBack) {
    EXPECT_EQ("\xD6" "ffnungszeiten.txt", qb::dvo::ToHostText("Öffnungszeiten.txt", 1252, "x"));
    EXPECT_EQ("\xBD\xC8\xD7\xD3 Dumplings", qb::dvo::ToHostText("饺子 Dumplings", 936, "x"));
    EXPECT_EQ("饺子 Dumplings", qb::dvo::FromHostText("\xBD\xC8\xD7\xD3 Dumplings", 936));
    EXPECT_EQ("Straße", qb::dvo::FromHostText("Stra\xDF" "e", 1252));
    EXPECT_EQ("饺子", qb::dvo::FromHostText("饺子", 65001));
    // Where the code page is UTF-8 the stored bytes go out as they are, as before.
    EXPECT_EQ("bad\xFF", qb::dvo::ToHostText("bad\xFF", 65001, "x"));
    EXPECT_EQ("", qb::dvo::FromHostText(nullptr, 1252));
}

TEST(HostText, ATextTheCodePageCannotHoldRaisesNamingItAndTheCharacters) {
    const std::string why = Raised("饺子 Dumplings", 1252, "The caption of \"\\Organizer\\data\\2\\\"");
    EXPECT_EQ("The caption of \"\\Organizer\\data\\2\\\" holds characters the ANSI code page 1252 lacks: "
              "<U+997A><U+5B50>",
              why);
    // Beyond the basic plane: one character, not two halves.
    EXPECT_NE(std::string::npos, Raised("a😀", 936, "n").find("<U+1F600>")) << Raised("a😀", 936, "n");
}

TEST(HostText, MessagesKeepWhatTheCodePageHoldsAndSpellOutTheRest) {
    EXPECT_EQ("Caf\xE9 <U+997A><U+5B50>", qb::dvo::ToHostMessage("Café 饺子", 1252));
    EXPECT_EQ("\xBD\xC8\xD7\xD3 <U+00D6>l", qb::dvo::ToHostMessage("饺子 Öl", 936));
    EXPECT_EQ("plain", qb::dvo::ToHostMessage("plain", 1252));
}

// Through the library itself, in whatever code page this system has: a name it
// can hold comes out in that code page; one it cannot hold fails the whole
// call with the item named, and nothing half-listed reaches the caller.
TEST(HostText, TheLibraryHandsOutNamesInTheSystemsCodePageOrRefusesThem) {
    TempDir tmp;
    const std::string src = tmp / "src/";
    WriteFile(src + "1/.caption", "饺子 Dumplings");
    WriteFile(src + "1/Öffnungszeiten.txt", "Mo-Fr");
    WriteFile(src + "2/.caption", "Grüße");
    MustImport(src, tmp / "db.kvdb");
    Db db(tmp / "db.kvdb");
    ASSERT_GT(db.get(), 0) << dvo_last_error();
    const int cp = qb::os::AnsiCodePage();

    std::string chinese, german;
    const bool holdsChinese = qb::os::ToCodePageExactly("饺子 Dumplings", cp, chinese);
    const bool holdsGerman = qb::os::ToCodePageExactly("Öffnungszeiten.txt", cp, german);
    const std::string hint = dvo_get_hint(db.get(), (kRoot + "1\\").c_str());
    if (holdsChinese) {
        EXPECT_EQ(chinese, hint);
        EXPECT_STREQ("", dvo_db_last_error(db.get()));
    } else {
        EXPECT_EQ("", hint);
        const std::string why = dvo_db_last_error(db.get());
        EXPECT_NE(std::string::npos, why.find("\\Organizer\\data\\1\\")) << why;
        EXPECT_NE(std::string::npos, why.find("<U+997A><U+5B50>")) << why;
    }

    const std::vector<Entry> entries = Enumerate(db.get(), kRoot + "1\\");
    if (holdsGerman) {
        ASSERT_EQ(1u, entries.size());
        EXPECT_EQ(german, entries[0].name);
        // The name handed out finds the file again.
        EXPECT_EQ(1, dvo_path_exists(db.get(), (kRoot + "1\\" + entries[0].name).c_str()));
        EXPECT_EQ("Mo-Fr", Exported(db.get(), kRoot + "1\\" + entries[0].name, tmp));
    } else {
        EXPECT_TRUE(entries.empty());
        const std::string why = dvo_db_last_error(db.get());
        EXPECT_NE(std::string::npos, why.find("\\1\\<U+00D6>ffnungszeiten.txt")) << why;
    }

    // The root's listing carries item 1's caption: all of it or none of it.
    const std::vector<Entry> top = Enumerate(db.get(), kRoot);
    if (holdsChinese && holdsGerman) {
        ASSERT_EQ(2u, top.size());
        EXPECT_EQ(chinese, top[0].caption);
    } else if (!holdsChinese) {
        EXPECT_TRUE(top.empty());
        EXPECT_NE(std::string::npos, std::string(dvo_db_last_error(db.get())).find("\\Organizer\\data\\1\\"));
    }
    // Paths come in in the code page too: a caller's bytes find the item.
    std::string grusse;
    if (qb::os::ToCodePageExactly("Grüße", cp, grusse))
        EXPECT_EQ(grusse, std::string(dvo_get_hint(db.get(), (kRoot + "2\\").c_str())));
}

TEST(HostText, WideNamesOpenAndImportWhateverTheCodePage) {
    TempDir tmp;
    const std::string src = tmp / "Quelle 饺子/";
    WriteFile(src + "1/.caption", "A");
    const std::string file = tmp / "Datenbank 饺子.kvdb";
    ASSERT_EQ(1, dvo_import_w(qb::os::ToWide(src).c_str(), qb::os::ToWide(file).c_str()))
        << dvo_last_error();
    const int db = dvo_open_w(qb::os::ToWide(file).c_str());
    ASSERT_GT(db, 0) << dvo_last_error();
    EXPECT_STREQ("A", dvo_get_hint(db, (kRoot + "1\\").c_str()));
    dvo_close(db);
    EXPECT_EQ(0, dvo_open_w(nullptr));
    EXPECT_STREQ("No database file given", dvo_last_error());
    EXPECT_EQ(0, dvo_import_w(nullptr, qb::os::ToWide(file).c_str()));
}
