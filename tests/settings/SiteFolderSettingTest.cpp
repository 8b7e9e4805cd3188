// The website folder in the settings file: kept when set, absent otherwise.
#include <gtest/gtest.h>

#include "FakeControls.h"
#include "Settings.h"
#include "SettingsControls.h"
#include "TestSupport.h"

namespace {

using qbtest::FakeControls;
using qbtest::TempDir;

const qb::TSettingsEnvironment kEnv{"/home/user/Documents/", "0x409 English (United States)"};

std::unique_ptr<qb::TSettingsDocument> Reload(qb::TSettingsDocument& doc, TempDir& dir) {
    qbtest::WriteFile(dir / "s.xml", doc.ToText());
    return qb::LoadSettingsDocument(dir / "s.xml");
}

}  // namespace

TEST(SiteFolderSetting, SavedFolderLoadsBackAndClearingRemovesIt) {
    TempDir dir;
    FakeControls before;
    before.text["edtRootPath"] = dir.path();
    before.text["siteFolder"] = "/srv/www/notes";
    auto doc = qb::NewSettingsDocument();
    qb::SaveControlsToSettings(doc->Quillbook(), before);
    EXPECT_NE(std::string::npos, doc->ToText().find("<SiteFolder>/srv/www/notes</SiteFolder>"));

    auto loaded = Reload(*doc, dir);
    FakeControls after;
    ASSERT_TRUE(qb::LoadSettingsIntoControls(loaded->Quillbook(), after, kEnv));
    EXPECT_EQ("/srv/www/notes", after.GetSiteFolder());

    after.text["siteFolder"] = "";
    qb::SaveControlsToSettings(loaded->Quillbook(), after);
    EXPECT_EQ(std::string::npos, loaded->ToText().find("SiteFolder"));
}

// Settings saved before the option existed load as "no website" and stay byte for byte.
TEST(SiteFolderSetting, OlderFileWithoutTheElementStaysAsItWas) {
    TempDir dir;
    FakeControls controls;
    controls.text["edtRootPath"] = dir.path();
    controls.text["siteFolder"] = "left over";
    auto doc = qb::NewSettingsDocument();
    FakeControls defaults;
    defaults.text["edtRootPath"] = dir.path();
    qb::SaveControlsToSettings(doc->Quillbook(), defaults);
    const std::string text = doc->ToText();
    ASSERT_EQ(std::string::npos, text.find("SiteFolder"));
    auto loaded = Reload(*doc, dir);
    ASSERT_TRUE(qb::LoadSettingsIntoControls(loaded->Quillbook(), controls, kEnv));
    EXPECT_EQ("", controls.GetSiteFolder());
    EXPECT_EQ(text, loaded->ToText());
}
