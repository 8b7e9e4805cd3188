#include "engine/WizardRules.h"

#include <cctype>
#include <climits>

#include "Utils/Utils.h"
#include "dvo/Utf8.h"
#include "engine/Engine.h"
#include "support/Error.h"
#include "support/Numbers.h"
#include "support/Text.h"

namespace qb {

std::string CurrentItemCaption(std::int32_t database, const std::string& itemPath) {
    if (database == 0 || itemPath.empty()) return "";
    std::string caption = dvo::Hint(database, itemPath);
    if (caption.empty()) {
        // No caption: the item's storage name, as the export names its page.
        std::string p = itemPath;
        while (!p.empty() && p.back() == '\\') p.pop_back();
        const std::size_t slash = p.rfind('\\');
        caption = p.substr(slash == std::string::npos ? 0 : slash + 1);
    }
    return caption;
}

std::string RangeItemText(const std::string& caption, const std::string& host) {
    // Some languages end the caption with ": ", some with ":".
    if (host.empty() || caption.empty() || std::isspace(static_cast<unsigned char>(caption.back()))) return caption + host;
    return caption + ' ' + host;
}

std::string RangeName(int range, const std::string& itemCaption, const std::string& databaseFullPath) {
    if (range == 0) return FileSafeCaption(itemCaption);
    return ChangeFileExt(ExtractFileName(databaseFullPath), "");
}

std::int32_t WizardStrToInt(const std::string& text) {
    const auto value = ParseDecimalOrHex(Trim(text));
    if (!value || *value < INT32_MIN || *value > INT32_MAX) throw Error("'" + text + "' is not a valid integer value");
    return static_cast<std::int32_t>(*value);
}

void RangeIntoOptions(const TStringList& hostValues, int range, TConvertOptions& options) {
    if (range == 0)
        options.StartPath = hostValues.Value("TreeView.CurNode_DvoPath");
    else if (range == 1)
        options.StartPath = hostValues.Value("Database.RootLocation");
    options.DatabaseFileName = ExtractFileName(hostValues.Value("Database.FullPath"));
}

}  // namespace qb
