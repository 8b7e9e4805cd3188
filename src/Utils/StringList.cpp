#include "Utils/StringList.h"

#include "Utils/Utils.h"

namespace qb {

int TStringList::Add(const std::string& s) {
    items_.push_back(s);
    return Count() - 1;
}

void TStringList::Insert(int index, const std::string& s) {
    if (index < 0 || index > Count()) index = Count();
    items_.insert(items_.begin() + index, s);
    if (static_cast<std::size_t>(index) < indexed_) InvalidateIndex();
}

void TStringList::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    items_.erase(items_.begin() + index);
    if (static_cast<std::size_t>(index) < indexed_) InvalidateIndex();
}

std::size_t TStringList::Probe(const std::string& s) const {
    return slots_.Probe(HashNoCase(s), [&](std::size_t i) { return EqualsNoCase(items_[i], s); });
}

void TStringList::IndexUpTo(std::size_t count) const {
    for (; indexed_ < count; ++indexed_) {
        if (slots_.NeedsRoom(distinct_)) {
            const std::size_t done = indexed_;
            slots_.Enlarge();
            indexed_ = distinct_ = 0;
            IndexUpTo(done);
        }
        const std::size_t slot = Probe(items_[indexed_]);
        // The first of equal entries stays the one found.
        if (!slots_.IsFree(slot)) continue;
        slots_.Put(slot, indexed_);
        ++distinct_;
    }
}

int TStringList::IndexOf(const std::string& s) const {
    // Short lists are cheaper to scan than to index.
    constexpr std::size_t kIndexFrom = 32;
    if (items_.size() < kIndexFrom) {
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (EqualsNoCase(items_[i], s)) return static_cast<int>(i);
        return -1;
    }
    IndexUpTo(items_.size());
    const std::size_t slot = Probe(s);
    return slots_.IsFree(slot) ? -1 : static_cast<int>(slots_.EntryAt(slot));
}

std::string TStringList::Text() const { return JoinLines(items_); }

void TStringList::SetText(const std::string& text) {
    Clear();
    items_ = SplitLines(text);
}

void TStringList::LoadFromFile(const std::string& fileName) { SetText(LoadTextFile(fileName)); }

void TStringList::SaveToFile(const std::string& fileName) const { SaveTextFile(fileName, Text()); }

std::string TStringList::Value(const std::string& key) const {
    for (const auto& line : items_) {
        std::size_t eq = line.find('=');
        if (eq != std::string::npos && EqualsNoCase(line.substr(0, eq), key)) return line.substr(eq + 1);
    }
    return "";
}

}  // namespace qb
