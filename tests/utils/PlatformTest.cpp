#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "Utils/Platform.h"

using namespace qb;

namespace {

// Installs recording services for one test and puts the previous ones back.
class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformServices s;
        s.showInfo = [this](const std::string& t) { calls.push_back("info:" + t); };
        s.askConfirm = [this](const std::string& t) {
            calls.push_back("confirm:" + t);
            return answer;
        };
        s.showError = [this](const std::string& t) { calls.push_back("error:" + t); };
        s.shellOpen = [this](const std::string& t) { calls.push_back("open:" + t); };
        s.browseForFolder = [this](void* owner, std::string& path, const std::string& title, int flags,
                                   const std::string& root) {
            calls.push_back("browse:" + path + "|" + title + "|" + std::to_string(flags) + "|" + root +
                            (owner ? "|owner" : ""));
            if (!choice) return false;
            path = *choice;
            return true;
        };
        previous = SetPlatformServices(s);
    }
    void TearDown() override { SetPlatformServices(previous); }

    std::vector<std::string> calls;
    bool answer = true;
    std::optional<std::string> choice;
    PlatformServices previous;
};

}  // namespace

TEST_F(PlatformTest, CallsGoToTheInstalledServices) {
    ShowInfo("done");
    EXPECT_TRUE(AskConfirm("stop?"));
    answer = false;
    EXPECT_FALSE(AskConfirm("again?"));
    ShowError("bad");
    ShellOpen("/tmp/Help.chm");
    EXPECT_EQ(
        (std::vector<std::string>{"info:done", "confirm:stop?", "confirm:again?", "error:bad", "open:/tmp/Help.chm"}),
        calls);
}

TEST_F(PlatformTest, BrowseForFolderAddsTrailingSlashOnlyOnChoice) {
    int owner = 0;
    std::string path = "/home/u/out/";
    choice = "/home/u/new";
    EXPECT_TRUE(BrowseForFolder(&owner, path, "Pick", 0x59, "/home"));
    EXPECT_EQ("/home/u/new/", path);
    EXPECT_EQ("browse:/home/u/out/|Pick|89|/home|owner", calls.at(0));

    choice = "/home/u/other/";
    EXPECT_TRUE(BrowseForFolder(nullptr, path, "Pick", 0x59));
    EXPECT_EQ("/home/u/other/", path);

    choice.reset();
    EXPECT_FALSE(BrowseForFolder(nullptr, path, "Pick", 0x59));
    EXPECT_EQ("/home/u/other/", path);

    // A service that reports a choice without a path has chosen nothing.
    choice = "";
    EXPECT_FALSE(BrowseForFolder(nullptr, path, "Pick", 0x59));
    EXPECT_EQ("/home/u/other/", path);
}

TEST_F(PlatformTest, MissingMembersFallBackToTheDefaults) {
    PlatformServices partial;
    partial.showInfo = [this](const std::string& t) { calls.push_back("partial:" + t); };
    SetPlatformServices(partial);
    ShowInfo("x");
    EXPECT_FALSE(AskConfirm("quiet default says no"));
    std::string path = "/keep/";
    EXPECT_FALSE(BrowseForFolder(nullptr, path, "t", 0));
    EXPECT_EQ("/keep/", path);
    EXPECT_EQ(std::vector<std::string>{"partial:x"}, calls);
}

TEST_F(PlatformTest, SetReturnsThePreviousServices) {
    PlatformServices mine = SetPlatformServices(DefaultPlatformServices());
    ASSERT_TRUE(mine.showError);
    mine.showError("via returned table");
    EXPECT_EQ(std::vector<std::string>{"error:via returned table"}, calls);
    EXPECT_FALSE(AskConfirm("default now"));
    EXPECT_EQ(1u, calls.size());
}

