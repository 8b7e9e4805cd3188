#include "engine/OptionSchema.h"

#include <algorithm>
#include <climits>
#include <filesystem>

#include "Utils/Platform.h"
#include "Utils/StringList.h"
#include "Utils/Utils.h"
#include "settings/Colors.h"
#include "settings/MessageTable.h"
#include "settings/XmlValues.h"
#include "support/Error.h"
#include "support/Numbers.h"
#include "support/Path.h"
#include "support/Text.h"

namespace qb {

const std::int32_t kToolbarButtonBits[14] = {0x2,    0x4,    0x8,      0x10,     0x20,     0x40,    0x800,
                                             0x1000, 0x2000, 0x100000, 0x200000, 0x400000, 0x40000, 0x80000};

namespace {

using K = TControlKind;
using S = TStoredAs;
using T = TToField;
using O = TConvertOptions;

constexpr int kTabStyleBookmarks = 0, kTabStyleSearch = 1, kTabStyleAutoSync = 2, kTabStyleClosed = 3,
              kTabStyleAutoHide = 4;
constexpr int kWinBtnMenus = 0;
// "Menus", then the toolbar buttons of kToolbarButtonBits.
constexpr int kWinBtnItems = 15;

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

#define FIELD(name) .field = #name, .member = &O::name

const std::vector<TOptionRow>& Rows() {
    static const std::vector<TOptionRow> rows = {
        // Stored, in save order.
        {FIELD(RootPath), .meaning = "output folder (from --out)", .control = "edtRootPath", .kind = K::Text,
         .initial = std::string(), .words = "lblRootPath", .setting = "StorePath", .storedAs = S::Text, .loadRank = 2,
         .toField = T::Folder, .internal = true, .run = true},
        {FIELD(KeepFolderTree), .meaning = "mirror the item tree as folders below the output folder",
         .control = "chkKeepDir", .initial = true, .setting = "KeepDir", .loadRank = 19},
        {FIELD(FontName), .meaning = "font of the plain-text engine", .control = "lblFontPreview", .kind = K::Font,
         .initial = TFontValue{"Tahoma"}, .words = "lblFont", .setting = "DefaultFont/@Name", .storedAs = S::FontName,
         .loadRank = 20, .toField = T::FontName},
        {FIELD(FontSize), .meaning = "font size in points of the plain-text engine", .control = "lblFontPreview",
         .kind = K::Font, .initial = TFontValue{"", 12}, .words = "lblFont", .setting = "DefaultFont/@Size",
         .storedAs = S::FontSize, .loadRank = 21, .toField = T::FontSize},
        {FIELD(FontColor), .meaning = "font colour of the plain-text engine (clRed, $00BBGGRR or a number)",
         .control = "lblFontPreview", .kind = K::Font, .initial = TFontValue{"", 0, kColorWindowText},
         .words = "lblFont", .setting = "DefaultFont/@Color", .storedAs = S::FontColor, .loadRank = 22,
         .toField = T::FontColor},
        {FIELD(WholeDatabase), .meaning = "the range is the whole database (--whole)", .control = "rgDataSource",
         .kind = K::Choice, .initial = 0, .setting = "WholeDB", .storedAs = S::RangeFlag, .loadRank = 1,
         .compose = [](O& o, const IControlValues& c) { o.WholeDatabase = c.Choice("rgDataSource") == 1; },
         .run = true},
        {FIELD(ConvertMethod),
         .meaning = "engine: 0 built-in, 1 word processor, 2 plain text, 3 converter (use --method)",
         .control = "rgConverter", .kind = K::Choice, .initial = 1, .setting = "Converter", .storedAs = S::Int,
         .loadRank = 3, .toField = T::Method},
        {FIELD(ExportAttachments), .meaning = "export the files attached to each item", .control = "chkAttachments",
         .initial = true, .setting = "ExportAttach", .loadRank = 23},
        {FIELD(RemoveTempFiles), .meaning = "after compiling, delete the generated files (false keeps the HTML)",
         .control = "chkClearTempFile", .initial = true, .setting = "ClearTempory", .loadRank = 24},
        {FIELD(Overwrite), .meaning = "regenerate pages and attachments that already exist", .control = "chkOverWrite",
         .initial = false, .setting = "OverWrite", .loadRank = 25},
        {FIELD(TopNodeNotFolder), .meaning = "list the start item's sub-items beside it in the contents, not below it",
         .control = "chkIgnoreTopNode", .initial = true, .setting = "TopNode", .loadRank = 26},
        {FIELD(Encoding), .meaning = "character set named in the page heads", .control = "cbbEncoding", .kind = K::Text,
         .initial = std::string("UTF-8"), .words = "lblEncoding", .setting = "Encoding", .storedAs = S::Text,
         .loadRank = 27, .toField = T::Trimmed},
        {FIELD(Header), .meaning = "HTML placed at the top of every page", .control = "mmoHeader", .kind = K::Text,
         .initial = std::string(), .words = "lblHeader", .setting = "HeaderText", .storedAs = S::Text, .loadRank = 28,
         .toField = T::Trimmed},
        {FIELD(Footer), .meaning = "HTML placed at the end of every page", .control = "mmoFooter", .kind = K::Text,
         .initial = std::string(), .words = "lblFooter", .setting = "FooterText", .storedAs = S::Text, .loadRank = 29,
         .toField = T::Trimmed},
        {FIELD(DefaultPage), .meaning = "page file used as the help file's home page; empty: built-in",
         .control = "edtDefaultPage", .kind = K::Text, .initial = std::string(), .words = "lblDefaultPage",
         .setting = "DefaultPage", .storedAs = S::Text, .loadRank = 30, .toField = T::Trimmed},
        {.control = "cbbLanguage",
         .kind = K::Text,
         .initial = std::string("Default(En) *"),
         .words = "lblLanguage",
         .setting = "Language",
         .storedAs = S::Text,
         .loadRank = 18},
        {FIELD(ChmLanguage), .meaning = "language of the help file, e.g. \"0x409 English (United States)\"",
         .control = "cbbCHMLanguage", .kind = K::Text, .initial = std::string(), .words = "lblCHMLanguage",
         .setting = "CHM/Language", .storedAs = S::Text, .loadRank = 4, .localeWhenNew = true},
        {FIELD(FullTextSearch), .meaning = "full-text search in the help file", .control = "chkFullSearch",
         .initial = true, .setting = "CHM/FullSearch", .loadRank = 5},
        {FIELD(WindowTitle), .meaning = "title of the help file and its window (default: the start name)",
         .control = "edtCHMTitle", .kind = K::Text, .initial = std::string(), .words = "lblCHMTitle",
         .setting = "CHM/Title", .storedAs = S::Text, .loadRank = 8, .run = true},
        {FIELD(WindowRect), .meaning = "help window position and size, [left,top,right,bottom]",
         .control = "cbbCHMWinSize", .kind = K::Text, .initial = std::string("[0,0,800,600]"), .words = "lblCHMWinSize",
         .setting = "CHM/Size", .storedAs = S::Text, .loadRank = 6},
        {FIELD(WindowExStyle), .meaning = "extended window style: 8 keeps the help window on top",
         .control = "chkOnTop", .initial = false, .setting = "CHM/OnTop", .loadRank = 17,
         .compose = [](O& o, const IControlValues& c) { o.WindowExStyle = c.Check("chkOnTop") ? 8 : 0; }},
        {.control = "chklstTabStyles",
         .kind = K::CheckList,
         .initial = true,
         .item = kTabStyleSearch,
         .setting = "CHM/AdvanceSearch",
         .loadRank = 11},
        {FIELD(WindowButtons), .meaning = "toolbar button bits of the help window", .control = "chklstWinBtns",
         .kind = K::CheckList, .initial = kDefaultToolButtons, .setting = "CHM/ToolButtons", .storedAs = S::ToolbarMask,
         .loadRank = 31, .compose = [](O& o, const IControlValues& c) { o.WindowButtons = ToolbarFlagsFromList(c); }},
        {.control = "chklstWinBtns",
         .kind = K::CheckList,
         .initial = false,
         .item = kWinBtnMenus,
         .setting = "CHM/Menu",
         .loadRank = 15},
        {.control = "chkCHMTab", .initial = true, .setting = "CHM/TabEnable", .loadRank = 9},
        {.control = "chklstTabStyles",
         .kind = K::CheckList,
         .initial = true,
         .item = kTabStyleBookmarks,
         .setting = "CHM/Bookmark",
         .loadRank = 10},
        {.control = "chklstTabStyles",
         .kind = K::CheckList,
         .initial = false,
         .item = kTabStyleAutoSync,
         .setting = "CHM/AutoSync",
         .loadRank = 12},
        {FIELD(NavPaneClosed), .meaning = "the navigation pane starts closed", .control = "chklstTabStyles",
         .kind = K::CheckList, .initial = false, .item = kTabStyleClosed, .setting = "CHM/OpenClosed", .loadRank = 13},
        {.control = "chklstTabStyles",
         .kind = K::CheckList,
         .initial = false,
         .item = kTabStyleAutoHide,
         .setting = "CHM/AutoHide",
         .loadRank = 14},
        {FIELD(DefaultTab), .meaning = "tab shown first: 0 contents, 1 search, 2 bookmarks, 3 index, -1 none",
         .control = "cbbDefaultTab", .kind = K::Choice, .initial = -1, .words = "lblDefaultTab",
         .setting = "CHM/DefaultTab", .storedAs = S::Int, .loadRank = 16},
        {FIELD(NavPaneWidth), .meaning = "width of the navigation pane in pixels", .control = "edtCHMTabWidth",
         .kind = K::Text, .initial = std::string("300"), .words = "chkCHMTab", .setting = "CHM/TabWidth",
         .storedAs = S::IntText, .loadRank = 7, .toField = T::Integer},
        {FIELD(IgnoreEmptyItems), .meaning = "no contents entry for items without text, attachments or sub-items",
         .control = "chkIgnoreEmptyNode", .initial = false, .setting = "IgnoreEmptyNode", .loadRank = 32},
        {FIELD(ReadableFolderNames), .meaning = "with KeepFolderTree, name folders after the captions",
         .control = "chkNiceDirName", .initial = false, .setting = "ReadableCaption", .loadRank = 33},
        {FIELD(IncludeSubItems), .meaning = "descend into the sub-items; false exports the start item only",
         .control = "chkSubItems", .initial = true, .setting = "SubItems", .loadRank = 34},
        {FIELD(UserButtonCaption), .meaning = "caption of the user-defined toolbar button",
         .control = "edtUserButtonCaption", .kind = K::Text, .initial = std::string(), .words = "lblUserDefBtnCaption",
         .setting = "UserButtonCaption", .storedAs = S::Text, .loadRank = 35},
        {FIELD(UserButtonUrl), .meaning = "target of the user-defined toolbar button", .control = "edtUserButtonURL",
         .kind = K::Text, .initial = std::string(), .words = "lblUserDefBtnURL", .setting = "UserButtonURL",
         .storedAs = S::Text, .loadRank = 36},
        {.control = "chkOpenCHMFile", .initial = true, .setting = "OpenCHMFile", .loadRank = 37},
        {FIELD(NavLinks), .meaning = "pages get the navigation bar, script and style links, and See also",
         .control = "chkNavLink", .initial = true, .setting = "NavigatorLink", .loadRank = 38},
        {FIELD(ExtraFiles), .meaning = "further files for the help file, each path followed by CR LF",
         .control = "lstAttachFiles", .kind = K::Entries, .initial = std::vector<std::string>(),
         .words = "lblAttachFiles", .setting = "AttachFiles", .storedAs = S::Lines, .loadRank = 39,
         .toField = T::Lines},
        {FIELD(RolloverMenus), .meaning = "navigation links open a menu of the item's sub-items",
         .control = "chkMakePopupMenu", .initial = true, .setting = "RolloverMenu", .loadRank = 40,
         .compose =
             [](O& o, const IControlValues& c) {
                 o.RolloverMenus = c.Check("chkNavLink") && c.Check("chkMakePopupMenu");
             }},
        // "Also write a website" and its folder as one value: the folder when checked, else empty.
        {FIELD(SiteFolder), .meaning = "folder for a static website written from the same run; empty: none",
         .control = "edtSiteFolder", .kind = K::Text, .initial = std::string(), .words = "chkSite",
         .setting = "SiteFolder", .storedAs = S::OptionalText, .loadRank = 41, .toField = T::Trimmed},
        {FIELD(MakeIndex), .meaning = "write a keyword index", .control = "chkMakeIndex", .initial = true,
         .setting = "CHM/MakeIndex", .storedAs = S::OptionalOff},
        // Not stored.
        {FIELD(DatabaseHandle), .meaning = "handle of the open database (from --db)", .internal = true, .run = true},
        {FIELD(StartPath), .meaning = "storage path of the start item (from --item or --whole)", .internal = true,
         .run = true},
        {FIELD(DatabaseFileName),
         .meaning = "database file name; the top item's caption when the whole database is exported", .run = true},
        {FIELD(ChmFileName), .meaning = "compiled help file (--chm)", .control = "edtCHMFileName", .kind = K::Text,
         .initial = std::string(), .words = "lblCHMFilename", .toField = T::Trimmed, .run = true},
        {FIELD(NavPaneFlags), .meaning = "window property bits of the help window",
         .compose = [](O& o, const IControlValues& c) { o.NavPaneFlags = NavPaneFlags(c); }},
    };
    return rows;
}

#undef FIELD

// The rows that are fields, in the order TConvertOptions declares them.
const std::vector<const TOptionRow*>& FieldRows() {
    static const std::vector<const TOptionRow*> fields = [] {
        std::vector<std::pair<std::ptrdiff_t, const TOptionRow*>> placed;
        const O probe{O::TNoDefaults{}};
        for (const auto& r : Rows()) {
            if (!r.field) continue;
            const std::ptrdiff_t offset = std::visit(
                [&](auto member) -> std::ptrdiff_t {
                    if constexpr (std::is_same_v<decltype(member), std::monostate>)
                        return -1;
                    else
                        return reinterpret_cast<const char*>(&(probe.*member)) - reinterpret_cast<const char*>(&probe);
                },
                r.member);
            placed.emplace_back(offset, &r);
        }
        std::sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<const TOptionRow*> ordered;
        for (const auto& p : placed) ordered.push_back(p.second);
        return ordered;
    }();
    return fields;
}

std::vector<const TOptionRow*> LoadOrder() {
    std::vector<const TOptionRow*> order;
    for (const auto& r : Rows())
        if (r.setting) order.push_back(&r);
    // Ranked rows first by rank; unranked ones keep their row order after them.
    std::stable_sort(order.begin(), order.end(), [](const TOptionRow* a, const TOptionRow* b) {
        const int ra = a->loadRank > 0 ? a->loadRank : INT_MAX, rb = b->loadRank > 0 ? b->loadRank : INT_MAX;
        return ra < rb;
    });
    return order;
}

std::vector<TControlDecl> BuildControlTable() {
    std::vector<TControlDecl> table;
    for (const auto& r : Rows()) {
        if (!r.control) continue;
        auto it = std::find_if(table.begin(), table.end(),
                               [&](const TControlDecl& d) { return r.control == std::string(d.name); });
        if (it == table.end()) {
            TControlValue design = r.initial;
            if (r.kind == K::Font) design = TFontValue{};
            if (r.kind == K::CheckList) design = false;
            table.push_back({r.control, r.kind, design, 0});
            it = table.end() - 1;
        }
        if (r.kind == K::Font) {
            auto& font = std::get<TFontValue>(it->design);
            const auto& part = std::get<TFontValue>(r.initial);
            if (r.toField == T::FontName) font.name = part.name;
            if (r.toField == T::FontSize) font.size = part.size;
            if (r.toField == T::FontColor) font.color = part.color;
        }
        if (r.kind == K::CheckList) {
            if (r.item == 0) it->design = r.initial;
            it->items = std::max(it->items, r.storedAs == S::ToolbarMask ? kWinBtnItems : r.item + 1);
        }
    }
    return table;
}

// --- Helpers ------------------------------------------------------------------------------

bool FolderExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(FsPath(path), ec);
}

std::uint32_t ReadColor(const std::string& text, const pugi::xml_node& font) {
    if (auto named = IdentToColor(text)) return *named;
    if (auto number = ParseColorNumber(text)) return *number;
    throw Error("'" + text + "' is not a valid colour value (" + NodePath(font) + "/@Color)");
}

void Load(const TOptionRow& s, pugi::xml_node config, IControlValues& c) {
    const std::string path = s.setting;
    auto readBool = [&] {
        pugi::xml_node e = SettingElement(config, path);
        return TextToBool(ElementText(e), NodePath(e));
    };
    auto readInt = [&] {
        pugi::xml_node e = SettingElement(config, path);
        return TextToInt(ElementText(e), NodePath(e));
    };
    switch (s.storedAs) {
        case S::Text: c.Set(s.control, s.item, ElementText(SettingElement(config, path))); break;
        case S::Bool: c.Set(s.control, s.item, readBool()); break;
        case S::Int: c.Set(s.control, s.item, readInt()); break;
        case S::IntText: c.Set(s.control, s.item, IntToText(readInt())); break;
        case S::Lines: {
            TStringList lines;
            lines.SetText(ElementText(SettingElement(config, path)));
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
            const pugi::xml_node element = SettingElement(config, path.substr(0, path.find("/@")));
            const std::string text = SettingAttribute(config, path).value();
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
            pugi::xml_node e = FindSetting(config, path);
            c.Set(s.control, s.item, e ? ElementText(e) : std::string());
            break;
        }
        case S::OptionalOff: {
            pugi::xml_node e = FindSetting(config, path);
            c.Set(s.control, s.item, e ? TextToBool(ElementText(e), NodePath(e)) : true);
            break;
        }
    }
}

void Save(const TOptionRow& s, pugi::xml_node config, const IControlValues& c) {
    const std::string path = s.setting;
    auto write = [&](const std::string& text) { SetElementText(SettingElement(config, path), text); };
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
            pugi::xml_attribute attribute = SettingAttribute(config, path);
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
                if (pugi::xml_node e = FindSetting(config, path)) {
                    RemoveDescendants(e);
                    e.parent().remove_child(e);
                }
            } else {
                write(s.storedAs == S::OptionalText ? c.Text(s.control) : BoolToText(false));
            }
            break;
        }
    }
}

const TOptionRow* FindOption(const std::string& name) {
    for (const TOptionRow* e : FieldRows())
        if (EqualsNoCase(e->field, name)) return e;
    return nullptr;
}

std::string SettableNames() {
    std::string names;
    for (const TOptionRow* e : FieldRows())
        if (!e->internal) names += (names.empty() ? "" : ", ") + std::string(e->field);
    return names;
}

const TOptionRow& Find(const std::string& name) {
    if (const TOptionRow* e = FindOption(name)) return *e;
    throw Error("Unknown option field \"" + name + "\"; the fields are: " + SettableNames());
}

const char* TypeName(const TOptionMember& m) {
    switch (m.index()) {
        case 1: return "text";
        case 2: return "flag";
        case 3: return "integer";
        case 4: return "colour";
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
    const auto n = ParseDecimalOrHex(v);
    if (!n || *n < lo || *n > hi)
        throw Error("Option " + name + " takes a number from " + std::to_string(lo) + " to " + std::to_string(hi) +
                    ", not \"" + v + "\"");
    return *n;
}

// The field's value from its control.
void FieldFromControl(const TOptionRow& e, O& o, const IControlValues& c) {
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
            if constexpr (std::is_same_v<decltype(member), std::monostate>) {
                return;
            } else {
                using F = std::remove_cvref_t<decltype(o.*member)>;
                if constexpr (std::is_same_v<F, std::string>)
                    o.*member = std::get<std::string>(value);
                else if constexpr (std::is_same_v<F, bool>)
                    o.*member = std::get<bool>(value);
                else
                    o.*member = static_cast<F>(std::get<long long>(value));
            }
        },
        e.member);
}

}  // namespace

// --- Controls ---------------------------------------------------------------------------

const std::vector<TOptionRow>& OptionRows() { return Rows(); }

const std::vector<TControlDecl>& ControlTable() {
    static const std::vector<TControlDecl> table = BuildControlTable();
    return table;
}

const TControlDecl* FindControl(const std::string& name) {
    for (const auto& c : ControlTable())
        if (name == c.name) return &c;
    return nullptr;
}

TControlValue ControlDefault(const std::string& name, int item) {
    const TControlDecl* decl = FindControl(name);
    if (!decl) throw Error("No control \"" + name + "\"");
    if (decl->kind != K::CheckList) return decl->design;
    for (const auto& r : Rows()) {
        if (!r.control || name != r.control) continue;
        if (r.storedAs == S::ToolbarMask && item >= 1 && item <= 14)
            return (std::get<std::int32_t>(r.initial) & kToolbarButtonBits[item - 1]) != 0;
        if (r.item == item) return r.initial;
    }
    return false;
}

bool IControlValues::Check(const std::string& control, int item) const { return std::get<bool>(Get(control, item)); }
std::int32_t IControlValues::Choice(const std::string& control) const { return std::get<std::int32_t>(Get(control)); }
std::string IControlValues::Text(const std::string& control) const { return std::get<std::string>(Get(control)); }
std::vector<std::string> IControlValues::Entries(const std::string& control) const {
    return std::get<std::vector<std::string>>(Get(control));
}
TFontValue IControlValues::Font(const std::string& control) const { return std::get<TFontValue>(Get(control)); }

TControlStore::TControlStore() {
    for (const auto& c : ControlTable()) {
        if (c.kind == K::CheckList) {
            auto& items = items_[c.name];
            for (int i = 0; i < c.items; ++i) items.push_back(std::get<bool>(ControlDefault(c.name, i)));
        } else {
            values_[c.name] = c.design;
        }
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
    std::string storePath = SettingText(root.Config(), "StorePath");
    if (FolderExists(storePath))
        controls.SetText("edtRootPath", storePath);
    else
        controls.SetText("edtRootPath", env.documentsFolder + "My Quillbook Files/");
}

bool LoadSettingsIntoControls(TXMLQuillbookType root, IControlValues& controls, const TSettingsEnvironment& env) {
    if (!SettingsSaved(root)) {
        // A language's item texts may have rebuilt the check lists without their marks.
        for (const auto& s : Rows()) {
            if (s.localeWhenNew && !env.defaultCHMLanguage.empty())
                controls.Set(s.control, s.item, env.defaultCHMLanguage);
            else if (s.kind == K::CheckList && s.storedAs == S::ToolbarMask)
                ToolbarFlagsToList(controls, std::get<std::int32_t>(s.initial));
            else if (s.kind == K::CheckList && s.setting && std::get<bool>(s.initial))
                controls.Set(s.control, s.item, s.initial);
        }
        return false;
    }
    const pugi::xml_node config = root.Config();
    // <CHM> is looked up before the first value is read, so a file missing it gets it in that place.
    GetOrAddChild(config, "CHM");
    for (const TOptionRow* s : LoadOrder()) Load(*s, config, controls);
    return true;
}

void SaveControlsToSettings(TXMLQuillbookType root, const IControlValues& controls) {
    const pugi::xml_node config = root.Config();
    for (const auto& s : Rows())
        if (s.setting) Save(s, config, controls);
}

void RestoreCheckListsFromSettings(TXMLQuillbookType root, IControlValues& controls) {
    if (!SettingsSaved(root)) return;
    const pugi::xml_node config = root.Config();
    for (const TOptionRow* s : LoadOrder())
        if (s->kind == K::CheckList) Load(*s, config, controls);
}

// --- Options ---------------------------------------------------------------------------------

TConvertOptions::TConvertOptions() {
    static const TConvertOptions defaults = [] {
        TConvertOptions o{TNoDefaults{}};
        BuildOptions(TControlStore(), o, TFieldSet::Settings);
        return o;
    }();
    *this = defaults;
}

void BuildOptions(const IControlValues& controls, TConvertOptions& options, TFieldSet fields) {
    // Built aside, so a value that does not convert leaves the options as they were.
    O o = options;
    for (const TOptionRow* e : FieldRows()) {
        if (fields == TFieldSet::Settings && e->run) continue;
        if (e->compose)
            e->compose(o, controls);
        else if (e->control)
            FieldFromControl(*e, o, controls);
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
    for (const TOptionRow* e : FieldRows()) names.push_back(e->field);
    return names;
}

namespace {

// Where --settings reads a field: its own row's element, unless the caller gives it.
std::string StoredPlace(const TOptionRow& e) { return e.setting && !e.run ? e.setting : ""; }

}  // namespace

std::vector<OptionFieldInfo> OptionFieldTable(const TConvertOptions& defaults) {
    std::vector<OptionFieldInfo> table;
    for (const TOptionRow* e : FieldRows())
        table.push_back({e->field, TypeName(e->member), GetOptionField(defaults, e->field), e->meaning, !e->internal,
                         !e->run && (e->control || e->compose), e->control ? e->control : "", StoredPlace(*e)});
    return table;
}

void SetUserOptionField(TConvertOptions& o, const std::string& name, const std::string& value) {
    const TOptionRow* e = FindOption(name);
    if (e && e->internal)
        throw Error("Option " + std::string(e->field) + " cannot be set: it is the " + std::string(e->meaning));
    SetOptionField(o, name, value);
}

void SetOptionField(TConvertOptions& o, const std::string& name, const std::string& value) {
    std::visit(
        [&](auto member) {
            if constexpr (std::is_same_v<decltype(member), std::monostate>) {
                return;
            } else {
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
                        throw Error("Option " + name + " takes a colour (clRed, $000000FF or a number), not \"" +
                                    value + "\"");
                    }
                } else {
                    o.*member = static_cast<std::int32_t>(ParseNumber(name, value, INT32_MIN, INT32_MAX));
                }
            }
        },
        Find(name).member);
}

std::string GetOptionField(const TConvertOptions& o, const std::string& name) {
    return std::visit(
        [&](auto member) -> std::string {
            if constexpr (std::is_same_v<decltype(member), std::monostate>) {
                return "";
            } else {
                using F = std::remove_cvref_t<decltype(o.*member)>;
                if constexpr (std::is_same_v<F, std::string>)
                    return o.*member;
                else if constexpr (std::is_same_v<F, bool>)
                    return o.*member ? "true" : "false";
                else if constexpr (std::is_same_v<F, std::uint32_t>)
                    return ColorToString(o.*member);
                else
                    return std::to_string(static_cast<long long>(o.*member));
            }
        },
        Find(name).member);
}

}  // namespace qb
