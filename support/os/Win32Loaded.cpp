#include <windows.h>

#include "support/Os.h"

namespace qb::os {

void* LoadedLibrarySymbol(const std::string& base, const char* name) {
    // Found by file name among the modules already loaded; never loads one.
    HMODULE module = ::GetModuleHandleW(ToWide(LibraryFileName(base)).c_str());
    return module ? reinterpret_cast<void*>(::GetProcAddress(module, name)) : nullptr;
}

}  // namespace qb::os
