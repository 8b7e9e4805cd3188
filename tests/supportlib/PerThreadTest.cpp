#include "support/PerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kMark = "a text long enough to live on the heap, not inside the string";

// Counts live objects, and destructions that found the object no longer whole:
// storage freed before its destructor ran.
struct Counted {
    static inline std::atomic<int> alive{0};
    static inline std::atomic<int> brokenAtDestruction{0};
    std::string text = kMark;
    std::vector<int> numbers = std::vector<int>(64, 7);
    Counted() { ++alive; }
    ~Counted() {
        if (text != kMark || numbers.size() != 64 || numbers[63] != 7) ++brokenAtDestruction;
        --alive;
    }
};

struct OtherTag {};

}  // namespace

TEST(PerThread, EachThreadHasItsOwnObjectDestroyedWholeWhenTheThreadEnds) {
    Counted& mine = qb::PerThread<Counted>();
    EXPECT_EQ(&mine, &qb::PerThread<Counted>()) << "the same object on every call of one thread";
    Counted& other = qb::PerThread<Counted, OtherTag>();
    EXPECT_NE(&mine, &other) << "another tag, another object";
    const int before = Counted::alive;

    // Threads that end one after the other and side by side, as runs on worker threads do.
    for (int round = 0; round < 20; ++round) {
        std::atomic<int> sameAsMain{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i)
            threads.emplace_back([&] {
                Counted& own = qb::PerThread<Counted>();
                if (&own == &mine) ++sameAsMain;
                own.numbers.push_back(1);
                own.numbers.pop_back();
                qb::PerThread<Counted, OtherTag>();
            });
        for (std::thread& t : threads) t.join();
        EXPECT_EQ(0, sameAsMain);
        EXPECT_EQ(before, Counted::alive) << "every thread's objects went with it";
    }
    EXPECT_EQ(0, Counted::brokenAtDestruction) << "a destructor ran on storage already freed";
    EXPECT_EQ(kMark, mine.text);
}
