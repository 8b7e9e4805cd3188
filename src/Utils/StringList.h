#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace qb {

// Ordered list of byte strings: keeps duplicates, looks entries up without
// regard to ASCII letter case.
class TStringList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    const std::string& operator[](int i) const { return items_.at(static_cast<std::size_t>(i)); }
    std::string& operator[](int i) { return items_.at(static_cast<std::size_t>(i)); }
    int Add(const std::string& s);
    void Insert(int index, const std::string& s);
    void Delete(int index);
    void Clear() { items_.clear(); }
    // Index of the first entry equal to s without regard to case, or -1.
    int IndexOf(const std::string& s) const;
    bool Contains(const std::string& s) const { return IndexOf(s) >= 0; }

    // Lines joined, each followed by CR LF.
    std::string Text() const;
    // Replaces the content by the lines of text, split at CR LF, LF or CR.
    void SetText(const std::string& text);
    // Loads a file (missing reads as empty); lines split as SetText.
    void LoadFromFile(const std::string& fileName);
    // Writes Text() to a file; raises qb::Error when the file cannot be written.
    void SaveToFile(const std::string& fileName) const;

    // Value of the first "key=value" line whose key matches without regard to case.
    std::string Value(const std::string& key) const;

    const std::vector<std::string>& Items() const { return items_; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<std::string> items_;
};

// ASCII-only case-insensitive equality, as every look-up of the system uses.
bool SameTextAscii(const std::string& a, const std::string& b);
std::string LowerAscii(std::string s);

}  // namespace qb
