// Settings and language files beside the module, or in the user's folder when the module's is read-only.
#include <gtest/gtest.h>

#include <filesystem>

#include "settings/ConfigLocation.h"
#include "settings/Language.h"
#include "settings/MessageTable.h"
#include "settings/Settings.h"
#include "settings/StartUp.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestOs.h"

namespace {

using qbtest::ReadFile;
using qbtest::ScopedEnv;
using qbtest::TempDir;
using qbtest::WriteFile;

TEST(ConfigLocation, ModuleFolderFirstThenTheUsersFolder) {
    if (qbtest::OnWindows()) GTEST_SKIP() << "the user's folder there is the roaming application data, not XDG";
    TempDir home;
    ScopedEnv xdg("XDG_CONFIG_HOME", home / "cfg");
    const std::string module = "/usr/lib/quillbook/Quillbook.so";

    auto f = qb::ConfigFileFor(module, ".xml", true);
    EXPECT_EQ(f.readPath, "/usr/lib/quillbook/Quillbook.xml");
    EXPECT_EQ(f.writePath, "/usr/lib/quillbook/Quillbook.xml");

    // Read-only module folder: the shipped file is read until the user has a copy of their own.
    f = qb::ConfigFileFor(module, ".lng", false);
    EXPECT_EQ(f.readPath, "/usr/lib/quillbook/Quillbook.lng");
    EXPECT_EQ(f.writePath, home / "cfg/quillbook/Quillbook.lng");
    WriteFile(home / "cfg/quillbook/Quillbook.lng", "<Languages/>");
    f = qb::ConfigFileFor(module, ".lng", false);
    EXPECT_EQ(f.readPath, home / "cfg/quillbook/Quillbook.lng");
}

TEST(ConfigLocation, UserFolderFollowsXdgRules) {
    if (qbtest::OnWindows()) GTEST_SKIP() << "the user's folder there is the roaming application data, not XDG";
    ScopedEnv home("HOME", "/home/someone");
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/srv/cfg/");
        EXPECT_EQ(qb::UserConfigFolder(), "/srv/cfg/quillbook/");
    }
    {
        // Relative and empty values are ignored, as the XDG rules say.
        ScopedEnv xdg("XDG_CONFIG_HOME", "cfg");
        EXPECT_EQ(qb::UserConfigFolder(), "/home/someone/.config/quillbook/");
        ScopedEnv empty("XDG_CONFIG_HOME", "");
        EXPECT_EQ(qb::UserConfigFolder(), "/home/someone/.config/quillbook/");
    }
}

TEST(ConfigLocation, WritableIsTriedNotGuessed) {
    TempDir dir;
    EXPECT_TRUE(qb::FolderWritable(dir.path()));
    EXPECT_FALSE(qb::FolderWritable(dir / "missing"));
    EXPECT_FALSE(qb::FolderWritable("/dev/null"));
    // The probe leaves nothing behind.
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

class UserConfigFolder : public ::testing::Test {
protected:
    void SetUp() override {
        if (qbtest::OnWindows()) GTEST_SKIP() << "the user's folder there is the roaming application data, not XDG";
        qb::ShutDownSettingsAndLanguage();
        qb::ResetMessageTable();
    }
    void TearDown() override {
        qb::ShutDownSettingsAndLanguage();
        qb::ResetMessageTable();
    }
    TempDir home;
    ScopedEnv xdg{"XDG_CONFIG_HOME", home / "cfg"};
    // A module whose folder cannot be written: it does not exist (root may write anywhere else).
    std::string module = home / "ro/lib/Quillbook.so";
};

TEST_F(UserConfigFolder, SettingsAreSavedAndReadBackThere) {
    qb::StartUpSettings(module);
    qb::SetSettingText(qb::HeldSettings()->Quillbook().Config(), "Language", "Deutsch");
    ASSERT_TRUE(qb::SaveSettingsFile());
    EXPECT_NE(ReadFile(home / "cfg/quillbook/Quillbook.xml").find("<Language>Deutsch</Language>"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(home / "ro"));

    qb::ReleaseSettings();
    EXPECT_EQ(qb::StartUpSettings(module), "Deutsch");
}

TEST_F(UserConfigFolder, LanguageFileIsFoundThere) {
    WriteFile(home / "cfg/quillbook/Quillbook.lng",
              "<Languages><Language Name=\"Deutsch\"><StringTable><Text ID=\"0\">Fertig</Text></StringTable>"
              "</Language></Languages>");
    qb::StartUpLanguage(module);
    EXPECT_EQ(qb::LanguageNames(), std::vector<std::string>{"Deutsch"});
    qb::SelectLanguage("Deutsch");
    EXPECT_EQ(qb::Msg(0), "Fertig");
}

}  // namespace
