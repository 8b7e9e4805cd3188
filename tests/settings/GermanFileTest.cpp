#include <gtest/gtest.h>

#include <map>
#include <set>

#include "Utils/StringList.h"
#include "settings/Language.h"
#include "settings/MessageTable.h"
#include "settings/StartUp.h"
#include "tests/settings/FakeControls.h"
#include "tests/support/TestSupport.h"

namespace {

const std::string kShipped = std::string(QB_SOURCE_DIR) + "/src/settings/Quillbook.lng";

// The wizard's controls by name with their kind; edits and memos are left out
// because a language never touches them.
const std::map<std::string, qb::TComponentKind> kWizardControls = {
    {"tsWelcome", qb::TComponentKind::WinControl},
    {"imgWizard", qb::TComponentKind::GraphicControl},
    {"lblWelMessage", qb::TComponentKind::Label},
    {"lblLanguage", qb::TComponentKind::Label},
    {"cbbLanguage", qb::TComponentKind::ComboBox},
    {"lblWebSite", qb::TComponentKind::Label},
    {"imgWeb", qb::TComponentKind::GraphicControl},
    {"lblMailUs", qb::TComponentKind::Label},
    {"imgMail", qb::TComponentKind::GraphicControl},
    {"tsTypes", qb::TComponentKind::WinControl},
    {"rgDataSource", qb::TComponentKind::RadioGroup},
    {"rgConverter", qb::TComponentKind::RadioGroup},
    {"tsOptions", qb::TComponentKind::WinControl},
    {"chkAttachments", qb::TComponentKind::WinControl},
    {"chkOverWrite", qb::TComponentKind::WinControl},
    {"chkClearTempFile", qb::TComponentKind::WinControl},
    {"chkKeepDir", qb::TComponentKind::WinControl},
    {"chkNiceDirName", qb::TComponentKind::WinControl},
    {"chkIgnoreTopNode", qb::TComponentKind::WinControl},
    {"chkIgnoreEmptyNode", qb::TComponentKind::WinControl},
    {"chkSubItems", qb::TComponentKind::WinControl},
    {"chkNavLink", qb::TComponentKind::WinControl},
    {"chkMakePopupMenu", qb::TComponentKind::WinControl},
    {"lblEncoding", qb::TComponentKind::Label},
    {"cbbEncoding", qb::TComponentKind::ComboBox},
    {"lblFont", qb::TComponentKind::Label},
    {"lblFontPreview", qb::TComponentKind::Label},
    {"tsFrame", qb::TComponentKind::WinControl},
    {"lblHeader", qb::TComponentKind::Label},
    {"lblFooter", qb::TComponentKind::Label},
    {"tsCHMOptions", qb::TComponentKind::WinControl},
    {"lblCHMLanguage", qb::TComponentKind::Label},
    {"cbbCHMLanguage", qb::TComponentKind::ComboBox},
    {"chkFullSearch", qb::TComponentKind::WinControl},
    {"lblCHMWinSize", qb::TComponentKind::Label},
    {"cbbCHMWinSize", qb::TComponentKind::ComboBox},
    {"chkOnTop", qb::TComponentKind::WinControl},
    {"lblCHMTitle", qb::TComponentKind::Label},
    {"chkMakeIndex", qb::TComponentKind::WinControl},
    {"grpCHMTab", qb::TComponentKind::WinControl},
    {"chkCHMTab", qb::TComponentKind::WinControl},
    {"lblDefaultTab", qb::TComponentKind::Label},
    {"cbbDefaultTab", qb::TComponentKind::ComboBox},
    {"chklstTabStyles", qb::TComponentKind::ListBox},
    {"grpWinBtns", qb::TComponentKind::WinControl},
    {"chklstWinBtns", qb::TComponentKind::ListBox},
    {"grpUserButton", qb::TComponentKind::WinControl},
    {"lblUserDefBtnCaption", qb::TComponentKind::Label},
    {"lblUserDefBtnURL", qb::TComponentKind::Label},
    {"btnBrowseJump1", qb::TComponentKind::WinControl},
    {"tsMiscOptions", qb::TComponentKind::WinControl},
    {"lblDefaultPage", qb::TComponentKind::Label},
    {"btnBrowseDefaultPage", qb::TComponentKind::WinControl},
    {"lblRootPath", qb::TComponentKind::Label},
    {"btnBrowserPath", qb::TComponentKind::WinControl},
    {"lblAttachFiles", qb::TComponentKind::Label},
    {"lstAttachFiles", qb::TComponentKind::ListBox},
    {"btnAddAttachs", qb::TComponentKind::WinControl},
    {"btnRemoveAttachs", qb::TComponentKind::WinControl},
    {"lblCHMFilename", qb::TComponentKind::Label},
    {"btnChmFileName", qb::TComponentKind::WinControl},
    {"chkOpenCHMFile", qb::TComponentKind::WinControl},
    {"chkSite", qb::TComponentKind::WinControl},
    {"btnSiteFolder", qb::TComponentKind::WinControl},
    {"tsFinished", qb::TComponentKind::WinControl},
    {"lblStart", qb::TComponentKind::Label},
    {"btnRun", qb::TComponentKind::WinControl},
    {"pbPecent", qb::TComponentKind::WinControl},
    {"btnAbout", qb::TComponentKind::WinControl},
    {"btnLang", qb::TComponentKind::WinControl},
    {"btnBack", qb::TComponentKind::WinControl},
    {"btnNext", qb::TComponentKind::WinControl},
    {"btnClose", qb::TComponentKind::WinControl},
};

// Lists filled at run time from the system, the language file or the user:
// an entry would replace them.
const std::set<std::string> kRuntimeLists = {"cbbCHMLanguage", "lstAttachFiles"};

// Item counts of the wizard's fixed lists.
const std::map<std::string, std::size_t> kItemCounts = {
    {"rgDataSource", 2},  {"rgConverter", 3},     {"cbbEncoding", 4},    {"cbbCHMWinSize", 3},
    {"cbbDefaultTab", 4}, {"chklstTabStyles", 5}, {"chklstWinBtns", 15}, {"cbbLanguage", 2}};

std::vector<std::string> FormatPlaces(const std::string& text) {
    std::vector<std::string> places;
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '%' && (text[i + 1] == 's' || text[i + 1] == 'd')) places.push_back(text.substr(i, 2));
    return places;
}

class GermanFile : public ::testing::Test {
protected:
    void SetUp() override {
        doc = qb::LoadLanguageDocument(kShipped);
        ASSERT_EQ(doc->Languages().Count(), 1);
        german = doc->Languages().Item(0);
    }
    void TearDown() override {
        qb::ShutDownSettingsAndLanguage();
        qb::ResetMessageTable();
    }
    std::shared_ptr<qb::TLanguageDocument> doc;
    qb::TXMLLanguageType german;
};

TEST_F(GermanFile, NamesTheLanguageAndItsLocale) {
    EXPECT_EQ(german.Name(), "Deutsch");
    EXPECT_EQ(german.LangID(), 0x407);
    ASSERT_EQ(german.Forms().Count(), 1);
    qb::TXMLFormType form = german.Forms().Item(0);
    EXPECT_EQ(form.Name(), "TFrmMain");
    EXPECT_FALSE(form.Font().Name().empty());
    EXPECT_GT(form.Font().Size(), 0);
    EXPECT_GE(form.Font().Charset(), 0);
}

TEST_F(GermanFile, SuppliesEveryMessageInItsShape) {
    std::map<int, std::string> texts;
    for (qb::TXMLTextType t : german.StringTable().Items()) {
        int id = t.ID();
        EXPECT_TRUE(texts.emplace(id, t.Text()).second) << "duplicate id " << id;
    }
    ASSERT_EQ(texts.size(), static_cast<std::size_t>(qb::kMessageCount));
    for (int id = 0; id < qb::kMessageCount; ++id) {
        ASSERT_TRUE(texts.count(id)) << id;
        const std::string& de = texts[id];
        const std::string& en = qb::BuiltInMsg(id);
        EXPECT_EQ(de.empty(), en.empty()) << id;
        if (en.empty()) continue;
        EXPECT_NE(de, en) << "untranslated " << id;
        EXPECT_EQ(FormatPlaces(de), FormatPlaces(en)) << id;
        EXPECT_EQ(de.rfind("\r\n", 0) == 0, en.rfind("\r\n", 0) == 0) << "leading line break " << id;
        EXPECT_EQ(de.size() >= 2 && de.substr(de.size() - 2) == "\r\n",
                  en.size() >= 2 && en.substr(en.size() - 2) == "\r\n")
            << "trailing line break " << id;
        EXPECT_EQ(de.find('\n') == std::string::npos, en.find('\n') == std::string::npos) << id;
    }
    EXPECT_EQ(texts[19].rfind("Quillbook 3.0.0\r\n", 0), 0u);
    EXPECT_EQ(texts[22].back(), ' ');
}

TEST_F(GermanFile, SelectingItReplacesEveryMessage) {
    qb::SetLanguageDocument(doc, kShipped);
    qb::SelectLanguage("deutsch");
    for (int id = 0; id < qb::kMessageCount; ++id) {
        if (!qb::BuiltInMsg(id).empty()) {
            EXPECT_NE(qb::Msg(id), qb::BuiltInMsg(id)) << id;
        }
    }
    EXPECT_EQ(qb::Msg(2), "%s - Schritt %d von %d");
}

TEST_F(GermanFile, NamesOnlyWizardControlsAndCoversThemAll) {
    std::set<std::string> seen;
    for (qb::TXMLControlType c : german.Forms().Item(0).Control().Items()) {
        std::string name = c.Name();
        EXPECT_TRUE(seen.insert(name).second) << "twice: " << name;
        auto it = kWizardControls.find(name);
        ASSERT_NE(it, kWizardControls.end()) << "not a wizard control: " << name;
        EXPECT_EQ(kRuntimeLists.count(name), 0u) << name << " would lose its run-time items";
        qb::TComponentKind kind = it->second;
        bool takesCaption = kind == qb::TComponentKind::Label || kind == qb::TComponentKind::RadioGroup ||
                            kind == qb::TComponentKind::WinControl;
        bool takesItems = kind == qb::TComponentKind::RadioGroup || kind == qb::TComponentKind::ComboBox ||
                          kind == qb::TComponentKind::ListBox;
        EXPECT_EQ(!c.Caption().empty(), takesCaption) << name;
        if (takesItems) {
            qb::TStringList items;
            items.SetText(c.Text());
            ASSERT_TRUE(kItemCounts.count(name)) << name;
            EXPECT_EQ(static_cast<std::size_t>(items.Count()), kItemCounts.at(name)) << name;
        } else {
            EXPECT_FALSE(c.Node().child("Text")) << name;
        }
    }
    // Every control with a fixed caption or list is translated; link labels,
    // pictures and the progress bar carry none.
    for (const auto& [name, kind] : kWizardControls) {
        bool noText = kind == qb::TComponentKind::GraphicControl || kRuntimeLists.count(name) || name == "lblWebSite" ||
                      name == "lblMailUs" || name == "pbPecent";
        EXPECT_EQ(seen.count(name), noText ? 0u : 1u) << name;
    }
}

TEST_F(GermanFile, KeepsTheDefaultEntryAndFixedTexts) {
    qb::TStringList languages, encodings;
    for (qb::TXMLControlType c : german.Forms().Item(0).Control().Items()) {
        if (c.Name() == "cbbLanguage") languages.SetText(c.Text());
        if (c.Name() == "cbbEncoding") encodings.SetText(c.Text());
        if (c.Name() == "rgDataSource") {
            qb::TStringList items;
            items.SetText(c.Text());
            // The host text is appended to the first item directly.
            EXPECT_EQ(items[0].back(), ' ');
        }
    }
    ASSERT_EQ(languages.Count(), 2);
    EXPECT_EQ(languages[0], "Default(En) *");
    EXPECT_EQ(languages[1], german.Name());
    ASSERT_EQ(encodings.Count(), 4);
    EXPECT_EQ(encodings[0], "");
    EXPECT_EQ(encodings[1], "UTF-8");
}

TEST_F(GermanFile, BuildOutputCarriesTheSameFile) {
    EXPECT_EQ(qbtest::ReadFile(std::string(QB_OUT_DIR) + "/Quillbook.lng"), qbtest::ReadFile(kShipped));
}

}  // namespace
