#pragma once
#include <cstddef>

namespace qb {

// Blocks of up to kSmallBlockMax bytes from per-size free lists, larger ones
// from malloc; any thread may free what another allocated. Memory of small
// blocks is kept for reuse, never returned. Where the system heap takes a lock
// per call (Windows, and Wine's heap most of all) this is several times faster.
constexpr std::size_t kSmallBlockMax = 512;

// nullptr when out of memory; size 0 gives a valid block.
void* AllocateBlock(std::size_t size) noexcept;
// p from AllocateBlock or nullptr.
void FreeBlock(void* p) noexcept;

}  // namespace qb
