#include "StringList.h"

#include "Utils.h"

namespace qb {

bool SameTextAscii(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

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
    for (; indexed_ < items_.size(); ++indexed_) index_.emplace(LowerAscii(items_[indexed_]), static_cast<int>(indexed_));
    auto it = index_.find(LowerAscii(s));
    return it == index_.end() ? -1 : it->second;
}

std::string TStringList::Text() const {
    std::string out;
    for (const auto& s : items_) {
        out += s;
        out += "\r\n";
    }
    return out;
}

void TStringList::SetText(const std::string& text) {
    Clear();
    std::size_t start = 0, i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            items_.push_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) items_.push_back(text.substr(start));
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
