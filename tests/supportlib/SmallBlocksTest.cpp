#include "support/SmallBlocks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Block {
    unsigned char* p;
    std::size_t size;
    unsigned char mark;
};

bool Intact(const Block& b) {
    for (std::size_t i = 0; i < b.size; ++i)
        if (b.p[i] != b.mark) return false;
    return true;
}

}  // namespace

// Blocks of every size, small and large, handed between threads and freed
// by another one: none overlaps another, none loses its bytes, and each is
// aligned as malloc's are.
TEST(SmallBlocks, BlocksPassedBetweenThreadsKeepTheirBytesAndAlignment) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 3000;
    std::mutex mutex;
    std::vector<Block> handed;
    std::atomic<int> damaged{0}, misaligned{0}, missing{0};
    auto work = [&](int seed) {
        std::uint32_t state = 2463534242u + static_cast<std::uint32_t>(seed);
        auto next = [&] {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            return state;
        };
        std::vector<Block> own;
        for (int round = 0; round < kRounds; ++round) {
            const std::size_t size = next() % 3 == 0 ? next() % 3000 : next() % (qb::kSmallBlockMax + 1);
            auto* p = static_cast<unsigned char*>(qb::AllocateBlock(size));
            if (!p) {
                ++missing;
                continue;
            }
            // As malloc aligns: 16 bytes on 64-bit systems, 8 on 32-bit Windows.
            if (reinterpret_cast<std::uintptr_t>(p) % (2 * sizeof(void*)) != 0) ++misaligned;
            const auto mark = static_cast<unsigned char>(next());
            std::memset(p, mark, size);
            own.push_back({p, size, mark});
            if (next() % 2 == 0) {
                // One of ours to another thread, one of another's freed here.
                const std::lock_guard<std::mutex> lock(mutex);
                handed.push_back(own.back());
                own.pop_back();
                if (handed.size() > 1) {
                    const Block b = handed.front();
                    handed.erase(handed.begin());
                    if (!Intact(b)) ++damaged;
                    qb::FreeBlock(b.p);
                }
            } else if (own.size() > 50) {
                const Block b = own[next() % own.size()];
                own.erase(std::find_if(own.begin(), own.end(), [&](const Block& o) { return o.p == b.p; }));
                if (!Intact(b)) ++damaged;
                qb::FreeBlock(b.p);
            }
        }
        for (const Block& b : own) {
            if (!Intact(b)) ++damaged;
            qb::FreeBlock(b.p);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(work, t);
    for (auto& t : threads) t.join();
    for (const Block& b : handed) {
        if (!Intact(b)) ++damaged;
        qb::FreeBlock(b.p);
    }
    EXPECT_EQ(0, damaged.load());
    EXPECT_EQ(0, misaligned.load());
    EXPECT_EQ(0, missing.load());
    qb::FreeBlock(nullptr);
    void* empty = qb::AllocateBlock(0);
    EXPECT_NE(nullptr, empty);
    qb::FreeBlock(empty);
}
