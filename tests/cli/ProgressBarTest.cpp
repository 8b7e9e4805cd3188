// The export's progress bar: how often it draws and what it says.
#include "quillbook/ProgressBar.h"

#include <gtest/gtest.h>

using qbcli::ProgressBar;

namespace {

TEST(ProgressBar, DrawsAtMostTenTimesASecond) {
    ProgressBar bar;
    int draws = 0;
    // 20,000 items over two seconds, a callback for each as the walk makes them.
    for (int i = 1; i <= 20000; ++i) {
        const double now = 2.0 * i / 20000;
        if (!bar.Update(now, i * 100 / 20000, i, 20000).empty()) ++draws;
    }
    EXPECT_GE(draws, 19);
    EXPECT_LE(draws, 22);
}

TEST(ProgressBar, TheEndOfAStageIsAlwaysShown) {
    ProgressBar bar;
    EXPECT_FALSE(bar.Update(0.0, 10, 0, 0).empty());
    EXPECT_TRUE(bar.Update(0.01, 50, 0, 0).empty());
    EXPECT_NE(std::string::npos, bar.Update(0.02, 100, 0, 0).find("100%"));
    // A log line cleared the bar: it comes back at once.
    bar.Invalidate();
    EXPECT_FALSE(bar.Update(0.03, 0, 0, 0).empty());
}

TEST(ProgressBar, ShowsCountRateAndTimeLeft) {
    ProgressBar bar;
    bar.Update(0.0, 0, 1, 20000);
    // 4,000 items in two seconds: 2,000 a second, 16,000 to go, eight seconds left.
    const std::string line = bar.Update(2.0, 20, 4001, 20000);
    EXPECT_NE(std::string::npos, line.find(" 20%")) << line;
    EXPECT_NE(std::string::npos, line.find("4,001/20,000 items")) << line;
    EXPECT_NE(std::string::npos, line.find("2,000/s")) << line;
    EXPECT_NE(std::string::npos, line.find("0:08 left")) << line;
    EXPECT_EQ(0u, line.rfind("\r", 0));
}

TEST(ProgressBar, FormatsLongRunsAndStagesWithoutACount) {
    EXPECT_NE(std::string::npos, ProgressBar::Format(1, 10, 100000, 10).find("2:46:39 left"));
    const std::string plain = ProgressBar::Format(42, -1, 0, 0);
    EXPECT_NE(std::string::npos, plain.find(" 42%"));
    EXPECT_EQ(std::string::npos, plain.find("items"));
    EXPECT_NE(std::string::npos, ProgressBar::Format(150, -1, 0, 0).find("[##############################] 100%"));
}

}  // namespace
