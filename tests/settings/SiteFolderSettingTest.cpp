// The website folder in the settings file: kept when set, absent otherwise.
#include <gtest/gtest.h>

#include "engine/OptionSchema.h"
#include "settings/Settings.h"
#include "tests/settings/FakeControls.h"
#include "tests/support/TestSupport.h"

namespace {

using Controls = qb::TControlStore;
using qbtest::TempDir;

const qb::TSettingsEnvironment kEnv{"/home/user/Documents/", "0x409 English (United States)"};

std::unique_ptr<qb::TSettingsDocument> Reload(qb::TSettingsDocument& doc, TempDir& dir) {
    qbtest::WriteFile(dir / "s.xml", doc.ToText());
    return qb::LoadSettingsDocument(dir / "s.xml");
}

}  // namespace

TEST(SiteFolderSetting, SavedFolderLoadsBackAndClearingRemovesIt) {
    TempDir dir;
    Controls before;
    before.SetText("edtRootPath", dir.path());
    before.SetText("edtSiteFolder", "/srv/www/notes");
    auto doc = qb::NewSettingsDocument();
    qb::SaveControlsToSettings(doc->Quillbook(), before);
    EXPECT_NE(std::string::npos, doc->ToText().find("<SiteFolder>/srv/www/notes</SiteFolder>"));

    auto loaded = Reload(*doc, dir);
    Controls after;
    ASSERT_TRUE(qb::LoadSettingsIntoControls(loaded->Quillbook(), after, kEnv));
    EXPECT_EQ("/srv/www/notes", after.Text("edtSiteFolder"));

    after.SetText("edtSiteFolder", "");
    qb::SaveControlsToSettings(loaded->Quillbook(), after);
    EXPECT_EQ(std::string::npos, loaded->ToText().find("SiteFolder"));
}

// Settings saved before the option existed load as "no website" and stay byte for byte.
TEST(SiteFolderSetting, OlderFileWithoutTheElementStaysAsItWas) {
    TempDir dir;
    Controls controls;
    controls.SetText("edtRootPath", dir.path());
    controls.SetText("edtSiteFolder", "left over");
    auto doc = qb::NewSettingsDocument();
    Controls defaults;
    defaults.SetText("edtRootPath", dir.path());
    qb::SaveControlsToSettings(doc->Quillbook(), defaults);
    const std::string text = doc->ToText();
    ASSERT_EQ(std::string::npos, text.find("SiteFolder"));
    auto loaded = Reload(*doc, dir);
    ASSERT_TRUE(qb::LoadSettingsIntoControls(loaded->Quillbook(), controls, kEnv));
    EXPECT_EQ("", controls.Text("edtSiteFolder"));
    EXPECT_EQ(text, loaded->ToText());
}
