#include "hha/HhaFts.h"
#include "support/LeBytes.h"

#include <algorithm>
#include <cstring>

#include "hha/HhaProject.h"
#include "hha/HhaText.h"

namespace qb::hha {

namespace {

constexpr std::uint32_t kNodeSize = 0x1000;
constexpr unsigned kDocRoot = 1, kCodeRoot = 1, kLocRoot = 4;
constexpr std::size_t kMaxWord = 99;

// Text of the page without markup; entities other than numeric ones and the
// markup characters become blanks.
std::string PlainText(const std::string& html, std::size_t begin, std::size_t end) {
    std::string text;
    std::string lower = LowerAscii(html.substr(begin, end - begin));
    std::size_t i = 0;
    while (i < lower.size()) {
        char c = lower[i];
        if (c == '<') {
            for (const char* skip : {"script", "style"}) {
                std::string open = std::string("<") + skip;
                if (lower.compare(i, open.size(), open) == 0) {
                    std::size_t close = lower.find(std::string("</") + skip, i);
                    i = close == std::string::npos ? lower.size() : close;
                    break;
                }
            }
            if (lower.compare(i, 4, "<!--") == 0) {
                std::size_t close = lower.find("-->", i);
                i = close == std::string::npos ? lower.size() : close + 3;
                text += ' ';
                continue;
            }
            std::size_t close = lower.find('>', i);
            i = close == std::string::npos ? lower.size() : close + 1;
            text += ' ';
            continue;
        }
        if (c == '&') {
            std::size_t semi = lower.find(';', i);
            if (semi != std::string::npos && semi - i <= 10) {
                std::string ent = lower.substr(i + 1, semi - i - 1);
                if (ent.size() > 1 && ent[0] == '#') {
                    unsigned long cp = ent[1] == 'x' ? std::strtoul(ent.c_str() + 2, nullptr, 16)
                                                     : std::strtoul(ent.c_str() + 1, nullptr, 10);
                    AppendUtf8(text, cp);
                } else if (std::uint32_t cp = HtmlEntity(html.substr(begin + i + 1, semi - i - 1))) {
                    // Named references keep their case: "&Ouml;" is not "&ouml;".
                    AppendUtf8(text, cp == 0xA0 ? ' ' : cp);
                } else {
                    text += ' ';
                }
                i = semi + 1;
                continue;
            }
        }
        text += html[begin + i];
        ++i;
    }
    return text;
}

std::size_t SharedPrefix(const std::string& a, const std::string& b) {
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && n < 255 && a[n] == b[n]) ++n;
    return n;
}

}  // namespace

std::vector<std::string> PageWords(const std::string& html) { return TextWords(PlainText(html, 0, html.size())); }

std::string PageTitle(const std::string& html) {
    std::string lower = LowerAscii(html);
    std::size_t open = lower.find("<title");
    if (open == std::string::npos) return {};
    open = lower.find('>', open);
    std::size_t close = lower.find("</title", open == std::string::npos ? 0 : open);
    if (open == std::string::npos || close == std::string::npos) return {};
    std::string title = Trim(PlainText(html, open + 1, close));
    std::string collapsed;
    for (char c : title) {
        if (static_cast<unsigned char>(c) <= ' ') c = ' ';
        if (c == ' ' && !collapsed.empty() && collapsed.back() == ' ') continue;
        collapsed += c;
    }
    return collapsed;
}

void BitWriter::Put(std::uint64_t value, unsigned bits) {
    for (unsigned i = bits; i-- > 0;) {
        if (used_ == 8) {
            bytes_ += '\0';
            used_ = 0;
        }
        if ((value >> i) & 1) bytes_.back() = static_cast<char>(bytes_.back() | (0x80 >> used_));
        ++used_;
    }
}

void BitWriter::PutSr(std::uint64_t value, unsigned root) {
    if (value < (std::uint64_t{1} << root)) {
        Put(0, 1);
        Put(value, root);
        return;
    }
    unsigned top = 63;
    while (!((value >> top) & 1)) --top;
    // top - root + 1 one-bits, a zero, then the bits below the top bit.
    for (unsigned k = 0; k < top - root + 1; ++k) Put(1, 1);
    Put(0, 1);
    Put(value, top);
}

void BitWriter::Align() { used_ = 8; }

void FtsIndex::AddTopic(std::uint32_t topicIndex, const std::vector<std::string>& words,
                        const std::vector<std::string>& titleWords) {
    AddWords(words_, topicIndex, words);
    AddWords(titleWords_, topicIndex, titleWords);
}

void FtsIndex::AddWords(std::map<std::string, Word>& into, std::uint32_t topicIndex,
                        const std::vector<std::string>& words) {
    std::map<std::string, std::vector<std::uint32_t>> positions;
    for (std::uint32_t pos = 0; pos < words.size(); ++pos) positions[words[pos]].push_back(pos);
    for (const auto& [text, where] : positions) {
        Word& w = into[text];
        w.wlc.PutSr(topicIndex - w.lastTopic, kDocRoot);
        w.lastTopic = topicIndex;
        ++w.topics;
        w.wlc.PutSr(where.size(), kCodeRoot);
        std::uint32_t prev = 0;
        for (std::uint32_t p : where) {
            w.wlc.PutSr(p - prev, kLocRoot);
            prev = p;
        }
        w.wlc.Align();
    }
}

std::string FtsIndex::Build(std::uint32_t topicCount, std::uint32_t lcid, const CodePageText& codePage) const {
    struct Entry {
        std::string text;  // in the code page
        char context;      // 0 body, 1 title
        const std::string* wlc;
        std::uint64_t count;
        const std::string* word = &text;
    };
    // Viewers look words up in the help file's code page; a word it cannot
    // hold could never be typed into the search, so it is left out.
    std::vector<Entry> entries;
    entries.reserve(words_.size() + titleWords_.size());
    for (char context : {char(0), char(1)}) {
        for (const auto& [word, data] : context ? titleWords_ : words_) {
            if (!codePage.CanEncode(word)) continue;
            std::string text = codePage.Encode(word);
            if (text.empty() || text.size() > kMaxWord) continue;
            entries.push_back({std::move(text), context, &data.wlc.Bytes(), data.topics});
        }
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.text != b.text ? a.text < b.text : a.context < b.context;
    });
    for (Entry& e : entries) e.word = &e.text;

    // Group the words into leaves.
    auto leafEntrySize = [](const Entry& e, const std::string* prev) {
        std::size_t shared = prev ? SharedPrefix(*prev, *e.word) : 0;
        std::string tmp;
        PutEncIntLow(tmp, e.count);
        PutEncIntLow(tmp, e.wlc->size());
        return 2 + (e.word->size() - shared) + 1 + tmp.size() + 4 + 2;
    };
    std::vector<std::pair<std::size_t, std::size_t>> leaves;  // [first, last)
    for (std::size_t i = 0; i < entries.size() || leaves.empty();) {
        std::size_t first = i, used = 8;
        while (i < entries.size()) {
            std::size_t size = leafEntrySize(entries[i], i == first ? nullptr : entries[i - 1].word);
            if (used + size > kNodeSize) break;
            used += size;
            ++i;
        }
        leaves.emplace_back(first, i);
        if (i == first) break;  // no words at all: one empty leaf
    }

    std::string out(0x400, '\0');
    std::vector<std::uint32_t> leafOffsets;
    std::vector<std::size_t> linkFields;
    for (const auto& [first, last] : leaves) {
        std::vector<std::uint32_t> wlcOffsets;
        for (std::size_t k = first; k < last; ++k) {
            wlcOffsets.push_back(static_cast<std::uint32_t>(out.size()));
            out += *entries[k].wlc;
        }
        std::uint32_t at = static_cast<std::uint32_t>(out.size());
        if (!linkFields.empty()) Set32(out, linkFields.back(), at);
        leafOffsets.push_back(at);
        std::string node;
        Put32(node, 0);  // next leaf, set when it is placed
        Put16(node, 0);
        Put16(node, 0);  // free space, set below
        for (std::size_t k = first; k < last; ++k) {
            const std::string& w = *entries[k].word;
            std::size_t shared = k == first ? 0 : SharedPrefix(*entries[k - 1].word, w);
            node += static_cast<char>(w.size() - shared + 1);
            node += static_cast<char>(shared);
            node += w.substr(shared);
            node += entries[k].context;
            PutEncIntLow(node, entries[k].count);
            Put32(node, wlcOffsets[k - first]);
            Put16(node, 0);
            PutEncIntLow(node, entries[k].wlc->size());
        }
        Set16(node, 6, static_cast<std::uint32_t>(kNodeSize - node.size()));
        node.resize(kNodeSize, '\0');
        linkFields.push_back(at);
        out += node;
    }

    // Index levels: each entry names the last word below its child node.
    std::vector<std::pair<std::string, std::uint32_t>> level;
    for (std::size_t l = 0; l < leaves.size(); ++l)
        level.emplace_back(leaves[l].second > leaves[l].first ? *entries[leaves[l].second - 1].word : std::string(),
                           leafOffsets[l]);
    std::uint16_t depth = 1;
    std::uint32_t root = leafOffsets.front();
    while (level.size() > 1) {
        std::vector<std::pair<std::string, std::uint32_t>> next;
        std::size_t i = 0;
        while (i < level.size()) {
            std::string node;
            Put16(node, 0);
            std::size_t first = i;
            while (i < level.size()) {
                const std::string& w = level[i].first;
                std::size_t shared = i == first ? 0 : SharedPrefix(level[i - 1].first, w);
                std::size_t size = 2 + w.size() - shared + 4 + 2;
                if (node.size() + size > kNodeSize) break;
                node += static_cast<char>(w.size() - shared + 1);
                node += static_cast<char>(shared);
                node += w.substr(shared);
                Put32(node, level[i].second);
                Put16(node, 0);
                ++i;
            }
            Set16(node, 0, static_cast<std::uint32_t>(kNodeSize - node.size()));
            node.resize(kNodeSize, '\0');
            next.emplace_back(level[i - 1].first, static_cast<std::uint32_t>(out.size()));
            out += node;
        }
        level = std::move(next);
        ++depth;
        root = level.front().second;
    }

    Set32(out, 0x00, 0x00280000);
    Set32(out, 0x04, topicCount);
    Set32(out, 0x08, root);
    Set32(out, 0x10, static_cast<std::uint32_t>(leaves.size()));
    Set32(out, 0x14, root);
    Set16(out, 0x18, depth);
    Set32(out, 0x1A, 7);
    const unsigned char sr[6] = {2, kDocRoot, 2, kCodeRoot, 2, kLocRoot};
    std::memcpy(&out[0x1E], sr, 6);
    Set32(out, 0x2E, kNodeSize);
    Set32(out, 0x7A, codePage.CodePage());
    Set32(out, 0x7E, lcid);
    return out;
}

}  // namespace qb::hha
