// Each option row's control exists in every wizard that edits the options, and
// every language of the shipped file has the words for it. Another wizard joins
// by naming its controls in Wizards().
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <set>

#include <pugixml.hpp>

#include "engine/OptionSchema.h"
#include "tests/wizard/WizardFixture.h"

namespace wiztest {
namespace {

struct TWizardControls {
    const char* wizard;
    std::function<std::set<std::string>()> names;
};

std::set<std::string> QtWizardControls() {
    qb::TFrmMain form;
    std::set<std::string> names;
    for (const qb::IUiComponent* c : form.Owned()) names.insert(c->Name());
    return names;
}

// Names of the Windows wizard, read from its sources (it is built for Windows only):
// a control must be in the resource script and in the table the binding and the
// language files find it through.
std::set<std::string> Tokens(const std::string& file, const std::regex& pattern) {
    std::ifstream in(std::string(QB_SOURCE_DIR) + "/src/winwizard/" + file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::set<std::string> names;
    for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) names.insert((*it)[1]);
    return names;
}

std::set<std::string> WindowsWizardControls() {
    const std::set<std::string> inScript = Tokens("Wizard.rc", std::regex(R"(\bIDC_(\w+)\b)"));
    const std::set<std::string> inTable = Tokens("WinControls.cpp", std::regex(R"(QB_CONTROL\((\w+),)"));
    std::set<std::string> both;
    for (const std::string& n : inTable)
        if (inScript.count(n) || n.rfind("ts", 0) == 0) both.insert(n);  // pages are dialogs of their own
    return both;
}

std::vector<TWizardControls> Wizards() {
    return {{"Qt wizard", QtWizardControls}, {"Windows wizard", WindowsWizardControls}};
}

// The control a language gives the words for: the control itself or its label.
std::string WordsOf(const qb::TOptionRow& row) { return row.words ? row.words : row.control; }

TEST_F(WizardTest, EveryOptionRowsControlIsInEachWizard) {
    int checked = 0;
    for (const TWizardControls& w : Wizards()) {
        const std::set<std::string> names = w.names();
        for (const qb::TOptionRow& row : qb::OptionRows()) {
            if (!row.control) continue;
            ++checked;
            EXPECT_TRUE(names.count(row.control)) << w.wizard << " lacks " << row.control;
            EXPECT_TRUE(names.count(WordsOf(row))) << w.wizard << " lacks " << WordsOf(row);
        }
    }
    EXPECT_GE(checked, 40);
}

TEST_F(WizardTest, EveryLanguageHasTheWordsOfEachOptionRow) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((std::string(QB_SOURCE_DIR) + "/src/settings/Quillbook.lng").c_str()));
    int languages = 0;
    for (pugi::xml_node language : doc.child("Languages").children("Language")) {
        ++languages;
        std::set<std::string> names;
        for (pugi::xml_node form : language.child("Forms").children("Form"))
            if (std::string(form.attribute("Name").value()) == "TFrmMain")
                for (pugi::xml_node control : form.children("Control")) names.insert(control.attribute("Name").value());
        for (const qb::TOptionRow& row : qb::OptionRows()) {
            if (!row.control) continue;
            EXPECT_TRUE(names.count(WordsOf(row)))
                << language.attribute("Name").value() << " has no words for " << WordsOf(row);
        }
    }
    EXPECT_GE(languages, 1);
}

// A new wizard shows each row's default, and the options built from it are the record's defaults.
TEST_F(WizardTest, NewWizardShowsEachRowsDefault) {
    qb::TFrmMain form;
    for (const qb::TControlDecl& d : qb::ControlTable()) {
        if (d.kind != qb::TControlKind::CheckList) {
            EXPECT_TRUE(form.Controls().Get(d.name) == qb::ControlDefault(d.name)) << d.name;
            continue;
        }
        for (int i = 0; i < d.items; ++i)
            EXPECT_TRUE(form.Controls().Get(d.name, i) == qb::ControlDefault(d.name, i)) << d.name << " " << i;
    }
    qb::TConvertOptions built;
    qb::BuildOptions(form.Controls(), built, qb::TFieldSet::Settings);
    const qb::TConvertOptions defaults;
    for (const std::string& field : qb::OptionFieldNames())
        EXPECT_EQ(qb::GetOptionField(built, field), qb::GetOptionField(defaults, field)) << field;
}

}  // namespace
}  // namespace wiztest
