// The option schema: the defaults of the options record, the options built from
// controls, and the stored value added after the file format was fixed.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "engine/OptionSchema.h"
#include "settings/Settings.h"
#include "support/Error.h"
#include "tests/support/TestSupport.h"

namespace {

using qbtest::TempDir;

const qb::TSettingsEnvironment kNoLocale{"/home/user/Documents/", ""};

// The engine's tests and the command line start from TConvertOptions{}; the
// wizard from its controls. A default changed in one place only shows here.
TEST(OptionSchema, OptionsRecordDefaultsAreTheWizardDefaults) {
    qb::TControlStore controls;
    auto doc = qb::NewSettingsDocument();
    EXPECT_FALSE(qb::LoadSettingsIntoControls(doc->Quillbook(), controls, kNoLocale));
    // Every field away from its default first, so a field the controls do not give shows.
    const qb::TConvertOptions defaults;
    qb::TConvertOptions built;
    for (const qb::OptionFieldInfo& f : qb::OptionFieldTable(defaults)) {
        if (!f.fromSettings) continue;
        const std::string other = f.type == "flag"     ? (f.defaultValue == "true" ? "false" : "true")
                                  : f.type == "text"   ? "other"
                                  : f.type == "colour" ? "clRed"
                                                       : "7";
        qb::SetOptionField(built, f.name, other);
    }
    qb::BuildOptions(controls, built, qb::TFieldSet::Settings);
    int compared = 0;
    for (const qb::OptionFieldInfo& f : qb::OptionFieldTable(defaults)) {
        if (!f.fromSettings) continue;
        ++compared;
        EXPECT_EQ(qb::GetOptionField(built, f.name), f.defaultValue) << f.name;
    }
    EXPECT_GE(compared, 30);
}

TEST(OptionSchema, SettingsSourceLeavesTheCallersRangeOutputAndTitle) {
    qb::TControlStore controls;
    controls.SetChoice("rgDataSource", 1);
    controls.SetText("edtRootPath", "/elsewhere/");
    controls.SetText("edtCHMFileName", "/elsewhere/x.chm");
    controls.SetText("edtCHMTitle", "Other");
    controls.SetCheck("chkKeepDir", false);
    qb::TConvertOptions o;
    o.RootPath = "/out/";
    o.ChmFileName = "/out/a.chm";
    o.WindowTitle = "A";
    qb::BuildOptions(controls, o, qb::TFieldSet::Settings);
    EXPECT_FALSE(o.WholeDatabase);
    EXPECT_EQ(o.RootPath, "/out/");
    EXPECT_EQ(o.ChmFileName, "/out/a.chm");
    EXPECT_EQ(o.WindowTitle, "A");
    EXPECT_FALSE(o.KeepFolderTree);

    qb::BuildOptions(controls, o);
    EXPECT_TRUE(o.WholeDatabase);
    EXPECT_EQ(o.RootPath, "/elsewhere/");
    EXPECT_EQ(o.ChmFileName, "/elsewhere/x.chm");
    EXPECT_EQ(o.WindowTitle, "Other");
}

TEST(OptionSchema, PaneWidthThatIsNoIntegerLeavesTheOptionsAsTheyWere) {
    qb::TControlStore controls;
    controls.SetCheck("chkKeepDir", false);
    controls.SetText("edtCHMTabWidth", "3x0");
    qb::TConvertOptions o;
    EXPECT_THROW(qb::BuildOptions(controls, o), qb::Error);
    EXPECT_TRUE(o.KeepFolderTree);
    controls.SetText("edtCHMTabWidth", " 280 ");
    qb::BuildOptions(controls, o);
    EXPECT_EQ(o.NavPaneWidth, 280);
}

// The keyword-index choice is kept only when it is off, so files saved before
// it was stored stay byte for byte.
TEST(OptionSchema, MakeIndexIsStoredOnlyWhenOff) {
    qb::TControlStore controls;
    auto doc = qb::NewSettingsDocument();
    qb::SaveControlsToSettings(doc->Quillbook(), controls);
    const std::string withIndex = doc->ToText();
    EXPECT_EQ(withIndex.find("MakeIndex"), std::string::npos);

    controls.SetCheck("chkMakeIndex", false);
    qb::SaveControlsToSettings(doc->Quillbook(), controls);
    EXPECT_STREQ(doc->Quillbook().Node().child("Config").child("CHM").child("MakeIndex").text().get(), "false");

    TempDir dir;
    qbtest::WriteFile(dir / "s.xml", doc->ToText());
    qb::TConvertOptions o;
    qb::ApplySettingsFile(dir / "s.xml", o);
    EXPECT_FALSE(o.MakeIndex);

    controls.SetCheck("chkMakeIndex", true);
    qb::SaveControlsToSettings(doc->Quillbook(), controls);
    EXPECT_EQ(doc->ToText(), withIndex);
}

// What --list-fields prints and --settings reads, field by field.
TEST(OptionSchema, FieldTableIsFixed) {
    std::string table;
    for (const qb::OptionFieldInfo& f : qb::OptionFieldTable(qb::TConvertOptions{}))
        table += f.name + " | " + f.type + " | " + f.defaultValue + " | " + (f.settable ? "set" : "-") + " | " +
                 (f.fromSettings ? "settings" : "-") + " | " + f.control + " | " + f.stored + " | " + f.meaning + "\n";
    EXPECT_GOLDEN("settings/option_fields.txt", table);
}

// --set once read "0300" as octal (192) and refused "08"; the settings file and
// the wizard's pane width read them as decimal. All read the same now.
TEST(OptionSchema, IntegersReadTheSameFromSetTheFileAndTheWizard) {
    qb::TConvertOptions o;
    qb::SetUserOptionField(o, "NavPaneWidth", "0300");
    EXPECT_EQ(o.NavPaneWidth, 300);
    qb::SetUserOptionField(o, "FontSize", "08");
    EXPECT_EQ(o.FontSize, 8);
    qb::SetUserOptionField(o, "WindowButtons", "0x78387E");
    EXPECT_EQ(o.WindowButtons, 0x78387E);
    qb::SetUserOptionField(o, "DefaultTab", "-01");
    EXPECT_EQ(o.DefaultTab, -1);
    EXPECT_THROW(qb::SetUserOptionField(o, "ConvertMethod", "0x100"), qb::Error);
    EXPECT_THROW(qb::SetUserOptionField(o, "FontSize", "8pt"), qb::Error);

    qb::TControlStore controls;
    controls.SetText("edtCHMTabWidth", " 0300 ");
    qb::TConvertOptions wizard;
    qb::BuildOptions(controls, wizard);
    EXPECT_EQ(wizard.NavPaneWidth, 300);

    auto doc = qb::NewSettingsDocument();
    controls.SetText("edtCHMTabWidth", "0300");
    qb::SaveControlsToSettings(doc->Quillbook(), controls);
    EXPECT_STREQ(doc->Quillbook().Node().child("Config").child("CHM").child("TabWidth").text().get(), "300");
    doc->Quillbook().Node().child("Config").child("CHM").child("TabWidth").text().set("0x12C");
    TempDir dir;
    qbtest::WriteFile(dir / "s.xml", doc->ToText());
    qb::TConvertOptions file;
    qb::ApplySettingsFile(dir / "s.xml", file);
    EXPECT_EQ(file.NavPaneWidth, 300);
}

// Two rows writing one element, or one field filled twice, would lose a value
// without any file or option test noticing which.
TEST(OptionSchema, RowsNameEachFieldSettingAndControlItemOnce) {
    std::set<std::string> fields, settings, items;
    std::map<std::string, qb::TControlKind> kinds;
    for (const qb::TOptionRow& row : qb::OptionRows()) {
        if (row.field) {
            EXPECT_TRUE(fields.insert(row.field).second) << row.field;
        }
        if (row.setting) {
            EXPECT_TRUE(settings.insert(row.setting).second) << row.setting;
        }
        if (!row.control) {
            EXPECT_FALSE(row.setting) << row.setting;
            continue;
        }
        if (row.kind == qb::TControlKind::CheckList) {
            EXPECT_TRUE(items.insert(std::string(row.control) + "#" + std::to_string(row.item)).second)
                << row.control << " " << row.item;
        }
        const auto [it, added] = kinds.emplace(row.control, row.kind);
        EXPECT_TRUE(added || it->second == row.kind) << row.control;
    }
    EXPECT_EQ(fields.size(), qb::OptionFieldNames().size());
    EXPECT_TRUE(settings.count("KeepDir"));  // the saved marker is one of them
}

TEST(OptionSchema, SetNamesAreTheFieldNames) {
    qb::TConvertOptions o;
    qb::SetUserOptionField(o, "chmlanguage", "0x407 German (Germany)");
    EXPECT_EQ(o.ChmLanguage, "0x407 German (Germany)");
    qb::SetUserOptionField(o, "MakeIndex", "no");
    EXPECT_FALSE(o.MakeIndex);
    EXPECT_THROW(qb::SetUserOptionField(o, "RootPath", "/x/"), qb::Error);
    EXPECT_THROW(qb::SetUserOptionField(o, "NoSuchField", "1"), qb::Error);
    EXPECT_EQ(qb::OptionFieldNames().size(), qb::OptionFieldTable(o).size());
}

}  // namespace
