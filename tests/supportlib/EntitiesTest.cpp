#include "support/Entities.h"
#include "support/Utf.h"
#include "support/Words.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace qb;

TEST(Entities, NamedReferencesAreCaseSensitive) {
    EXPECT_EQ(0xD6u, HtmlEntity("Ouml"));
    EXPECT_EQ(0xF6u, HtmlEntity("ouml"));
    EXPECT_EQ(0xA0u, HtmlEntity("nbsp"));
    EXPECT_EQ(0xFFu, HtmlEntity("yuml"));
    EXPECT_EQ(0x178u, HtmlEntity("Yuml"));
    EXPECT_EQ(0x2122u, HtmlEntity("trade"));
    EXPECT_EQ(0u, HtmlEntity("AMP"));
    EXPECT_EQ(0u, HtmlEntity(""));
}

TEST(Entities, DecodeKeepsWhatIsNoReference) {
    EXPECT_EQ("a & b <c> \xC3\xA4 \xE2\x82\xAC \xF0\x9F\x98\x80",
              DecodeEntities("a &amp; b &lt;c&gt; &auml; &#x20AC; &#128512;"));
    // Unknown, empty, zero, out of range, unterminated and over-long references stay as written.
    for (const char* kept : {"&unknown;", "&#;", "&#0;", "&#x110000;", "&#12a;", "&amp", "&abcdefghijk;"})
        EXPECT_EQ(kept, DecodeEntities(kept));
    EXPECT_EQ("&&", DecodeEntities("&&amp;"));
}

TEST(Words, SpansCoverWordsAndSkipPunctuation) {
    const std::u16string text = ToUtf16("Hello, W\xC3\xB6rld! 42 x_y \xE6\x97\xA5\xE6\x9C\xAC -- can't");
    std::vector<std::string> words;
    ForEachWordSpan(text, [&](std::size_t b, std::size_t e) {
        words.push_back(ToUtf8(std::u16string_view(text).substr(b, e - b)));
    });
    ASSERT_GE(words.size(), 6u);
    EXPECT_EQ("Hello", words[0]);
    EXPECT_EQ("W\xC3\xB6rld", words[1]);
    EXPECT_EQ("42", words[2]);
    EXPECT_EQ("x_y", words[3]);
    EXPECT_EQ("can't", words.back());
    for (const auto& w : words) EXPECT_EQ(std::string::npos, w.find_first_of(" ,!-")) << w;
    int calls = 0;
    ForEachWordSpan(u"", [&](std::size_t, std::size_t) { ++calls; });
    ForEachWordSpan(u" .,; ", [&](std::size_t, std::size_t) { ++calls; });
    EXPECT_EQ(0, calls);
}

// Chinese has no spaces: words come from ICU's dictionary, in every build
// (the Windows build carries its own cut of ICU's data).
TEST(Words, ChineseIsSplitIntoDictionaryWords) {
    const std::u16string text = ToUtf16("和面、调馅、包饺子，然后煮十分钟。上海办公室");
    std::vector<std::string> words;
    ForEachWordSpan(text, [&](std::size_t b, std::size_t e) {
        words.push_back(ToUtf8(std::u16string_view(text).substr(b, e - b)));
    });
    EXPECT_NE(words.end(), std::find(words.begin(), words.end(), "饺子"));
    EXPECT_NE(words.end(), std::find(words.begin(), words.end(), "上海"));
    for (const auto& w : words) EXPECT_LE(ToUtf16(w).size(), 3u) << w << " was not split";
}
