#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "hha/Lzx.h"
#include "hha/LzxHuffman.h"
#include "tests/lzx/LzxdOracle.h"

using qb::lzx::kFrameSize;
using qb::lzx::Params;

namespace {

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

// Pages of the kind the exporter writes: markup that repeats, words that vary.
std::string HtmlLike(std::size_t n, unsigned seed) {
    static const char* const kWords[] = {"item",    "note", "export",   "label", "the", "of",   "attachment", "page",
                                         "outline", "help", "contents", "index", "and", "with", "file",       "tree"};
    std::mt19937 rng(seed);
    std::string s;
    unsigned page = 0;
    while (s.size() < n) {
        s += "<html><head><title>Page " + std::to_string(page) +
             "</title><link rel=\"stylesheet\" href=\"../style.css\"></head>\r\n<body>\r\n"
             "<div class=\"nav\"><a href=\"../index.html\">Home</a> &gt; <a href=\"" +
             std::to_string(page / 7) + ".html\">Parent</a></div>\r\n";
        unsigned paragraphs = 2 + rng() % 5;
        for (unsigned p = 0; p < paragraphs; ++p) {
            s += "<p style=\"font-family: Arial; font-size: 10pt\">";
            unsigned words = 10 + rng() % 40;
            for (unsigned w = 0; w < words; ++w) {
                s += kWords[rng() % 16];
                s += (rng() % 9 == 0) ? ", " : " ";
            }
            s += "</p>\r\n";
        }
        s += "</body></html>\r\n";
        ++page;
    }
    s.resize(n);
    return s;
}

std::size_t FrameCount(std::size_t n) { return (n + kFrameSize - 1) / kFrameSize; }

// Compresses, checks the frame bookkeeping, and decodes the whole stream and
// every reset point on its own, the way a reader seeks.
void ExpectRoundTrip(const std::string& input, const Params& p = {}) {
    SCOPED_TRACE("size " + std::to_string(input.size()) + ", window bits " + std::to_string(p.windowBits) +
                 ", reset every " + std::to_string(p.resetIntervalFrames) + " frames");
    qb::lzx::Result r = qb::lzx::Compress(input, p);
    EXPECT_EQ(r.uncompressedSize, input.size());
    ASSERT_EQ(r.frameOffsets.size(), FrameCount(input.size()));
    EXPECT_EQ(r.data.size() % 2, 0u);
    for (std::size_t i = 0; i < r.frameOffsets.size(); ++i) {
        EXPECT_EQ(r.frameOffsets[i] % 2, 0u) << "frame " << i;
        if (i == 0) {
            EXPECT_EQ(r.frameOffsets[i], 0u);
        } else {
            EXPECT_GT(r.frameOffsets[i], r.frameOffsets[i - 1]) << "frame " << i;
        }
        EXPECT_LT(r.frameOffsets[i], r.data.size()) << "frame " << i;
    }
    if (input.empty()) {
        EXPECT_TRUE(r.data.empty());
        return;
    }
    lzxtest::Decoded whole = lzxtest::Decode(r.data, p.windowBits, p.resetIntervalFrames, input.size());
    ASSERT_EQ(whole.error, 0);
    ASSERT_EQ(whole.data.size(), input.size());
    EXPECT_TRUE(whole.data == input) << "whole stream differs";

    for (std::size_t f = p.resetIntervalFrames; f < r.frameOffsets.size(); f += p.resetIntervalFrames) {
        std::string_view tail(r.data);
        tail.remove_prefix(r.frameOffsets[f]);
        std::uint64_t start = std::uint64_t{f} * kFrameSize;
        lzxtest::Decoded part = lzxtest::Decode(tail, p.windowBits, p.resetIntervalFrames, input.size() - start);
        ASSERT_EQ(part.error, 0) << "reset point at frame " << f;
        EXPECT_TRUE(part.data == std::string_view(input).substr(start)) << "reset point at frame " << f;
    }
}

std::uint32_t Dword(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

std::uint64_t Qword(const std::string& s, std::size_t at) {
    return (std::uint64_t{Dword(s, at + 4)} << 32) | Dword(s, at);
}

}  // namespace

TEST(LzxRoundTrip, SmallAndEmpty) {
    ExpectRoundTrip("");
    ExpectRoundTrip("x");
    ExpectRoundTrip("ab");
    ExpectRoundTrip("abcabcabcabc");
    ExpectRoundTrip(std::string(1, '\0'));
}

TEST(LzxRoundTrip, FrameSizedAndOddLengths) {
    std::string text = HtmlLike(5 * kFrameSize + 1000, 1);
    for (std::size_t n : {std::size_t{kFrameSize} - 1, std::size_t{kFrameSize}, std::size_t{kFrameSize} + 1,
                          std::size_t{2 * kFrameSize}, std::size_t{2 * kFrameSize} + 3, std::size_t{100000}})
        ExpectRoundTrip(text.substr(0, n));
    // Ending exactly on a reset point makes readers look one frame further.
    ExpectRoundTrip(text.substr(0, kFrameSize), Params{16, 1});
    ExpectRoundTrip(text.substr(0, 4 * kFrameSize), Params{16, 2});
}

TEST(LzxRoundTrip, SeveralResetIntervals) {
    // Three intervals plus a partial one; the text repeats across interval
    // boundaries, which the encoder must not reach across.
    std::string unit = HtmlLike(20000, 2);
    std::string input;
    while (input.size() < 3 * 2 * kFrameSize + 5000) input += unit;
    ExpectRoundTrip(input);
    ExpectRoundTrip(input, Params{16, 1});
    ExpectRoundTrip(input, Params{16, 3});
}

TEST(LzxRoundTrip, IncompressibleData) {
    std::string input = RandomBytes(3 * kFrameSize + 123, 3);
    ExpectRoundTrip(input);
    qb::lzx::Result r = qb::lzx::Compress(input);
    // Literals cost about eight bits plus the trees; no blow-up.
    EXPECT_LT(r.data.size(), input.size() + input.size() / 50);
}

TEST(LzxRoundTrip, LongRunsAndRepeats) {
    std::string runs(300000, 'a');
    ExpectRoundTrip(runs);
    std::string zeros(kFrameSize * 2, '\0');
    ExpectRoundTrip(zeros + "tail" + zeros);
    // Alternating runs exercise the repeated-offset queue.
    std::string alt;
    for (int i = 0; i < 4000; ++i) alt += (i % 3 ? "abcabcabcXYZ" : "abcabcabcabcabc");
    ExpectRoundTrip(alt);
    qb::lzx::Result r = qb::lzx::Compress(runs);
    EXPECT_LT(r.data.size(), 2000u);
}

TEST(LzxRoundTrip, EveryWindowSize) {
    // A random chunk repeated far back needs the large position slots.
    std::string chunk = RandomBytes(6000, 4);
    std::string input = chunk + RandomBytes(150000, 5) + chunk + HtmlLike(60000, 6) + chunk;
    for (unsigned bits = 15; bits <= 21; ++bits) {
        ExpectRoundTrip(input, Params{bits, 2});
        ExpectRoundTrip(input, Params{bits, 8});
    }
    // With the interval and window spanning the whole input the repeats are found.
    qb::lzx::Result far = qb::lzx::Compress(input, Params{18, 8});
    qb::lzx::Result near = qb::lzx::Compress(input, Params{16, 2});
    EXPECT_LT(far.data.size() + 6000, near.data.size());
}

TEST(LzxRoundTrip, SkewedSymbolCounts) {
    // Fibonacci-like counts give a Huffman tree far deeper than 16 levels.
    std::string input;
    std::uint32_t a = 1, b = 1;
    for (int sym = 0; sym < 24; ++sym) {
        input.append(a, static_cast<char>(sym * 10));
        std::uint32_t c = a + b;
        a = b;
        b = c;
    }
    std::mt19937 rng(7);
    std::shuffle(input.begin(), input.end(), rng);
    ExpectRoundTrip(input);
}

TEST(LzxCompress, RatioOnHtml) {
    std::string input = HtmlLike(2'000'000, 8);
    qb::lzx::Result r = qb::lzx::Compress(input);
    EXPECT_LT(static_cast<double>(r.data.size()) / input.size(), 0.25);
    lzxtest::Decoded d = lzxtest::Decode(r.data, 16, 2, input.size());
    ASSERT_EQ(d.error, 0);
    EXPECT_TRUE(d.data == input);
}

TEST(LzxCompress, PollsOncePerFrameAndStops) {
    std::string input = HtmlLike(5 * kFrameSize + 10, 9);
    int polls = 0;
    qb::lzx::Compress(input, {}, [&] { return ++polls > 0; });
    EXPECT_GE(polls, 6);

    polls = 0;
    EXPECT_THROW(qb::lzx::Compress(input, {}, [&] { return ++polls < 3; }), qb::lzx::Cancelled);
    EXPECT_EQ(polls, 3);
}

TEST(LzxCompress, RejectsBadParams) {
    EXPECT_THROW(qb::lzx::Compress("abc", Params{14, 2}), qb::Error);
    EXPECT_THROW(qb::lzx::Compress("abc", Params{22, 2}), qb::Error);
    EXPECT_THROW(qb::lzx::Compress("abc", Params{16, 0}), qb::Error);
    EXPECT_THROW(qb::lzx::ControlData(Params{16, 0}), qb::Error);
}

TEST(LzxContainerData, ControlData) {
    std::string cd = qb::lzx::ControlData({});
    ASSERT_EQ(cd.size(), 28u);
    EXPECT_EQ(Dword(cd, 0) * 4 + 4, cd.size());
    EXPECT_EQ(cd.substr(4, 4), "LZXC");
    EXPECT_EQ(Dword(cd, 8), 2u);
    EXPECT_EQ(Dword(cd, 12), 2u);  // 64 KB reset interval
    EXPECT_EQ(Dword(cd, 16), 2u);  // 64 KB window

    std::string big = qb::lzx::ControlData(Params{21, 4});
    EXPECT_EQ(Dword(big, 12), 4u);
    EXPECT_EQ(Dword(big, 16), 64u);
    EXPECT_EQ(qb::lzx::WindowSizeUnits(Params{15, 1}), 1u);
    EXPECT_EQ(qb::lzx::ResetIntervalUnits(Params{15, 5}), 5u);
}

TEST(LzxContainerData, ResetTable) {
    std::string input = HtmlLike(3 * kFrameSize + 7, 10);
    qb::lzx::Result r = qb::lzx::Compress(input);
    std::string t = qb::lzx::ResetTable(r);
    ASSERT_EQ(t.size(), 0x28u + 8 * 4);
    EXPECT_EQ(Dword(t, 0), 2u);
    EXPECT_EQ(Dword(t, 4), 4u);
    EXPECT_EQ(Dword(t, 8), 8u);
    EXPECT_EQ(Dword(t, 12), 0x28u);
    EXPECT_EQ(Qword(t, 0x10), input.size());
    EXPECT_EQ(Qword(t, 0x18), r.data.size());
    EXPECT_EQ(Qword(t, 0x20), kFrameSize);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(Qword(t, 0x28 + 8 * i), r.frameOffsets[i]);

    std::string empty = qb::lzx::ResetTable(qb::lzx::Compress(""));
    ASSERT_EQ(empty.size(), 0x28u);
    EXPECT_EQ(Dword(empty, 4), 0u);
}

TEST(LzxHuffman, LengthLimitKeepsCodeComplete) {
    std::vector<std::uint32_t> freq(40, 0);
    std::uint32_t a = 1, b = 1;
    for (std::size_t i = 0; i < 30; ++i) {
        freq[i] = a;
        std::uint32_t c = a + b;
        a = b;
        b = c;
    }
    for (unsigned limit : {16u, 15u, 8u}) {
        std::vector<std::uint8_t> len = qb::lzx::BuildCodeLengths(freq, limit);
        std::uint64_t kraft = 0;
        for (std::size_t i = 0; i < len.size(); ++i) {
            EXPECT_LE(len[i], limit);
            EXPECT_EQ(len[i] == 0, freq[i] == 0) << "symbol " << i;
            if (len[i]) kraft += std::uint64_t{1} << (32 - len[i]);
        }
        EXPECT_EQ(kraft, std::uint64_t{1} << 32) << "limit " << limit;
    }
}

TEST(LzxHuffman, FewSymbolsStillMakeATree) {
    std::vector<std::uint32_t> none(20, 0);
    std::vector<std::uint8_t> len = qb::lzx::BuildCodeLengths(none, 15);
    EXPECT_EQ(std::count(len.begin(), len.end(), 1), 2);
    EXPECT_EQ(std::count(len.begin(), len.end(), 0), 18);

    std::vector<std::uint32_t> one(20, 0);
    one[0] = 50;
    len = qb::lzx::BuildCodeLengths(one, 15);
    EXPECT_EQ(len[0], 1);
    EXPECT_EQ(std::count(len.begin(), len.end(), 1), 2);
}

TEST(LzxHuffman, CanonicalCodesArePrefixFree) {
    std::vector<std::uint8_t> len = {3, 3, 3, 3, 3, 2, 4, 4};
    std::vector<std::uint16_t> code = qb::lzx::CanonicalCodes(len);
    EXPECT_EQ(code[5], 0b00);
    EXPECT_EQ(code[0], 0b010);
    EXPECT_EQ(code[4], 0b110);
    EXPECT_EQ(code[6], 0b1110);
    EXPECT_EQ(code[7], 0b1111);
    for (std::size_t i = 0; i < len.size(); ++i)
        for (std::size_t j = 0; j < len.size(); ++j)
            if (i != j && len[i] <= len[j]) {
                EXPECT_NE(code[j] >> (len[j] - len[i]), code[i]) << i << " prefixes " << j;
            }
}

TEST(LzxStream, ThreadCountAndPieceSizesGiveTheSameBytes) {
    // Intervals run on worker threads in any order; the stream must not show it.
    for (const Params& p : {Params{}, Params{17, 3}}) {
        std::string input = HtmlLike(23 * kFrameSize + 1234, 12) + RandomBytes(3 * kFrameSize, 13);
        qb::lzx::Result one = qb::lzx::Compress(input, p, {}, 1);
        for (unsigned threads : {2u, 5u}) {
            qb::lzx::Result many = qb::lzx::Compress(input, p, {}, threads);
            EXPECT_TRUE(one.data == many.data) << threads << " threads";
            EXPECT_EQ(one.frameOffsets, many.frameOffsets) << threads << " threads";
        }
        // Pieces that cut frames and intervals anywhere.
        std::string pieced;
        qb::lzx::StreamCompressor stream(
            p, [&](std::string_view b) { pieced.append(b); }, 3);
        std::mt19937 rng(3);
        for (std::size_t at = 0; at < input.size();) {
            std::size_t n = std::min<std::size_t>(input.size() - at, 1 + rng() % 90000);
            stream.Write(std::string_view(input).substr(at, n));
            at += n;
        }
        stream.Finish();
        EXPECT_TRUE(pieced == one.data);
        EXPECT_EQ(stream.FrameOffsets(), one.frameOffsets);
        EXPECT_EQ(stream.UncompressedSize(), input.size());
        EXPECT_EQ(stream.CompressedSize(), one.data.size());
        ExpectRoundTrip(input, p);
    }
}

TEST(LzxStream, EveryResetIntervalStandsAlone) {
    // What lets intervals be compressed side by side: an interval's bytes do
    // not depend on what came before it.
    std::string input = HtmlLike(6 * kFrameSize, 14);
    qb::lzx::Result whole = qb::lzx::Compress(input);
    for (std::size_t f : {2u, 4u}) {
        qb::lzx::Result alone = qb::lzx::Compress(std::string_view(input).substr(f * kFrameSize));
        EXPECT_TRUE(std::string_view(whole.data).substr(whole.frameOffsets[f]) == alone.data) << "frame " << f;
    }
}

TEST(LzxStream, StopsOnTheCallersThreadAndJoinsWorkers) {
    std::string input = HtmlLike(40 * kFrameSize, 15);
    int polls = 0;
    std::string out;
    {
        qb::lzx::StreamCompressor stream(
            {}, [&](std::string_view b) { out.append(b); }, 2, [&] { return ++polls < 10; });
        EXPECT_THROW(stream.Write(input), qb::lzx::Cancelled);
    }
    EXPECT_EQ(polls, 10);
    EXPECT_LT(out.size(), input.size() / 4);
}
