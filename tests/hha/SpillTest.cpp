#include <gtest/gtest.h>

#include <filesystem>

#include "hha/HhaSpill.h"
#include "support/Error.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131) ^ (i >> 9));
    return s;
}

std::string Back(const qb::hha::SpillFile& f) {
    std::string out;
    f.CopyTo([&](std::string_view b) { out.append(b); });
    return out;
}

}  // namespace

TEST(SpillFile, SmallStaysInMemoryLargeGoesToAnUnnamedFile) {
    qbtest::TempDir dir;
    const std::string bytes = Pattern(3'000'000);
    {
        qb::hha::SpillFile small(dir.path(), 10'000'000);
        small.Append(bytes);
        EXPECT_EQ(small.Size(), bytes.size());
        EXPECT_TRUE(Back(small) == bytes);
    }
    {
        // Past the limit in the middle of a piece, then more pieces; the copy
        // crosses the reader's piece size.
        qb::hha::SpillFile big(dir.path(), 100'000);
        big.Append(std::string_view(bytes).substr(0, 99'999));
        big.Append(std::string_view(bytes).substr(99'999, 5));
        big.Append(std::string_view(bytes).substr(100'004));
        EXPECT_EQ(big.Size(), bytes.size());
        EXPECT_TRUE(Back(big) == bytes);
        EXPECT_TRUE(Back(big) == bytes);  // read back twice: nothing consumed
        // Nothing named is left in the folder, even while the file is open.
        EXPECT_TRUE(fs::is_empty(dir.path()));
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(SpillFile, MissingFolderIsAnError) {
    qb::hha::SpillFile f("/nonexistent/qb-spill", 10);
    EXPECT_THROW(f.Append("more than ten bytes"), qb::Error);
}

TEST(SpillFile, ReadsAndPatchesInMemoryAndInTheFile) {
    qbtest::TempDir dir;
    const std::string bytes = Pattern(300'000);
    for (std::size_t limit : {std::size_t{1'000'000}, std::size_t{1000}}) {
        SCOPED_TRACE("memory limit " + std::to_string(limit));
        qb::hha::SpillFile f(dir.path(), limit);
        f.Append(bytes);
        std::string expected = bytes;
        f.Patch(0, "head");
        f.Patch(150'000, "middle");
        f.Patch(bytes.size() - 4, "tail");
        expected.replace(0, 4, "head");
        expected.replace(150'000, 6, "middle");
        expected.replace(bytes.size() - 4, 4, "tail");
        EXPECT_TRUE(Back(f) == expected);
        std::string piece(70'000, '\0');
        f.ReadAt(120'000, piece.data(), piece.size());
        EXPECT_TRUE(piece == expected.substr(120'000, 70'000));
        // Past the end is an error, never bytes of another file.
        EXPECT_THROW(f.ReadAt(bytes.size() - 2, piece.data(), 3), qb::Error);
        EXPECT_THROW(f.Patch(bytes.size() - 2, "abc"), qb::Error);
    }
}
