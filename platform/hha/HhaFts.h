#pragma once
// The full-text search index ($FIftiMain): a B-tree of 4 KB nodes keyed by
// case-folded words in the help file's code page; each word points at its
// word-location codes (WLCs), once for the page texts and once for titles.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qb::hha {

class CodePageText;

// Words of an HTML page's text (tags, scripts and styles skipped) at Unicode
// word boundaries, case-folded UTF-8, in order; the position of a word is its
// index in the result.
std::vector<std::string> PageWords(const std::string& html);

// Title text of an HTML page ("" when it has none).
std::string PageTitle(const std::string& html);

// Scale-and-root bit code with scale 2, written most significant bit first.
class BitWriter {
public:
    void Put(std::uint64_t value, unsigned bits);
    void PutSr(std::uint64_t value, unsigned root);
    // Pads to the next byte boundary.
    void Align();
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
    unsigned used_ = 8;  // bits used in the last byte
};

class FtsIndex {
public:
    // Adds the words of one topic's text and title; topics must be added in
    // ascending order.
    void AddTopic(std::uint32_t topicIndex, const std::vector<std::string>& words,
                  const std::vector<std::string>& titleWords = {});
    // The whole $FIftiMain file, words in the code page.
    std::string Build(std::uint32_t topicCount, std::uint32_t lcid, const CodePageText& codePage) const;

private:
    // The encoded word-location codes of one word, built topic by topic so
    // only the compact form is kept.
    struct Word {
        BitWriter wlc;
        std::uint32_t lastTopic = 0;
        std::uint64_t topics = 0;
    };
    static void AddWords(std::map<std::string, Word>& into, std::uint32_t topicIndex,
                         const std::vector<std::string>& words);
    std::map<std::string, Word> words_;       // UTF-8 words of page texts
    std::map<std::string, Word> titleWords_;  // UTF-8 words of titles
};

}  // namespace qb::hha
