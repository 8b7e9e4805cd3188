#pragma once
#include <string>

namespace qb {

// The settings and language part of the plug-in's start-up, run before every
// export but the handshake: reads the language file anew, loads or creates the
// settings once, selects the settings' UI language and takes its locale.
// Shows errors itself; raises nothing.
void StartUpSettingsAndLanguage(const std::string& modulePath);

// Library unload: locale restored, documents released.
void ShutDownSettingsAndLanguage();

}  // namespace qb
