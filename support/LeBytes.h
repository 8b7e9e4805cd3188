#pragma once
// Little-endian and variable-length integers as binary files store them.
#include <cstddef>
#include <cstdint>
#include <string>

namespace qb {

inline void Put16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void Put64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
// Overwrite bytes already in out, at the offset at.
inline void Set16(std::string& out, std::size_t at, std::uint32_t v) {
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
inline void Set32(std::string& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void Set64(std::string& out, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// 7-bit groups, high group first, the top bit set on all but the last.
inline void PutEncInt(std::string& out, std::uint64_t value) {
    char groups[10];
    int n = 0;
    do {
        groups[n++] = static_cast<char>(value & 0x7F);
        value >>= 7;
    } while (value);
    while (n > 1) out += static_cast<char>(groups[--n] | 0x80);
    out += groups[0];
}
// 7-bit groups, low group first, the top bit set on all but the last.
inline void PutEncIntLow(std::string& out, std::uint64_t v) {
    do {
        unsigned char b = v & 0x7F;
        v >>= 7;
        if (v) b |= 0x80;
        out += static_cast<char>(b);
    } while (v);
}

}  // namespace qb
