#include <dlfcn.h>
#include <stdlib.h>

#include "support/Os.h"

namespace qb::os {

void* LoadedLibrarySymbol(const std::string& base, const char* name) {
    // A library loaded as a dependency of a locally loaded module is not in the
    // global scope, so RTLD_DEFAULT would miss it; RTLD_NOLOAD finds it by name.
    void* library = ::dlopen(LibraryFileName(base).c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!library) return nullptr;
    void* symbol = ::dlsym(library, name);
    // Only drops the count taken above: whoever loaded it keeps it loaded.
    ::dlclose(library);
    return symbol;
}

}  // namespace qb::os

namespace qb::os {

bool SetEnvironment(const char* name, const char* value) {
    return (value ? ::setenv(name, value, 1) : ::unsetenv(name)) == 0;
}

std::optional<std::string> Environment(const char* name) {
    const char* value = ::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

}  // namespace qb::os
