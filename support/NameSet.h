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
    // Slot holding name, or the empty slot where it would go.
    std::size_t Probe(std::string_view name, std::uint64_t hash) const;
    void Grow();

    std::string names_;                  // every name, lower-cased, one after another
    std::vector<std::uint64_t> starts_;  // where each name begins in names_
    std::vector<std::uint32_t> slots_;   // name number + 1, 0 for an empty slot
};

}  // namespace qb
