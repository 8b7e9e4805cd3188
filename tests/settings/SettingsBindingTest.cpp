#include <sys/stat.h>

#include <gtest/gtest.h>

#include "settings/Settings.h"
#include "settings/XmlValues.h"
#include "support/Error.h"
#include "tests/support/TestOs.h"
#include "tests/support/TestSupport.h"

namespace {

using qbtest::TempDir;

std::unique_ptr<qb::TSettingsDocument> Parse(const std::string& xml) {
    TempDir dir;
    qbtest::WriteFile(dir / "s.xml", xml);
    return qb::LoadSettingsDocument(dir / "s.xml");
}

// Saved and read back, as the next process sees it.
std::unique_ptr<qb::TSettingsDocument> Reload(qb::TSettingsDocument& doc) { return Parse(doc.ToText()); }

TEST(SettingsBinding, ReadingAValueCreatesItsElementEmpty) {
    auto doc = qb::NewSettingsDocument();
    EXPECT_EQ(qb::SettingText(doc->Quillbook().Config(), "Language"), "");
    EXPECT_EQ(doc->ToText(), "<?xml version=\"1.0\"?><Quillbook><Config><Language/></Config></Quillbook>");
    // A path below <CHM> creates both; looking without reading creates nothing.
    const pugi::xml_node config = doc->Quillbook().Config();
    EXPECT_FALSE(qb::FindSetting(config, "CHM/TabWidth"));
    EXPECT_FALSE(config.child("CHM"));
    EXPECT_EQ(qb::SettingText(config, "CHM/TabWidth"), "");
    EXPECT_TRUE(qb::FindSetting(config, "CHM/TabWidth"));
    EXPECT_EQ(qb::NodePath(qb::SettingElement(config, "CHM/TabWidth")), "Quillbook/Config/CHM/TabWidth");
}

TEST(SettingsBinding, DefaultFontValuesAreAttributes) {
    auto doc = qb::NewSettingsDocument();
    const pugi::xml_node config = doc->Quillbook().Config();
    EXPECT_EQ(qb::SettingText(config, "DefaultFont/@Size"), "");
    qb::SetSettingText(config, "DefaultFont/@Name", "Tahoma");
    qb::SetSettingText(config, "DefaultFont/@Size", "12");
    qb::SetSettingText(config, "DefaultFont/@Color", "clWindowText");
    EXPECT_NE(doc->ToText().find("<DefaultFont Size=\"12\" Name=\"Tahoma\" Color=\"clWindowText\"/>"),
              std::string::npos)
        << doc->ToText();
    EXPECT_FALSE(config.child("DefaultFont").child("Name"));
    auto again = Reload(*doc);
    EXPECT_EQ(qb::SettingText(again->Quillbook().Config(), "DefaultFont/@Size"), "12");
    EXPECT_EQ(qb::SettingText(again->Quillbook().Config(), "DefaultFont/@Name"), "Tahoma");
    EXPECT_THROW(qb::SettingAttribute(config, "DefaultFont"), qb::Error);
}

TEST(SettingsBinding, TextsKeepEveryCharacterThroughAFile) {
    auto doc = qb::NewSettingsDocument();
    const pugi::xml_node config = doc->Quillbook().Config();
    const std::string header = "<b>Title & \"more\"</b>\r\n  second line \r\n\r\n";
    qb::SetSettingText(config, "HeaderText", header);
    qb::SetSettingText(config, "FooterText", "   ");  // blanks only
    qb::SetSettingText(config, "StorePath", " /tmp/Büro/ ");
    qb::SetSettingText(config, "DefaultPage", "]]> <!-- x -->");
    auto again = Reload(*doc);
    const pugi::xml_node c2 = again->Quillbook().Config();
    EXPECT_EQ(qb::SettingText(c2, "HeaderText"), header);
    EXPECT_EQ(qb::SettingText(c2, "FooterText"), "   ");
    EXPECT_EQ(qb::SettingText(c2, "StorePath"), " /tmp/Büro/ ");
    EXPECT_EQ(qb::SettingText(c2, "DefaultPage"), "]]> <!-- x -->");
}

TEST(SettingsBinding, SetterReplacesWholeContent) {
    auto doc = Parse("<Quillbook><Config><Encoding>a<![CDATA[b]]>c<x/></Encoding></Config></Quillbook>");
    const pugi::xml_node config = doc->Quillbook().Config();
    EXPECT_EQ(qb::SettingText(config, "Encoding"), "abc");
    qb::SetSettingText(config, "Encoding", "UTF-8");
    EXPECT_EQ(qb::SettingText(config, "Encoding"), "UTF-8");
    EXPECT_FALSE(config.child("Encoding").child("x"));
    qb::SetSettingText(config, "Encoding", "");
    EXPECT_EQ(doc->ToText(), "<Quillbook><Config><Encoding/></Config></Quillbook>");
}

TEST(SettingsBinding, ElementsFoundByNameWhateverTheirOrder) {
    auto doc = Parse(
        "<Quillbook>\n  <!-- hand-made -->\n  <Config>\n    <CHM><Title>T</Title></CHM>\n"
        "    <Language>Deutsch</Language>\n  </Config>\n</Quillbook>\n");
    const pugi::xml_node config = doc->Quillbook().Config();
    EXPECT_EQ(qb::SettingText(config, "Language"), "Deutsch");
    EXPECT_EQ(qb::SettingText(config, "CHM/Title"), "T");
    // Nothing new was needed, so nothing was added.
    EXPECT_EQ(std::distance(config.begin(), config.end()), 2);
}

TEST(SettingsBinding, SavedMarkerCreatesNothing) {
    auto doc = qb::NewSettingsDocument();
    EXPECT_FALSE(qb::SettingsSaved(doc->Quillbook()));
    EXPECT_FALSE(doc->Quillbook().Node().child("Config"));
    qb::SetSettingText(doc->Quillbook().Config(), "Language", "x");
    EXPECT_FALSE(qb::SettingsSaved(doc->Quillbook()));
    qb::SetSettingText(doc->Quillbook().Config(), "KeepDir", "false");
    EXPECT_TRUE(qb::SettingsSaved(doc->Quillbook()));
    // Any content counts: only the element's presence is tested.
    EXPECT_TRUE(qb::SettingsSaved(Parse("<Quillbook><Config><KeepDir/></Config></Quillbook>")->Quillbook()));
}

// A pipe would block the start-up until something writes to it; a folder is
// no file.
TEST(SettingsDocument, ReadsOnlyRegularFilesAndSaysWhatElseItFound) {
    qbtest::TempDir dir;
    const std::string fifo = dir / "pipe.xml";
    if (!qbtest::MakeFifo(fifo)) GTEST_SKIP() << "no FIFOs on this system";
    try {
        qb::LoadSettingsDocument(fifo);
        FAIL() << "a pipe was read";
    } catch (const qb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("not a regular file"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(fifo), std::string::npos) << e.what();
    }
    try {
        qb::LoadSettingsDocument(dir.path());
        FAIL() << "a folder was read";
    } catch (const qb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("it is a folder"), std::string::npos) << e.what();
    }
    try {
        qb::LoadSettingsDocument(dir / "missing.xml");
        FAIL() << "a missing file was read";
    } catch (const qb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("No such file"), std::string::npos) << e.what();
    }
}

TEST(SettingsDocument, RejectsBrokenXmlAndForeignRoots) {
    EXPECT_THROW(Parse("<Quillbook><Config></Quillbook>"), qb::Error);
    EXPECT_THROW(Parse(""), qb::Error);
    EXPECT_THROW(Parse("<Languages/>"), qb::Error);
    EXPECT_THROW(qb::LoadSettingsDocument("/nonexistent/dir/Quillbook.xml"), qb::Error);
    try {
        Parse("<Other><Config/></Other>");
        FAIL();
    } catch (const qb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("<Other>"), std::string::npos) << e.what();
    }
}

TEST(SettingsDocument, KeepsTheDeclarationItWasReadWith) {
    auto doc = Parse("<?xml version=\"1.0\" standalone=\"yes\"?><Quillbook><Config/></Quillbook>");
    EXPECT_EQ(doc->ToText(), "<?xml version=\"1.0\" standalone=\"yes\"?><Quillbook><Config/></Quillbook>");
}

TEST(SettingsDocument, ForeignEncodingIsSavedAsUtf8AndSaysSo) {
    // "Büro" in ISO-8859-1; the file written back is UTF-8 and must not claim otherwise.
    auto doc =
        Parse(std::string("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Quillbook><Config>"
                          "<StorePath>B\xFCro</StorePath></Config></Quillbook>"));
    EXPECT_EQ(qb::SettingText(doc->Quillbook().Config(), "StorePath"), "B\xC3\xBCro");
    std::string text = doc->ToText();
    EXPECT_EQ(text.find("ISO-8859-1"), std::string::npos) << text;
    EXPECT_NE(text.find("encoding=\"UTF-8\""), std::string::npos) << text;
    EXPECT_EQ(qb::SettingText(Reload(*doc)->Quillbook().Config(), "StorePath"), "B\xC3\xBCro");
}

TEST(SettingsDocument, Utf16FileIsRead) {
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("<Quillbook><Config><Language>Deutsch</Language></Config></Quillbook>")) {
        utf16 += c;
        utf16 += '\0';
    }
    EXPECT_EQ(qb::SettingText(Parse(utf16)->Quillbook().Config(), "Language"), "Deutsch");
}

}  // namespace
