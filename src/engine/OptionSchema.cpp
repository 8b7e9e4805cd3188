#include "engine/OptionSchema.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "Utils/Platform.h"
#include "Utils/StringList.h"
#include "Utils/Utils.h"
#include "settings/Colors.h"
#include "settings/MessageTable.h"
#include "settings/XmlValues.h"
#include "support/Error.h"
#include "support/Text.h"

namespace qb {

const std::int32_t kToolbarButtonBits[14] = {0x2,    0x4,    0x8,      0x10,     0x20,     0x40,    0x800,
                                             0x1000, 0x2000, 0x100000, 0x200000, 0x400000, 0x40000, 0x80000};

namespace {

using K = TControlKind;
using S = TStoredAs;
using O = TConvertOptions;

// --- Controls ------------------------------------------------------------------------

const std::vector<TControlDecl> kControls = {
    {"cbbLanguage", K::Text, std::string("Default(En) *")},
    {"rgDataSource", K::Choice, 0},
    {"rgConverter", K::Choice, 1},
    {"chkAttachments", K::Check, true},
    {"chkOverWrite", K::Check, false},
    {"chkClearTempFile", K::Check, true},
    {"chkKeepDir", K::Check, true},
    {"chkNiceDirName", K::Check, false},
    {"chkIgnoreTopNode", K::Check, true},
    {"chkIgnoreEmptyNode", K::Check, false},
    {"chkSubItems", K::Check, true},
    {"chkNavLink", K::Check, true},
    {"chkMakePopupMenu", K::Check, true},
    {"cbbEncoding", K::Text, std::string("UTF-8")},
    {"lblFontPreview", K::Font, TFontValue{"Tahoma", 12, kColorWindowText}},
    {"mmoHeader", K::Text, std::string()},
    {"mmoFooter", K::Text, std::string()},
    {"cbbCHMLanguage", K::Text, std::string()},
    {"chkFullSearch", K::Check, true},
    {"cbbCHMWinSize", K::Text, std::string("[0,0,800,600]")},
    {"chkOnTop", K::Check, false},
    {"edtCHMTitle", K::Text, std::string()},
    {"chkMakeIndex", K::Check, true},
    {"chkCHMTab", K::Check, true},
    {"edtCHMTabWidth", K::Text, std::string("300")},
    {"cbbDefaultTab", K::Choice, -1},
    // "Bookmarks", "Search", "Auto sync", "Closed when open ", "Auto show/hide".
    {"chklstTabStyles", K::CheckList, false, 5},
    // "Menus", then the toolbar buttons of kToolbarButtonBits.
    {"chklstWinBtns", K::CheckList, false, 15},
    {"edtUserButtonCaption", K::Text, std::string()},
    {"edtUserButtonURL", K::Text, std::string()},
    {"edtDefaultPage", K::Text, std::string()},
    {"edtRootPath", K::Text, std::string()},
    {"lstAttachFiles", K::Entries, std::vector<std::string>()},
    {"edtCHMFileName", K::Text, std::string()},
    {"chkOpenCHMFile", K::Check, true},
    // "Also write a website" and its folder as one value: the folder when checked, else empty.
    {"edtSiteFolder", K::Text, std::string()},
};

constexpr int kTabStyleBookmarks = 0, kTabStyleSearch = 1, kTabStyleAutoSync = 2, kTabStyleClosed = 3,
              kTabStyleAutoHide = 4;
constexpr int kWinBtnMenus = 0;

// --- Settings file ----------------------------------------------------------------------

struct TSettingDecl {
    const char* path;  // below <Config>: "KeepDir", "CHM/Title", "DefaultFont/@Size"
    TStoredAs storedAs;
    const char* control;
    int item = -1;
    // What a file never saved shows instead of the control's design value.
    std::optional<TControlValue> fresh = std::nullopt;
    bool freshIsLocale = false;  // the user's locale as the help file's language
};

// In save order, which is also the order a new file gets its elements in.
const std::vector<TSettingDecl> kSettings = {
    {"StorePath", S::Text, "edtRootPath"},
    {"KeepDir", S::Bool, "chkKeepDir"},
    {"DefaultFont/@Name", S::FontName, "lblFontPreview"},
    {"DefaultFont/@Size", S::FontSize, "lblFontPreview"},
    {"DefaultFont/@Color", S::FontColor, "lblFontPreview"},
    {"WholeDB", S::RangeFlag, "rgDataSource"},
    {"Converter", S::Int, "rgConverter"},
    {"ExportAttach", S::Bool, "chkAttachments"},
    {"ClearTempory", S::Bool, "chkClearTempFile"},
    {"OverWrite", S::Bool, "chkOverWrite"},
    {"TopNode", S::Bool, "chkIgnoreTopNode"},
    {"Encoding", S::Text, "cbbEncoding"},
    {"HeaderText", S::Text, "mmoHeader"},
    {"FooterText", S::Text, "mmoFooter"},
    {"DefaultPage", S::Text, "edtDefaultPage"},
    {"Language", S::Text, "cbbLanguage"},
    {"CHM/Language", S::Text, "cbbCHMLanguage", -1, std::nullopt, true},
    {"CHM/FullSearch", S::Bool, "chkFullSearch"},
    {"CHM/Title", S::Text, "edtCHMTitle"},
    {"CHM/Size", S::Text, "cbbCHMWinSize"},
    {"CHM/OnTop", S::Bool, "chkOnTop"},
    {"CHM/AdvanceSearch", S::Bool, "chklstTabStyles", kTabStyleSearch, true},
    {"CHM/ToolButtons", S::ToolbarMask, "chklstWinBtns", -1, kDefaultToolButtons},
    {"CHM/Menu", S::Bool, "chklstWinBtns", kWinBtnMenus},
    {"CHM/TabEnable", S::Bool, "chkCHMTab"},
    {"CHM/Bookmark", S::Bool, "chklstTabStyles", kTabStyleBookmarks, true},
    {"CHM/AutoSync", S::Bool, "chklstTabStyles", kTabStyleAutoSync},
    {"CHM/OpenClosed", S::Bool, "chklstTabStyles", kTabStyleClosed},
    {"CHM/AutoHide", S::Bool, "chklstTabStyles", kTabStyleAutoHide},
    {"CHM/DefaultTab", S::Int, "cbbDefaultTab"},
    {"CHM/TabWidth", S::IntText, "edtCHMTabWidth"},
    {"IgnoreEmptyNode", S::Bool, "chkIgnoreEmptyNode"},
    {"ReadableCaption", S::Bool, "chkNiceDirName"},
    {"SubItems", S::Bool, "chkSubItems"},
    {"UserButtonCaption", S::Text, "edtUserButtonCaption"},
    {"UserButtonURL", S::Text, "edtUserButtonURL"},
    {"OpenCHMFile", S::Bool, "chkOpenCHMFile"},
    {"NavigatorLink", S::Bool, "chkNavLink"},
    {"AttachFiles", S::Lines, "lstAttachFiles"},
    {"RolloverMenu", S::Bool, "chkMakePopupMenu"},
    {"SiteFolder", S::OptionalText, "edtSiteFolder"},
    {"CHM/MakeIndex", S::OptionalOff, "chkMakeIndex"},
};

// The reading order of a saved file; settings not named here follow in save order.
const char* const kLoadOrder[] = {
    "WholeDB",           "StorePath",          "Converter",       "CHM/Language",  "CHM/FullSearch",
    "CHM/Size",          "CHM/TabWidth",       "CHM/Title",       "CHM/TabEnable", "CHM/Bookmark",
    "CHM/AdvanceSearch", "CHM/AutoSync",       "CHM/OpenClosed",  "CHM/AutoHide",  "CHM/Menu",
    "CHM/DefaultTab",    "CHM/OnTop",          "Language",        "KeepDir",       "DefaultFont/@Name",
    "DefaultFont/@Size", "DefaultFont/@Color", "ExportAttach",    "ClearTempory",  "OverWrite",
    "TopNode",           "Encoding",           "HeaderText",      "FooterText",    "DefaultPage",
    "CHM/ToolButtons",   "IgnoreEmptyNode",    "ReadableCaption", "SubItems",      "UserButtonCaption",
    "UserButtonURL",     "OpenCHMFile",        "NavigatorLink",   "AttachFiles",   "RolloverMenu",
    "SiteFolder",
};

std::vector<const TSettingDecl*> LoadOrder() {
    std::vector<const TSettingDecl*> order;
    for (const char* path : kLoadOrder)
        for (const auto& s : kSettings)
            if (std::string(s.path) == path) order.push_back(&s);
    for (const auto& s : kSettings)
        if (std::find(order.begin(), order.end(), &s) == order.end()) order.push_back(&s);
    return order;
}

// --- Options ----------------------------------------------------------------------------

using TMember = std::variant<std::string O::*, bool O::*, std::int32_t O::*, std::uint32_t O::*, std::uint8_t O::*>;

// How a control's value becomes the field.
enum class TToField { Held, Trimmed, Folder, Integer, Lines, Method, FontName, FontSize, FontColor };

struct TOptionDecl {
    const char* name;  // the field, and its name for --set
    TMember member;
    const char* meaning;
    // The control that edits it (chiefly, for a composed field); null: from the host or the command's arguments.
    const char* control = nullptr;
    int item = -1;
    TToField toField = TToField::Held;
    // A field made of more than its control's value.
    std::function<void(O&, const IControlValues&)> compose = nullptr;
    bool internal = false;  // set by the run from its arguments; --set may not change it
    bool run = false;       // the caller's range, output folder, help file name and title: --settings leaves it
};

std::int32_t NavPaneFlags(const IControlValues& c) {
    std::int32_t flags = 0;
    if (c.Check("chkCHMTab")) flags |= 0x20;
    if (c.Check("chklstTabStyles", kTabStyleBookmarks)) flags |= 0x1000;
    if (c.Check("chklstTabStyles", kTabStyleSearch)) flags |= 0x20400;
    if (c.Check("chklstTabStyles", kTabStyleAutoSync)) flags |= 0x100;
    if (c.Check("chklstTabStyles", kTabStyleAutoHide)) flags |= 0x1;
    if (c.Check("chklstWinBtns", kWinBtnMenus)) flags |= 0x10000;
    return flags;
}

const std::vector<TOptionDecl>& Options() {
    using T = TToField;
    static const std::vector<TOptionDecl> options = {
        {"DatabaseHandle", &O::DatabaseHandle, "handle of the open database (from --db)", nullptr, -1, T::Held, nullptr,
         true, true},
        {"StartPath", &O::StartPath, "storage path of the start item (from --item or --whole)", nullptr, -1, T::Held,
         nullptr, true, true},
        {"DatabaseFileName", &O::DatabaseFileName,
         "database file name; the top item's caption when the whole database is exported", nullptr, -1, T::Held,
         nullptr, false, true},
        {"WholeDatabase", &O::WholeDatabase, "the range is the whole database (--whole)", "rgDataSource", -1, T::Held,
         [](O& o, const IControlValues& c) { o.WholeDatabase = c.Choice("rgDataSource") == 1; }, false, true},
        {"RootPath", &O::RootPath, "output folder (from --out)", "edtRootPath", -1, T::Folder, nullptr, true, true},
        {"ConvertMethod", &O::ConvertMethod,
         "engine: 0 built-in, 1 word processor, 2 plain text, 3 converter (use --method)", "rgConverter", -1,
         T::Method},
        {"KeepFolderTree", &O::KeepFolderTree, "mirror the item tree as folders below the output folder", "chkKeepDir"},
        {"ChmFileName", &O::ChmFileName, "compiled help file (--chm)", "edtCHMFileName", -1, T::Trimmed, nullptr, false,
         true},
        {"ExportAttachments", &O::ExportAttachments, "export the files attached to each item", "chkAttachments"},
        {"Encoding", &O::Encoding, "character set named in the page heads", "cbbEncoding", -1, T::Trimmed},
        {"DefaultPage", &O::DefaultPage, "page file used as the help file's home page; empty: built-in",
         "edtDefaultPage", -1, T::Trimmed},
        {"Header", &O::Header, "HTML placed at the top of every page", "mmoHeader", -1, T::Trimmed},
        {"Footer", &O::Footer, "HTML placed at the end of every page", "mmoFooter", -1, T::Trimmed},
        {"RemoveTempFiles", &O::RemoveTempFiles, "after compiling, delete the generated files (false keeps the HTML)",
         "chkClearTempFile"},
        {"FontName", &O::FontName, "font of the plain-text engine", "lblFontPreview", -1, T::FontName},
        {"FontSize", &O::FontSize, "font size in points of the plain-text engine", "lblFontPreview", -1, T::FontSize},
        {"FontColor", &O::FontColor, "font colour of the plain-text engine (clRed, $00BBGGRR or a number)",
         "lblFontPreview", -1, T::FontColor},
        {"Overwrite", &O::Overwrite, "regenerate pages and attachments that already exist", "chkOverWrite"},
        {"TopNodeNotFolder", &O::TopNodeNotFolder,
         "list the start item's sub-items beside it in the contents, not below it", "chkIgnoreTopNode"},
        {"IgnoreEmptyItems", &O::IgnoreEmptyItems, "no contents entry for items without text, attachments or sub-items",
         "chkIgnoreEmptyNode"},
        {"ReadableFolderNames", &O::ReadableFolderNames, "with KeepFolderTree, name folders after the captions",
         "chkNiceDirName"},
        {"IncludeSubItems", &O::IncludeSubItems, "descend into the sub-items; false exports the start item only",
         "chkSubItems"},
        {"ChmLanguage", &O::ChmLanguage, "language of the help file, e.g. \"0x409 English (United States)\"",
         "cbbCHMLanguage"},
        {"FullTextSearch", &O::FullTextSearch, "full-text search in the help file", "chkFullSearch"},
        {"WindowTitle", &O::WindowTitle, "title of the help file and its window (default: the start name)",
         "edtCHMTitle", -1, T::Held, nullptr, false, true},
        {"WindowRect", &O::WindowRect, "help window position and size, [left,top,right,bottom]", "cbbCHMWinSize"},
        {"WindowExStyle", &O::WindowExStyle, "extended window style: 8 keeps the help window on top", "chkOnTop", -1,
         T::Held, [](O& o, const IControlValues& c) { o.WindowExStyle = c.Check("chkOnTop") ? 8 : 0; }},
        {"WindowButtons", &O::WindowButtons, "toolbar button bits of the help window", "chklstWinBtns", -1, T::Held,
         [](O& o, const IControlValues& c) { o.WindowButtons = ToolbarFlagsFromList(c); }},
        {"NavPaneFlags", &O::NavPaneFlags, "window property bits of the help window", nullptr, -1, T::Held,
         [](O& o, const IControlValues& c) { o.NavPaneFlags = NavPaneFlags(c); }},
        {"NavPaneWidth", &O::NavPaneWidth, "width of the navigation pane in pixels", "edtCHMTabWidth", -1, T::Integer},
        {"NavPaneClosed", &O::NavPaneClosed, "the navigation pane starts closed", "chklstTabStyles", kTabStyleClosed},
        {"DefaultTab", &O::DefaultTab, "tab shown first: 0 contents, 1 search, 2 bookmarks, 3 index, -1 none",
         "cbbDefaultTab"},
        {"UserButtonCaption", &O::UserButtonCaption, "caption of the user-defined toolbar button",
         "edtUserButtonCaption"},
        {"UserButtonUrl", &O::UserButtonUrl, "target of the user-defined toolbar button", "edtUserButtonURL"},
        {"MakeIndex", &O::MakeIndex, "write a keyword index", "chkMakeIndex"},
        {"NavLinks", &O::NavLinks, "pages get the navigation bar, script and style links, and See also", "chkNavLink"},
        {"ExtraFiles", &O::ExtraFiles, "further files for the help file, each path followed by CR LF", "lstAttachFiles",
         -1, T::Lines},
        {"RolloverMenus", &O::RolloverMenus, "navigation links open a menu of the item's sub-items", "chkMakePopupMenu",
         -1, T::Held,
         [](O& o, const IControlValues& c) { o.RolloverMenus = c.Check("chkNavLink") && c.Check("chkMakePopupMenu"); }},
        {"SiteFolder", &O::SiteFolder, "folder for a static website written from the same run; empty: none",
         "edtSiteFolder", -1, T::Trimmed},
    };
    return options;
}

// --- Helpers ------------------------------------------------------------------------------

bool FolderExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

// The element a path names below <Config>, created when missing.
pugi::xml_node ElementAt(pugi::xml_node config, const std::string& path) {
    pugi::xml_node node = config;
    std::size_t start = 0;
    for (std::size_t slash; (slash = path.find('/', start)) != std::string::npos; start = slash + 1)
        node = GetOrAddChild(node, path.substr(start, slash - start).c_str());
    return GetOrAddChild(node, path.substr(start).c_str());
}

// The parent element and attribute name of a "X/@Name" path.
pugi::xml_attribute AttributeAt(pugi::xml_node config, const std::string& path, pugi::xml_node& element) {
    const std::size_t at = path.find("/@");
    element = ElementAt(config, path.substr(0, at));
    return GetOrAddAttribute(element, path.substr(at + 2).c_str());
}

// The element of a path when present, without creating it.
pugi::xml_node FindElement(pugi::xml_node config, const std::string& path) {
    pugi::xml_node node = config;
    std::size_t start = 0;
    for (std::size_t slash; node && (slash = path.find('/', start)) != std::string::npos; start = slash + 1)
        node = node.child(path.substr(start, slash - start).c_str());
    return node ? node.child(path.substr(start).c_str()) : node;
}

std::uint32_t ReadColor(const std::string& text, const pugi::xml_node& font) {
    if (auto named = IdentToColor(text)) return *named;
    if (auto number = ParseColorNumber(text)) return *number;
    throw Error("'" + text + "' is not a valid colour value (" + NodePath(font) + "/@Color)");
}

void Load(const TSettingDecl& s, pugi::xml_node config, IControlValues& c) {
    const std::string path = s.path;
    auto readBool = [&] {
        pugi::xml_node e = ElementAt(config, path);
        return TextToBool(ElementText(e), NodePath(e));
    };
    auto readInt = [&] {
        pugi::xml_node e = ElementAt(config, path);
        return TextToInt(ElementText(e), NodePath(e));
    };
    switch (s.storedAs) {
        case S::Text: c.Set(s.control, s.item, ElementText(ElementAt(config, path))); break;
        case S::Bool: c.Set(s.control, s.item, readBool()); break;
        case S::Int: c.Set(s.control, s.item, readInt()); break;
        case S::IntText: c.Set(s.control, s.item, IntToText(readInt())); break;
        case S::Lines: {
            TStringList lines;
            lines.SetText(ElementText(ElementAt(config, path)));
            c.Set(s.control, s.item, lines.Items());
            break;
        }
        case S::ToolbarMask: ToolbarFlagsToList(c, readInt()); break;
        case S::RangeFlag:
            if (readBool()) c.Set(s.control, s.item, std::int32_t{1});
            break;
        case S::FontName:
        case S::FontSize:
        case S::FontColor: {
            pugi::xml_node element;
            const std::string text = AttributeAt(config, path, element).value();
            TFontValue font = c.Font(s.control);
            if (s.storedAs == S::FontName)
                font.name = text;
            else if (s.storedAs == S::FontSize)
                font.size = TextToInt(text, NodePath(element) + path.substr(path.find("/@")));
            else
                font.color = ReadColor(text, element);
            c.Set(s.control, s.item, font);
            break;
        }
        case S::OptionalText: {
            pugi::xml_node e = FindElement(config, path);
            c.Set(s.control, s.item, e ? ElementText(e) : std::string());
            break;
        }
        case S::OptionalOff: {
            pugi::xml_node e = FindElement(config, path);
            c.Set(s.control, s.item, e ? TextToBool(ElementText(e), NodePath(e)) : true);
            break;
        }
    }
}

void Save(const TSettingDecl& s, pugi::xml_node config, const IControlValues& c) {
    const std::string path = s.path;
    auto write = [&](const std::string& text) { SetElementText(ElementAt(config, path), text); };
    switch (s.storedAs) {
        case S::Text: write(c.Text(s.control)); break;
        case S::Bool: write(BoolToText(c.Check(s.control, s.item))); break;
        case S::Int: write(IntToText(c.Choice(s.control))); break;
        case S::IntText: write(IntToText(TextToInt(c.Text(s.control), "navigation pane width"))); break;
        case S::Lines: write(JoinLines(c.Entries(s.control))); break;
        case S::ToolbarMask: write(IntToText(ToolbarFlagsFromList(c))); break;
        case S::RangeFlag: write(BoolToText(c.Choice(s.control) == 1)); break;
        case S::FontName:
        case S::FontSize:
        case S::FontColor: {
            pugi::xml_node element;
            pugi::xml_attribute attribute = AttributeAt(config, path, element);
            const TFontValue font = c.Font(s.control);
            const std::string text = s.storedAs == S::FontName   ? font.name
                                     : s.storedAs == S::FontSize ? IntToText(font.size)
                                                                 : ColorToString(font.color);
            attribute.set_value(text.c_str());
            break;
        }
        case S::OptionalText:
        case S::OptionalOff: {
            const bool absent = s.storedAs == S::OptionalText ? c.Text(s.control).empty() : c.Check(s.control);
            if (absent) {
                if (pugi::xml_node e = FindElement(config, path)) e.parent().remove_child(e);
            } else {
                write(s.storedAs == S::OptionalText ? c.Text(s.control) : BoolToText(false));
            }
            break;
        }
    }
}

const TOptionDecl* FindOption(const std::string& name) {
    for (const auto& e : Options())
        if (EqualsNoCase(e.name, name)) return &e;
    return nullptr;
}

std::string SettableNames() {
    std::string names;
    for (const auto& e : Options())
        if (!e.internal) names += (names.empty() ? "" : ", ") + std::string(e.name);
    return names;
}

const TOptionDecl& Find(const std::string& name) {
    if (const TOptionDecl* e = FindOption(name)) return *e;
    throw Error("Unknown option field \"" + name + "\"; the fields are: " + SettableNames());
}

const char* TypeName(const TMember& m) {
    switch (m.index()) {
        case 0: return "text";
        case 1: return "flag";
        case 2: return "integer";
        case 3: return "colour";
        default: return "0-255";
    }
}

bool ParseFlag(const std::string& name, const std::string& v) {
    const std::string l = LowerAscii(v);
    if (l == "true" || l == "1" || l == "yes" || l == "on") return true;
    if (l == "false" || l == "0" || l == "no" || l == "off") return false;
    throw Error("Option " + name + " takes true or false, not \"" + v + "\"");
}

long long ParseNumber(const std::string& name, const std::string& v, long long lo, long long hi) {
    if (v.empty()) throw Error("Option " + name + " takes a number");
    char* end = nullptr;
    errno = 0;
    long long n = std::strtoll(v.c_str(), &end, 0);
    if (errno != 0 || !end || *end != '\0' || n < lo || n > hi)
        throw Error("Option " + name + " takes a number from " + std::to_string(lo) + " to " + std::to_string(hi) +
                    ", not \"" + v + "\"");
    return n;
}

// The field's value from its control.
void FieldFromControl(const TOptionDecl& e, O& o, const IControlValues& c) {
    using T = TToField;
    std::variant<std::string, bool, long long> value;
    switch (e.toField) {
        case T::Held: {
            const TControlValue v = c.Get(e.control, e.item);
            if (const auto* b = std::get_if<bool>(&v))
                value = *b;
            else if (const auto* i = std::get_if<std::int32_t>(&v))
                value = static_cast<long long>(*i);
            else
                value = std::get<std::string>(v);
            break;
        }
        case T::Trimmed: value = Trim(c.Text(e.control)); break;
        case T::Folder: value = IncludeTrailingDelimiter(Trim(c.Text(e.control))); break;
        case T::Integer: {
            const std::string text = c.Text(e.control);
            const auto n = ParseInt(Trim(text));
            if (!n) throw Error("'" + text + "' is not a valid integer value");
            value = static_cast<long long>(*n);
            break;
        }
        case T::Lines: value = JoinLines(c.Entries(e.control)); break;
        case T::Method: value = static_cast<long long>(std::max(0, c.Choice(e.control))); break;
        case T::FontName: value = c.Font(e.control).name; break;
        case T::FontSize: value = static_cast<long long>(c.Font(e.control).size); break;
        case T::FontColor: value = static_cast<long long>(c.Font(e.control).color); break;
    }
    std::visit(
        [&](auto member) {
            using F = std::remove_cvref_t<decltype(o.*member)>;
            if constexpr (std::is_same_v<F, std::string>)
                o.*member = std::get<std::string>(value);
            else if constexpr (std::is_same_v<F, bool>)
                o.*member = std::get<bool>(value);
            else
                o.*member = static_cast<F>(std::get<long long>(value));
        },
        e.member);
}

}  // namespace

// --- Controls ---------------------------------------------------------------------------

const std::vector<TControlDecl>& ControlTable() { return kControls; }

const TControlDecl* FindControl(const std::string& name) {
    for (const auto& c : kControls)
        if (name == c.name) return &c;
    return nullptr;
}

bool IControlValues::Check(const std::string& control, int item) const { return std::get<bool>(Get(control, item)); }
std::int32_t IControlValues::Choice(const std::string& control) const { return std::get<std::int32_t>(Get(control)); }
std::string IControlValues::Text(const std::string& control) const { return std::get<std::string>(Get(control)); }
std::vector<std::string> IControlValues::Entries(const std::string& control) const {
    return std::get<std::vector<std::string>>(Get(control));
}
TFontValue IControlValues::Font(const std::string& control) const { return std::get<TFontValue>(Get(control)); }

TControlStore::TControlStore() {
    for (const auto& c : kControls) {
        if (c.kind == K::CheckList)
            items_[c.name].assign(static_cast<std::size_t>(c.items), std::get<bool>(c.design));
        else
            values_[c.name] = c.design;
    }
}

TControlValue TControlStore::Get(const std::string& control, int item) const {
    if (auto it = items_.find(control); it != items_.end())
        return item >= 0 && item < static_cast<int>(it->second.size()) && it->second[static_cast<std::size_t>(item)];
    if (auto it = values_.find(control); it != values_.end()) return it->second;
    throw Error("No control \"" + control + "\"");
}

void TControlStore::Set(const std::string& control, int item, const TControlValue& value) {
    if (auto it = items_.find(control); it != items_.end()) {
        if (item >= 0 && item < static_cast<int>(it->second.size()))
            it->second[static_cast<std::size_t>(item)] = std::get<bool>(value);
        return;
    }
    auto it = values_.find(control);
    if (it == values_.end()) throw Error("No control \"" + control + "\"");
    if (it->second.index() != value.index()) throw Error("Control \"" + control + "\" holds another kind of value");
    it->second = value;
}

// --- Settings -----------------------------------------------------------------------------

TSettingsEnvironment DefaultSettingsEnvironment() {
    TSettingsEnvironment env;
    env.documentsFolder = GetSpecialFolder(5);
    return env;
}

std::int32_t ToolbarFlagsFromList(const IControlValues& controls) {
    std::int32_t mask = 0;
    for (int i = 0; i < 14; ++i)
        if (controls.Check("chklstWinBtns", i + 1)) mask |= kToolbarButtonBits[i];
    return mask;
}

void ToolbarFlagsToList(IControlValues& controls, std::int32_t mask) {
    for (int i = 0; i < 14; ++i) controls.SetCheck("chklstWinBtns", i + 1, (mask & kToolbarButtonBits[i]) != 0);
}

void LoadStorePath(TXMLQuillbookType root, IControlValues& controls, const TSettingsEnvironment& env) {
    std::string storePath = root.Config().StorePath();
    if (FolderExists(storePath))
        controls.SetText("edtRootPath", storePath);
    else
        controls.SetText("edtRootPath", env.documentsFolder + "My Quillbook Files/");
}

bool LoadSettingsIntoControls(TXMLQuillbookType root, IControlValues& controls, const TSettingsEnvironment& env) {
    if (!SettingsSaved(root)) {
        for (const auto& s : kSettings) {
            if (s.freshIsLocale && !env.defaultCHMLanguage.empty())
                controls.Set(s.control, s.item, env.defaultCHMLanguage);
            else if (s.fresh && s.storedAs == S::ToolbarMask)
                ToolbarFlagsToList(controls, std::get<std::int32_t>(*s.fresh));
            else if (s.fresh)
                controls.Set(s.control, s.item, *s.fresh);
        }
        return false;
    }
    TXMLConfigType config = root.Config();
    // <CHM> is looked up before the first value is read, so a file missing it gets it in that place.
    config.CHM();
    for (const TSettingDecl* s : LoadOrder()) Load(*s, config.Node(), controls);
    return true;
}

void SaveControlsToSettings(TXMLQuillbookType root, const IControlValues& controls) {
    TXMLConfigType config = root.Config();
    for (const auto& s : kSettings) Save(s, config.Node(), controls);
}

void RestoreCheckListsFromSettings(TXMLQuillbookType root, IControlValues& controls) {
    if (!SettingsSaved(root)) return;
    TXMLConfigType config = root.Config();
    for (const TSettingDecl* s : LoadOrder())
        if (FindControl(s->control)->kind == K::CheckList) Load(*s, config.Node(), controls);
}

// --- Options ---------------------------------------------------------------------------------

void BuildOptions(const IControlValues& controls, TConvertOptions& options, TFieldSet fields) {
    // Built aside, so a value that does not convert leaves the options as they were.
    O o = options;
    for (const auto& e : Options()) {
        if (fields == TFieldSet::Settings && e.run) continue;
        if (e.compose)
            e.compose(o, controls);
        else if (e.control)
            FieldFromControl(e, o, controls);
    }
    options = o;
}

void ApplySettingsFile(const std::string& path, TConvertOptions& options) {
    auto doc = LoadSettingsDocument(path);
    TControlStore controls;
    controls.SetText("cbbCHMLanguage", options.ChmLanguage);
    TSettingsEnvironment env = DefaultSettingsEnvironment();
    env.defaultCHMLanguage = options.ChmLanguage;
    try {
        LoadStorePath(doc->Quillbook(), controls, env);
        LoadSettingsIntoControls(doc->Quillbook(), controls, env);
    } catch (const std::exception& e) {
        throw Error(Msg(22) + e.what());
    }
    BuildOptions(controls, options, TFieldSet::Settings);
}

std::vector<std::string> OptionFieldNames() {
    std::vector<std::string> names;
    for (const auto& e : Options()) names.push_back(e.name);
    return names;
}

namespace {

// The settings element a field is read from: the one of its control (and, for the font, of that part).
std::string StoredPlace(const TOptionDecl& e) {
    if (!e.control || e.run) return "";
    const auto part = e.toField == TToField::FontName   ? S::FontName
                      : e.toField == TToField::FontSize ? S::FontSize
                                                        : S::FontColor;
    for (const auto& s : kSettings) {
        const bool font = s.storedAs == S::FontName || s.storedAs == S::FontSize || s.storedAs == S::FontColor;
        if (std::string(s.control) == e.control && s.item == e.item && (!font || s.storedAs == part)) return s.path;
    }
    return "";
}

}  // namespace

std::vector<OptionFieldInfo> OptionFieldTable(const TConvertOptions& defaults) {
    std::vector<OptionFieldInfo> table;
    for (const auto& e : Options())
        table.push_back({e.name, TypeName(e.member), GetOptionField(defaults, e.name), e.meaning, !e.internal,
                         !e.run && (e.control || e.compose), e.control ? e.control : "", StoredPlace(e)});
    return table;
}

void SetUserOptionField(TConvertOptions& o, const std::string& name, const std::string& value) {
    const TOptionDecl* e = FindOption(name);
    if (e && e->internal)
        throw Error("Option " + std::string(e->name) + " cannot be set: it is the " + std::string(e->meaning));
    SetOptionField(o, name, value);
}

void SetOptionField(TConvertOptions& o, const std::string& name, const std::string& value) {
    std::visit(
        [&](auto member) {
            using F = std::remove_cvref_t<decltype(o.*member)>;
            if constexpr (std::is_same_v<F, std::string>) {
                o.*member = value;
            } else if constexpr (std::is_same_v<F, bool>) {
                o.*member = ParseFlag(name, value);
            } else if constexpr (std::is_same_v<F, std::uint8_t>) {
                o.*member = static_cast<std::uint8_t>(ParseNumber(name, value, 0, 255));
            } else if constexpr (std::is_same_v<F, std::uint32_t>) {
                // Colours as the settings file writes them: clRed, $000000FF or decimal.
                try {
                    o.*member = StringToColor(value);
                } catch (const std::exception&) {
                    throw Error("Option " + name + " takes a colour (clRed, $000000FF or a number), not \"" + value +
                                "\"");
                }
            } else {
                o.*member = static_cast<std::int32_t>(ParseNumber(name, value, INT32_MIN, INT32_MAX));
            }
        },
        Find(name).member);
}

std::string GetOptionField(const TConvertOptions& o, const std::string& name) {
    return std::visit(
        [&](auto member) -> std::string {
            using F = std::remove_cvref_t<decltype(o.*member)>;
            if constexpr (std::is_same_v<F, std::string>)
                return o.*member;
            else if constexpr (std::is_same_v<F, bool>)
                return o.*member ? "true" : "false";
            else if constexpr (std::is_same_v<F, std::uint32_t>)
                return ColorToString(o.*member);
            else
                return std::to_string(static_cast<long long>(o.*member));
        },
        Find(name).member);
}

}  // namespace qb
