#include "Utils/StringList.h"

#include "support/NameSet.h"

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
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = HashNoCase(s) & mask;; i = (i + 1) & mask) {
        const std::uint32_t entry = slots_[i];
        if (entry == 0 || SameTextAscii(items_[entry - 1], s)) return i;
    }
}

void TStringList::IndexUpTo(std::size_t count) const {
    for (; indexed_ < count; ++indexed_) {
        if ((distinct_ + 1) * 2 > slots_.size()) {
            // Rebuilt twice as large: at most half full keeps probes short.
            const std::size_t done = indexed_;
            slots_.assign(slots_.empty() ? 64 : slots_.size() * 2, 0);
            indexed_ = distinct_ = 0;
            IndexUpTo(done);
        }
        const std::size_t slot = Probe(items_[indexed_]);
        // The first of equal entries stays the one found.
        if (slots_[slot] != 0) continue;
        slots_[slot] = static_cast<std::uint32_t>(indexed_ + 1);
        ++distinct_;
    }
}

int TStringList::IndexOf(const std::string& s) const {
    // Short lists are cheaper to scan than to index.
    constexpr std::size_t kIndexFrom = 32;
    if (items_.size() < kIndexFrom) {
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (SameTextAscii(items_[i], s)) return static_cast<int>(i);
        return -1;
    }
    IndexUpTo(items_.size());
    const std::uint32_t entry = slots_[Probe(s)];
    return entry == 0 ? -1 : static_cast<int>(entry - 1);
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
        if (eq != std::string::npos && SameTextAscii(line.substr(0, eq), key)) return line.substr(eq + 1);
    }
    return "";
}

}  // namespace qb
