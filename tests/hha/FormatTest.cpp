// Building blocks of the file format: directory, bit codes, words, tables.
#include <gtest/gtest.h>

#include <chm_lib.h>

#include <algorithm>

#include "hha/ChmContainer.h"
#include "hha/HhaFts.h"
#include "hha/HhaHelpFiles.h"
#include "hha/HhaStoredLzx.h"
#include "support/Error.h"
#include "tests/hha/ChmRead.h"
#include "tests/support/TestSupport.h"

using namespace qb::hha;

namespace {

std::uint32_t Get32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

}  // namespace

TEST(Directory, EncIntIsBigEndianSevenBitGroups) {
    std::string out;
    PutEncInt(out, 0);
    PutEncInt(out, 127);
    PutEncInt(out, 128);
    PutEncInt(out, 0x4000);
    EXPECT_EQ(std::string("\x00\x7f\x81\x00\x81\x80\x00", 7), out);
}

TEST(Directory, NamesOrderWithoutRegardToCase) {
    // Letters fold to lower case, so "_" (0x5F) sorts before them.
    EXPECT_TRUE(ChmNameLess("/_a", "/B"));
    EXPECT_TRUE(ChmNameLess("/a.html", "/B.html"));
    EXPECT_FALSE(ChmNameLess("/B.html", "/a.html"));
    EXPECT_TRUE(ChmNameLess("/#SYSTEM", "/$FIftiMain"));
    EXPECT_TRUE(ChmNameLess("/z", "::DataSpace/NameList"));
    EXPECT_TRUE(ChmNameLess("/a", "/a/"));
}

TEST(Directory, ManyNamesGetIndexChunksAndLinkedListings) {
    ChmContainer c(StoredSection());
    for (int i = 0; i < 3000; ++i)
        c.AddFile("/folder" + std::to_string(i % 7) + "/page-with-a-long-name-" + std::to_string(i) + ".html",
                  std::to_string(i));
    qbtest::TempDir dir;
    std::string chm = c.Build(0x409);
    const std::size_t itsp = 0x78;
    std::uint32_t depth = Get32(chm, itsp + 0x18), root = Get32(chm, itsp + 0x1C);
    std::uint32_t first = Get32(chm, itsp + 0x20), last = Get32(chm, itsp + 0x24), count = Get32(chm, itsp + 0x2C);
    EXPECT_EQ(2u, depth);
    EXPECT_EQ(0u, first);
    EXPECT_GT(last, 1u);
    EXPECT_EQ(count - 1, root);
    EXPECT_EQ("PMGI", chm.substr(itsp + 0x54 + root * 0x1000, 4));
    // Listing chunks point at their neighbours.
    std::size_t chunk1 = itsp + 0x54 + 0x1000;
    EXPECT_EQ(0u, Get32(chm, chunk1 + 0x0C));
    EXPECT_EQ(2u, Get32(chm, chunk1 + 0x10));
    // The second GUID differs from the first in its last digit of the first group.
    EXPECT_EQ(0x7C01FD10u, Get32(chm, 0x18));
    EXPECT_EQ(0x7C01FD11u, Get32(chm, 0x28));

    qbtest::WriteFile(dir / "many.chm", chm);
    chmFile* h = chm_open((dir / "many.chm").c_str());
    ASSERT_NE(nullptr, h);
    for (int i : {0, 1, 1234, 2999}) {
        chmUnitInfo ui{};
        std::string name = "/FOLDER" + std::to_string(i % 7) + "/page-with-a-long-name-" + std::to_string(i) + ".html";
        ASSERT_EQ(CHM_RESOLVE_SUCCESS, chm_resolve_object(h, name.c_str(), &ui)) << name;
        std::string bytes(ui.length, '\0');
        chm_retrieve_object(h, &ui, reinterpret_cast<unsigned char*>(bytes.data()), 0, ui.length);
        EXPECT_EQ(std::to_string(i), bytes);
    }
    chm_close(h);
}

// Names longer than half a chunk: with 4 KB chunks an index chunk could hold
// only one, so index levels stopped shrinking and the directory grew with the
// square of the names. Chunks grow instead; the directory stays within a small
// multiple of the names it holds, and every reader still finds each name.
TEST(Directory, DeepFoldersKeepTheDirectoryProportionalToItsNames) {
    ChmContainer c(StoredSection());
    std::vector<std::string> names;
    std::size_t nameBytes = 0;
    std::string folder = "/";
    for (int level = 1; level <= 200; ++level) {
        folder += "level-" + std::to_string(1000 + level) + "-folder/";
        nameBytes += folder.size();  // the folder's own entry
        for (const char* file : {"page.html", "menu.js"}) {
            names.push_back(folder + file);
            nameBytes += names.back().size();
            c.AddFile(names.back(), std::to_string(names.size()));
        }
    }
    ASSERT_GT(folder.size(), 3000u);
    std::string chm = c.Build(0x409);
    const std::size_t itsp = 0x60 + 0x18;
    const std::uint32_t chunkSize = Get32(chm, itsp + 0x10);
    EXPECT_GT(chunkSize, 0x1000u);
    EXPECT_EQ(0u, chunkSize & (chunkSize - 1)) << chunkSize;
    EXPECT_LT(Get32(chm, 0x50), 4 * nameBytes);  // directory length
    EXPECT_LE(Get32(chm, itsp + 0x18), 12u);     // index depth: the levels halve at least

    // chmlib takes no name over 512 bytes; these readers take any.
    qbtest::TempDir dir;
    qbtest::WriteFile(dir / "deep.chm", chm);
    std::map<std::string, std::string> mspack = hhatest::ReadWithMspack(dir / "deep.chm");
    std::map<std::string, std::string> sevenZip = hhatest::ReadWith7z(dir / "deep.chm", dir / "x");
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(std::to_string(i + 1), mspack[names[i]]) << names[i].size();
        EXPECT_EQ(std::to_string(i + 1), sevenZip[names[i]]) << names[i].size();
    }
}

TEST(Directory, ShallowNamesKeepFourKilobyteChunks) {
    ChmContainer c(StoredSection());
    c.AddFile("/" + std::string(1900, 'a') + ".html", "1");
    c.AddFile("/" + std::string(1900, 'b') + ".html", "2");
    const std::string chm = c.Build(0x409);
    EXPECT_EQ(0x1000u, Get32(chm, 0x60 + 0x18 + 0x10));
}

TEST(Directory, NameStoredTwiceIsAnError) {
    ChmContainer c(StoredSection());
    c.AddFile("/a.html", "1");
    c.AddFile("/A.HTML", "2");
    EXPECT_THROW(c.Build(0x409), qb::Error);
}

TEST(ScaleRootCode, ValuesBelowAndAboveTheRoot) {
    BitWriter w;
    w.PutSr(0, 1);  // 0 0
    w.PutSr(1, 1);  // 0 1
    w.PutSr(2, 1);  // 1 0 0   (top bit at 1: one 1-bit, stop, one low bit)
    w.PutSr(5, 1);  // 1 1 0 0 1   (top bit at 2)
    w.Align();
    // 00 01 100 11001 -> 0001 1001 1001 (padded)
    EXPECT_EQ(std::string("\x19\x90", 2), w.Bytes());
    BitWriter r4;
    r4.PutSr(9, 4);   // below 16: 0 then 1001
    r4.PutSr(16, 4);  // top bit 4: 1 0 then 0000 -> 01001 100000
    r4.Align();
    EXPECT_EQ(std::string("\x4C\x00", 2), r4.Bytes());
}

TEST(Words, TextOfPagesWithoutMarkup) {
    auto words = PageWords(
        "<html><head><title>Über Title</title><style>p{color:red}</style>"
        "<script>var hidden=1;</script></head><body>Fish&amp;Chips "
        "<b>bold</b>face A1b2 &#65;&nbsp;x<!-- secret --></body></html>");
    // Every letter is case-folded, not only ASCII ones.
    std::vector<std::string> expected = {
        "\xC3\xBC"
        "ber",
        "title",
        "fish",
        "chips",
        "bold",
        "face",
        "a1b2",
        "a",
        "x"};
    EXPECT_EQ(expected, words);
    // Unicode word boundaries: punctuation of any script ends a word, ß folds
    // to ss, ideographs form words of their own.
    words = PageWords(
        "<p>\xC3\x9C"
        "berma\xC3\x9F \xE2\x80\x93 \xC3\x96"
        "ffnungszeiten\xEF\xBC\x9A"
        "Caf\xC3\xA9 "
        "\xE2\x82\xAC"
        "5 \xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0 \xE9\xA5\xBA\xE5\xAD\x90</p>");
    expected = {
        "\xC3\xBC"
        "berma\xC3\x9F",
        "\xC3\xB6"
        "ffnungszeiten",
        "caf\xC3\xA9",
        "5",
        "\xD0\xBC\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",
        "\xE9\xA5\xBA\xE5\xAD\x90"};
    EXPECT_EQ(expected, words);
    EXPECT_EQ("Page & more", PageTitle("<TITLE>\r\n Page  &amp; more </TITLE>"));
    EXPECT_EQ("", PageTitle("<html>no title</html>"));
}

TEST(Tables, StringsNeverCrossABlock) {
    StringTable t;
    std::string longText(4000, 'x');
    EXPECT_EQ(0u, t.Add(""));
    std::uint32_t a = t.Add("first");
    EXPECT_EQ(1u, a);
    EXPECT_EQ(a, t.Add("first"));
    t.Add(longText);
    std::uint32_t c = t.Add(std::string(200, 'y'));
    EXPECT_EQ(0x1000u, c);
    EXPECT_EQ(std::string(200, 'y'), std::string(t.Bytes().c_str() + c));
}

TEST(Tables, WindowEntryFromTheDefinition) {
    StringTable s;
    std::string e = WindowEntry(
        "ovel2html=\"Title, x\",\"a.hhc\",a.hhk,\"d.html\",\"/m/h.html\",,,_jump2_.htm,Quillbook,"
        "0x2520,200,0x304E,[10,20,800,600],,0x8,,1,2,,0",
        s);
    ASSERT_EQ(0xC4u, e.size());
    auto str = [&](std::size_t at) { return std::string(s.Bytes().c_str() + Get32(e, at)); };
    EXPECT_EQ("ovel2html", str(0x08));
    EXPECT_EQ("Title, x", str(0x14));
    EXPECT_EQ(0x2520u, Get32(e, 0x10));
    EXPECT_EQ(8u, Get32(e, 0x1C));
    EXPECT_EQ(10u, Get32(e, 0x20));
    EXPECT_EQ(600u, Get32(e, 0x2C));
    EXPECT_EQ(200u, Get32(e, 0x4C));
    EXPECT_EQ("a.hhc", str(0x60));
    EXPECT_EQ("a.hhk", str(0x64));
    EXPECT_EQ("d.html", str(0x68));
    EXPECT_EQ("/m/h.html", str(0x6C));
    EXPECT_EQ(0x304Eu, Get32(e, 0x70));
    EXPECT_EQ(1u, Get32(e, 0x74));
    EXPECT_EQ(2u, Get32(e, 0x78));
    EXPECT_EQ("Quillbook", str(0xA0));
    EXPECT_EQ("_jump2_.htm", str(0xA8));
    EXPECT_EQ("", str(0x9C));
}
