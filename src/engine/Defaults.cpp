#include "engine/Defaults.h"

#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "Utils/Utils.h"
#include "engine/Engine.h"

namespace qb {

std::string ChmLanguageText(const std::string& icuLocale) {
    const std::uint32_t lcid = uloc_getLCID(icuLocale.c_str());
    UErrorCode status = U_ZERO_ERROR;
    UChar wide[256] = {};
    const int32_t n = uloc_getDisplayName(icuLocale.c_str(), "en", wide, 255, &status);
    std::string name;
    if (U_SUCCESS(status)) {
        char utf8[1024] = {};
        int32_t length = 0;
        u_strToUTF8(utf8, sizeof utf8 - 1, &length, wide, n, &status);
        if (U_SUCCESS(status)) name.assign(utf8, static_cast<std::size_t>(length));
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
    std::sort(out.begin(), out.end(),
              [](const std::string& a, const std::string& b) { return TextAfter(a, " ") < TextAfter(b, " "); });
    return out;
}

std::string StartName(bool wholeDatabase, const std::string& itemCaption, const std::string& databaseFullPath) {
    if (wholeDatabase) return ChangeFileExt(ExtractFileName(databaseFullPath), "");
    return FileSafeCaption(itemCaption);
}

}  // namespace qb
