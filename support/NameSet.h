#pragma once
// A set of names (file names, links) compared without regard to ASCII letter
// case, kept compact: a run names every page it writes, and 100,000 pages in
// node-based sets cost more memory than the pages' text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// Hash of text with ASCII letters folded to lower case.
std::uint64_t HashNoCase(std::string_view text);

// An open-addressed table of entry numbers, kept at most half full; its owner
// keeps the entries and says how each hashes and compares.
class SlotTable {
public:
    // Slot of the entry that same(entry) accepts, or the free slot where it would go.
    template <class Same>
    std::size_t Probe(std::uint64_t hash, Same same) const {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t s = hash & mask;; s = (s + 1) & mask)
            if (slots_[s] == 0 || same(std::size_t{slots_[s]} - 1)) return s;
    }
    bool IsFree(std::size_t slot) const { return slots_[slot] == 0; }
    std::size_t EntryAt(std::size_t slot) const { return std::size_t{slots_[slot]} - 1; }
    void Put(std::size_t slot, std::size_t entry) { slots_[slot] = static_cast<std::uint32_t>(entry + 1); }
    // One more entry than count would fill it past half.
    bool NeedsRoom(std::size_t count) const { return (count + 1) * 2 > slots_.size(); }
    // Emptied and made twice as large (64 slots at first); the owner puts its entries back.
    void Enlarge() { slots_.assign(slots_.empty() ? 64 : slots_.size() * 2, 0); }
    bool Empty() const { return slots_.empty(); }
    void Clear() { slots_ = {}; }

private:
    std::vector<std::uint32_t> slots_;  // entry number + 1, 0 for a free slot
};

class NameSet {
public:
    // Adds name; false when an equal name (ASCII case ignored) is already there.
    bool Insert(std::string_view name);
    bool Contains(std::string_view name) const;
    std::size_t Size() const { return starts_.size(); }
    bool Empty() const { return starts_.empty(); }
    void Clear();

private:
    std::string_view Name(std::size_t i) const;
    // Slot holding name, or the free slot where it would go.
    std::size_t Probe(std::string_view name) const;
    void Grow();

    std::string names_;                  // every name, lower-cased, one after another
    std::vector<std::uint64_t> starts_;  // where each name begins in names_
    SlotTable table_;
};

}  // namespace qb
