#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtf/RtfTokenizer.h"

using qb::rtf::Tokenize;

namespace {

// Writes each token as a short text so a whole stream compares in one line.
class Recorder final : public qb::rtf::RtfListener {
public:
    std::vector<std::string> tokens;
    void GroupStart() override { tokens.push_back("{"); }
    void GroupEnd() override { tokens.push_back("}"); }
    void ControlWord(std::string_view w, bool hasParam, std::int32_t p) override {
        tokens.push_back("\\" + std::string(w) + (hasParam ? std::to_string(p) : ""));
    }
    void ControlSymbol(char s) override { tokens.push_back(std::string("sym:") + (s == '\n' ? 'N' : s)); }
    void HexByte(std::uint8_t b) override { tokens.push_back("hex:" + std::to_string(b)); }
    void Text(std::string_view t) override { tokens.push_back("'" + std::string(t) + "'"); }
    void Binary(std::string_view b) override { tokens.push_back("bin:" + std::string(b)); }
};

std::vector<std::string> Tok(std::string_view rtf) {
    Recorder r;
    Tokenize(rtf, r);
    return r.tokens;
}

using V = std::vector<std::string>;

}  // namespace

TEST(RtfTokenizer, WordsParametersAndDelimiters) {
    // The space after a word is its delimiter; a second space is text.
    EXPECT_EQ(Tok("{\\b bold\\b0  x}"), (V{"{", "\\b", "'bold'", "\\b0", "' x'", "}"}));
    EXPECT_EQ(Tok("\\li-360\\fs21x"), (V{"\\li-360", "\\fs21", "'x'"}));
    // A minus without digits is not part of the word.
    EXPECT_EQ(Tok("\\par-x"), (V{"\\par", "'-x'"}));
    // Parameters beyond 32 bits are clamped, never wrapped.
    EXPECT_EQ(Tok("\\u99999999999"), (V{"\\u2147483647"}));
    EXPECT_EQ(Tok("\\u-99999999999"), (V{"\\u-2147483648"}));
}

TEST(RtfTokenizer, LongWordsAreCut) {
    const std::string word(100, 'a');
    const auto t = Tok("\\" + word + "1 z");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0], "\\" + std::string(32, 'a') + "1");
    EXPECT_EQ(t[1], "'z'");
}

TEST(RtfTokenizer, SymbolsHexAndLineBreaks) {
    EXPECT_EQ(Tok("a\\{b\\}\\\\\\~"), (V{"'a'", "sym:{", "'b'", "sym:}", "sym:\\", "sym:~"}));
    EXPECT_EQ(Tok("\\'e4\\'C4x"), (V{"hex:228", "hex:196", "'x'"}));
    // Raw line breaks are not text; backslash + CR LF is one paragraph symbol.
    EXPECT_EQ(Tok("a\r\nb\\\r\nc"), (V{"'a'", "'b'", "sym:N", "'c'"}));
    EXPECT_EQ(Tok("\\\nc"), (V{"sym:N", "'c'"}));
}

TEST(RtfTokenizer, TruncatedTokensAtTheEnd) {
    EXPECT_EQ(Tok("x\\"), (V{"'x'"}));
    EXPECT_EQ(Tok("\\'"), V{});
    EXPECT_EQ(Tok("\\'4"), (V{"hex:4"}));
    EXPECT_EQ(Tok("\\'zz"), (V{"'zz'"}));
    EXPECT_EQ(Tok("\\par"), (V{"\\par"}));
    EXPECT_EQ(Tok("\\fs-"), (V{"\\fs", "'-'"}));
}

TEST(RtfTokenizer, BinaryDataIsNotTokenized) {
    EXPECT_EQ(Tok("{\\bin4 {}\\x}"), (V{"{", "bin:{}\\x", "}"}));
    // Past the end: the data is cut short, nothing is read beyond the input.
    EXPECT_EQ(Tok("\\bin1000 ab"), (V{"bin:ab"}));
    EXPECT_EQ(Tok("\\bin-5 ab"), (V{"bin:", "'ab'"}));
    // Without a parameter it is an ordinary word.
    EXPECT_EQ(Tok("\\bin x"), (V{"\\bin", "'x'"}));
}
