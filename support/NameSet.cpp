#include "support/NameSet.h"

#include "support/Text.h"

namespace qb {

namespace {

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::uint64_t HashNoCase(std::string_view text) {
    // FNV-1a over the folded bytes.
    std::uint64_t h = 14695981039346656037ull;
    for (char c : text) {
        h ^= static_cast<unsigned char>(Fold(c));
        h *= 1099511628211ull;
    }
    return h;
}

std::string_view NameSet::Name(std::size_t i) const {
    const std::size_t end = i + 1 < starts_.size() ? starts_[i + 1] : names_.size();
    return std::string_view(names_).substr(starts_[i], end - starts_[i]);
}

std::size_t NameSet::Probe(std::string_view name, std::uint64_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = hash & mask;; s = (s + 1) & mask) {
        const std::uint32_t entry = slots_[s];
        if (entry == 0 || EqualsNoCase(Name(entry - 1), name)) return s;
    }
}

void NameSet::Grow() {
    // Kept at most half full, so probes stay short.
    std::vector<std::uint32_t> slots(slots_.empty() ? 64 : slots_.size() * 2, 0);
    slots_.swap(slots);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = 0; i < starts_.size(); ++i) {
        std::size_t s = HashNoCase(Name(i)) & mask;
        while (slots_[s] != 0) s = (s + 1) & mask;
        slots_[s] = static_cast<std::uint32_t>(i + 1);
    }
}

bool NameSet::Insert(std::string_view name) {
    if ((starts_.size() + 1) * 2 > slots_.size()) Grow();
    const std::size_t s = Probe(name, HashNoCase(name));
    if (slots_[s] != 0) return false;
    starts_.push_back(names_.size());
    for (char c : name) names_ += Fold(c);
    slots_[s] = static_cast<std::uint32_t>(starts_.size());
    return true;
}

bool NameSet::Contains(std::string_view name) const {
    return !slots_.empty() && slots_[Probe(name, HashNoCase(name))] != 0;
}

void NameSet::Clear() {
    names_ = std::string();
    starts_ = {};
    slots_ = {};
}

}  // namespace qb
