#pragma once
// Values the wizard shows when nothing else is known, shared with the command line.
#include <string>
#include <vector>

namespace qb {

// "0x<lcid lower-case hex> <display name>" of a locale (ICU name such as "en_US").
std::string ChmLanguageText(const std::string& icuLocale);
// ChmLanguageText of the user's default locale.
std::string DefaultChmLanguage();
// Every locale that has a Windows identifier, as ChmLanguageText entries sorted by name.
std::vector<std::string> AvailableChmLanguages();
// Start name: the current item's file-safe caption, or for the whole database
// the database file name without extension.
std::string StartName(bool wholeDatabase, const std::string& itemCaption, const std::string& databaseFullPath);

}  // namespace qb
