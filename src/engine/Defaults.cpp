#include "Defaults.h"

#include <unicode/uloc.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "Engine.h"
#include "Utils.h"

namespace qb {

std::string ChmLanguageText(const std::string& icuLocale) {
    const std::uint32_t lcid = uloc_getLCID(icuLocale.c_str());
    UErrorCode status = U_ZERO_ERROR;
    UChar wide[256] = {};
    const int32_t n = uloc_getDisplayName(icuLocale.c_str(), "en", wide, 255, &status);
    std::string name;
    if (U_SUCCESS(status)) {
        for (int32_t i = 0; i < n; ++i) {
            const UChar c = wide[i];
            // Display names in English are ASCII but for a few letters; encode as UTF-8.
            if (c < 0x80) {
                name += static_cast<char>(c);
            } else if (c < 0x800) {
                name += static_cast<char>(0xC0 | (c >> 6));
                name += static_cast<char>(0x80 | (c & 0x3F));
            } else {
                name += static_cast<char>(0xE0 | (c >> 12));
                name += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                name += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%x ", lcid);
    return buf + name;
}

std::string DefaultChmLanguage() {
    const char* loc = uloc_getDefault();
    std::string l = loc ? loc : "en_US";
    if (l.empty() || l == "en_US_POSIX" || l == "c" || uloc_getLCID(l.c_str()) == 0) l = "en_US";
    return ChmLanguageText(l);
}

std::vector<std::string> AvailableChmLanguages() {
    std::set<std::string> seen;
    std::vector<std::string> out;
    const int32_t count = uloc_countAvailable();
    for (int32_t i = 0; i < count; ++i) {
        const char* loc = uloc_getAvailable(i);
        if (!loc || uloc_getLCID(loc) == 0) continue;
        std::string text = ChmLanguageText(loc);
        if (seen.insert(text).second) out.push_back(text);
    }
    std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
        return TextAfter(a, " ") < TextAfter(b, " ");
    });
    return out;
}

std::string StartName(bool wholeDatabase, const std::string& itemCaption, const std::string& databaseFullPath) {
    if (wholeDatabase) return ChangeFileExt(ExtractFileName(databaseFullPath), "");
    return FileSafeCaption(itemCaption);
}

}  // namespace qb
