#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "rtf/RichText.h"
#include "rtf/rtf2html.h"
#include "tests/support/TestSupport.h"

// Inputs that once crashed, hung or exhausted the reader (found by fuzzing or
// written by hand) must load and convert.
TEST(HostileRtf, EveryStoredInputLoadsAndConverts) {
    namespace fs = std::filesystem;
    int count = 0;
    for (const auto& e : fs::directory_iterator(std::string(QB_TEST_DATA) + "/rtf/hostile")) {
        SCOPED_TRACE(e.path().filename().string());
        const std::string bytes = qbtest::ReadFile(e.path().string());
        const qb::rtf::RichDocument doc = qb::rtf::LoadRtf(bytes);
        EXPECT_LE(static_cast<std::size_t>(doc.Length()), bytes.size() * 2 + 2);
        const std::string html = qb::RichTextToHtml("t", doc);
        EXPECT_EQ(html.substr(html.size() - 11), "</p></html>");
        ++count;
    }
    EXPECT_GE(count, 5);
}
