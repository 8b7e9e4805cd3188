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
    // The C runtime keeps its own copy that _wgetenv reads; _wputenv_s updates it and the process's.
    return ::_wputenv_s(ToWide(name).c_str(), value ? ToWide(value).c_str() : L"") == 0;
}

std::optional<std::string> Environment(const char* name) {
    // The wide copy: the narrow one holds the ANSI code page, not UTF-8.
    const wchar_t* value = ::_wgetenv(ToWide(name).c_str());
    if (!value) return std::nullopt;
    return FromWide(value);
}

}  // namespace qb::os
