#include "Utils/Platform.h"

#include <iostream>

#include "support/Os.h"

namespace qb {
namespace {

PlatformServices& Current() {
    static PlatformServices services = DefaultPlatformServices();
    return services;
}

}  // namespace

PlatformServices DefaultPlatformServices() {
    PlatformServices s;
    s.showInfo = [](const std::string& text) { std::cerr << "Info: " << text << "\n"; };
    s.askConfirm = [](const std::string& text) {
        std::cerr << "Confirm: " << text << " -> No\n";
        return false;
    };
    s.showError = [](const std::string& text) { std::cerr << "Error: " << text << "\n"; };
    s.shellOpen = [](const std::string& target) { std::cerr << "Open: " << target << "\n"; };
    s.browseForFolder = [](void*, std::string&, const std::string&, int, const std::string&) { return false; };
    return s;
}

PlatformServices SetPlatformServices(PlatformServices services) {
    const PlatformServices defaults = DefaultPlatformServices();
    if (!services.showInfo) services.showInfo = defaults.showInfo;
    if (!services.askConfirm) services.askConfirm = defaults.askConfirm;
    if (!services.showError) services.showError = defaults.showError;
    if (!services.shellOpen) services.shellOpen = defaults.shellOpen;
    if (!services.browseForFolder) services.browseForFolder = defaults.browseForFolder;
    PlatformServices previous = Current();
    Current() = std::move(services);
    return previous;
}

void ShowInfo(const std::string& text) { Current().showInfo(text); }
bool AskConfirm(const std::string& text) { return Current().askConfirm(text); }
void ShowError(const std::string& text) { Current().showError(text); }
void ShellOpen(const std::string& target) { Current().shellOpen(target); }

bool BrowseForFolder(void* owner, std::string& path, const std::string& title, int flags, const std::string& root) {
    std::string chosen = path;
    // An empty choice would otherwise become "/".
    if (!Current().browseForFolder(owner, chosen, title, flags, root) || chosen.empty()) return false;
    if (chosen.back() != '/') chosen += '/';
    path = chosen;
    return true;
}

void ReturnFreedMemory() { os::ReturnFreedMemory(); }
void PreferSmallBlockHeap() { os::PreferSmallBlockHeap(); }

}  // namespace qb
