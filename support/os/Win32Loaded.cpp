#include <stdlib.h>
#include <windows.h>

#include "support/Os.h"

namespace qb::os {

void* LoadedLibrarySymbol(const std::string& base, const char* name) {
    // Found by file name among the modules already loaded; never loads one.
    HMODULE module = ::GetModuleHandleW(ToWide(LibraryFileName(base)).c_str());
    return module ? reinterpret_cast<void*>(::GetProcAddress(module, name)) : nullptr;
}

}  // namespace qb::os

namespace qb::os {

bool SetEnvironment(const char* name, const char* value) {
    // The C runtime keeps its own copy that getenv reads; _putenv_s updates both.
    return ::_putenv_s(name, value ? value : "") == 0;
}

}  // namespace qb::os
