#include <gtest/gtest.h>

#include <filesystem>

#include "engine/OptionSchema.h"
#include "settings/MessageTable.h"
#include "settings/Settings.h"
#include "settings/StartUp.h"
#include "tests/settings/FakeControls.h"
#include "tests/support/TestOs.h"
#include "tests/support/TestSupport.h"

namespace {

using qbtest::ErrorBoxRecorder;
using qbtest::ReadFile;
using qbtest::TempDir;
using qbtest::WriteFile;

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        qb::ShutDownSettingsAndLanguage();
        qb::ResetMessageTable();
    }
    void TearDown() override { qb::ShutDownSettingsAndLanguage(); }

    std::string Module() const { return dir / "Quillbook.so"; }
    std::string SettingsPath() const { return dir / "Quillbook.xml"; }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
};

TEST_F(SettingsFile, PathIsModulePathWithXml) {
    EXPECT_EQ(qb::SettingsPathFor("/opt/kv/plugin.dll"), "/opt/kv/plugin.xml");
    EXPECT_EQ(qb::SettingsPathFor("/opt/kv/Quillbook.so"), "/opt/kv/Quillbook.xml");
    EXPECT_EQ(qb::SettingsPathFor("/opt/k.v/Quillbook"), "/opt/k.v/Quillbook.xml");
}

TEST_F(SettingsFile, WithoutFileANewDocumentIsWrittenByTheFirstSave) {
    ErrorBoxRecorder boxes;
    EXPECT_EQ(qb::StartUpSettings(Module()), "");
    ASSERT_NE(qb::HeldSettings(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(SettingsPath()));

    qb::TControlStore controls;
    qb::SaveControlsToSettings(qb::HeldSettings()->Quillbook(), controls);
    EXPECT_TRUE(qb::SaveSettingsFile());
    std::string saved = ReadFile(SettingsPath());
    EXPECT_EQ(saved.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Quillbook><Config><Language>", 0), 0u) << saved;
    EXPECT_TRUE(qb::SettingsSaved(qb::LoadSettingsDocument(SettingsPath())->Quillbook()));
    EXPECT_TRUE(boxes.errors.empty());
    EXPECT_EQ(Files(), std::vector<std::string>{"Quillbook.xml"});  // no temporary left
}

TEST_F(SettingsFile, DocumentIsReadOncePerProcess) {
    WriteFile(SettingsPath(), "<Quillbook><Config><Language>Deutsch</Language></Config></Quillbook>");
    EXPECT_EQ(qb::StartUpSettings(Module()), "Deutsch");
    WriteFile(SettingsPath(), "<Quillbook><Config><Language>Dansk</Language></Config></Quillbook>");
    EXPECT_EQ(qb::StartUpSettings(Module()), "Deutsch");
    // Hand edits made meanwhile are overwritten by the next save.
    EXPECT_TRUE(qb::SaveSettingsFile());
    EXPECT_EQ(ReadFile(SettingsPath()), "<Quillbook><Config><Language>Deutsch</Language></Config></Quillbook>");
}

TEST_F(SettingsFile, SaveWithoutHeldDocumentDoesNothing) {
    EXPECT_TRUE(qb::SaveSettingsFile());
    EXPECT_TRUE(Files().empty());
}

TEST_F(SettingsFile, UnreadableFileIsKeptAndBackedUpBeforeTheFirstSave) {
    const std::string damaged = "<Quillbook><Config><Language>Deutsch</Language>\x01 broken";
    WriteFile(SettingsPath(), damaged);
    WriteFile(SettingsPath() + ".bak", "older backup");
    ErrorBoxRecorder boxes;
    EXPECT_EQ(qb::StartUpSettings(Module()), "");  // defaults
    EXPECT_EQ(qb::StartUpSettings(Module()), "");
    ASSERT_EQ(boxes.errors.size(), 1u);
    EXPECT_NE(boxes.errors[0].find(SettingsPath()), std::string::npos) << boxes.errors[0];
    EXPECT_EQ(ReadFile(SettingsPath()), damaged);

    EXPECT_FALSE(qb::SettingsSaved(qb::HeldSettings()->Quillbook()));
    qb::TControlStore controls;
    qb::SaveControlsToSettings(qb::HeldSettings()->Quillbook(), controls);
    EXPECT_TRUE(qb::SaveSettingsFile());
    EXPECT_EQ(ReadFile(SettingsPath() + ".bak"), "older backup");
    EXPECT_EQ(ReadFile(SettingsPath() + ".bak1"), damaged);
    EXPECT_TRUE(qb::SettingsSaved(qb::LoadSettingsDocument(SettingsPath())->Quillbook()));

    // The file is ours now: later saves replace it without another backup.
    EXPECT_TRUE(qb::SaveSettingsFile());
    EXPECT_EQ(Files(), (std::vector<std::string>{"Quillbook.xml", "Quillbook.xml.bak", "Quillbook.xml.bak1"}));
}

TEST_F(SettingsFile, ForeignRootCountsAsUnreadable) {
    WriteFile(SettingsPath(), "<Settings><Config><KeepDir>true</KeepDir></Config></Settings>");
    ErrorBoxRecorder boxes;
    qb::StartUpSettings(Module());
    EXPECT_EQ(boxes.errors.size(), 1u);
    EXPECT_FALSE(qb::SettingsSaved(qb::HeldSettings()->Quillbook()));
    EXPECT_TRUE(qb::SaveSettingsFile());
    EXPECT_EQ(ReadFile(SettingsPath() + ".bak"), "<Settings><Config><KeepDir>true</KeepDir></Config></Settings>");
}

TEST_F(SettingsFile, FailedWriteLeavesThePreviousFile) {
    const std::string previous = "<Quillbook><Config><Language>x</Language></Config></Quillbook>";
    WriteFile(SettingsPath(), previous);
    qb::StartUpSettings(Module());
    qb::SetSettingText(qb::HeldSettings()->Quillbook().Config(), "HeaderText", std::string(4096, 'h'));

    // A full disk, as the file-size limit makes every longer write fail.
    ErrorBoxRecorder boxes;
    bool ok = true;
    {
        const qbtest::FileSizeLimit limit(1024);
        if (!limit.Active()) GTEST_SKIP() << "no per-process file-size limit on this system";
        ok = qb::SaveSettingsFile();
    }

    EXPECT_FALSE(ok);
    ASSERT_EQ(boxes.errors.size(), 1u);
    EXPECT_NE(boxes.errors[0].find(SettingsPath()), std::string::npos) << boxes.errors[0];
    EXPECT_EQ(ReadFile(SettingsPath()), previous);
    EXPECT_EQ(Files(), std::vector<std::string>{"Quillbook.xml"});
}

TEST_F(SettingsFile, UnwritablePlaceShowsAnErrorAndThrowsNothing) {
    qb::StartUpSettings(Module());
    std::filesystem::create_directory(SettingsPath());  // a folder where the file should go
    ErrorBoxRecorder boxes;
    EXPECT_FALSE(qb::SaveSettingsFile());
    EXPECT_EQ(boxes.errors.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_directory(SettingsPath()));

    if (qbtest::OnWindows()) return;  // the user's folder there is no XDG variable
    qb::ReleaseSettings();
    TempDir other;
    std::string gone = other / "gone/Quillbook.so";
    // The module's folder does not exist and the user's folder cannot be made either.
    WriteFile(other / "config", "a file, not a folder");
    qbtest::ScopedEnv xdg("XDG_CONFIG_HOME", other / "config");
    qb::StartUpSettings(gone);
    EXPECT_FALSE(qb::SaveSettingsFile());
    EXPECT_EQ(boxes.errors.size(), 2u);
}

TEST_F(SettingsFile, ExistingFileKeepsItsPermissions) {
    if (qbtest::OnWindows()) GTEST_SKIP() << "no permission bits there";
    WriteFile(SettingsPath(), "<Quillbook/>");
    std::filesystem::permissions(SettingsPath(), std::filesystem::perms(0600));
    qb::StartUpSettings(Module());
    ASSERT_TRUE(qb::SaveSettingsFile());
    EXPECT_EQ(std::filesystem::status(SettingsPath()).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0600));
}

TEST_F(SettingsFile, LargeAndDeepFilesLoad) {
    // 100,000 unknown elements, about 10 MB, before the values that matter.
    std::string big = "<Quillbook><Config>";
    std::string pad(90, 'p');
    for (int i = 0; i < 100000; ++i)
        big += "<Pad" + std::to_string(i % 10) + ">" + pad + "</Pad" + std::to_string(i % 10) + ">";
    big += "<Language>Deutsch</Language></Config></Quillbook>";
    ASSERT_GT(big.size(), 10u * 1000 * 1000);
    WriteFile(SettingsPath(), big);
    EXPECT_EQ(qb::StartUpSettings(Module()), "Deutsch");
    EXPECT_TRUE(qb::SaveSettingsFile());
    EXPECT_EQ(ReadFile(SettingsPath()), big);

    qb::ReleaseSettings();
    std::string deep = "<Quillbook><Config><Language>Dansk</Language><HeaderText>";
    for (int i = 0; i < 100000; ++i) deep += "<d>";
    for (int i = 0; i < 100000; ++i) deep += "</d>";
    deep += "</HeaderText></Config></Quillbook>";
    WriteFile(SettingsPath(), deep);
    EXPECT_EQ(qb::StartUpSettings(Module()), "Dansk");
    EXPECT_EQ(qb::SettingText(qb::HeldSettings()->Quillbook().Config(), "HeaderText"), "");
    qb::SetSettingText(qb::HeldSettings()->Quillbook().Config(), "HeaderText", "flat");
    EXPECT_TRUE(qb::SaveSettingsFile());
    EXPECT_EQ(qb::SettingText(qb::LoadSettingsDocument(SettingsPath())->Quillbook().Config(), "HeaderText"), "flat");
}

TEST_F(SettingsFile, DoctypeEntitiesAreNeverExpanded) {
    WriteFile(dir / "secret.txt", "TOPSECRET");
    std::string xml =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE Quillbook [\n"
        "  <!ENTITY ext SYSTEM \"file://" +
        (dir / "secret.txt") +
        "\">\n"
        "  <!ENTITY net SYSTEM \"http://127.0.0.1:9/x\">\n"
        "  <!ENTITY a \"aaaaaaaaaa\">\n  <!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n"
        "]>\n<Quillbook><Config><Language>&ext;</Language><StorePath>&net;</StorePath>"
        "<HeaderText>&b;&b;&b;</HeaderText></Config></Quillbook>";
    WriteFile(SettingsPath(), xml);
    ErrorBoxRecorder boxes;
    std::string language = qb::StartUpSettings(Module());
    EXPECT_TRUE(boxes.errors.empty());
    const pugi::xml_node config = qb::HeldSettings()->Quillbook().Config();
    EXPECT_EQ(language.find("TOPSECRET"), std::string::npos);
    EXPECT_EQ(language, "&ext;");
    EXPECT_EQ(qb::SettingText(config, "StorePath"), "&net;");
    EXPECT_EQ(qb::SettingText(config, "HeaderText"), "&b;&b;&b;");
    EXPECT_TRUE(qb::SaveSettingsFile());
    EXPECT_EQ(ReadFile(SettingsPath()).find("TOPSECRET"), std::string::npos);
}

}  // namespace
