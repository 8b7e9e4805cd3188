#include "hha/LzxHuffman.h"

#include <algorithm>
#include <numeric>

namespace qb::lzx {

namespace {

// Plain Huffman depths by the two-queue method over leaves sorted by weight.
unsigned HuffmanDepths(const std::vector<std::uint32_t>& weight, const std::vector<unsigned>& syms,
                       std::vector<std::uint8_t>& len) {
    const std::size_t m = syms.size();
    std::vector<unsigned> order(m);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](unsigned a, unsigned b) { return weight[syms[a]] < weight[syms[b]]; });

    std::vector<std::uint64_t> w(2 * m - 1);
    std::vector<std::size_t> parent(2 * m - 1, 0);
    for (std::size_t i = 0; i < m; ++i) w[i] = weight[syms[order[i]]];
    std::size_t leaf = 0, inner = m, next = m;
    auto pick = [&]() {
        if (leaf < m && (inner >= next || w[leaf] <= w[inner])) return leaf++;
        return inner++;
    };
    for (; next < 2 * m - 1; ++next) {
        std::size_t a = pick();
        std::size_t b = pick();
        w[next] = w[a] + w[b];
        parent[a] = parent[b] = next;
    }
    std::vector<unsigned> depth(2 * m - 1, 0);
    unsigned maxDepth = 0;
    for (std::size_t i = 2 * m - 1; i-- > 0;) {
        if (i != 2 * m - 2) depth[i] = depth[parent[i]] + 1;
        if (i < m) {
            len[syms[order[i]]] = static_cast<std::uint8_t>(std::min(depth[i], 255u));
            maxDepth = std::max(maxDepth, depth[i]);
        }
    }
    return maxDepth;
}

}  // namespace

std::vector<std::uint8_t> BuildCodeLengths(const std::vector<std::uint32_t>& freq, unsigned maxLen) {
    const std::size_t n = freq.size();
    if (n < 2) throw qb::Error("LZX: a Huffman tree needs at least two symbols");
    std::vector<std::uint8_t> len(n, 0);
    std::vector<unsigned> syms;
    std::vector<std::uint32_t> weight(freq);
    for (unsigned s = 0; s < n; ++s)
        if (weight[s]) syms.push_back(s);
    // A lone symbol still needs a complete code: pair it with a dummy.
    for (unsigned s = 0; syms.size() < 2; ++s) {
        if (!weight[s]) {
            weight[s] = 1;
            syms.push_back(s);
        }
    }
    std::sort(syms.begin(), syms.end());
    // Flattening the weights until the tree fits keeps the code a true
    // (complete) Huffman code; deep trees are rare, so few rounds are needed.
    while (HuffmanDepths(weight, syms, len) > maxLen) {
        for (unsigned s : syms) weight[s] = (weight[s] >> 1) | 1;
    }
    return len;
}

std::vector<std::uint16_t> CanonicalCodes(const std::vector<std::uint8_t>& lengths) {
    unsigned count[18] = {};
    for (std::uint8_t l : lengths) {
        if (l > 16) throw qb::Error("LZX: code length above 16");
        ++count[l];
    }
    count[0] = 0;
    unsigned next[18] = {};
    unsigned code = 0;
    for (unsigned bits = 1; bits <= 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<std::uint16_t> codes(lengths.size(), 0);
    for (std::size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) codes[s] = static_cast<std::uint16_t>(next[lengths[s]]++);
    return codes;
}

}  // namespace qb::lzx
