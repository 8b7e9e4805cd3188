// The full-text index: the same bytes however its word lists are split into
// sorted runs, and words case-folded as ICU folds them.
#include <gtest/gtest.h>

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "hha/HhaFts.h"
#include "hha/HhaText.h"
#include "support/Utf.h"
#include "support/Words.h"
#include "tests/support/TestSupport.h"

using namespace qb::hha;

namespace {

// Bytes as lines of 32 hex bytes; a line repeating the one before becomes
// "*", so the zero-padded nodes stay short.
std::string HexLines(const std::string& bytes) {
    std::string out, prev;
    bool starred = false;
    for (std::size_t at = 0; at < bytes.size(); at += 32) {
        std::string line = qbtest::HexBytes(bytes.substr(at, 32));
        if (line == prev) {
            if (!starred) out += "*\n";
            starred = true;
            continue;
        }
        starred = false;
        prev = line;
        char offset[16];
        std::snprintf(offset, sizeof offset, "%06zx ", at);
        out += offset + line + "\n";
    }
    return out;
}

// Topics of a few hundred words drawn unevenly from a vocabulary that has
// words the code page lacks, words too long to index, words that sort
// differently in UTF-8 and in the code page, and words in titles.
struct Corpus {
    std::vector<std::vector<std::string>> bodies, titles;
};

Corpus MakeCorpus(int topics) {
    std::vector<std::string> vocabulary;
    for (int i = 0; i < 1500; ++i) vocabulary.push_back("w" + std::to_string(i * 7919 % 100000));
    vocabulary.push_back("caf\xC3\xA9");  // é: in 1252
    vocabulary.push_back(
        "\xC3\xBC"
        "ber");  // ü: in 1252
    vocabulary.push_back(
        "\xE2\x82\xAC"
        "uro");                                                                // €: 0x80 in 1252, above ü in UTF-8
    vocabulary.push_back("\xD0\xBC\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0");  // not in 1252
    vocabulary.push_back(std::string(120, 'x'));                               // too long
    vocabulary.push_back("a");
    vocabulary.push_back("ab");
    std::uint64_t x = 88172645463325252ull;
    auto next = [&x] {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        return x;
    };
    Corpus c;
    for (int t = 0; t < topics; ++t) {
        std::vector<std::string> body, title;
        const std::size_t length = 10 + next() % 60;
        for (std::size_t k = 0; k < length; ++k) {
            // Squared draws favour the front: common words span many topics.
            const std::uint64_t r = next() % 1000;
            body.push_back(vocabulary[(r * r / 1000) * vocabulary.size() / 1000]);
        }
        if (t % 3) title = {"page", vocabulary[next() % vocabulary.size()]};
        c.bodies.push_back(std::move(body));
        c.titles.push_back(std::move(title));
    }
    return c;
}

std::string BuildIndex(const Corpus& c, std::size_t runBytes, const std::string& folder) {
    CodePageText western(1252);
    FtsIndex fts(western, folder, runBytes);
    for (std::size_t t = 0; t < c.bodies.size(); ++t)
        fts.AddTopic(static_cast<std::uint32_t>(t + 2), c.bodies[t], c.titles[t]);
    std::string out;
    fts.Write(static_cast<std::uint32_t>(c.bodies.size() + 2), 0x409,
              [&out](std::string_view bytes) { out.append(bytes); });
    return out;
}

// ICU's full case folding of a UTF-16 span, the long way round, with sharp s
// (small or capital) kept as small sharp s: a private-use stand-in folds to itself.
std::string IcuFold(std::u16string_view word) {
    std::u16string guarded(word);
    for (char16_t& c : guarded)
        if (c == u'\u00DF' || c == u'\u1E9E') c = u'\uE000';
    UErrorCode status = U_ZERO_ERROR;
    std::u16string folded(word.size() * 3 + 4, u'\0');
    int32_t n = u_strFoldCase(folded.data(), static_cast<int32_t>(folded.size()), guarded.data(),
                              static_cast<int32_t>(guarded.size()), U_FOLD_CASE_DEFAULT, &status);
    EXPECT_TRUE(U_SUCCESS(status));
    folded.resize(static_cast<std::size_t>(n));
    for (char16_t& c : folded)
        if (c == u'\uE000') c = u'\u00DF';
    return qb::ToUtf8(folded);
}

}  // namespace

TEST(FullTextIndex, SortedRunsMergeToTheSameBytes) {
    // The bytes are pinned in a golden file: a page found by one viewer's
    // search must be found the same way after any change of how the index is
    // built. Runs of a few bytes put every word of every topic in a run of
    // its own; a few KB give runs that share words at their seams.
    const Corpus corpus = MakeCorpus(150);
    qbtest::TempDir dir;
    const std::string whole = BuildIndex(corpus, std::size_t{1} << 30, "");
    EXPECT_GT(whole.size(), 5u * 0x1000) << "several leaves and an index node";
    EXPECT_GOLDEN("hha/fulltext_index.hex", HexLines(whole));
    for (std::size_t runBytes : {std::size_t{1}, std::size_t{3000}, std::size_t{64000}}) {
        SCOPED_TRACE("runs of " + std::to_string(runBytes) + " bytes");
        EXPECT_TRUE(whole == BuildIndex(corpus, runBytes, dir.path()));
    }
}

TEST(FullTextIndex, NoWordsGiveOneEmptyLeaf) {
    CodePageText western(1252);
    FtsIndex fts(western, "", 1);
    fts.AddTopic(0, {});
    std::string out;
    fts.Write(1, 0x409, [&out](std::string_view bytes) { out.append(bytes); });
    ASSERT_EQ(0x400u + 0x1000u, out.size());
    EXPECT_EQ(0x400u, static_cast<unsigned char>(out[0x08]) | static_cast<unsigned char>(out[0x09]) << 8);
    EXPECT_EQ(1, out[0x18]);  // depth
}

TEST(Words, FoldedAsIcuFoldsEveryWord) {
    // ASCII words take a short way; each word must come out as ICU folds it,
    // in texts that mix ASCII words, words with one letter outside ASCII and
    // letters whose folding changes their length.
    const std::string text =
        "Plain ASCII words, MiXeD case 42 and x1Y2; Stra\xC3\x9F"
        "e \xC3\x9C"
        "BER caf\xC3\x89 "
        "\xC4\xB0stanbul \xCE\xA3\xCE\x99\xCE\xA3\xCE\xA5\xCE\xA6\xCE\x9F\xCE\xA3 "
        "\xEF\xAC\x81nd \xE1\xBA\x9E \xF0\x90\x90\x80x ASCII\xC3\x84 \xC3\x84"
        "ascii don't 3.14 a_b";
    std::vector<std::string> expected;
    const std::u16string wide = qb::ToUtf16(text);
    qb::ForEachWordSpan(wide, [&](std::size_t b, std::size_t e) {
        expected.push_back(IcuFold(std::u16string_view(wide).substr(b, e - b)));
    });
    ASSERT_GE(expected.size(), 20u);
    EXPECT_EQ(expected, TextWords(text));
    EXPECT_EQ("mixed", FoldCase("MiXeD"));
    EXPECT_EQ(IcuFold(u"\u00DCBER\u1E9E"), FoldCase("\xC3\x9C"
                                                    "BER\xE1\xBA\x9E"));
    EXPECT_EQ("\xC3\xBC" "ber\xC3\x9F", FoldCase("\xC3\x9C" "BER\xE1\xBA\x9E"));
}

// A large text is split in pieces; words at the seams come out as from the
// whole text, German, Chinese and joined words alike.
TEST(FtsWords, LargeTextsGiveTheSameWordsAsWhole) {
    const std::vector<std::string> lines{"Stra\xC3\x9F" "e don't 3,14 e-mail caf\xC3\xA9 ",
                                         "\xE9\xA5\xBA\xE5\xAD\x90 \xE4\xB8\x8A\xE6\xB5\xB7 ascii ",
                                         "plain words only here and there ", "x.y 1.000.000 Ab'c \r\n"};
    std::string text;
    for (std::size_t n = 0; text.size() < (5u << 19); ++n) text += lines[n % lines.size()];
    const std::u16string wide = qb::ToUtf16(text);
    std::vector<std::string> expected;
    qb::ForEachWordSpan(wide, [&](std::size_t b, std::size_t e) {
        expected.push_back(IcuFold(std::u16string_view(wide).substr(b, e - b)));
    });
    std::vector<std::string> streamed;
    ForEachTextWord(text, [&](std::string&& word) { streamed.push_back(std::move(word)); });
    ASSERT_EQ(expected.size(), streamed.size());
    EXPECT_TRUE(expected == streamed);
    // Without line feeds, pieces end at blanks.
    std::string flat = text;
    for (char& c : flat)
        if (c == '\n' || c == '\r') c = ' ';
    const std::u16string flatWide = qb::ToUtf16(flat);
    std::size_t spans = 0;
    qb::ForEachWordSpan(flatWide, [&](std::size_t, std::size_t) { ++spans; });
    EXPECT_EQ(spans, TextWords(flat).size());
}

TEST(Words, AsciiTextSplitAsIcuSplitsIt) {
    // ASCII text takes a short way round the break iterator; for every text
    // the words must be ICU's. Random texts over letters, digits and the
    // characters that join or part words, plus the kinds of text pages have.
    std::string alphabet = "aZq09aZq09 .,;'.,;'";
    for (int c = 0; c < 0x80; ++c)
        if (!std::isalnum(c)) alphabet += static_cast<char>(c);
    std::vector<std::string> texts = {
        "The quick brown fox. Don't stop: 3.14, 1,000,000; a.b.c e-mail x_y __init__ 2nd 1st-class",
        "U.S.A. 'quoted' it's rock'n'roll 12:30 10.0.0.1 a;b 1;2 x.1 1.x",
        "",
        " ",
        "a",
        "'a'",
        "..a..",
        "a' b"};
    std::uint64_t x = 2463534242ull;
    for (int k = 0; k < 20000; ++k) {
        std::string t;
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        const std::size_t length = x % 24;
        for (std::size_t i = 0; i < length; ++i) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            t += alphabet[x % alphabet.size()];
        }
        texts.push_back(t);
    }
    int differences = 0;
    for (const std::string& text : texts) {
        std::vector<std::string> expected;
        const std::u16string wide = qb::ToUtf16(text);
        qb::ForEachWordSpan(wide, [&](std::size_t b, std::size_t e) {
            expected.push_back(IcuFold(std::u16string_view(wide).substr(b, e - b)));
        });
        if (TextWords(text) != expected && ++differences <= 5)
            ADD_FAILURE() << "\"" << text << "\": " << ::testing::PrintToString(TextWords(text)) << " instead of "
                          << ::testing::PrintToString(expected);
    }
    EXPECT_EQ(0, differences);
}
