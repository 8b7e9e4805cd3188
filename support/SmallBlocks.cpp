#include "support/SmallBlocks.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace qb {

namespace {

constexpr std::size_t kAlign = 16;
// Before each block: its size class, or kLarge. Sixteen bytes keep the block
// aligned as malloc's own.
constexpr std::size_t kHeader = 16;
constexpr std::size_t kClasses = kSmallBlockMax / kAlign;
constexpr std::uint32_t kLarge = 0xFFFFFFFFu;
// Small blocks are carved from chunks this large, one size class per chunk.
constexpr std::size_t kChunk = 256 * 1024;

struct FreeNode {
    FreeNode* next;
};

struct SizeClass {
    std::atomic_flag busy;
    FreeNode* free = nullptr;
    char* next = nullptr;  // what is left of the last chunk
    char* end = nullptr;

    void Lock() noexcept {
        while (busy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    }
    void Unlock() noexcept { busy.clear(std::memory_order_release); }
};

// Ready before any constructor runs: allocations start during static initialisation.
constinit SizeClass gClasses[kClasses];

void SetClass(char* raw, std::uint32_t index) noexcept { std::memcpy(raw, &index, sizeof index); }

std::uint32_t ClassOf(const char* raw) noexcept {
    std::uint32_t index;
    std::memcpy(&index, raw, sizeof index);
    return index;
}

}  // namespace

void* AllocateBlock(std::size_t size) noexcept {
    if (size > kSmallBlockMax) {
        if (size > SIZE_MAX - kHeader) return nullptr;
        auto* raw = static_cast<char*>(std::malloc(size + kHeader));
        if (!raw) return nullptr;
        SetClass(raw, kLarge);
        return raw + kHeader;
    }
    const std::size_t index = size == 0 ? 0 : (size - 1) / kAlign;
    const std::size_t block = kHeader + (index + 1) * kAlign;
    SizeClass& c = gClasses[index];
    char* raw = nullptr;
    c.Lock();
    if (c.free) {
        raw = reinterpret_cast<char*>(c.free);
        c.free = c.free->next;
    } else {
        if (!c.next || static_cast<std::size_t>(c.end - c.next) < block) {
            auto* chunk = static_cast<char*>(std::malloc(kChunk));
            if (!chunk) {
                c.Unlock();
                return nullptr;
            }
            c.next = chunk;
            c.end = chunk + kChunk;
        }
        raw = c.next;
        c.next += block;
    }
    c.Unlock();
    SetClass(raw, static_cast<std::uint32_t>(index));
    return raw + kHeader;
}

void FreeBlock(void* p) noexcept {
    if (!p) return;
    char* raw = static_cast<char*>(p) - kHeader;
    const std::uint32_t index = ClassOf(raw);
    if (index == kLarge) {
        std::free(raw);
        return;
    }
    SizeClass& c = gClasses[index];
    auto* node = reinterpret_cast<FreeNode*>(raw);
    c.Lock();
    node->next = c.free;
    c.free = node;
    c.Unlock();
}

}  // namespace qb
