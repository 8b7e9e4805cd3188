#include "Utils/StringList.h"
#include "Utils/Utils.h"
#include "resources/Resources.h"
#include "support/Os.h"

namespace qb {

std::string LoadTextResource(const std::string& name, const std::string& type) {
    for (const EmbeddedResource* r = kResources; r->name; ++r)
        if (EqualsNoCase(r->name, name) && EqualsNoCase(r->type, type))
            return std::string(reinterpret_cast<const char*>(r->data), r->size);
    return "";
}

std::string ModuleFileName() { return NativePath(os::ModulePath(reinterpret_cast<const void*>(&ModuleFileName))); }

std::string ModuleDirectory() {
    std::string file = ModuleFileName();
    std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string("./") : file.substr(0, slash + 1);
}

std::string GetSpecialFolder(int id) {
    if (id != 5) return "";
    return IncludeTrailingDelimiter(NativePath(os::DocumentsFolder()));
}

}  // namespace qb
