// Windows: the C++ allocation functions of each module of ours take small
// blocks from SmallBlocks. The system heap locks on every call, and a run
// makes hundreds of allocations per item; Wine's heap makes that its largest
// cost. Linked into every module, so a block may be freed in another one.
#include <new>

#include "support/SmallBlocks.h"

namespace {

void* NewBlock(std::size_t size) {
    for (;;) {
        if (void* p = qb::AllocateBlock(size)) return p;
        const std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

void* NewBlockOrNull(std::size_t size) noexcept {
    try {
        return NewBlock(size);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

void* operator new(std::size_t size) { return NewBlock(size); }
void* operator new[](std::size_t size) { return NewBlock(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return NewBlockOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return NewBlockOrNull(size); }
void operator delete(void* p) noexcept { qb::FreeBlock(p); }
void operator delete[](void* p) noexcept { qb::FreeBlock(p); }
void operator delete(void* p, std::size_t) noexcept { qb::FreeBlock(p); }
void operator delete[](void* p, std::size_t) noexcept { qb::FreeBlock(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { qb::FreeBlock(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { qb::FreeBlock(p); }
