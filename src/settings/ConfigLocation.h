#pragma once
#include <string>

namespace qb {

// Where a per-user file named after the module (settings ".xml", language ".lng") is read and written.
struct TConfigFile {
    std::string readPath;   // the file to load, which may not exist
    std::string writePath;  // the file to save to
};

// Beside the module when its folder is writable. Otherwise the user's copy in
// $XDG_CONFIG_HOME/quillbook/ (default ~/.config/quillbook/) when there is one,
// else the file beside the module, and saving goes to the user's folder.
TConfigFile ConfigFileFor(const std::string& modulePath, const std::string& extension, bool moduleFolderWritable);
// The same, with the module folder tried for writing.
TConfigFile ConfigFileFor(const std::string& modulePath, const std::string& extension);

// $XDG_CONFIG_HOME/quillbook/, or ~/.config/quillbook/ when unset or relative.
std::string UserConfigFolder();
// True when a file can be created in folder (tried, not guessed from the mode bits: root may be refused too).
bool FolderWritable(const std::string& folder);
// Creates the file's folder when missing (saving into the user's folder the first time).
void MakeParentFolder(const std::string& file);

}  // namespace qb
