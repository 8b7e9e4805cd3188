// The export bodies: buffers, host values, menu description and failures.
#include <climits>
#include <cstring>
#include <filesystem>
#include <new>

#include <gtest/gtest.h>

#include "host/Host.h"
#include "settings/Language.h"
#include "settings/MessageTable.h"
#include "settings/Settings.h"
#include "settings/StartUp.h"
#include "support/Error.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qb;

TEST(HostBuffer, LongTextIsCutAtACharacterBoundaryWithinTheCapacity) {
    std::string buffer(kHostBufferSize + 16, '#');
    // 4094 ASCII bytes, then a 3-byte character that would end beyond byte 4095.
    const std::string text = std::string(4094, 'a') + "\xE2\x82\xAC" + "tail";
    EXPECT_EQ(WriteHostBuffer(buffer.data(), text), 4094u);
    EXPECT_EQ(buffer[4094], '\0');
    EXPECT_EQ(buffer[kHostBufferSize], '#');
    const std::string exact(4095, 'b');
    EXPECT_EQ(WriteHostBuffer(buffer.data(), exact), 4095u);
    EXPECT_EQ(buffer[4095], '\0');
    EXPECT_EQ(WriteHostBuffer(buffer.data(), "short"), 5u);
    EXPECT_STREQ(buffer.c_str(), "short");
    EXPECT_EQ(WriteHostBuffer(nullptr, "nothing"), 0u);
}

TEST(HostValues, TabsGoAndLinesSplitAtEveryBreak) {
    TStringList values;
    ParseHostValues("Database.FullPath=/data/my\tbook.db\r\nDatabase.HANDLE=7\nTreeView.CurNode_DvoPath=\\A\\\rX=1",
                    values);
    EXPECT_EQ(values.Value("database.fullpath"), "/data/mybook.db");
    EXPECT_EQ(values.Value("Database.HANDLE"), "7");
    EXPECT_EQ(values.Value("TreeView.CurNode_DvoPath"), "\\A\\");
    EXPECT_EQ(values.Value("MainWindow.HWND"), "");
    ParseHostValues(nullptr, values);
    EXPECT_TRUE(values.Empty());
}

TEST(HostExports, HandshakeAddsWithWrapAround) {
    EXPECT_EQ(ExportCheckDll(2, 3), 5);
    EXPECT_EQ(ExportCheckDll(INT_MAX, 1), INT_MIN);
}

class HostStepsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetMessageTable();
        ReleaseSettings();
        ReleaseLanguages();
        module_ = tmp_ / "Quillbook.so";
        THostSteps steps;
        steps.startUp = [this] { StartUpSettingsAndLanguage(module_); };
        steps.reportError = [this](const std::string& t) { reported_.push_back(t); };
        steps.showWizard = [this](const std::string& text) { shown_.push_back(text); };
        steps.saveSettingsFile = [this] {
            ++saves_;
            return true;
        };
        previous_ = SetHostSteps(steps);
    }
    void TearDown() override {
        SetHostSteps(previous_);
        ReleaseSettings();
        ReleaseLanguages();
        ResetMessageTable();
    }
    std::string Menu() {
        char buffer[kHostBufferSize];
        EXPECT_EQ(ExportQueryInterface(buffer), 1);
        return buffer;
    }
    qbtest::TempDir tmp_;
    std::string module_;
    THostSteps previous_;
    std::vector<std::string> reported_, shown_;
    int saves_ = 0;
};

TEST_F(HostStepsTest, MenuDescriptionWithBuiltInTexts) {
    EXPECT_EQ(Menu(),
              "menu[0].PopupMenu=MAINMENU.SHARE\nmenu[0].popmenu=12\nmenu[0].caption=Export to CHM...\n"
              "menu[0].hint=Export database or current branch to CHM...\nmenu[0].procname=_kvn_addon_ovel2html\n"
              "menu[0].localeid=Menu_Tools_Ovel2Html\nmenu[0].shortcut=Ctrl+Shift+K\nmenu[0].menupos=-1\n");
    char buffer[kHostBufferSize];
    EXPECT_EQ(ExportDescription(buffer), 0);
    EXPECT_EQ(std::string(buffer).rfind("Quillbook 3.0.0\r\n", 0), 0u);
    EXPECT_TRUE(reported_.empty());
}

TEST_F(HostStepsTest, ShortCutAndLanguageTextsComeFromTheFilesBesideTheModule) {
    qbtest::WriteFile(tmp_ / "Quillbook.xml",
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Quillbook><Config><Language>Pirate</Language>"
                      "<ShortCut>Ctrl+F9</ShortCut></Config></Quillbook>");
    qbtest::WriteFile(tmp_ / "Quillbook.lng",
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Languages><Language Name=\"pirate\" LangID=\"1033\">"
                      "<StringTable><Text ID=\"0\">Plunder to CHM...</Text><Text ID=\"1\">Arr</Text></StringTable>"
                      "</Language></Languages>");
    const std::string menu = Menu();
    EXPECT_NE(menu.find("\nmenu[0].shortcut=Ctrl+F9\n"), std::string::npos) << menu;
    EXPECT_NE(menu.find("\nmenu[0].caption=Plunder to CHM...\nmenu[0].hint=Arr\n"), std::string::npos) << menu;
}

TEST_F(HostStepsTest, CommandPassesTheTextAndWritesTheSettings) {
    EXPECT_EQ(ExportOvel2Html("Database.HANDLE=3\r\n"), 0);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0], "Database.HANDLE=3\r\n");
    EXPECT_EQ(saves_, 1);
    EXPECT_EQ(ExportOvel2Html(nullptr), 0);
    EXPECT_EQ(shown_.back(), "");
}

TEST_F(HostStepsTest, NoFailureEscapesAnExport) {
    THostSteps steps;
    steps.startUp = [] { throw std::bad_alloc(); };
    steps.reportError = [this](const std::string& t) { reported_.push_back(t); };
    SetHostSteps(steps);
    char buffer[kHostBufferSize] = "untouched";
    EXPECT_EQ(ExportDescription(buffer), 0);
    EXPECT_EQ(ExportQueryInterface(buffer), 1);
    EXPECT_EQ(ExportOvel2Html("x=1"), 0);
    EXPECT_EQ(reported_.size(), 3u);
    EXPECT_STREQ(buffer, "untouched");

    // A failing wizard ends the command before the settings file is written;
    // a failing report is swallowed too.
    steps.startUp = [] {};
    steps.showWizard = [](const std::string&) { throw Error("window broke"); };
    steps.saveSettingsFile = [this] {
        ++saves_;
        return true;
    };
    steps.reportError = [](const std::string&) { throw 42; };
    SetHostSteps(steps);
    EXPECT_EQ(ExportOvel2Html("x=1"), 0);
    EXPECT_EQ(saves_, 0);
    steps.showWizard = [](const std::string&) { throw 7; };
    steps.reportError = [this](const std::string& t) { reported_.push_back(t); };
    SetHostSteps(steps);
    EXPECT_EQ(ExportOvel2Html("x=1"), 0);
    EXPECT_EQ(reported_.back(), Msg(22));
}

}  // namespace
