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

int TStringList::IndexOf(const std::string& s) const {
    // Short lists are cheaper to scan than to index.
    constexpr std::size_t kIndexFrom = 32;
    if (items_.size() < kIndexFrom) {
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (SameTextAscii(items_[i], s)) return static_cast<int>(i);
        return -1;
    }
    // Entries appended since the last look-up join the index; emplace keeps the first of duplicates.
    for (; indexed_ < items_.size(); ++indexed_)
        index_.emplace(LowerAscii(items_[indexed_]), static_cast<int>(indexed_));
    auto it = index_.find(LowerAscii(s));
    return it == index_.end() ? -1 : it->second;
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
