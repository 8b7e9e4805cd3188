#include "settings/StartUp.h"

#include "Utils/Platform.h"
#include "settings/Language.h"
#include "settings/Settings.h"

namespace qb {

void StartUpSettingsAndLanguage(const std::string& modulePath) {
    try {
        StartUpLanguage(modulePath);
        SelectLanguage(StartUpSettings(modulePath));
        ApplyLanguageLocale();
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

void ShutDownSettingsAndLanguage() {
    RestoreThreadLocale();
    ReleaseLanguages();
    ReleaseSettings();
}

}  // namespace qb
