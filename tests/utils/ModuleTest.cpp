#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "Utils/Utils.h"
#include "tests/support/TestOs.h"
#include "tests/support/TestSupport.h"

using namespace qb;

namespace {

std::string Source(const std::string& rel) { return qbtest::ReadFile(std::string(QB_SOURCE_DIR) + "/" + rel); }


}  // namespace

TEST(LoadTextResource, TheThreeTextResourcesAsShipped) {
    const std::string css = LoadTextResource("css", "TEXT");
    const std::string script = LoadTextResource("script", "TEXT");
    const std::string xsl = LoadTextResource("file_xsl", "TEXT");
    EXPECT_EQ(Source("src/resources/quillbook.css"), css);
    EXPECT_EQ(Source("src/resources/quillbook.js"), script);
    EXPECT_EQ(Source("src/resources/filelist.xsl"), xsl);

    // The style sheet ends at its last brace, with no line break after it.
    ASSERT_FALSE(css.empty());
    EXPECT_EQ('}', css.back());
    EXPECT_FALSE(script.empty());
    EXPECT_NE(std::string::npos, script.find("function dropdownmenu"));
    EXPECT_NE(std::string::npos, script.find("function delayhidemenu"));

    // The file-list style sheet: 14 lines, every one ended by CR LF, no bare LF.
    int crlf = 0;
    for (std::size_t i = 0; i + 1 < xsl.size(); ++i)
        if (xsl[i] == '\r' && xsl[i + 1] == '\n') ++crlf;
    EXPECT_EQ(14, crlf);
    EXPECT_EQ(14, std::count(xsl.begin(), xsl.end(), '\n'));
    EXPECT_EQ(14, std::count(xsl.begin(), xsl.end(), '\r'));
    EXPECT_EQ("\r\n", xsl.substr(xsl.size() - 2));
    EXPECT_EQ(0u, xsl.find("<?xml"));
}

TEST(LoadTextResource, NamesWithoutRegardToCaseAndMissingOnes) {
    EXPECT_EQ(LoadTextResource("css", "TEXT"), LoadTextResource("CSS", "text"));
    EXPECT_EQ(LoadTextResource("file_xsl", "TEXT"), LoadTextResource("File_XSL", "TEXT"));
    EXPECT_EQ("", LoadTextResource("nothing", "TEXT"));
    EXPECT_EQ("", LoadTextResource("css", "BITMAP"));
    const std::string logo = LoadTextResource("logo", "BITMAP");
    EXPECT_EQ(Source("src/resources/logo.png"), logo);
    EXPECT_EQ("\x89PNG", logo.substr(0, 4));
}

TEST(ModuleDirectory, FolderOfTheFileHoldingThisCode) {
    // The helpers are linked into this test program, which lands in the output folder.
    if (qbtest::OnWindows()) GTEST_SKIP() << "asks /proc for the program's file";
    const auto exe = std::filesystem::canonical("/proc/self/exe");
    EXPECT_EQ(exe.string(), ModuleFileName());
    EXPECT_EQ(exe.parent_path().string() + "/", ModuleDirectory());
    EXPECT_EQ(std::filesystem::canonical(QB_OUT_DIR).string() + "/", ModuleDirectory());
}

TEST(GetSpecialFolder, DocumentsFromXdgUserDirs) {
    if (qbtest::OnWindows()) GTEST_SKIP() << "XDG folders are a Linux desktop convention";
    qbtest::TempDir home, config;
    qbtest::ScopedEnv h("HOME", home.path() + "user");
    qbtest::ScopedEnv c("XDG_CONFIG_HOME", config.path() + "cfg");

    // No user-dirs file: the usual Documents folder below home.
    EXPECT_EQ(home.path() + "user/Documents/", GetSpecialFolder(5));

    qbtest::WriteFile(config / "cfg/user-dirs.dirs",
                      "# written by xdg-user-dirs-update\n"
                      "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                      "XDG_DOCUMENTS_DIR=\"$HOME/Papiere\"\n");
    EXPECT_EQ(home.path() + "user/Papiere/", GetSpecialFolder(5));

    qbtest::WriteFile(config / "cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n");
    EXPECT_EQ("/srv/docs/", GetSpecialFolder(5));

    // A relative value is invalid and must not depend on the current folder.
    qbtest::WriteFile(config / "cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"Documents\"\n");
    EXPECT_EQ(home.path() + "user/Documents/", GetSpecialFolder(5));

    EXPECT_EQ("", GetSpecialFolder(0));
    EXPECT_EQ("", GetSpecialFolder(-1));
}

TEST(GetSpecialFolder, ConfigBelowHomeWhenXdgConfigHomeIsUnset) {
    if (qbtest::OnWindows()) GTEST_SKIP() << "XDG folders are a Linux desktop convention";
    qbtest::TempDir home;
    qbtest::ScopedEnv h("HOME", ExcludeTrailingDelimiter(home.path()));
    qbtest::ScopedEnv c("XDG_CONFIG_HOME", std::nullopt);
    qbtest::WriteFile(home / ".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n");
    EXPECT_EQ(home.path() + "Docs/", GetSpecialFolder(5));
}
