#include <gtest/gtest.h>

#include <filesystem>

#include "Error.h"
#include "FakeControls.h"
#include "Settings.h"
#include "SettingsControls.h"
#include "TestSupport.h"
#include "XmlValues.h"

namespace {

using qbtest::FakeControls;
using qbtest::TempDir;

const qb::TSettingsEnvironment kEnv{"/home/user/Documents/", "0x409 English (United States)"};

std::unique_ptr<qb::TSettingsDocument> Parse(const std::string& xml) {
    TempDir dir;
    qbtest::WriteFile(dir / "s.xml", xml);
    return qb::LoadSettingsDocument(dir / "s.xml");
}

// Every control away from its design default.
FakeControls Changed(const std::string& rootPath) {
    FakeControls c;
    c.text = {{"cbbLanguage", "Deutsch"},
              {"cbbEncoding", "GB2312"},
              {"mmoHeader", "<b>Head</b>\r\nline 2"},
              {"mmoFooter", "  foot  "},
              {"cbbCHMLanguage", "0x407 Deutsch (Deutschland)"},
              {"cbbCHMWinSize", "[0,0,1024,768]"},
              {"edtCHMTitle", "My Title"},
              {"edtCHMTabWidth", "250"},
              {"edtUserButtonCaption", "Web"},
              {"edtUserButtonURL", "http://example.org/"},
              {"edtDefaultPage", "/tmp/home.html"},
              {"edtRootPath", rootPath}};
    for (auto& [name, value] : c.check) value = !value;
    for (const char* n : {"chkOverWrite", "chkNiceDirName", "chkIgnoreEmptyNode", "chkOnTop"}) c.check[n] = true;
    c.index = {{"rgDataSource", 1}, {"rgConverter", 2}, {"cbbDefaultTab", 3}};
    c.tabStyles[2] = c.tabStyles[4] = true;
    c.winBtns[0] = c.winBtns[3] = c.winBtns[13] = c.winBtns[14] = true;
    c.font = {"DejaVu Sans", 14, 0xFF0000};
    c.attachFiles = {"/tmp/a.txt", "/tmp/b c.pdf"};
    return c;
}

void ExpectSameValues(const FakeControls& a, const FakeControls& b) {
    for (const auto& [name, value] : a.text) EXPECT_EQ(b.text.at(name), value) << name;
    for (const auto& [name, value] : a.check) EXPECT_EQ(b.check.at(name), value) << name;
    for (const auto& [name, value] : a.index) EXPECT_EQ(b.index.at(name), value) << name;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(a.tabStyles[i], b.tabStyles[i]) << "tab style " << i;
    for (int i = 0; i < 15; ++i) EXPECT_EQ(a.winBtns[i], b.winBtns[i]) << "toolbar item " << i;
    EXPECT_EQ(a.font.name, b.font.name);
    EXPECT_EQ(a.font.size, b.font.size);
    EXPECT_EQ(a.font.color, b.font.color);
    EXPECT_EQ(a.attachFiles, b.attachFiles);
}

TEST(SettingsSequences, SavedFileLoadsBackEveryValue) {
    TempDir dir;
    FakeControls before = Changed(dir.path());
    auto doc = qb::NewSettingsDocument();
    qb::SaveControlsToSettings(doc->Quillbook(), before);
    std::string firstSave = doc->ToText();

    auto loaded = Parse(firstSave);
    FakeControls after;
    qb::LoadStorePath(loaded->Quillbook(), after, kEnv);
    EXPECT_TRUE(qb::LoadSettingsIntoControls(loaded->Quillbook(), after, kEnv));
    ExpectSameValues(before, after);

    // Loading read nothing that was missing, and saving again changes no byte.
    EXPECT_EQ(loaded->ToText(), firstSave);
    qb::SaveControlsToSettings(loaded->Quillbook(), after);
    EXPECT_EQ(loaded->ToText(), firstSave);
}

TEST(SettingsSequences, NewFileGetsElementsInTheOrderFirstTouched) {
    auto doc = qb::NewSettingsDocument();
    qb::SetDeclaredEncoding(doc->Xml(), "UTF-8");
    qb::TXMLConfigType config = doc->Quillbook().Config();
    config.Language();  // start-up
    config.ShortCut();  // menu query
    FakeControls controls;
    qb::LoadStorePath(doc->Quillbook(), controls, kEnv);
    EXPECT_FALSE(qb::LoadSettingsIntoControls(doc->Quillbook(), controls, kEnv));
    qb::SaveControlsToSettings(doc->Quillbook(), controls);
    EXPECT_GOLDEN("settings/new_file.xml", doc->ToText());
}

TEST(SettingsSequences, UnmarkedFileGivesDefaultsAndReadsNothingMore) {
    TempDir dir;
    auto doc = Parse("<Quillbook><Config><StorePath>" + dir.path() +
                     "</StorePath><WholeDB>true</WholeDB><Converter>0</Converter><CHM><ToolButtons>0</ToolButtons>"
                     "</CHM></Config></Quillbook>");
    FakeControls controls;
    qb::LoadStorePath(doc->Quillbook(), controls, kEnv);
    EXPECT_EQ(controls.text["edtRootPath"], dir.path());
    controls.setLog.clear();
    EXPECT_FALSE(qb::LoadSettingsIntoControls(doc->Quillbook(), controls, kEnv));
    EXPECT_EQ(controls.index["rgDataSource"], 0);
    EXPECT_EQ(controls.index["rgConverter"], 1);
    EXPECT_EQ(controls.text["cbbCHMLanguage"], "0x409 English (United States)");
    EXPECT_TRUE(controls.tabStyles[0]);
    EXPECT_TRUE(controls.tabStyles[1]);
    EXPECT_FALSE(controls.tabStyles[2]);
    EXPECT_EQ(qb::ToolbarFlagsFromList(controls), qb::kDefaultToolButtons);
    EXPECT_FALSE(controls.winBtns[0]);
    EXPECT_FALSE(controls.winBtns[13]);  // "User Define" is the one item off
    EXPECT_FALSE(controls.WasSet("RgDataSource"));
    EXPECT_FALSE(controls.WasSet("ChkKeepDir"));
}

TEST(SettingsSequences, StorePathOfMissingFolder) {
    const std::string xml = "<Quillbook><Config><StorePath>/no/such/folder/</StorePath>";
    auto unmarked = Parse(xml + "</Config></Quillbook>");
    FakeControls a;
    qb::LoadStorePath(unmarked->Quillbook(), a, kEnv);
    EXPECT_EQ(a.text["edtRootPath"], "/home/user/Documents/My Quillbook Files/");
    qb::LoadSettingsIntoControls(unmarked->Quillbook(), a, kEnv);
    EXPECT_EQ(a.text["edtRootPath"], "/home/user/Documents/My Quillbook Files/");

    // A saved file shows the path as saved, folder or not (loading fails later, at the first absent value).
    auto marked = Parse(xml + "<KeepDir>true</KeepDir><WholeDB>false</WholeDB></Config></Quillbook>");
    FakeControls b;
    qb::LoadStorePath(marked->Quillbook(), b, kEnv);
    EXPECT_THROW(qb::LoadSettingsIntoControls(marked->Quillbook(), b, kEnv), qb::Error);
    EXPECT_EQ(b.text["edtRootPath"], "/no/such/folder/");
}

// A complete saved file with one value replaced (or removed when value is null).
std::string SavedWith(const std::string& element, const char* value) {
    FakeControls controls = Changed("/tmp/");
    auto doc = qb::NewSettingsDocument();
    qb::SaveControlsToSettings(doc->Quillbook(), controls);
    pugi::xml_node config = doc->Quillbook().Node().child("Config");
    pugi::xml_node node = element.rfind("CHM/", 0) == 0 ? config.child("CHM").child(element.substr(4).c_str())
                                                        : config.child(element.c_str());
    if (value)
        node.text().set(value);
    else
        node.parent().remove_child(node);
    return doc->ToText();
}

TEST(SettingsSequences, BooleanFormsWhileLoading) {
    std::string xml = SavedWith("KeepDir", "TRUE");
    auto doc = Parse(xml);
    doc->Quillbook().Config().SetWholeDB(true);
    doc->Quillbook().Config().Node().child("WholeDB").text().set("1");
    FakeControls c;
    c.check["chkKeepDir"] = false;
    qb::LoadSettingsIntoControls(doc->Quillbook(), c, kEnv);
    EXPECT_TRUE(c.check["chkKeepDir"]);
    EXPECT_EQ(c.index["rgDataSource"], 1);

    FakeControls d;
    EXPECT_THROW(qb::LoadSettingsIntoControls(Parse(SavedWith("WholeDB", "yes"))->Quillbook(), d, kEnv), qb::Error);
    EXPECT_FALSE(d.WasSet("EdtRootPath"));  // stopped at the first value
}

TEST(SettingsSequences, MissingLastValueLoadsAllOthersThenFails) {
    auto doc = Parse(SavedWith("RolloverMenu", nullptr));
    FakeControls expected = Changed("/tmp/");
    FakeControls c;
    try {
        qb::LoadSettingsIntoControls(doc->Quillbook(), c, kEnv);
        FAIL() << "no conversion error";
    } catch (const qb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("RolloverMenu"), std::string::npos) << e.what();
    }
    c.check["chkMakePopupMenu"] = expected.check["chkMakePopupMenu"];
    ExpectSameValues(expected, c);
    // The failed read left an empty element; the next save fills it.
    pugi::xml_node rollover = doc->Quillbook().Node().child("Config").child("RolloverMenu");
    ASSERT_TRUE(rollover);
    EXPECT_STREQ(rollover.text().get(), "");
    qb::SaveControlsToSettings(doc->Quillbook(), c);
    EXPECT_STREQ(rollover.text().get(), "false");
}

TEST(SettingsSequences, ConversionErrorStopsAtTheFailingValue) {
    auto doc = Parse(SavedWith("CHM/ToolButtons", "lots"));
    FakeControls c;
    EXPECT_THROW(qb::LoadSettingsIntoControls(doc->Quillbook(), c, kEnv), qb::Error);
    EXPECT_EQ(c.text["edtDefaultPage"], "/tmp/home.html");       // read before
    EXPECT_FALSE(c.WasSet("ChklstWinBtns1"));                     // the failing value
    EXPECT_FALSE(c.WasSet("ChkIgnoreEmptyNode"));                 // after it
    EXPECT_TRUE(c.attachFiles.empty());

    FakeControls d;
    EXPECT_THROW(qb::LoadSettingsIntoControls(Parse(SavedWith("DefaultFont", nullptr))->Quillbook(), d, kEnv),
                 qb::Error);
    EXPECT_FALSE(d.WasSet("ChkAttachments"));
    auto badColor = Parse(SavedWith("KeepDir", "true"));
    badColor->Quillbook().Config().DefaultFont().SetColor("#0000FF");
    FakeControls e;
    EXPECT_THROW(qb::LoadSettingsIntoControls(badColor->Quillbook(), e, kEnv), qb::Error);
    EXPECT_EQ(e.font.name, "DejaVu Sans");  // name and size went in at once
    EXPECT_EQ(e.font.size, 14);
    EXPECT_EQ(e.font.color, 0xFF000008u);
}

TEST(SettingsSequences, BadTabWidthStopsTheSaveThere) {
    FakeControls c = Changed("/tmp/");
    c.text["edtCHMTabWidth"] = "wide";
    auto doc = qb::NewSettingsDocument();
    EXPECT_THROW(qb::SaveControlsToSettings(doc->Quillbook(), c), qb::Error);
    pugi::xml_node config = doc->Quillbook().Node().child("Config");
    EXPECT_STREQ(config.child("CHM").child("DefaultTab").text().get(), "3");
    EXPECT_FALSE(config.child("CHM").child("TabWidth"));
    EXPECT_FALSE(config.child("IgnoreEmptyNode"));
    EXPECT_FALSE(config.child("RolloverMenu"));
}

TEST(SettingsSequences, ToolbarMaskAndMenusItem) {
    auto doc = Parse(SavedWith("CHM/ToolButtons", "0"));
    FakeControls c;
    std::fill(std::begin(c.winBtns), std::end(c.winBtns), true);
    qb::LoadSettingsIntoControls(doc->Quillbook(), c, kEnv);
    for (int i = 1; i <= 14; ++i) EXPECT_FALSE(c.winBtns[i]) << i;
    EXPECT_TRUE(c.winBtns[0]);  // from Menu alone

    // Unknown bits are ignored; each item owns exactly its bit.
    FakeControls d;
    qb::ToolbarFlagsToList(d, 0x800 | 0x1 | 0x100);
    EXPECT_EQ(qb::ToolbarFlagsFromList(d), 0x800);
    EXPECT_TRUE(d.winBtns[7]);  // "Locator"
    for (int i = 0; i < 14; ++i) {
        FakeControls e;
        e.winBtns[i + 1] = true;
        EXPECT_EQ(qb::ToolbarFlagsFromList(e), qb::kToolbarButtonBits[i]);
    }
}

TEST(SettingsSequences, FontColourIsWrittenByName) {
    auto colorAfterSave = [](std::uint32_t color) {
        FakeControls c;
        c.font.color = color;
        auto doc = qb::NewSettingsDocument();
        qb::SaveControlsToSettings(doc->Quillbook(), c);
        return doc->Quillbook().Config().DefaultFont().Color();
    };
    EXPECT_EQ(colorAfterSave(0xFF000008), "clWindowText");
    EXPECT_EQ(colorAfterSave(0xFF0000), "clBlue");
    EXPECT_EQ(colorAfterSave(0x00123456), "$00123456");
}

TEST(SettingsSequences, AttachFilesOneEntryPerLine) {
    FakeControls c;
    qb::LoadSettingsIntoControls(Parse(SavedWith("AttachFiles", "a.txt\r\nb.txt\r\n"))->Quillbook(), c, kEnv);
    EXPECT_EQ(c.attachFiles, (std::vector<std::string>{"a.txt", "b.txt"}));
    auto doc = qb::NewSettingsDocument();
    qb::SaveControlsToSettings(doc->Quillbook(), c);
    EXPECT_EQ(doc->Quillbook().Config().AttachFiles(), "a.txt\r\nb.txt\r\n");

    c.attachFiles.clear();
    qb::SaveControlsToSettings(doc->Quillbook(), c);
    EXPECT_NE(doc->ToText().find("<AttachFiles/>"), std::string::npos);

    // Hand-written LF-only lines split too.
    FakeControls d;
    qb::LoadSettingsIntoControls(Parse(SavedWith("AttachFiles", "x\ny"))->Quillbook(), d, kEnv);
    EXPECT_EQ(d.attachFiles, (std::vector<std::string>{"x", "y"}));
}

TEST(SettingsSequences, CheckListsRestoredOnlyFromSavedSettings) {
    FakeControls c;
    qb::RestoreCheckListsFromSettings(qb::NewSettingsDocument()->Quillbook(), c);
    EXPECT_TRUE(c.setLog.empty());

    auto doc = Parse(SavedWith("KeepDir", "true"));
    qb::RestoreCheckListsFromSettings(doc->Quillbook(), c);
    FakeControls expected = Changed("/tmp/");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(c.tabStyles[i], expected.tabStyles[i]) << i;
    for (int i = 0; i < 15; ++i) EXPECT_EQ(c.winBtns[i], expected.winBtns[i]) << i;
}

}  // namespace
