#include "OptionFields.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>
#include <variant>

#include "Colors.h"
#include "Error.h"
#include "StringList.h"

namespace qb {

namespace {

using Field = std::variant<std::string TConvertOptions::*, bool TConvertOptions::*, std::int32_t TConvertOptions::*,
                           std::uint32_t TConvertOptions::*, std::uint8_t TConvertOptions::*>;

struct FieldEntry {
    const char* name;
    Field field;
    // Set by the run itself from the command's arguments; --set may not change them.
    bool internal;
    const char* meaning;
};

const std::vector<FieldEntry>& Fields() {
    using O = TConvertOptions;
    static const std::vector<FieldEntry> fields = {
        {"DatabaseHandle", &O::DatabaseHandle, true, "handle of the open database (from --db)"},
        {"StartPath", &O::StartPath, true, "storage path of the start item (from --item or --whole)"},
        {"DatabaseFileName", &O::DatabaseFileName, false,
         "database file name; the top item's caption when the whole database is exported"},
        {"WholeDatabase", &O::WholeDatabase, false, "the range is the whole database (--whole)"},
        {"RootPath", &O::RootPath, true, "output folder (from --out)"},
        {"ConvertMethod", &O::ConvertMethod, false,
         "engine: 0 built-in, 1 word processor, 2 plain text, 3 converter (use --method)"},
        {"KeepFolderTree", &O::KeepFolderTree, false, "mirror the item tree as folders below the output folder"},
        {"ChmFileName", &O::ChmFileName, false, "compiled help file (--chm)"},
        {"ExportAttachments", &O::ExportAttachments, false, "export the files attached to each item"},
        {"Encoding", &O::Encoding, false, "character set named in the page heads"},
        {"DefaultPage", &O::DefaultPage, false, "page file used as the help file's home page; empty: built-in"},
        {"Header", &O::Header, false, "HTML placed at the top of every page"},
        {"Footer", &O::Footer, false, "HTML placed at the end of every page"},
        {"RemoveTempFiles", &O::RemoveTempFiles, false,
         "after compiling, delete the generated files (false keeps the HTML)"},
        {"FontName", &O::FontName, false, "font of the plain-text engine"},
        {"FontSize", &O::FontSize, false, "font size in points of the plain-text engine"},
        {"FontColor", &O::FontColor, false, "font colour of the plain-text engine (clRed, $00BBGGRR or a number)"},
        {"Overwrite", &O::Overwrite, false, "regenerate pages and attachments that already exist"},
        {"TopNodeNotFolder", &O::TopNodeNotFolder, false,
         "list the start item's sub-items beside it in the contents, not below it"},
        {"IgnoreEmptyItems", &O::IgnoreEmptyItems, false,
         "no contents entry for items without text, attachments or sub-items"},
        {"ReadableFolderNames", &O::ReadableFolderNames, false,
         "with KeepFolderTree, name folders after the captions"},
        {"IncludeSubItems", &O::IncludeSubItems, false, "descend into the sub-items; false exports the start item only"},
        {"ChmLanguage", &O::ChmLanguage, false, "language of the help file, e.g. \"0x409 English (United States)\""},
        {"FullTextSearch", &O::FullTextSearch, false, "full-text search in the help file"},
        {"WindowTitle", &O::WindowTitle, false, "title of the help file and its window (default: the start name)"},
        {"WindowRect", &O::WindowRect, false, "help window position and size, [left,top,right,bottom]"},
        {"WindowExStyle", &O::WindowExStyle, false, "extended window style: 8 keeps the help window on top"},
        {"WindowButtons", &O::WindowButtons, false, "toolbar button bits of the help window"},
        {"NavPaneFlags", &O::NavPaneFlags, false, "window property bits of the help window"},
        {"NavPaneWidth", &O::NavPaneWidth, false, "width of the navigation pane in pixels"},
        {"NavPaneClosed", &O::NavPaneClosed, false, "the navigation pane starts closed"},
        {"DefaultTab", &O::DefaultTab, false, "tab shown first: 0 contents, 1 search, 2 bookmarks, 3 index, -1 none"},
        {"UserButtonCaption", &O::UserButtonCaption, false, "caption of the user-defined toolbar button"},
        {"UserButtonUrl", &O::UserButtonUrl, false, "target of the user-defined toolbar button"},
        {"MakeIndex", &O::MakeIndex, false, "write a keyword index"},
        {"NavLinks", &O::NavLinks, false, "pages get the navigation bar, script and style links, and See also"},
        {"ExtraFiles", &O::ExtraFiles, false, "further files for the help file, each path followed by CR LF"},
        {"RolloverMenus", &O::RolloverMenus, false, "navigation links open a menu of the item's sub-items"},
        {"SiteFolder", &O::SiteFolder, false, "folder for a static website written from the same run; empty: none"},
    };
    return fields;
}

std::string SettableNames() {
    std::string names;
    for (const auto& e : Fields())
        if (!e.internal) names += (names.empty() ? "" : ", ") + std::string(e.name);
    return names;
}

const FieldEntry* FindEntry(const std::string& name) {
    for (const auto& e : Fields())
        if (SameTextAscii(e.name, name)) return &e;
    return nullptr;
}

const Field& Find(const std::string& name) {
    if (const FieldEntry* e = FindEntry(name)) return e->field;
    throw Error("Unknown option field \"" + name + "\"; the fields are: " + SettableNames());
}

const char* TypeName(const Field& f) {
    switch (f.index()) {
        case 0: return "text";
        case 1: return "flag";
        case 2: return "integer";
        case 3: return "colour";
        default: return "0-255";
    }
}

bool ParseBool(const std::string& name, const std::string& v) {
    const std::string l = LowerAscii(v);
    if (l == "true" || l == "1" || l == "yes" || l == "on") return true;
    if (l == "false" || l == "0" || l == "no" || l == "off") return false;
    throw Error("Option " + name + " takes true or false, not \"" + v + "\"");
}

long long ParseInt(const std::string& name, const std::string& v, long long lo, long long hi) {
    if (v.empty()) throw Error("Option " + name + " takes a number");
    char* end = nullptr;
    errno = 0;
    long long n = std::strtoll(v.c_str(), &end, 0);
    if (errno != 0 || !end || *end != '\0' || n < lo || n > hi)
        throw Error("Option " + name + " takes a number from " + std::to_string(lo) + " to " + std::to_string(hi) +
                    ", not \"" + v + "\"");
    return n;
}

}  // namespace

std::vector<std::string> OptionFieldNames() {
    std::vector<std::string> names;
    for (const auto& e : Fields()) names.push_back(e.name);
    return names;
}

std::vector<OptionFieldInfo> OptionFieldTable(const TConvertOptions& defaults) {
    std::vector<OptionFieldInfo> table;
    for (const auto& e : Fields())
        table.push_back({e.name, TypeName(e.field), GetOptionField(defaults, e.name), e.meaning, !e.internal});
    return table;
}

void SetUserOptionField(TConvertOptions& o, const std::string& name, const std::string& value) {
    const FieldEntry* e = FindEntry(name);
    if (e && e->internal)
        throw Error("Option " + std::string(e->name) + " cannot be set: it is the " + std::string(e->meaning));
    SetOptionField(o, name, value);
}

void SetOptionField(TConvertOptions& o, const std::string& name, const std::string& value) {
    const Field& f = Find(name);
    std::visit(
        [&](auto member) {
            using T = std::remove_cvref_t<decltype(o.*member)>;
            if constexpr (std::is_same_v<T, std::string>) {
                o.*member = value;
            } else if constexpr (std::is_same_v<T, bool>) {
                o.*member = ParseBool(name, value);
            } else if constexpr (std::is_same_v<T, std::uint8_t>) {
                o.*member = static_cast<std::uint8_t>(ParseInt(name, value, 0, 255));
            } else if constexpr (std::is_same_v<T, std::uint32_t>) {
                // Colours as the settings file writes them: clRed, $000000FF or decimal.
                try {
                    o.*member = StringToColor(value);
                } catch (const std::exception&) {
                    throw Error("Option " + name + " takes a colour (clRed, $000000FF or a number), not \"" + value +
                                "\"");
                }
            } else {
                o.*member = static_cast<std::int32_t>(ParseInt(name, value, INT32_MIN, INT32_MAX));
            }
        },
        f);
}

std::string GetOptionField(const TConvertOptions& o, const std::string& name) {
    const Field& f = Find(name);
    return std::visit(
        [&](auto member) -> std::string {
            using T = std::remove_cvref_t<decltype(o.*member)>;
            if constexpr (std::is_same_v<T, std::string>)
                return o.*member;
            else if constexpr (std::is_same_v<T, bool>)
                return o.*member ? "true" : "false";
            else if constexpr (std::is_same_v<T, std::uint32_t>)
                return ColorToString(o.*member);
            else
                return std::to_string(static_cast<long long>(o.*member));
        },
        f);
}

}  // namespace qb
