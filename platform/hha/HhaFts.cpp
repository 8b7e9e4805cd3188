#include "hha/HhaFts.h"
#include "support/LeBytes.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "hha/HhaProject.h"
#include "hha/HhaText.h"
#include "support/Error.h"
#include "support/Text.h"

namespace qb::hha {

namespace {

constexpr std::uint32_t kNodeSize = 0x1000;
constexpr unsigned kDocRoot = 1, kCodeRoot = 1, kLocRoot = 4;
constexpr std::size_t kMaxWord = 99;

// True when text holds lower (lower-case ASCII) at at, letters in any case.
bool HasAt(std::string_view text, std::size_t at, std::string_view lower) {
    return at <= text.size() && EqualsNoCase(text.substr(at, lower.size()), lower);
}

// First place of lower (starting with a non-letter) from from, letters in any case.
std::size_t FindNoCase(std::string_view text, std::string_view lower, std::size_t from) {
    for (; (from = text.find(lower[0], from)) != std::string_view::npos; ++from)
        if (HasAt(text, from, lower)) return from;
    return std::string_view::npos;
}

// Text of the page without markup; entities other than numeric ones and the
// markup characters become blanks.
std::string PlainText(const std::string& html, std::size_t begin, std::size_t end) {
    std::string text;
    const std::string_view page = std::string_view(html).substr(begin, end - begin);
    text.reserve(page.size());
    std::size_t i = 0;
    while (i < page.size()) {
        char c = page[i];
        if (c == '<') {
            for (std::string_view skip : {"script", "style"}) {
                if (HasAt(page, i + 1, skip)) {
                    std::size_t close = FindNoCase(page, skip == "script" ? "</script" : "</style", i);
                    i = close == std::string::npos ? page.size() : close;
                    break;
                }
            }
            if (page.compare(i, 4, "<!--") == 0) {
                std::size_t close = page.find("-->", i);
                i = close == std::string::npos ? page.size() : close + 3;
                text += ' ';
                continue;
            }
            std::size_t close = page.find('>', i);
            i = close == std::string::npos ? page.size() : close + 1;
            text += ' ';
            continue;
        }
        if (c == '&') {
            std::size_t semi = page.find(';', i);
            if (semi != std::string::npos && semi - i <= 10) {
                const std::string ent(page.substr(i + 1, semi - i - 1));
                if (ent.size() > 1 && ent[0] == '#') {
                    const bool hex = ent[1] == 'x' || ent[1] == 'X';
                    unsigned long cp =
                        hex ? std::strtoul(ent.c_str() + 2, nullptr, 16) : std::strtoul(ent.c_str() + 1, nullptr, 10);
                    AppendUtf8(text, cp);
                } else if (std::uint32_t cp = HtmlEntity(ent)) {
                    // Named references keep their case: "&Ouml;" is not "&ouml;".
                    AppendUtf8(text, cp == 0xA0 ? ' ' : cp);
                } else {
                    text += ' ';
                }
                i = semi + 1;
                continue;
            }
        }
        text += c;
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

void ForEachPageWord(const std::string& html, const std::function<void(std::string&&)>& each) {
    ForEachTextWord(PlainText(html, 0, html.size()), each);
}

std::string PageTitle(const std::string& html) {
    std::size_t open = FindNoCase(html, "<title", 0);
    if (open == std::string::npos) return {};
    open = html.find('>', open);
    std::size_t close = FindNoCase(html, "</title", open == std::string::npos ? 0 : open);
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
    while (bits > 0) {
        if (used_ == 8) {
            bytes_ += '\0';
            used_ = 0;
        }
        const unsigned take = std::min(bits, 8 - used_);
        const auto chunk = static_cast<unsigned>((value >> (bits - take)) & ((1u << take) - 1));
        bytes_.back() = static_cast<char>(static_cast<unsigned char>(bytes_.back()) | (chunk << (8 - used_ - take)));
        used_ += take;
        bits -= take;
    }
}

void BitWriter::PutSr(std::uint64_t value, unsigned root) {
    if (value < (std::uint64_t{1} << root)) {
        Put(value, root + 1);  // a zero, then root bits
        return;
    }
    const auto top = static_cast<unsigned>(std::bit_width(value) - 1);
    // top - root + 1 one-bits, a zero, then the bits below the top bit.
    for (unsigned ones = top - root + 1; ones > 0;) {
        const unsigned n = std::min(ones, 32u);
        Put((std::uint64_t{1} << n) - 1, n);
        ones -= n;
    }
    Put(0, 1);
    Put(value, top);
}

void BitWriter::PutBits(std::string_view bytes, std::uint64_t bits) {
    if (used_ == 8 && bits == bytes.size() * 8) {
        bytes_.append(bytes);
        return;
    }
    for (std::size_t i = 0; bits > 0; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        const unsigned n = bits >= 8 ? 8 : static_cast<unsigned>(bits);
        Put(byte >> (8 - n), n);
        bits -= n;
    }
}

void BitWriter::Align() { used_ = 8; }

namespace {

// What a word costs in a run's map besides its codes: node, key and writers.
constexpr std::size_t kWordOverhead = 200;
constexpr std::size_t kReadPiece = 64 << 10;

// One word of a run as the run's file holds it. The key is the word in the
// code page, a NUL, the context (0 body, 1 title) and the UTF-8 word, so runs
// sort as the index does.
struct RunRecord {
    std::string key;
    std::uint32_t firstTopic = 0, lastTopic = 0;
    std::uint64_t topics = 0, firstBits = 0;
    std::string first, rest;
};

void PutRecord(std::string& out, const std::string& key, std::uint32_t firstTopic, std::uint32_t lastTopic,
               std::uint64_t topics, const BitWriter& first, const BitWriter& rest) {
    PutEncIntLow(out, key.size());
    out += key;
    PutEncIntLow(out, firstTopic);
    PutEncIntLow(out, lastTopic);
    PutEncIntLow(out, topics);
    PutEncIntLow(out, first.BitCount());
    out += first.Bytes();
    PutEncIntLow(out, rest.Bytes().size());
    out += rest.Bytes();
}

// Reads the records of one run back in order, a piece at a time.
class RunReader {
public:
    RunReader(const SpillFile& file, std::uint64_t begin, std::uint64_t end) : file_(&file), at_(begin), end_(end) {}

    bool Next(RunRecord& r) {
        if (pos_ == buf_.size() && at_ == end_) return false;
        Bytes(r.key, Number());
        r.firstTopic = static_cast<std::uint32_t>(Number());
        r.lastTopic = static_cast<std::uint32_t>(Number());
        r.topics = Number();
        r.firstBits = Number();
        Bytes(r.first, (r.firstBits + 7) / 8);
        Bytes(r.rest, Number());
        return true;
    }

private:
    void Fill() {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kReadPiece, end_ - at_));
        if (n == 0) throw Error("Error: a temporary file of the search index ends early");
        buf_.resize(n);
        file_->ReadAt(at_, buf_.data(), n);
        at_ += n;
        pos_ = 0;
    }
    std::uint64_t Number() {
        std::uint64_t v = 0;
        for (unsigned shift = 0;; shift += 7) {
            if (pos_ == buf_.size()) Fill();
            const auto b = static_cast<unsigned char>(buf_[pos_++]);
            v |= std::uint64_t{b & 0x7Fu} << shift;
            if (!(b & 0x80) || shift > 56) return v;
        }
    }
    void Bytes(std::string& out, std::uint64_t n) {
        out.resize(static_cast<std::size_t>(n));
        std::size_t done = std::min<std::size_t>(out.size(), buf_.size() - pos_);
        out.replace(0, done, buf_, pos_, done);
        pos_ += done;
        if (done == out.size()) return;
        if (out.size() - done >= kReadPiece) {
            if (end_ - at_ < out.size() - done) throw Error("Error: a temporary file of the search index ends early");
            file_->ReadAt(at_, out.data() + done, out.size() - done);
            at_ += out.size() - done;
            return;
        }
        Fill();
        if (buf_.size() < out.size() - done) throw Error("Error: a temporary file of the search index ends early");
        out.replace(done, out.size() - done, buf_, 0, out.size() - done);
        pos_ = out.size() - done;
    }

    const SpillFile* file_;
    std::uint64_t at_, end_;
    std::string buf_;
    std::size_t pos_ = 0;
};

// Leaves of the index written as the words come, in order: each leaf's
// word-location codes, then the leaf node, whose first field links the
// next leaf once that is placed.
class LeafWriter {
public:
    LeafWriter(SpillFile& body, std::uint64_t base) : body_(body), base_(base) {}

    void Add(const std::string& text, char context, const std::string& wlc, std::uint64_t count) {
        std::size_t size = EntrySize(text, count, wlc.size());
        if (entries_ > 0 && used_ + size > kNodeSize) {
            Close();
            size = EntrySize(text, count, wlc.size());
        }
        const std::uint64_t wlcAt = Offset();
        body_.Append(wlc);
        const std::size_t shared = entries_ == 0 ? 0 : SharedPrefix(last_, text);
        node_ += static_cast<char>(text.size() - shared + 1);
        node_ += static_cast<char>(shared);
        node_.append(text, shared);
        node_ += context;
        PutEncIntLow(node_, count);
        Put32(node_, static_cast<std::uint32_t>(wlcAt));
        Put16(node_, 0);
        PutEncIntLow(node_, wlc.size());
        used_ += size;
        last_ = text;
        ++entries_;
    }
    // Places the last leaf (one empty leaf when there are no words at all);
    // returns the last word and offset of every leaf.
    std::vector<std::pair<std::string, std::uint32_t>> Finish() {
        if (entries_ > 0 || leaves_.empty()) Close();
        return std::move(leaves_);
    }
    std::uint64_t Offset() const { return base_ + body_.Size(); }

private:
    std::size_t EntrySize(const std::string& text, std::uint64_t count, std::size_t wlcSize) const {
        const std::size_t shared = entries_ == 0 ? 0 : SharedPrefix(last_, text);
        std::string tmp;
        PutEncIntLow(tmp, count);
        PutEncIntLow(tmp, wlcSize);
        return 2 + (text.size() - shared) + 1 + tmp.size() + 4 + 2;
    }
    void Close() {
        const auto at = static_cast<std::uint32_t>(Offset());
        if (!leaves_.empty()) {
            std::string link;
            Put32(link, at);
            body_.Patch(leaves_.back().second - base_, link);
        }
        std::string node;
        Put32(node, 0);  // next leaf, set when it is placed
        Put16(node, 0);
        Put16(node, static_cast<std::uint32_t>(kNodeSize - 8 - node_.size()));
        node += node_;
        node.resize(kNodeSize, '\0');
        body_.Append(node);
        leaves_.emplace_back(entries_ > 0 ? last_ : std::string(), at);
        node_.clear();
        used_ = 8;
        entries_ = 0;
    }

    SpillFile& body_;
    std::uint64_t base_;
    std::string node_;  // entries of the open leaf
    std::string last_;  // its last word
    std::size_t used_ = 8, entries_ = 0;
    std::vector<std::pair<std::string, std::uint32_t>> leaves_;
};

}  // namespace

FtsIndex::FtsIndex(const CodePageText& codePage, std::string folder, std::size_t runBytes)
    : codePage_(codePage), folder_(std::move(folder)), runLimit_(std::max<std::size_t>(runBytes, 1)) {}

FtsIndex::~FtsIndex() = default;

std::size_t FtsIndex::SpillMemory() const { return std::min<std::size_t>(runLimit_, 4u << 20); }

void FtsIndex::AddTopic(std::uint32_t topicIndex, const std::vector<std::string>& words,
                        const std::vector<std::string>& titleWords) {
    BeginTopic(topicIndex);
    for (const std::string& word : words) AddWord(std::string(word));
    EndTopic(titleWords);
}

void FtsIndex::BeginTopic(std::uint32_t topicIndex) {
    topic_ = topicIndex;
    position_ = 0;
}

void FtsIndex::AddWord(std::string&& word) {
    // Both spellings of a word with sharp s find it: "straße" and "strasse".
    if (word.find("\xC3\x9F") != std::string::npos) Occur(words_, SharpSAsSs(word), position_);
    Occur(words_, std::move(word), position_);
    ++position_;
}

void FtsIndex::EndTopic(const std::vector<std::string>& titleWords) {
    FlushTopic(topic_);
    for (std::uint32_t pos = 0; pos < titleWords.size(); ++pos) {
        Occur(titleWords_, titleWords[pos], pos);
        if (titleWords[pos].find("\xC3\x9F") != std::string::npos)
            Occur(titleWords_, SharpSAsSs(titleWords[pos]), pos);
    }
    FlushTopic(topic_);
    // Runs end between topics only: within a run each word's topics ascend.
    if (runBytes_ >= runLimit_) EndRun();
}

void FtsIndex::EndTopics() { EndRun(); }

// A word's locations in the topic are coded as they come; its count, which
// goes before them, is known only at the topic's end.
void FtsIndex::Occur(WordMap& into, std::string word, std::uint32_t pos) {
    auto [it, added] = into.try_emplace(std::move(word));
    if (added) runBytes_ += kWordOverhead + it->first.size();
    Word& w = it->second;
    if (w.pending == Word::kNotPending) {
        w.pending = static_cast<std::uint32_t>(pending_.size());
        pending_.push_back({&w, {}, 0, 0});
    }
    Pending& p = pending_[w.pending];
    p.locations.PutSr(pos - p.last, kLocRoot);
    p.last = pos;
    ++p.count;
}

void FtsIndex::FlushTopic(std::uint32_t topicIndex) {
    for (Pending& p : pending_) {
        Word& w = *p.word;
        const bool first = w.topics == 0;
        BitWriter& out = first ? w.first : w.rest;
        const std::size_t before = out.Bytes().size();
        if (first)
            w.firstTopic = topicIndex;
        else
            out.PutSr(topicIndex - w.lastTopic, kDocRoot);
        out.PutSr(p.count, kCodeRoot);
        out.PutBits(p.locations.Bytes(), p.locations.BitCount());
        if (!first) out.Align();
        runBytes_ += out.Bytes().size() - before;
        w.lastTopic = topicIndex;
        ++w.topics;
        w.pending = Word::kNotPending;
    }
    pending_.clear();
}

void FtsIndex::EndRun() {
    if (words_.empty() && titleWords_.empty()) return;
    // Viewers look words up in the help file's code page; a word it cannot
    // hold could never be typed into the search, so it is left out.
    std::vector<std::pair<std::string, const Word*>> keyed;
    keyed.reserve(words_.size() + titleWords_.size());
    for (char context : {char(0), char(1)}) {
        for (const auto& [word, data] : context ? titleWords_ : words_) {
            std::string text;
            if (IsAscii(word)) {
                text = word;
            } else {
                if (!codePage_.CanEncode(word)) continue;
                text = codePage_.Encode(word);
            }
            if (text.empty() || text.size() > kMaxWord) continue;
            text += '\0';
            text += context;
            text += word;
            keyed.emplace_back(std::move(text), &data);
        }
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    if (!runs_) runs_ = std::make_unique<SpillFile>(folder_, SpillMemory());
    const std::uint64_t begin = runs_->Size();
    std::string out;
    for (const auto& [key, w] : keyed) {
        PutRecord(out, key, w->firstTopic, w->lastTopic, w->topics, w->first, w->rest);
        if (out.size() >= (1u << 20)) {
            runs_->Append(out);
            out.clear();
        }
    }
    runs_->Append(out);
    if (runs_->Size() > begin) runSpans_.emplace_back(begin, runs_->Size());
    WordMap().swap(words_);
    WordMap().swap(titleWords_);
    runBytes_ = 0;
}

void FtsIndex::Write(std::uint32_t topicCount, std::uint32_t lcid, const std::function<void(std::string_view)>& out) {
    EndRun();
    // The runs merged: the smallest key first, a word's runs in topic order.
    std::vector<RunReader> readers;
    std::vector<RunRecord> records(runSpans_.size());
    std::vector<std::size_t> heap;
    for (std::size_t i = 0; i < runSpans_.size(); ++i) {
        readers.emplace_back(*runs_, runSpans_[i].first, runSpans_[i].second);
        if (readers[i].Next(records[i])) heap.push_back(i);
    }
    auto later = [&records](std::size_t a, std::size_t b) {
        const int c = records[a].key.compare(records[b].key);
        return c != 0 ? c > 0 : a > b;
    };
    std::make_heap(heap.begin(), heap.end(), later);

    SpillFile body(folder_, SpillMemory());
    LeafWriter leaves(body, 0x400);
    std::vector<std::size_t> same;
    BitWriter wlc;
    while (!heap.empty()) {
        same.clear();
        do {
            std::pop_heap(heap.begin(), heap.end(), later);
            same.push_back(heap.back());
            heap.pop_back();
        } while (!heap.empty() && records[heap.front()].key == records[same.front()].key);
        wlc.Clear();
        std::uint32_t lastTopic = 0;
        std::uint64_t topics = 0;
        for (std::size_t i : same) {
            const RunRecord& r = records[i];
            wlc.PutSr(r.firstTopic - lastTopic, kDocRoot);
            wlc.PutBits(r.first, r.firstBits);
            wlc.Align();
            wlc.PutBits(r.rest, r.rest.size() * 8);
            lastTopic = r.lastTopic;
            topics += r.topics;
        }
        const std::string& key = records[same.front()].key;
        const std::size_t textEnd = key.find('\0');
        leaves.Add(key.substr(0, textEnd), key[textEnd + 1], wlc.Bytes(), topics);
        for (std::size_t i : same) {
            if (!readers[i].Next(records[i])) continue;
            heap.push_back(i);
            std::push_heap(heap.begin(), heap.end(), later);
        }
    }
    std::vector<std::pair<std::string, std::uint32_t>> level = leaves.Finish();
    const auto leafCount = static_cast<std::uint32_t>(level.size());

    // Index levels: each entry names the last word below its child node.
    std::uint16_t depth = 1;
    std::uint32_t root = level.front().second;
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
            next.emplace_back(level[i - 1].first, static_cast<std::uint32_t>(leaves.Offset()));
            body.Append(node);
        }
        level = std::move(next);
        ++depth;
        root = level.front().second;
    }

    std::string header(0x400, '\0');
    Set32(header, 0x00, 0x00280000);
    Set32(header, 0x04, topicCount);
    Set32(header, 0x08, root);
    Set32(header, 0x10, leafCount);
    Set32(header, 0x14, root);
    Set16(header, 0x18, depth);
    Set32(header, 0x1A, 7);
    const unsigned char sr[6] = {2, kDocRoot, 2, kCodeRoot, 2, kLocRoot};
    std::memcpy(&header[0x1E], sr, 6);
    Set32(header, 0x2E, kNodeSize);
    Set32(header, 0x7A, codePage_.CodePage());
    Set32(header, 0x7E, lcid);
    out(header);
    body.CopyTo(out);
}

}  // namespace qb::hha
