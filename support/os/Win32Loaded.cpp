#include <windows.h>

#include "support/Os.h"
#include "support/Utf.h"

namespace qb::os {

void* LoadedLibrarySymbol(const std::string& base, const char* name) {
    const std::u16string file = ToUtf16(LibraryFileName(base));
    HMODULE module = ::GetModuleHandleW(reinterpret_cast<LPCWSTR>(file.c_str()));
    return module ? reinterpret_cast<void*>(::GetProcAddress(module, name)) : nullptr;
}

}  // namespace qb::os
