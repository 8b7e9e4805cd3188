#include "tests/hha/NavRead.h"

#include "support/Utf.h"

#include <gtest/gtest.h>

#include <functional>

namespace hhatest {

namespace {

std::uint16_t Word(const std::string& s, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8));
}

// A zero-terminated UTF-16LE text at at; at moves past the terminator.
std::string Utf16Text(const std::string& s, std::size_t& at, std::size_t end) {
    std::string out;
    while (at + 2 <= end) {
        std::uint32_t u = Word(s, at);
        at += 2;
        if (u == 0) return out;
        if (u >= 0xD800 && u < 0xDC00 && at + 2 <= end) {
            std::uint32_t low = Word(s, at);
            at += 2;
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        }
        qb::AppendUtf8(out, u);
    }
    ADD_FAILURE() << "unterminated keyword text";
    return out;
}

}  // namespace

std::uint32_t Dword(const std::string& s, std::size_t at) {
    if (at + 4 > s.size()) {
        ADD_FAILURE() << "read past the end at " << at << " of " << s.size();
        return 0;
    }
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

std::string HelpTables::String(std::uint32_t offset) const {
    if (offset >= strings.size()) {
        ADD_FAILURE() << "string offset " << offset << " past #STRINGS";
        return {};
    }
    return std::string(strings.c_str() + offset);
}

std::string HelpTables::Title(std::uint32_t t) const {
    std::uint32_t s = Dword(topics, 16 * t + 4);
    return s == 0xFFFFFFFFu ? std::string() : String(s);
}

std::uint32_t HelpTables::TocEntry(std::uint32_t t) const { return Dword(topics, 16 * t); }

std::uint32_t HelpTables::UrlId(std::uint32_t t) const { return Dword(urltbl, Dword(topics, 16 * t + 8)); }

std::string HelpTables::Url(std::uint32_t t) const {
    std::uint32_t u = Dword(topics, 16 * t + 8);
    EXPECT_EQ(t, Dword(urltbl, u + 4)) << "#URLTBL entry does not point back at topic " << t;
    std::uint32_t at = Dword(urltbl, u + 8) + 8;
    if (at >= urlstr.size()) {
        ADD_FAILURE() << "#URLSTR offset past the end";
        return {};
    }
    return std::string(urlstr.c_str() + at);
}

std::vector<std::string> DecodeTocIdx(const std::string& toc, const HelpTables& tables) {
    std::vector<std::string> lines;
    std::map<std::uint32_t, std::uint32_t> topicEntries;  // entry offset -> topic
    std::size_t visited = 0;
    std::function<void(std::uint32_t, std::uint32_t, int)> walk = [&](std::uint32_t at, std::uint32_t parent,
                                                                      int depth) {
        for (; at != 0; at = Dword(toc, at + 0x10)) {
            if (++visited > toc.size() / 0x14 || at + 0x14 > toc.size()) {
                ADD_FAILURE() << "entry chain runs wild at " << at;
                return;
            }
            std::uint32_t flags = Dword(toc, at + 4);
            std::size_t size = (flags & 4) ? 0x1C : 0x14;
            EXPECT_EQ(at / 0x1000, (at + size - 1) / 0x1000) << "entry at " << at << " crosses a block";
            EXPECT_EQ(parent, Dword(toc, at + 0xC)) << "parent of entry at " << at;
            std::uint32_t value = Dword(toc, at + 8);
            std::string name, url;
            if (flags & 8) {
                name = tables.Title(value);
                url = tables.Url(value);
                topicEntries[at] = value;
                if (tables.TocEntry(value) == 0) ADD_FAILURE() << "topic " << value << " names no contents entry";
            } else {
                name = tables.String(value);
            }
            lines.push_back(std::to_string(depth) + "|" + name + "|" + url);
            if (flags & 4) walk(Dword(toc, at + 0x14), at, depth + 1);
        }
    };
    walk(Dword(toc, 0), 0, 0);

    // The table of entry offsets lists every entry with a topic, by topic.
    std::uint32_t table = Dword(toc, 4), count = Dword(toc, 8);
    EXPECT_EQ(topicEntries.size(), count);
    EXPECT_EQ(table + 4 * count, Dword(toc, 0xC));
    std::uint32_t lastTopic = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        std::uint32_t entry = Dword(toc, table + 4 * k);
        auto it = topicEntries.find(entry);
        if (it == topicEntries.end()) {
            ADD_FAILURE() << "offset table names no entry: " << entry;
            continue;
        }
        EXPECT_LE(lastTopic, it->second) << "offset table out of topic order";
        lastTopic = it->second;
    }
    return lines;
}

std::vector<std::string> DecodeKeywordBTree(const std::string& bt, const HelpTables& tables) {
    std::vector<std::string> lines;
    constexpr std::size_t kHeader = 0x4C, kBlock = 0x800;
    if (bt.size() < kHeader) {
        ADD_FAILURE() << "BTree shorter than its header";
        return lines;
    }
    EXPECT_EQ(0x293Bu, Word(bt, 0));
    EXPECT_EQ(kBlock, Word(bt, 4));
    EXPECT_EQ(std::string("X44"), std::string(bt.c_str() + 6));
    std::uint32_t lastListing = Dword(bt, 0x1A), root = Dword(bt, 0x1E), blocks = Dword(bt, 0x26);
    std::uint32_t depth = Word(bt, 0x2A), keywords = Dword(bt, 0x2C);
    EXPECT_EQ(kHeader + blocks * kBlock, bt.size());
    auto block = [&](std::uint32_t b) { return kHeader + static_cast<std::size_t>(b) * kBlock; };

    // Listing blocks from the first along the chain.
    std::vector<std::string> firstKeyword;
    std::uint32_t prev = 0xFFFFFFFFu;
    std::uint32_t b = 0;
    for (std::uint32_t n = 0; n <= lastListing && n < blocks; ++n) {
        std::size_t at = block(b);
        EXPECT_EQ(prev, Dword(bt, at + 4)) << "previous of listing block " << b;
        std::uint32_t count = Word(bt, at + 2);
        std::size_t end = at + kBlock - Word(bt, at);
        std::size_t p = at + 12;
        for (std::uint32_t e = 0; e < count; ++e) {
            std::string keyword = Utf16Text(bt, p, end);
            if (e == 0) firstKeyword.push_back(keyword);
            bool seeAlso = Word(bt, p) == 2;
            std::uint32_t level = Word(bt, p + 2), lastPart = Dword(bt, p + 4);
            std::uint32_t pairs = Dword(bt, p + 12);
            p += 16;
            std::string targets;
            if (seeAlso) {
                targets = "see:" + Utf16Text(bt, p, end);
            } else {
                for (std::uint32_t k = 0; k < pairs; ++k, p += 4) targets += (k ? "," : "") + tables.Url(Dword(bt, p));
            }
            EXPECT_EQ(1u, Dword(bt, p));
            EXPECT_EQ(13u * lines.size(), Dword(bt, p + 4));
            p += 8;
            lines.push_back(std::to_string(level) + "|" + keyword + "|" + std::to_string(lastPart) + "|" + targets);
        }
        EXPECT_EQ(end, p) << "free space of listing block " << b;
        prev = b;
        b = Dword(bt, at + 8);
        if (n == lastListing) {
            EXPECT_EQ(0xFFFFFFFFu, b) << "last listing block has a next";
        }
        if (b == 0xFFFFFFFFu) break;
    }
    EXPECT_EQ(keywords, lines.size());

    // Index blocks: every child reached from the root, each key the first
    // keyword of its child, leaves at the listing level.
    if (depth <= 1) {
        EXPECT_EQ(0xFFFFFFFFu, root);
        return lines;
    }
    std::function<std::string(std::uint32_t, std::uint32_t)> check = [&](std::uint32_t blk, std::uint32_t level) {
        if (level == 1) {
            if (blk > lastListing) ADD_FAILURE() << "index points at non-listing block " << blk;
            return blk < firstKeyword.size() ? firstKeyword[blk] : std::string();
        }
        std::size_t at = block(blk);
        std::uint32_t count = Word(bt, at + 2);
        std::size_t end = at + kBlock - Word(bt, at);
        std::string first = check(Dword(bt, at + 4), level - 1);
        std::size_t p = at + 8;
        for (std::uint32_t e = 0; e < count; ++e) {
            std::string key = Utf16Text(bt, p, end);
            std::uint32_t child = Dword(bt, p + 12);
            p += 16;
            EXPECT_EQ(key, check(child, level - 1)) << "index key in block " << blk;
        }
        EXPECT_EQ(end, p);
        return first;
    };
    EXPECT_EQ(firstKeyword.empty() ? std::string() : firstKeyword[0], check(root, depth));
    return lines;
}

std::map<int, std::string> SystemRecords(const std::string& system) {
    std::map<int, std::string> out;
    for (std::size_t at = 4; at + 4 <= system.size();) {
        int code = Word(system, at), len = Word(system, at + 2);
        out[code] = system.substr(at + 4, len);
        at += 4 + len;
    }
    return out;
}

}  // namespace hhatest
