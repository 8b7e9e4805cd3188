#include "StartUp.h"

#include "Language.h"
#include "Platform.h"
#include "Settings.h"

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
