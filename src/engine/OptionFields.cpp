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

const std::vector<std::pair<std::string, Field>>& Fields() {
    using O = TConvertOptions;
    static const std::vector<std::pair<std::string, Field>> fields = {
        {"DatabaseHandle", &O::DatabaseHandle},
        {"StartPath", &O::StartPath},
        {"DatabaseFileName", &O::DatabaseFileName},
        {"WholeDatabase", &O::WholeDatabase},
        {"RootPath", &O::RootPath},
        {"ConvertMethod", &O::ConvertMethod},
        {"KeepFolderTree", &O::KeepFolderTree},
        {"ChmFileName", &O::ChmFileName},
        {"ExportAttachments", &O::ExportAttachments},
        {"Encoding", &O::Encoding},
        {"DefaultPage", &O::DefaultPage},
        {"Header", &O::Header},
        {"Footer", &O::Footer},
        {"RemoveTempFiles", &O::RemoveTempFiles},
        {"FontName", &O::FontName},
        {"FontSize", &O::FontSize},
        {"FontColor", &O::FontColor},
        {"Overwrite", &O::Overwrite},
        {"TopNodeNotFolder", &O::TopNodeNotFolder},
        {"IgnoreEmptyItems", &O::IgnoreEmptyItems},
        {"ReadableFolderNames", &O::ReadableFolderNames},
        {"IncludeSubItems", &O::IncludeSubItems},
        {"ChmLanguage", &O::ChmLanguage},
        {"FullTextSearch", &O::FullTextSearch},
        {"WindowTitle", &O::WindowTitle},
        {"WindowRect", &O::WindowRect},
        {"WindowExStyle", &O::WindowExStyle},
        {"WindowButtons", &O::WindowButtons},
        {"NavPaneFlags", &O::NavPaneFlags},
        {"NavPaneWidth", &O::NavPaneWidth},
        {"NavPaneClosed", &O::NavPaneClosed},
        {"DefaultTab", &O::DefaultTab},
        {"UserButtonCaption", &O::UserButtonCaption},
        {"UserButtonUrl", &O::UserButtonUrl},
        {"MakeIndex", &O::MakeIndex},
        {"NavLinks", &O::NavLinks},
        {"ExtraFiles", &O::ExtraFiles},
        {"RolloverMenus", &O::RolloverMenus},
        {"SiteFolder", &O::SiteFolder},
    };
    return fields;
}

const Field& Find(const std::string& name) {
    for (const auto& [n, f] : Fields())
        if (SameTextAscii(n, name)) return f;
    throw Error("Unknown option field \"" + name + "\"");
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
    for (const auto& [n, f] : Fields()) names.push_back(n);
    return names;
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
