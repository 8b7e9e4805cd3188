#pragma once
// The options, declared once: each field of TConvertOptions with its --set name
// and meaning, the wizard control that edits it and its place in the settings
// file. The settings load and save, the wizard's binding, the options built from
// the controls, --settings, --set and --list-fields all read these tables.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "engine/Options.h"
#include "settings/Settings.h"

namespace qb {

struct TFontValue {
    std::string name;
    std::int32_t size = 0;    // points
    std::uint32_t color = 0;  // 0x00BBGGRR or a system colour code
    bool operator==(const TFontValue&) const = default;
};

// What a control holds.
enum class TControlKind {
    Check,      // check box: bool
    Choice,     // radio group or drop-down list: selected item (int32), -1 for none
    Text,       // edit field, memo or the text of a drop-down list
    Entries,    // list box: its entries
    CheckList,  // check list: a bool per item
    Font,       // font sample
};
using TControlValue = std::variant<bool, std::int32_t, std::string, std::vector<std::string>, TFontValue>;

struct TControlDecl {
    const char* name;  // the wizard's control name; language files address it by this name
    TControlKind kind;
    TControlValue design;  // what the control shows in a new wizard (CheckList: item 0)
    int items = 0;         // CheckList: number of items
};
// Every control the options and settings use, as their rows declare them.
const std::vector<TControlDecl>& ControlTable();
// Null for a name not in the table.
const TControlDecl* FindControl(const std::string& name);
// What a control (or an item of a check list) shows in a new wizard.
TControlValue ControlDefault(const std::string& name, int item = -1);

// The controls' values by control name; item picks one entry of a check list.
// Indices come from the file unchecked (a hand-edited Converter of 7): a control
// ignores one outside its items.
class IControlValues {
public:
    virtual ~IControlValues() = default;
    virtual TControlValue Get(const std::string& control, int item = -1) const = 0;
    // The wizard runs a control's change handler when a value stands for a user
    // action (rgDataSource, chkKeepDir, chkNavLink).
    virtual void Set(const std::string& control, int item, const TControlValue& value) = 0;

    bool Check(const std::string& control, int item = -1) const;
    std::int32_t Choice(const std::string& control) const;
    std::string Text(const std::string& control) const;
    std::vector<std::string> Entries(const std::string& control) const;
    TFontValue Font(const std::string& control) const;
    void SetCheck(const std::string& control, bool v) { Set(control, -1, v); }
    void SetCheck(const std::string& control, int item, bool v) { Set(control, item, v); }
    void SetChoice(const std::string& control, std::int32_t v) { Set(control, -1, v); }
    void SetText(const std::string& control, const std::string& v) { Set(control, -1, v); }
    void SetEntries(const std::string& control, const std::vector<std::string>& v) { Set(control, -1, v); }
    void SetFont(const std::string& control, const TFontValue& v) { Set(control, -1, v); }
};

// Control values without a window, starting at the design values: the command
// line's controls and the tests'.
class TControlStore : public IControlValues {
public:
    TControlStore();
    TControlValue Get(const std::string& control, int item = -1) const override;
    void Set(const std::string& control, int item, const TControlValue& value) override;

private:
    std::map<std::string, TControlValue> values_;
    std::map<std::string, std::vector<bool>> items_;
};

// --- The settings file -----------------------------------------------------------

// How a value is written in the settings file and what the control holds.
enum class TStoredAs {
    Text,          // text ↔ Text
    Bool,          // "true"/"false" ↔ Check or a check-list item
    Int,           // decimal ↔ Choice
    IntText,       // decimal ↔ Text (an edit field holding a number)
    Lines,         // lines ending CR LF ↔ Entries
    ToolbarMask,   // bit mask ↔ items 1..14 of the toolbar check list
    RangeFlag,     // Boolean ↔ Choice: true selects item 1, false leaves the choice alone
    FontName,      // attribute text ↔ the name of a Font
    FontSize,      // attribute decimal ↔ the size of a Font
    FontColor,     // attribute colour name or number ↔ the colour of a Font
    OptionalText,  // text; absent reads empty, empty is written as no element
    OptionalOff,   // written "false" only when off, absent reads on: older files stay byte for byte
};

// Facts of the user's desktop that the defaults need.
struct TSettingsEnvironment {
    std::string documentsFolder;     // with a trailing separator
    std::string defaultCHMLanguage;  // "0x%x %s" of the user's default locale
};
// The documents folder and no locale text (the wizard fills that in).
TSettingsEnvironment DefaultSettingsEnvironment();

// Toolbar bit of items 1..14 of chklstWinBtns (index 0 is item 1).
extern const std::int32_t kToolbarButtonBits[14];
constexpr std::int32_t kDefaultToolButtons = 0x78387E;
// Mask of the checked items 1..14; item 0 ("Menus") is not part of it.
std::int32_t ToolbarFlagsFromList(const IControlValues& controls);
// Checks items 1..14 from their bits; item 0 and unknown bits are left alone.
void ToolbarFlagsToList(IControlValues& controls, std::int32_t mask);

// Load step 1: edtRootPath from StorePath when that folder exists, else the
// documents folder + "My Quillbook Files/".
void LoadStorePath(TXMLQuillbookType root, IControlValues& controls, const TSettingsEnvironment& env);
// Load steps 2 and 3: the defaults when the settings were never saved, else
// every value in reading order. A conversion error stops at that value (qb::Error).
// Returns whether the settings carried the saved marker.
bool LoadSettingsIntoControls(TXMLQuillbookType root, IControlValues& controls, const TSettingsEnvironment& env);
// Writes every control in save order; a tab width that is no integer raises
// qb::Error after the values before it have been written.
void SaveControlsToSettings(TXMLQuillbookType root, const IControlValues& controls);
// After a language change: the check marks of both check lists again from the
// saved settings; nothing when they were never saved.
void RestoreCheckListsFromSettings(TXMLQuillbookType root, IControlValues& controls);

// --- The options, one row each --------------------------------------------------

// How a control's value becomes its field.
enum class TToField { Held, Trimmed, Folder, Integer, Lines, Method, FontName, FontSize, FontColor };

using TOptionMember =
    std::variant<std::monostate, std::string TConvertOptions::*, bool TConvertOptions::*,
                 std::int32_t TConvertOptions::*, std::uint32_t TConvertOptions::*, std::uint8_t TConvertOptions::*>;

// One option: the field it fills, the control that edits it and what a new
// wizard shows there (the field's default follows from it), where the settings
// file keeps it, its --set name and meaning, and its place in reading a file.
// Rows are in the order a save writes them.
struct TOptionRow {
    const char* field = nullptr;  // the TConvertOptions member and --set name; null: a stored choice only
    TOptionMember member;
    const char* meaning = nullptr;
    const char* control = nullptr;  // null: from the host, the command's arguments or other controls
    TControlKind kind = TControlKind::Check;
    TControlValue initial = false;  // a font row: its own part of the font; the toolbar mask: the mask
    int item = -1;                  // the item of a check list
    const char* words = nullptr;    // the control a language file translates for it (itself or its label)
    const char* setting = nullptr;  // below <Config>: "KeepDir", "CHM/Title", "DefaultFont/@Size"; null: not kept
    TStoredAs storedAs = TStoredAs::Bool;
    int loadRank = 0;  // place in the reading of a saved file; 0: after the ranked ones, in row order
    TToField toField = TToField::Held;
    // A field made of more than its control's value.
    std::function<void(TConvertOptions&, const IControlValues&)> compose = nullptr;
    bool internal = false;       // set by the run from its arguments; --set may not change it
    bool run = false;            // the caller's range, output folder, help file name and title: --settings leaves it
    bool localeWhenNew = false;  // never-saved settings: the user's locale as the help file's language
};
const std::vector<TOptionRow>& OptionRows();

// --- The options -------------------------------------------------------------------

// Which fields a source of options fills.
enum class TFieldSet {
    All,       // the wizard: every field its controls give
    Settings,  // --settings: not the range, output folder, help file name and title the caller set
};
// Fills the fields of options that come from the controls; DatabaseHandle,
// StartPath and DatabaseFileName come from the host and are left alone.
// Raises qb::Error when the pane width is no integer.
void BuildOptions(const IControlValues& controls, TConvertOptions& options, TFieldSet fields = TFieldSet::All);
// Loads a wizard settings file as the wizard does and fills the options the
// wizard would build from it (TFieldSet::Settings). Raises qb::Error when the
// file cannot be read or a value does not convert.
void ApplySettingsFile(const std::string& path, TConvertOptions& options);

struct OptionFieldInfo {
    std::string name, type, defaultValue, meaning;
    bool settable;        // false for the run's internals (database handle, start path, output folder)
    bool fromSettings;    // --settings fills it
    std::string control;  // the wizard control that edits it; empty for the host's values
    std::string stored;   // where --settings reads it, below <Config> ("CHM/Title"); empty when not read as such
};
// Every field in declared order with its type, its value in defaults and its meaning.
std::vector<OptionFieldInfo> OptionFieldTable(const TConvertOptions& defaults);
// Names of every field, in declared order.
std::vector<std::string> OptionFieldNames();
// Sets a field from text (flags: true/false/1/0/yes/no; integers decimal or 0x hex;
// FontColor as a colour name, "$" hex or decimal; texts as given).
// Raises qb::Error for an unknown name or a value that does not convert.
void SetOptionField(TConvertOptions& options, const std::string& name, const std::string& value);
// SetOptionField for the user's --set: the run's internals raise qb::Error.
void SetUserOptionField(TConvertOptions& options, const std::string& name, const std::string& value);
// The field's value as text (flags "true"/"false", integers decimal, colours by name).
std::string GetOptionField(const TConvertOptions& options, const std::string& name);

}  // namespace qb
