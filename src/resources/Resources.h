#pragma once
#include <cstddef>

namespace qb {

// One resource embedded into the module at build time.
struct EmbeddedResource {
    const char* name;
    const char* type;
    const unsigned char* data;
    std::size_t size;
};

// Table of all embedded resources, closed by an entry whose name is null.
extern const EmbeddedResource kResources[];

}  // namespace qb
