#pragma once
#include "Platform.h"

namespace qb {

// Message boxes, the folder picker and "open" through Qt.
PlatformServices QtPlatformServices();
// Maps the Windows font names the wizard and the language files use to fonts
// Debian has (metric-compatible where one exists). Call once a QApplication exists.
void InstallFontSubstitutes();

}  // namespace qb
