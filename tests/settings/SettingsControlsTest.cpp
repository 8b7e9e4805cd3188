#include <gtest/gtest.h>

#include <filesystem>

#include "engine/OptionSchema.h"
#include "settings/Settings.h"
#include "settings/XmlValues.h"
#include "support/Error.h"
#include "tests/settings/FakeControls.h"
#include "tests/support/TestSupport.h"

namespace {

using FakeControls = qbtest::RecordingControls;
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
    for (const auto& [name, value] :
         std::vector<std::pair<const char*, std::string>>{{"cbbLanguage", "Deutsch"},
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
                                                          {"edtRootPath", rootPath}})
        c.SetText(name, value);
    for (const qb::TControlDecl& d : qb::ControlTable())
        if (d.kind == qb::TControlKind::Check) c.SetCheck(d.name, !std::get<bool>(d.design));
    c.SetChoice("rgDataSource", 1);
    c.SetChoice("rgConverter", 2);
    c.SetChoice("cbbDefaultTab", 3);
    for (int i = 0; i < 5; ++i) c.SetCheck("chklstTabStyles", i, i == 2 || i == 4);
    for (int i = 0; i < 15; ++i) c.SetCheck("chklstWinBtns", i, i == 0 || i == 3 || i == 13 || i == 14);
    c.SetFont("lblFontPreview", {"DejaVu Sans", 14, 0xFF0000});
    c.SetEntries("lstAttachFiles", {"/tmp/a.txt", "/tmp/b c.pdf"});
    c.setLog.clear();
    return c;
}

// Every control of the schema, so a control added later is compared too.
void ExpectSameValues(const qb::IControlValues& a, const qb::IControlValues& b) {
    for (const qb::TControlDecl& d : qb::ControlTable()) {
        if (d.kind == qb::TControlKind::CheckList) {
            for (int i = 0; i < d.items; ++i) EXPECT_EQ(a.Check(d.name, i), b.Check(d.name, i)) << d.name << " " << i;
        } else {
            EXPECT_TRUE(a.Get(d.name) == b.Get(d.name)) << d.name;
        }
    }
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
    const pugi::xml_node config = doc->Quillbook().Config();
    qb::SettingText(config, "Language");  // start-up
    qb::SettingText(config, "ShortCut");  // menu query
    FakeControls controls;
    qb::LoadStorePath(doc->Quillbook(), controls, kEnv);
    EXPECT_FALSE(qb::LoadSettingsIntoControls(doc->Quillbook(), controls, kEnv));
    qb::SaveControlsToSettings(doc->Quillbook(), controls);
    EXPECT_GOLDEN("settings/new_file.xml", doc->ToText());
}

// Files written by earlier versions stay byte for byte: the elements, their
// order, their encodings, and the order a saved file is read in.
TEST(SettingsSequences, SavedFileAndReadingOrderAreFixed) {
    FakeControls controls = Changed("/data/Quillbook Files/");
    auto doc = qb::NewSettingsDocument();
    qb::SetDeclaredEncoding(doc->Xml(), "UTF-8");
    qb::SaveControlsToSettings(doc->Quillbook(), controls);
    EXPECT_GOLDEN("settings/changed_file.xml", doc->ToText());

    FakeControls loaded;
    EXPECT_TRUE(qb::LoadSettingsIntoControls(Parse(doc->ToText())->Quillbook(), loaded, kEnv));
    std::string order;
    for (const std::string& name : loaded.setLog) order += name + "\n";
    EXPECT_GOLDEN("settings/load_order.txt", order);
}

TEST(SettingsSequences, UnmarkedFileGivesDefaultsAndReadsNothingMore) {
    TempDir dir;
    auto doc = Parse("<Quillbook><Config><StorePath>" + dir.path() +
                     "</StorePath><WholeDB>true</WholeDB><Converter>0</Converter><CHM><ToolButtons>0</ToolButtons>"
                     "</CHM></Config></Quillbook>");
    FakeControls controls;
    qb::LoadStorePath(doc->Quillbook(), controls, kEnv);
    EXPECT_EQ(controls.Text("edtRootPath"), dir.path());
    controls.setLog.clear();
    EXPECT_FALSE(qb::LoadSettingsIntoControls(doc->Quillbook(), controls, kEnv));
    EXPECT_EQ(controls.Choice("rgDataSource"), 0);
    EXPECT_EQ(controls.Choice("rgConverter"), 1);
    EXPECT_EQ(controls.Text("cbbCHMLanguage"), "0x409 English (United States)");
    EXPECT_TRUE(controls.Check("chklstTabStyles", 0));
    EXPECT_TRUE(controls.Check("chklstTabStyles", 1));
    EXPECT_FALSE(controls.Check("chklstTabStyles", 2));
    EXPECT_EQ(qb::ToolbarFlagsFromList(controls), qb::kDefaultToolButtons);
    EXPECT_FALSE(controls.Check("chklstWinBtns", 0));
    EXPECT_FALSE(controls.Check("chklstWinBtns", 13));  // "User Define" is the one item off
    EXPECT_FALSE(controls.WasSet("rgDataSource"));
    EXPECT_FALSE(controls.WasSet("chkKeepDir"));
}

TEST(SettingsSequences, StorePathOfMissingFolder) {
    const std::string xml = "<Quillbook><Config><StorePath>/no/such/folder/</StorePath>";
    auto unmarked = Parse(xml + "</Config></Quillbook>");
    FakeControls a;
    qb::LoadStorePath(unmarked->Quillbook(), a, kEnv);
    EXPECT_EQ(a.Text("edtRootPath"), "/home/user/Documents/My Quillbook Files/");
    qb::LoadSettingsIntoControls(unmarked->Quillbook(), a, kEnv);
    EXPECT_EQ(a.Text("edtRootPath"), "/home/user/Documents/My Quillbook Files/");

    // A saved file shows the path as saved, folder or not (loading fails later, at the first absent value).
    auto marked = Parse(xml + "<KeepDir>true</KeepDir><WholeDB>false</WholeDB></Config></Quillbook>");
    FakeControls b;
    qb::LoadStorePath(marked->Quillbook(), b, kEnv);
    EXPECT_THROW(qb::LoadSettingsIntoControls(marked->Quillbook(), b, kEnv), qb::Error);
    EXPECT_EQ(b.Text("edtRootPath"), "/no/such/folder/");
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
    qb::SetSettingText(doc->Quillbook().Config(), "WholeDB", "1");
    FakeControls c;
    c.SetCheck("chkKeepDir", false);
    qb::LoadSettingsIntoControls(doc->Quillbook(), c, kEnv);
    EXPECT_TRUE(c.Check("chkKeepDir"));
    EXPECT_EQ(c.Choice("rgDataSource"), 1);

    FakeControls d;
    EXPECT_THROW(qb::LoadSettingsIntoControls(Parse(SavedWith("WholeDB", "yes"))->Quillbook(), d, kEnv), qb::Error);
    EXPECT_FALSE(d.WasSet("edtRootPath"));  // stopped at the first value
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
    c.SetCheck("chkMakePopupMenu", expected.Check("chkMakePopupMenu"));
    // Values read after it keep their design values.
    EXPECT_TRUE(c.Check("chkMakeIndex"));
    c.SetCheck("chkMakeIndex", expected.Check("chkMakeIndex"));
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
    EXPECT_EQ(c.Text("edtDefaultPage"), "/tmp/home.html");  // read before
    EXPECT_FALSE(c.WasSet("chklstWinBtns1"));               // the failing value
    EXPECT_FALSE(c.WasSet("chkIgnoreEmptyNode"));           // after it
    EXPECT_TRUE(c.Entries("lstAttachFiles").empty());

    FakeControls d;
    EXPECT_THROW(qb::LoadSettingsIntoControls(Parse(SavedWith("DefaultFont", nullptr))->Quillbook(), d, kEnv),
                 qb::Error);
    EXPECT_FALSE(d.WasSet("chkAttachments"));
    auto badColor = Parse(SavedWith("KeepDir", "true"));
    qb::SetSettingText(badColor->Quillbook().Config(), "DefaultFont/@Color", "#0000FF");
    FakeControls e;
    EXPECT_THROW(qb::LoadSettingsIntoControls(badColor->Quillbook(), e, kEnv), qb::Error);
    EXPECT_EQ(e.Font("lblFontPreview").name, "DejaVu Sans");  // name and size went in at once
    EXPECT_EQ(e.Font("lblFontPreview").size, 14);
    EXPECT_EQ(e.Font("lblFontPreview").color, 0xFF000008u);
}

TEST(SettingsSequences, BadTabWidthStopsTheSaveThere) {
    FakeControls c = Changed("/tmp/");
    c.SetText("edtCHMTabWidth", "wide");
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
    for (int i = 0; i < 15; ++i) c.SetCheck("chklstWinBtns", i, true);
    qb::LoadSettingsIntoControls(doc->Quillbook(), c, kEnv);
    for (int i = 1; i <= 14; ++i) EXPECT_FALSE(c.Check("chklstWinBtns", i)) << i;
    EXPECT_TRUE(c.Check("chklstWinBtns", 0));  // from Menu alone

    // Unknown bits are ignored; each item owns exactly its bit.
    FakeControls d;
    qb::ToolbarFlagsToList(d, 0x800 | 0x1 | 0x100);
    EXPECT_EQ(qb::ToolbarFlagsFromList(d), 0x800);
    EXPECT_TRUE(d.Check("chklstWinBtns", 7));  // "Locator"
    for (int i = 0; i < 14; ++i) {
        FakeControls e;
        qb::ToolbarFlagsToList(e, 0);
        e.SetCheck("chklstWinBtns", i + 1, true);
        EXPECT_EQ(qb::ToolbarFlagsFromList(e), qb::kToolbarButtonBits[i]);
    }
}

TEST(SettingsSequences, FontColourIsWrittenByName) {
    auto colorAfterSave = [](std::uint32_t color) {
        FakeControls c;
        c.SetFont("lblFontPreview", {"Tahoma", 12, color});
        auto doc = qb::NewSettingsDocument();
        qb::SaveControlsToSettings(doc->Quillbook(), c);
        return qb::SettingText(doc->Quillbook().Config(), "DefaultFont/@Color");
    };
    EXPECT_EQ(colorAfterSave(0xFF000008), "clWindowText");
    EXPECT_EQ(colorAfterSave(0xFF0000), "clBlue");
    EXPECT_EQ(colorAfterSave(0x00123456), "$00123456");
}

TEST(SettingsSequences, AttachFilesOneEntryPerLine) {
    FakeControls c;
    qb::LoadSettingsIntoControls(Parse(SavedWith("AttachFiles", "a.txt\r\nb.txt\r\n"))->Quillbook(), c, kEnv);
    EXPECT_EQ(c.Entries("lstAttachFiles"), (std::vector<std::string>{"a.txt", "b.txt"}));
    auto doc = qb::NewSettingsDocument();
    qb::SaveControlsToSettings(doc->Quillbook(), c);
    EXPECT_EQ(qb::SettingText(doc->Quillbook().Config(), "AttachFiles"), "a.txt\r\nb.txt\r\n");

    c.SetEntries("lstAttachFiles", {});
    qb::SaveControlsToSettings(doc->Quillbook(), c);
    EXPECT_NE(doc->ToText().find("<AttachFiles/>"), std::string::npos);

    // Hand-written LF-only lines split too.
    FakeControls d;
    qb::LoadSettingsIntoControls(Parse(SavedWith("AttachFiles", "x\ny"))->Quillbook(), d, kEnv);
    EXPECT_EQ(d.Entries("lstAttachFiles"), (std::vector<std::string>{"x", "y"}));
}

TEST(SettingsSequences, CheckListsRestoredOnlyFromSavedSettings) {
    FakeControls c;
    qb::RestoreCheckListsFromSettings(qb::NewSettingsDocument()->Quillbook(), c);
    EXPECT_TRUE(c.setLog.empty());

    auto doc = Parse(SavedWith("KeepDir", "true"));
    qb::RestoreCheckListsFromSettings(doc->Quillbook(), c);
    FakeControls expected = Changed("/tmp/");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(c.Check("chklstTabStyles", i), expected.Check("chklstTabStyles", i)) << i;
    for (int i = 0; i < 15; ++i) EXPECT_EQ(c.Check("chklstWinBtns", i), expected.Check("chklstWinBtns", i)) << i;
}

}  // namespace
