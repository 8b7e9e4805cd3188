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

std::size_t NameSet::Probe(std::string_view name) const {
    return table_.Probe(HashNoCase(name), [&](std::size_t i) { return EqualsNoCase(Name(i), name); });
}

void NameSet::Grow() {
    table_.Enlarge();
    // The names are distinct: each goes to the first free slot.
    for (std::size_t i = 0; i < starts_.size(); ++i)
        table_.Put(table_.Probe(HashNoCase(Name(i)), [](std::size_t) { return false; }), i);
}

bool NameSet::Insert(std::string_view name) {
    if (table_.NeedsRoom(starts_.size())) Grow();
    const std::size_t s = Probe(name);
    if (!table_.IsFree(s)) return false;
    starts_.push_back(names_.size());
    for (char c : name) names_ += Fold(c);
    table_.Put(s, starts_.size() - 1);
    return true;
}

bool NameSet::Contains(std::string_view name) const { return !table_.Empty() && !table_.IsFree(Probe(name)); }

void NameSet::Clear() {
    names_ = std::string();
    starts_ = {};
    table_.Clear();
}

}  // namespace qb
