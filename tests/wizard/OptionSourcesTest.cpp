// The wizard and the command line read the same settings file into the same options.
#include <filesystem>

#include "Utils/Utils.h"
#include "engine/OptionSchema.h"
#include "tests/wizard/WizardFixture.h"

namespace wiztest {
namespace {

// Every control of the schema away from its design value.
qb::TControlStore Changed() {
    qb::TControlStore c;
    for (const qb::TControlDecl& d : qb::ControlTable()) {
        switch (d.kind) {
            case qb::TControlKind::Check: c.SetCheck(d.name, !std::get<bool>(d.design)); break;
            case qb::TControlKind::Choice: c.SetChoice(d.name, std::get<std::int32_t>(d.design) == 0 ? 1 : 2); break;
            case qb::TControlKind::Text: {
                // Blanks around the text, so a field that is trimmed on one side only shows.
                const std::string design = std::get<std::string>(d.design);
                const bool number = !design.empty() && design.find_first_not_of("0123456789") == std::string::npos;
                // Memos hold several lines.
                const std::string more = std::string(d.name).rfind("mmo", 0) == 0 ? "\r\nline 2  " : "  ";
                c.SetText(d.name, number ? "250" : std::string("  ") + d.name + " value" + more);
                break;
            }
            case qb::TControlKind::Entries: c.SetEntries(d.name, {"/x/a.txt", "/x/b c.pdf"}); break;
            case qb::TControlKind::CheckList:
                for (int i = 0; i < d.items; ++i) c.SetCheck(d.name, i, i % 2 == 1);
                break;
            case qb::TControlKind::Font: c.SetFont(d.name, {"DejaVu Sans", 14, 0x00FF0000}); break;
        }
    }
    return c;
}

class OptionSourcesTest : public WizardTest {};

TEST_F(OptionSourcesTest, WizardAndCommandLineBuildTheSameOptionsFromOneFile) {
    {
        auto doc = qb::NewSettingsDocument();
        qb::SaveControlsToSettings(doc->Quillbook(), Changed());
        qbtest::WriteFile(tmp_ / "Quillbook.xml", doc->ToText());
    }
    Open(HostText(kTrip));
    ASSERT_TRUE(services_.r().errors.empty()) << services_.r().errors.front();
    form_->BuildOptions();
    const qb::TConvertOptions& wizard = form_->Options();

    qb::TConvertOptions cli;
    cli.ConvertMethod = 0;  // the command line's own default
    qb::ApplySettingsFile(tmp_ / "Quillbook.xml", cli);

    const qb::TConvertOptions defaults;
    int compared = 0;
    for (const qb::OptionFieldInfo& f : qb::OptionFieldTable(defaults)) {
        if (!f.fromSettings) continue;
        ++compared;
        EXPECT_EQ(qb::GetOptionField(wizard, f.name), qb::GetOptionField(cli, f.name)) << f.name;
        // The file moved every field, so agreeing on a default proves nothing.
        EXPECT_NE(qb::GetOptionField(cli, f.name), f.defaultValue) << f.name;
    }
    EXPECT_GE(compared, 30);
}

// Each control of the schema is found by its name and answers in its own kind.
TEST_F(OptionSourcesTest, EveryControlOfTheSchemaIsBoundToItsWidget) {
    Open(HostText(kTrip));
    const qb::TControlStore changed = Changed();
    qb::IControlValues& controls = form_->Controls();
    for (const qb::TControlDecl& d : qb::ControlTable()) {
        if (d.kind == qb::TControlKind::CheckList) {
            for (int i = 0; i < d.items; ++i) {
                controls.SetCheck(d.name, i, changed.Check(d.name, i));
                EXPECT_EQ(controls.Check(d.name, i), changed.Check(d.name, i)) << d.name << " " << i;
            }
            continue;
        }
        EXPECT_EQ(controls.Get(d.name).index(), d.design.index()) << d.name;
        controls.Set(d.name, -1, changed.Get(d.name));
        const qb::TControlValue back = controls.Get(d.name);
        // Site folder and a trimmed text come back without their blanks.
        if (const auto* text = std::get_if<std::string>(&back))
            EXPECT_EQ(qb::Trim(*text), qb::Trim(changed.Text(d.name))) << d.name;
        else
            EXPECT_TRUE(back == changed.Get(d.name)) << d.name;
    }
}

}  // namespace
}  // namespace wiztest
