#pragma once
// Huffman code construction for the LZX encoder (kept apart so the length
// limit and completeness can be checked on their own).
#include <cstdint>
#include <vector>

#include "hha/Lzx.h"

namespace qb::lzx {

// Code lengths for freq, none longer than maxLen; unused symbols get 0. The
// code is always complete and has at least two symbols, since decoders
// reject incomplete tables.
std::vector<std::uint8_t> BuildCodeLengths(const std::vector<std::uint32_t>& freq, unsigned maxLen);

// Canonical codes for lengths: shorter first, equal lengths by symbol order.
std::vector<std::uint16_t> CanonicalCodes(const std::vector<std::uint8_t>& lengths);

}  // namespace qb::lzx
