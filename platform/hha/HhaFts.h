#pragma once
// The full-text search index ($FIftiMain): a B-tree of 4 KB nodes keyed by
// case-folded words in the help file's code page; each word points at its
// word-location codes (WLCs), once for the page texts and once for titles.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "hha/HhaSpill.h"

namespace qb::hha {

class CodePageText;

// Words of an HTML page's text (tags, scripts and styles skipped) at Unicode
// word boundaries, case-folded UTF-8, in order; the position of a word is its
// index in the result.
std::vector<std::string> PageWords(const std::string& html);
// The same words handed to each one at a time.
void ForEachPageWord(const std::string& html, const std::function<void(std::string&&)>& each);

// Title text of an HTML page ("" when it has none).
std::string PageTitle(const std::string& html);

// Scale-and-root bit code with scale 2, written most significant bit first.
class BitWriter {
public:
    void Put(std::uint64_t value, unsigned bits);
    void PutSr(std::uint64_t value, unsigned root);
    // Appends the first bits bits of another writer's bytes.
    void PutBits(std::string_view bytes, std::uint64_t bits);
    // Pads to the next byte boundary.
    void Align();
    const std::string& Bytes() const { return bytes_; }
    std::uint64_t BitCount() const { return bytes_.size() * 8 - (8 - used_); }
    void Clear() {
        bytes_.clear();
        used_ = 8;
    }

private:
    std::string bytes_;
    unsigned used_ = 8;  // bits used in the last byte
};

// Words are gathered in runs of topics; a run whose word lists pass a memory
// limit goes, sorted by word, to a temporary file, and the runs are merged
// when the file is written. The bytes are the same for any limit.
class FtsIndex {
public:
    // Runs go to an unnamed file in folder ("" for the system's temp folder)
    // once their word lists take about runBytes.
    explicit FtsIndex(const CodePageText& codePage, std::string folder = "", std::size_t runBytes = 8u << 20);
    ~FtsIndex();
    FtsIndex(const FtsIndex&) = delete;
    FtsIndex& operator=(const FtsIndex&) = delete;

    // Adds the words of one topic's text and title; topics must be added in
    // ascending order.
    void AddTopic(std::uint32_t topicIndex, const std::vector<std::string>& words,
                  const std::vector<std::string>& titleWords = {});
    // The same one word at a time, so a large page's words are never held
    // together: BeginTopic, AddWord for each word of the text, EndTopic.
    void BeginTopic(std::uint32_t topicIndex);
    void AddWord(std::string&& word);
    void EndTopic(const std::vector<std::string>& titleWords = {});
    // Sorts the word lists gathered so far into a run, which takes far less
    // memory than the lists while other parts of the file are built.
    void EndTopics();
    // Hands the whole $FIftiMain file, words in the code page, to out in
    // pieces, in order. Called once, after the last topic.
    void Write(std::uint32_t topicCount, std::uint32_t lcid, const std::function<void(std::string_view)>& out);

private:
    // The word-location codes of one word within a run: its first topic's
    // codes wait for the topic delta, which depends on the run before.
    struct Word {
        BitWriter first;  // location count and locations of the first topic
        BitWriter rest;   // later topics, complete
        std::uint32_t firstTopic = 0, lastTopic = 0;
        std::uint64_t topics = 0;
        static constexpr std::uint32_t kNotPending = 0xFFFFFFFFu;
        std::uint32_t pending = kNotPending;  // its entry in pending_ while a topic is added
    };
    // One word's locations in the topic being added.
    struct Pending {
        Word* word;
        BitWriter locations;
        std::uint32_t count, last;
    };
    using WordMap = std::unordered_map<std::string, Word>;
    void Occur(WordMap& into, std::string word, std::uint32_t pos);
    void FlushTopic(std::uint32_t topicIndex);
    void EndRun();
    // Bytes of runs and of the written index kept in memory before a file takes them.
    std::size_t SpillMemory() const;

    const CodePageText& codePage_;
    std::string folder_;
    std::size_t runLimit_;
    std::size_t runBytes_ = 0;
    WordMap words_;       // UTF-8 words of page texts in the current run
    WordMap titleWords_;  // UTF-8 words of titles in the current run
    std::unique_ptr<SpillFile> runs_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> runSpans_;  // [begin, end) in runs_
    std::vector<Pending> pending_;  // the words of the topic being added, in first-seen order
    std::uint32_t topic_ = 0, position_ = 0;
};

}  // namespace qb::hha
