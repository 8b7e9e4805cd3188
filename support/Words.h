#pragma once
#include <cstddef>
#include <functional>
#include <string_view>

namespace qb {

// Calls each(start, end) with the UTF-16 index range of every word of text at
// Unicode word boundaries (letters, numbers, ideographs and kana; punctuation
// and blanks are no words), in order. Raises qb::Error when ICU's break rules
// are missing.
void ForEachWordSpan(std::u16string_view text, const std::function<void(std::size_t, std::size_t)>& each);

}  // namespace qb
