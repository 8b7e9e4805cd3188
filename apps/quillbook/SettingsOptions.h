#pragma once
#include <string>

#include "Options.h"

namespace qbcli {

// Loads a wizard settings file the way the wizard does and fills the options
// the wizard would build from its controls. Range, database, output folder,
// help file name and title stay as the caller set them. Raises qb::Error when
// the file cannot be read or a value does not convert.
void ApplySettingsFile(const std::string& path, qb::TConvertOptions& options);

}  // namespace qbcli
