#pragma once
#include <functional>
#include <string>

namespace qb {

// Message boxes and shell services, replaceable as a whole: the default prints
// to stderr and answers No; the wizard installs Qt versions; tests record calls.
struct PlatformServices {
    std::function<void(const std::string& text)> showInfo;
    std::function<bool(const std::string& text)> askConfirm;
    std::function<void(const std::string& text)> showError;
    std::function<void(const std::string& target)> shellOpen;
    // owner is opaque (a QWidget* in the wizard); path is in/out.
    std::function<bool(void* owner, std::string& path, const std::string& title, int flags, const std::string& root)>
        browseForFolder;
};

// Installs services; returns the previous ones. Missing members fall back to the defaults.
PlatformServices SetPlatformServices(PlatformServices services);
PlatformServices DefaultPlatformServices();

void ShowInfo(const std::string& text);
bool AskConfirm(const std::string& text);
void ShowError(const std::string& text);
void ShellOpen(const std::string& target);
bool BrowseForFolder(void* owner, std::string& path, const std::string& title, int flags, const std::string& root = "");
// Hands memory the process has freed back to the system, so that the next
// stage's peak does not stack on the last one's.
void ReturnFreedMemory();
// Asks the system for its heap for many small blocks: a run allocates millions.
void PreferSmallBlockHeap();

}  // namespace qb
