#include <gtest/gtest.h>

#include <filesystem>

#include "settings/Language.h"
#include "settings/MessageTable.h"
#include "settings/StartUp.h"
#include "support/Error.h"
#include "tests/settings/FakeControls.h"
#include "tests/support/TestSupport.h"

namespace {

using qb::TComponentKind;
using qbtest::ErrorBoxRecorder;
using qbtest::FakeComponent;
using qbtest::TempDir;
using qbtest::WriteFile;

class Languages : public ::testing::Test {
protected:
    void SetUp() override {
        qb::ShutDownSettingsAndLanguage();
        qb::ResetMessageTable();
    }
    void TearDown() override {
        qb::ShutDownSettingsAndLanguage();
        qb::ResetMessageTable();
    }
    // Writes the language file beside a module in dir and runs the language start-up.
    void StartWith(const std::string& xml) {
        WriteFile(dir / "Quillbook.lng", xml);
        qb::StartUpLanguage(dir / "Quillbook.so");
    }
    TempDir dir;
};

const char* kTwoGermans =
    "<Languages>"
    "<Language Name='Deutsch' LangID='1031'><StringTable><Text ID='0'>Erste</Text></StringTable></Language>"
    "<Language Name='deutsch' LangID='2055'><StringTable><Text ID='0'>Zweite</Text></StringTable></Language>"
    "</Languages>";

TEST_F(Languages, FirstMatchingNameWinsWhateverTheCase) {
    StartWith(kTwoGermans);
    EXPECT_EQ(qb::LanguageNames(), (std::vector<std::string>{"Deutsch", "deutsch"}));
    qb::SelectLanguage("deutsch");
    EXPECT_EQ(qb::Msg(0), "Erste");
    EXPECT_EQ(qb::CurrentLanguage().LangID(), 1031);
    qb::SelectLanguage("DEUTSCH");
    EXPECT_EQ(qb::CurrentLanguage().LangID(), 1031);
}

TEST_F(Languages, UnknownNameKeepsCurrentLanguageAndTexts) {
    StartWith(kTwoGermans);
    qb::SelectLanguage("Default(En) *");
    EXPECT_FALSE(qb::CurrentLanguage());
    EXPECT_EQ(qb::Msg(0), "Export to CHM...");
    qb::SelectLanguage("Deutsch");
    qb::SetMsg(0, "changed meanwhile");
    qb::SelectLanguage("Default(En) *");
    EXPECT_EQ(qb::CurrentLanguage().Name(), "Deutsch");
    EXPECT_EQ(qb::Msg(0), "Erste");  // refilled from the current language
}

TEST_F(Languages, CurrentLanguageOutlivesTheDocumentItCameFrom) {
    StartWith(kTwoGermans);
    qb::SelectLanguage("Deutsch");
    std::filesystem::remove(dir / "Quillbook.lng");
    qb::StartUpLanguage(dir / "Quillbook.so");  // a new, empty document replaces the old one
    EXPECT_TRUE(qb::LanguageNames().empty());
    qb::SetMsg(0, "x");
    qb::SelectLanguage("Deutsch");
    EXPECT_EQ(qb::CurrentLanguage().Name(), "Deutsch");
    EXPECT_EQ(qb::Msg(0), "Erste");
}

TEST_F(Languages, TextIdsOutOfRangeEmptyOrMissingAreSkipped) {
    StartWith(
        "<Languages><Language Name='L'><StringTable>"
        "<Text ID='86'>eighty-six</Text><Text ID='-1'>minus</Text><Text ID='5'>first five</Text>"
        "<Text ID='5'>second five</Text><Text ID='6'></Text><Text>no id</Text><Text ID='x'>bad id</Text>"
        "<Text ID='30'>last</Text><Text ID='9'>reserved</Text>"
        "</StringTable></Language></Languages>");
    qb::SelectLanguage("L");
    EXPECT_EQ(qb::Msg(5), "second five");
    EXPECT_EQ(qb::Msg(6), "&Run");
    EXPECT_EQ(qb::Msg(30), "last");
    EXPECT_EQ(qb::Msg(9), "reserved");
    for (int id = 0; id < qb::kMessageCount; ++id) {
        if (id != 5 && id != 30 && id != 9) {
            EXPECT_EQ(qb::Msg(id), qb::BuiltInMsg(id)) << id;
        }
    }
}

TEST_F(Languages, LaterLanguageKeepsTextsItDoesNotSupply) {
    StartWith(
        "<Languages><Language Name='A'><StringTable><Text ID='1'>A1</Text><Text ID='2'>A2</Text></StringTable>"
        "</Language><Language Name='B'><StringTable><Text ID='2'>B2</Text></StringTable></Language></Languages>");
    qb::SelectLanguage("A");
    qb::SelectLanguage("B");
    EXPECT_EQ(qb::Msg(1), "A1");
    EXPECT_EQ(qb::Msg(2), "B2");
}

TEST_F(Languages, MalformedFileShowsTheErrorAndKeepsTexts) {
    StartWith(kTwoGermans);
    qb::SelectLanguage("Deutsch");
    ErrorBoxRecorder boxes;
    StartWith("<Languages><Language Name='x'>");
    ASSERT_EQ(boxes.errors.size(), 1u);
    EXPECT_EQ(boxes.errors[0], "Error loading UI language files, use default(English).");
    EXPECT_TRUE(qb::LanguageNames().empty());
    EXPECT_EQ(qb::Msg(0), "Erste");
    StartWith("<NotLanguages/>");
    EXPECT_EQ(boxes.errors.size(), 2u);
    EXPECT_EQ(qb::LanguageDocument()->ToText(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Languages />\n");
}

TEST_F(Languages, LocaleFollowsLangIdAndIsRestored) {
    StartWith(
        "<Languages><Language Name='NoId'/><Language Name='De' LangID='1031'/><Language Name='Bad' LangID='x'/>"
        "</Languages>");
    qb::SelectLanguage("NoId");
    qb::ApplyLanguageLocale();
    EXPECT_EQ(qb::ThreadLocale(), 0);
    EXPECT_THROW(qb::CurrentLanguage().LangID(), qb::Error);
    qb::SelectLanguage("De");
    qb::ApplyLanguageLocale();
    EXPECT_EQ(qb::ThreadLocale(), 1031);
    qb::SelectLanguage("Bad");
    qb::ApplyLanguageLocale();
    EXPECT_EQ(qb::ThreadLocale(), 1031);
    qb::RestoreThreadLocale();
    EXPECT_EQ(qb::ThreadLocale(), 0);  // what it was before the plug-in changed it
}

TEST_F(Languages, StartUpSelectsTheSettingsLanguage) {
    WriteFile(dir / "Quillbook.lng",
              "<Languages><Language Name='Deutsch' LangID='1031'><StringTable><Text ID='0'>Nach CHM</Text>"
              "</StringTable></Language></Languages>");
    WriteFile(dir / "Quillbook.xml", "<Quillbook><Config><Language>deutsch</Language></Config></Quillbook>");
    ErrorBoxRecorder boxes;
    qb::StartUpSettingsAndLanguage(dir / "Quillbook.so");
    EXPECT_EQ(qb::Msg(0), "Nach CHM");
    EXPECT_EQ(qb::ThreadLocale(), 1031);
    EXPECT_TRUE(boxes.errors.empty());
    qb::ShutDownSettingsAndLanguage();
    EXPECT_EQ(qb::ThreadLocale(), 0);
}

TEST_F(Languages, HugeAndDeepLanguageFilesLoad) {
    std::string xml = "<Languages><Language Name='Big'><StringTable>";
    for (int i = 0; i < 100000; ++i)
        xml += "<Text ID='" + std::to_string(i % 40) + "'>text number " + std::to_string(i) + " " +
               std::string(70, 'x') + "</Text>";
    xml += "</StringTable><Forms><Form Name='TDeep'><Control Name='a'><Caption>";
    for (int i = 0; i < 100000; ++i) xml += "<n>";
    for (int i = 0; i < 100000; ++i) xml += "</n>";
    xml += "</Caption></Control></Form></Forms></Language></Languages>";
    ASSERT_GT(xml.size(), 10u * 1000 * 1000);
    StartWith(xml);
    qb::SelectLanguage("big");
    EXPECT_EQ(qb::Msg(30), "text number 99990 " + std::string(70, 'x'));
    FakeComponent window(TComponentKind::Window, "Deep");
    window.className = "TDeep";
    window.Add(TComponentKind::Label, "a").caption = "old";
    qb::ApplyLanguage(qb::CurrentLanguage(), window);
    EXPECT_EQ(window.Find("a")->caption, "");
}

// A small window: form > panel > (label, check box, memo), radio group, list, combo.
struct SampleWindow {
    FakeComponent window{TComponentKind::Window, "FrmMain"};
    SampleWindow() {
        window.className = "TFrmMain";
        window.caption = "Quillbook";
        window.font = {"Tahoma", 9, 1};
        FakeComponent& panel = window.Add(TComponentKind::WinControl, "pnlTop");
        panel.caption = "panel";
        FakeComponent& label = panel.Add(TComponentKind::Label, "lblHello");
        label.caption = "Hello";
        label.hint = "greeting";
        label.font = {"Arial", 20, 0};
        panel.Add(TComponentKind::WinControl, "chkBox").caption = "&Check";
        FakeComponent& memo = panel.Add(TComponentKind::Edit, "mmoText");
        memo.caption = "typed";
        memo.hint = "memo hint";
        FakeComponent& radio = window.Add(TComponentKind::RadioGroup, "rgChoice");
        radio.caption = "Choose:";
        radio.items = {"one", "two"};
        window.Add(TComponentKind::ListBox, "chklstThings").items = {"a", "b", "c"};
        window.Add(TComponentKind::ComboBox, "cbbEmpty");
        window.Add(TComponentKind::GraphicControl, "imgLogo");
        window.Add(TComponentKind::Component, "dlgFont");
        window.Add(TComponentKind::Label, "");
    }
};

TEST(LanguageWindows, FindControlByNameSearchesDepthFirstIgnoringCase) {
    SampleWindow s;
    EXPECT_EQ(qb::FindControlByName(s.window, "frmmain"), &s.window);
    EXPECT_EQ(qb::FindControlByName(s.window, "LBLHELLO"), s.window.Find("lblHello"));
    EXPECT_EQ(qb::FindControlByName(s.window, "dlgFont"), s.window.Find("dlgFont"));
    EXPECT_EQ(qb::FindControlByName(s.window, "nothing"), nullptr);
    EXPECT_EQ(qb::FindControlByName(s.window, ""), nullptr);
    // The first hit in depth-first order wins.
    s.window.children[0]->Add(TComponentKind::Label, "twin").caption = "deep";
    s.window.Add(TComponentKind::Label, "twin").caption = "shallow";
    EXPECT_EQ(qb::FindControlByName(s.window, "twin")->Caption(), "deep");
}

TEST(LanguageWindows, CaptureListsOwnedComponentsBeforeTheirOwner) {
    SampleWindow s;
    auto doc = qb::NewLanguageDocument();
    qb::TXMLFormType form = doc->Languages().Add().Forms().Add();
    qb::CaptureWindow(s.window, form);
    EXPECT_EQ(form.Name(), "TFrmMain");
    EXPECT_EQ(form.Font().Name(), "Tahoma");
    EXPECT_EQ(form.Font().Size(), 9);
    EXPECT_EQ(form.Font().Charset(), 1);
    std::vector<std::string> names;
    for (qb::TXMLControlType c : form.Control().Items()) names.push_back(c.Name());
    EXPECT_EQ(names, (std::vector<std::string>{"lblHello", "chkBox", "pnlTop", "rgChoice", "chklstThings", "cbbEmpty",
                                               "imgLogo"}));
    qb::TXMLControlType label = form.Control().Item(0);
    EXPECT_EQ(label.Caption(), "Hello");
    EXPECT_EQ(label.Hint(), "greeting");
    EXPECT_FALSE(label.Node().child("Text"));
    qb::TXMLControlType radio = form.Control().Item(3);
    EXPECT_EQ(radio.Caption(), "Choose:");
    EXPECT_EQ(radio.Text(), "one\r\ntwo\r\n");
    qb::TXMLControlType list = form.Control().Item(4);
    EXPECT_EQ(list.Caption(), "");
    EXPECT_EQ(list.Text(), "a\r\nb\r\nc\r\n");
    // Caption and Hint always written, Text only for a non-empty list.
    qb::TXMLControlType combo = form.Control().Item(5);
    EXPECT_TRUE(combo.Node().child("Caption"));
    EXPECT_TRUE(combo.Node().child("Hint"));
    EXPECT_FALSE(combo.Node().child("Text"));
}

TEST(LanguageWindows, CapturedWindowTextIsLimited) {
    FakeComponent window(TComponentKind::Window, "W");
    window.className = "TW";
    std::string longText;
    for (int i = 0; i < 5000; ++i) longText += "\xC3\xA4";  // "ä", two bytes each
    window.Add(TComponentKind::WinControl, "btnLong").caption = longText;
    auto doc = qb::NewLanguageDocument();
    qb::TXMLFormType form = doc->Languages().Add().Forms().Add();
    qb::CaptureWindow(window, form);
    EXPECT_EQ(form.Control().Item(0).Caption(), longText.substr(0, 2 * 4096));
}

TEST(LanguageWindows, ApplySetsTextsByKindAndLeavesEditsAlone) {
    SampleWindow s;
    auto doc = qb::NewLanguageDocument();
    qb::TXMLLanguageType lang = doc->Languages().Add();
    qb::TXMLFormType form = lang.Forms().Add();
    form.SetName("tfrmmain");
    form.Font().SetName("DejaVu Sans");
    form.Font().SetSize(11);
    form.Font().SetCharset(0);
    auto entry = [&](const std::string& name, const std::string& caption, const std::string& hint, const char* text) {
        qb::TXMLControlType c = form.Control().Add();
        c.SetName(name);
        c.SetCaption(caption);
        c.SetHint(hint);
        if (text) c.SetText(text);
    };
    entry("LBLHELLO", "Hallo", "", nullptr);
    entry("chkBox", "&Prüfen", "Haken", nullptr);
    entry("mmoText", "getippt", "Memo", "x");
    entry("rgChoice", "Wähle:", "", "eins\r\nzwei\r\n");
    entry("chklstThings", "ignored", "", "x\ny");
    entry("imgLogo", "ignored", "Bild", nullptr);
    entry("dlgFont", "ignored", "ignored", nullptr);
    entry("noSuchControl", "x", "x", nullptr);
    entry("FrmMain", "Fenster", "", nullptr);

    qb::ApplyLanguage(lang, s.window);
    FakeComponent& label = *s.window.Find("lblHello");
    EXPECT_EQ(label.caption, "Hallo");
    EXPECT_EQ(label.hint, "");  // an empty Hint clears it
    EXPECT_EQ(label.font.name, "DejaVu Sans");
    EXPECT_EQ(label.font.charset, 0);
    EXPECT_EQ(label.font.size, 20);  // control sizes stay
    EXPECT_EQ(s.window.Find("chkBox")->caption, "&Prüfen");
    EXPECT_EQ(s.window.Find("chkBox")->hint, "Haken");
    FakeComponent& memo = *s.window.Find("mmoText");
    EXPECT_EQ(memo.caption, "typed");
    EXPECT_EQ(memo.hint, "memo hint");
    EXPECT_EQ(memo.font.name, "Tahoma");
    FakeComponent& radio = *s.window.Find("rgChoice");
    EXPECT_EQ(radio.caption, "Wähle:");
    EXPECT_EQ(radio.items, (std::vector<std::string>{"eins", "zwei"}));
    EXPECT_EQ(s.window.Find("chklstThings")->items, (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(s.window.Find("chklstThings")->caption, "");
    EXPECT_EQ(s.window.Find("imgLogo")->hint, "Bild");
    EXPECT_EQ(s.window.Find("imgLogo")->caption, "");
    EXPECT_EQ(s.window.Find("pnlTop")->caption, "panel");
    EXPECT_EQ(s.window.caption, "Fenster");
    EXPECT_EQ(s.window.font.name, "DejaVu Sans");
    EXPECT_EQ(s.window.font.size, 11);
    EXPECT_EQ(s.window.font.charset, 0);
}

TEST(LanguageWindows, ApplyIgnoresOtherWindowsAndMissingFontValues) {
    SampleWindow s;
    auto doc = qb::NewLanguageDocument();
    qb::TXMLLanguageType lang = doc->Languages().Add();
    qb::TXMLFormType other = lang.Forms().Add();
    other.SetName("TAboutBox");
    qb::TXMLControlType c = other.Control().Add();
    c.SetName("lblHello");
    c.SetCaption("Über");
    qb::ApplyLanguage(lang, s.window);
    EXPECT_EQ(s.window.Find("lblHello")->caption, "Hello");
    EXPECT_EQ(s.window.font.name, "Tahoma");

    // A Font without Size or Charset: the rest still applies, the values stay.
    qb::TXMLFormType mine = lang.Forms().Add();
    mine.SetName("TFrmMain");
    mine.Font().SetName("Liberation Sans");
    qb::TXMLControlType d = mine.Control().Add();
    d.SetName("lblHello");
    d.SetCaption("Hallo");
    // A second matching Form applies after the first.
    qb::TXMLFormType again = lang.Forms().Add();
    again.SetName("TFrmMain");
    qb::TXMLControlType e = again.Control().Add();
    e.SetName("chkBox");
    e.SetCaption("zweite");
    EXPECT_NO_THROW(qb::ApplyLanguage(lang, s.window));
    EXPECT_EQ(s.window.Find("lblHello")->caption, "Hallo");
    EXPECT_EQ(s.window.Find("chkBox")->caption, "zweite");
    EXPECT_EQ(s.window.font.name, "Liberation Sans");
    EXPECT_EQ(s.window.font.size, 9);
    EXPECT_EQ(s.window.font.charset, 1);

    qb::ApplyLanguage(qb::TXMLLanguageType(), s.window);  // no language: nothing
    EXPECT_EQ(s.window.Find("lblHello")->caption, "Hallo");
}

TEST_F(Languages, NewLanguageHoldsMessagesAndWindowsAndReadsBack) {
    StartWith(kTwoGermans);
    qb::SetMsg(3, "Wirklich?");
    SampleWindow wizard;
    qb::WriteNewLanguage("Mine", wizard.window, nullptr);

    auto reread = qb::LoadLanguageDocument(dir / "Quillbook.lng");
    std::vector<qb::TXMLLanguageType> langs = reread->Languages().Items();
    ASSERT_EQ(langs.size(), 3u);
    qb::TXMLLanguageType mine = langs[2];
    EXPECT_EQ(mine.Name(), "Mine");
    EXPECT_FALSE(mine.Node().attribute("LangID"));
    EXPECT_FALSE(mine.Node().attribute("SubLangID"));
    std::vector<qb::TXMLTextType> texts = mine.StringTable().Items();
    ASSERT_EQ(texts.size(), static_cast<std::size_t>(qb::kMessageCount));
    for (int id = 0; id < qb::kMessageCount; ++id) {
        EXPECT_EQ(texts[id].ID(), id);
        EXPECT_EQ(texts[id].Text(), qb::Msg(id)) << id;  // CR LF kept
    }
    EXPECT_EQ(mine.Forms().Count(), 1);

    // Another window applying it gets the captured texts.
    SampleWindow fresh;
    fresh.window.Find("lblHello")->caption = "changed";
    fresh.window.Find("rgChoice")->items = {"?"};
    qb::ApplyLanguage(mine, fresh.window);
    EXPECT_EQ(fresh.window.Find("lblHello")->caption, "Hello");
    EXPECT_EQ(fresh.window.Find("rgChoice")->items, (std::vector<std::string>{"one", "two"}));

    FakeComponent about(TComponentKind::Window, "AboutBox");
    about.className = "TAboutBox";
    qb::WriteNewLanguage("WithAbout", wizard.window, &about);
    auto third = qb::LoadLanguageDocument(dir / "Quillbook.lng");
    qb::TXMLFormsType forms = third->Languages().Item(3).Forms();
    ASSERT_EQ(forms.Count(), 2);
    EXPECT_EQ(forms.Item(1).Name(), "TAboutBox");
}

TEST(LanguageBinding, CollectionsIndexInsertAndBounds) {
    auto doc = qb::NewLanguageDocument();
    qb::TXMLLanguagesType langs = doc->Languages();
    langs.Add().SetName("B");
    langs.Insert(0).SetName("A");
    langs.Insert(2).SetName("C");
    ASSERT_EQ(langs.Count(), 3);
    EXPECT_EQ(langs.Item(0).Name(), "A");
    EXPECT_EQ(langs.Item(2).Name(), "C");
    EXPECT_THROW(langs.Item(3), qb::Error);
    EXPECT_THROW(langs.Item(-1), qb::Error);
    qb::TXMLLanguageType a = langs.Item(0);
    a.SetLangID(1031);
    a.SetSubLangID(1);
    EXPECT_EQ(a.LangID(), 1031);
    EXPECT_EQ(a.SubLangID(), 1);
    EXPECT_THROW(langs.Item(1).SubLangID(), qb::Error);
    EXPECT_EQ(qb::TXMLControlType(pugi::xml_node()).Caption(), "");
}

}  // namespace
