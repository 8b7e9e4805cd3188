#pragma once
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "support/NameSet.h"
#include "support/Text.h"

namespace qb {

// Ordered list of byte strings: keeps duplicates, looks entries up without
// regard to ASCII letter case.
class TStringList {
public:
    TStringList() = default;
    TStringList(const TStringList&) = default;
    TStringList& operator=(const TStringList&) = default;
    // A moved-from list is empty, its look-up index too.
    TStringList(TStringList&& other) noexcept
        : items_(std::move(other.items_)),
          slots_(std::move(other.slots_)),
          indexed_(other.indexed_),
          distinct_(other.distinct_) {
        other.items_.clear();
        other.InvalidateIndex();
    }
    TStringList& operator=(TStringList&& other) noexcept {
        if (this != &other) {
            items_ = std::move(other.items_);
            slots_ = std::move(other.slots_);
            indexed_ = other.indexed_;
            distinct_ = other.distinct_;
            other.items_.clear();
            other.InvalidateIndex();
        }
        return *this;
    }

    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    const std::string& operator[](int i) const { return items_.at(static_cast<std::size_t>(i)); }
    std::string& operator[](int i) {
        std::string& s = items_.at(static_cast<std::size_t>(i));
        InvalidateIndex();
        return s;
    }
    int Add(const std::string& s);
    void Insert(int index, const std::string& s);
    void Delete(int index);
    void Clear() {
        items_.clear();
        InvalidateIndex();
    }
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
    void InvalidateIndex() {
        indexed_ = distinct_ = 0;
        slots_.Clear();
    }
    // Slot of the first entry equal to s, or the empty slot where it would go.
    std::size_t Probe(const std::string& s) const;
    void IndexUpTo(std::size_t count) const;

    std::vector<std::string> items_;
    // Positions of the first of equal entries in items_[0, indexed_), hashed
    // without regard to case: the job's lists grow to one entry
    // per page and are searched once per page, and a table of positions costs
    // a few bytes per entry where lower-cased copies would double the list.
    mutable SlotTable slots_;
    mutable std::size_t indexed_ = 0, distinct_ = 0;
};

}  // namespace qb
