#include "hha/HhaNavigation.h"
#include "hha/ChmContainer.h"
#include "hha/HhaText.h"
#include "support/LeBytes.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <map>

#include "support/Error.h"

namespace qb::hha {

namespace {

constexpr std::size_t kTocBlock = 0x1000;
constexpr std::size_t kKeywordBlock = 0x800;
constexpr std::size_t kBTreeHeader = 0x4C;
constexpr std::size_t kListingHeader = 12;
constexpr std::size_t kIndexHeader = 8;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;
// Longest keyword path in UTF-16 units: with its topics, one entry must fit a
// listing block, so longer keywords are shortened.
constexpr std::size_t kMaxKeywordUnits = 480;
constexpr std::size_t kMaxNameUnits = 240;
// A cross reference shares the block with the longest keyword path.
constexpr std::size_t kMaxSeeAlsoUnits = 500;

// UTF-16LE text cut to at most units code units, never inside a surrogate pair.
std::string CutUtf16(const std::string& text, std::size_t units) {
    if (text.size() <= units * 2) return text;
    std::size_t end = units * 2;
    auto unit = [&](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(text[at])) |
               (static_cast<unsigned>(static_cast<unsigned char>(text[at + 1])) << 8);
    };
    if (end >= 2 && unit(end - 2) >= 0xD800 && unit(end - 2) < 0xDC00) end -= 2;
    return text.substr(0, end);
}

// A keyword as the tree stores it: the full path "parent, child".
struct Keyword {
    std::string text;        // UTF-16LE, no terminator
    std::uint32_t lastPart;  // character index where the last part starts
    std::uint16_t depth;
    const KeywordItem* item;
};

std::string ListingEntry(const Keyword& k, std::uint32_t ordinal) {
    std::string e = k.text;
    Put16(e, 0);
    bool seeAlso = !k.item->seeAlso.empty();
    Put16(e, seeAlso ? 2 : 0);
    Put16(e, k.depth);
    Put32(e, k.lastPart);
    Put32(e, 0);
    if (seeAlso) {
        Put32(e, 1);
        e += CutUtf16(Utf16Le(k.item->seeAlso), kMaxSeeAlsoUnits);
        Put16(e, 0);
    } else {
        Put32(e, static_cast<std::uint32_t>(k.item->topics.size()));
        for (std::uint32_t t : k.item->topics) Put32(e, t);
    }
    Put32(e, 1);
    Put32(e, ordinal * 13);
    return e;
}

std::string IndexEntry(const Keyword& k, std::uint32_t child) {
    std::string e = k.text;
    Put16(e, 0);
    Put16(e, k.item->seeAlso.empty() ? 0 : 2);
    Put16(e, k.depth);
    Put32(e, k.lastPart);
    Put32(e, 0);
    Put32(e, child);
    return e;
}

}  // namespace

TocIdx BuildTocIdx(const std::vector<TocItem>& items) {
    TocIdx toc;
    const std::size_t n = items.size();
    if (n == 0) return toc;
    // Parents from the levels: the nearest earlier entry that is less deep.
    std::vector<std::int64_t> parent(n, -1), next(n, -1), firstChild(n, -1);
    std::vector<std::int64_t> lastChild(n + 1, -1);  // n stands for the root
    std::vector<std::size_t> stack;
    for (std::size_t i = 0; i < n; ++i) {
        while (!stack.empty() && items[stack.back()].level >= items[i].level) stack.pop_back();
        parent[i] = stack.empty() ? -1 : static_cast<std::int64_t>(stack.back());
        std::size_t p = parent[i] < 0 ? n : static_cast<std::size_t>(parent[i]);
        if (lastChild[p] >= 0) next[lastChild[p]] = static_cast<std::int64_t>(i);
        if (p < n && firstChild[p] < 0) firstChild[p] = static_cast<std::int64_t>(i);
        lastChild[p] = static_cast<std::int64_t>(i);
        stack.push_back(i);
    }

    toc.entryOffsets.resize(n);
    std::size_t at = 0x10;
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t size = firstChild[i] >= 0 ? 0x1C : 0x14;
        if (at % kTocBlock + size > kTocBlock) at = (at / kTocBlock + 1) * kTocBlock;
        toc.entryOffsets[i] = static_cast<std::uint32_t>(at);
        at += size;
    }
    auto offsetOf = [&](std::int64_t i) { return i < 0 ? 0u : toc.entryOffsets[static_cast<std::size_t>(i)]; };

    std::string& out = toc.bytes;
    out.assign(at, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        std::string e;
        Put16(e, 0);
        Put16(e, 0);
        std::uint32_t flags = (firstChild[i] >= 0 ? 4 : 0) | (items[i].topic >= 0 ? 8 : 0);
        Put32(e, flags);
        Put32(e, items[i].topic >= 0 ? static_cast<std::uint32_t>(items[i].topic) : items[i].nameText);
        Put32(e, offsetOf(parent[i]));
        Put32(e, offsetOf(next[i]));
        if (firstChild[i] >= 0) {
            Put32(e, offsetOf(firstChild[i]));
            Put32(e, 0);
        }
        out.replace(toc.entryOffsets[i], e.size(), e);
    }

    std::vector<std::size_t> withTopic;
    for (std::size_t i = 0; i < n; ++i)
        if (items[i].topic >= 0) withTopic.push_back(i);
    std::stable_sort(withTopic.begin(), withTopic.end(),
                     [&](std::size_t a, std::size_t b) { return items[a].topic < items[b].topic; });
    const auto table = static_cast<std::uint32_t>(out.size());
    for (std::size_t i : withTopic) Put32(out, toc.entryOffsets[i]);
    Set32(out, 0x0, toc.entryOffsets[0]);
    Set32(out, 0x4, table);
    Set32(out, 0x8, static_cast<std::uint32_t>(withTopic.size()));
    Set32(out, 0xC, static_cast<std::uint32_t>(out.size()));
    return toc;
}

std::string KeywordLinks::BTreeBytes() const {
    std::string bytes;
    if (btree) btree->CopyTo([&bytes](std::string_view piece) { bytes.append(piece); });
    return bytes;
}

KeywordLinks BuildKeywordLinks(const std::vector<KeywordItem>& items, std::uint32_t lcid, std::uint32_t codePage,
                               const std::string& spillFolder) {
    // Sub-keywords stay under their top-level keyword; top-level keywords
    // are sorted, the entries below one keep the index file's order.
    std::vector<Keyword> all;  // in the index file's order
    all.reserve(items.size());
    std::vector<std::uint32_t> groupFirst;          // where each top-level keyword's group starts
    std::vector<std::pair<int, std::string>> path;  // level, UTF-8 text of the ancestors
    for (const KeywordItem& item : items) {
        while (!path.empty() && path.back().first >= item.level) path.pop_back();
        std::string prefix;
        for (const auto& [level, text] : path) prefix += text + ", ";
        Keyword k;
        std::string name = CutUtf16(Utf16Le(item.name), kMaxNameUnits);
        std::string head = CutUtf16(Utf16Le(prefix), kMaxKeywordUnits - name.size() / 2);
        k.text = head + name;
        k.lastPart = static_cast<std::uint32_t>(head.size() / 2);
        k.depth = static_cast<std::uint16_t>(path.size());
        k.item = &item;
        if (path.empty() || groupFirst.empty()) groupFirst.push_back(static_cast<std::uint32_t>(all.size()));
        all.push_back(std::move(k));
        path.emplace_back(item.level, item.name);
    }
    std::vector<std::uint32_t> groups(groupFirst.size());
    for (std::uint32_t g = 0; g < groups.size(); ++g) groups[g] = g;
    std::stable_sort(groups.begin(), groups.end(), [&](std::uint32_t a, std::uint32_t b) {
        // Keywords sort as directory names do: ASCII case folded, so "apple" stands beside "Apple".
        return ChmNameLess(all[groupFirst[a]].item->name, all[groupFirst[b]].item->name);
    });
    // The keywords in the tree's order, as places in all.
    std::vector<std::uint32_t> order;
    order.reserve(all.size());
    for (std::uint32_t g : groups) {
        const std::uint32_t end =
            g + 1 < groupFirst.size() ? groupFirst[g + 1] : static_cast<std::uint32_t>(all.size());
        for (std::uint32_t k = groupFirst[g]; k < end; ++k) order.push_back(k);
    }
    std::vector<std::uint32_t>().swap(groups);
    std::vector<std::uint32_t>().swap(groupFirst);
    auto keyword = [&](std::size_t i) -> const Keyword& { return all[order[i]]; };

    // The blocks go to the tree one by one, each listing block once the next
    // one is known; the header, known last, goes in front.
    KeywordLinks links;
    links.btree = std::make_unique<SpillFile>(spillFolder, 4u << 20);
    SpillFile& tree = *links.btree;
    tree.Append(std::string(kBTreeHeader, '\0'));
    links.keywords = static_cast<std::uint32_t>(order.size());
    std::uint32_t blockCount = 0;
    std::string pending;              // the last listing block, its next link not yet set
    std::vector<std::size_t> firsts;  // first keyword of each block of the level below
    auto tooLong = [](const Keyword& k) { return Error("Error: index keyword has too many topics: " + k.item->name); };

    // Listing blocks, chained both ways.
    for (std::size_t i = 0; i < order.size();) {
        std::string block(kListingHeader, '\0');
        std::size_t count = 0;
        firsts.push_back(i);
        while (i < order.size()) {
            std::string e = ListingEntry(keyword(i), static_cast<std::uint32_t>(i));
            if (block.size() + e.size() > kKeywordBlock) break;
            block += e;
            ++count;
            ++i;
        }
        if (count == 0) throw tooLong(keyword(i));
        Set16(block, 0, static_cast<std::uint32_t>(kKeywordBlock - block.size()));
        Set16(block, 2, static_cast<std::uint32_t>(count));
        const std::uint32_t number = blockCount++;
        Set32(block, 4, number == 0 ? kNone : number - 1);
        Set32(block, 8, kNone);
        if (number > 0) {
            Set32(pending, 8, number);
            tree.Append(pending);
        }
        block.resize(kKeywordBlock, '\0');
        pending = std::move(block);
    }
    if (!pending.empty()) tree.Append(pending);
    const std::uint32_t listingCount = blockCount;

    // Index levels until one block holds them all: each names the first
    // keyword of every child block after the first, which the header names.
    std::uint16_t depth = listingCount > 0 ? 1 : 0;
    std::vector<std::uint32_t> level;
    for (std::uint32_t b = 0; b < listingCount; ++b) level.push_back(b);
    std::vector<std::size_t> levelFirsts = firsts;
    while (level.size() > 1) {
        std::vector<std::uint32_t> upper;
        std::vector<std::size_t> upperFirsts;
        for (std::size_t c = 0; c < level.size();) {
            std::string block(kIndexHeader, '\0');
            Set32(block, 4, level[c]);
            upperFirsts.push_back(levelFirsts[c]);
            std::size_t count = 0;
            ++c;
            while (c < level.size()) {
                std::string e = IndexEntry(keyword(levelFirsts[c]), level[c]);
                if (block.size() + e.size() > kKeywordBlock) break;
                block += e;
                ++count;
                ++c;
            }
            if (count == 0 && c < level.size()) throw tooLong(keyword(levelFirsts[c]));
            Set16(block, 0, static_cast<std::uint32_t>(kKeywordBlock - block.size()));
            Set16(block, 2, static_cast<std::uint32_t>(count));
            block.resize(kKeywordBlock, '\0');
            upper.push_back(blockCount++);
            tree.Append(block);
        }
        level = std::move(upper);
        levelFirsts = std::move(upperFirsts);
        ++depth;
    }

    std::string h;
    Put16(h, 0x293B);
    Put16(h, 2);
    Put16(h, kKeywordBlock);
    std::string format = "X44";
    format.resize(16, '\0');
    h += format;
    Put32(h, 0);
    Put32(h, listingCount == 0 ? kNone : listingCount - 1);
    Put32(h, depth > 1 ? blockCount - 1 : kNone);
    Put32(h, kNone);
    Put32(h, blockCount);
    Put16(h, depth);
    Put32(h, links.keywords);
    Put32(h, codePage);
    Put32(h, lcid);
    Put32(h, 0);  // not a .chi file
    h.resize(kBTreeHeader, '\0');
    tree.Patch(0, h);

    Put16(links.map, listingCount);
    for (std::uint32_t b = 0; b < listingCount; ++b) {
        Put32(links.map, static_cast<std::uint32_t>(firsts[b]));
        Put16(links.map, b);
    }
    Put32(links.property, 2);
    links.property.resize(32, '\0');
    return links;
}

}  // namespace qb::hha
