#pragma once
// The full-text search index ($FIftiMain): a B-tree of 4 KB nodes keyed by
// lower-case words; each word points at its word-location codes (WLCs).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qb::hha {

// Words of an HTML page's text (tags, scripts and styles skipped), lower
// case, in order; the position of a word is its index in the result.
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
    // Adds the words of one topic; topics must be added in ascending order.
    void AddTopic(std::uint32_t topicIndex, const std::vector<std::string>& words);
    // The whole $FIftiMain file.
    std::string Build(std::uint32_t topicCount, std::uint32_t lcid) const;

private:
    // The encoded word-location codes of one word, built topic by topic so
    // only the compact form is kept.
    struct Word {
        BitWriter wlc;
        std::uint32_t lastTopic = 0;
        std::uint64_t topics = 0;
    };
    std::map<std::string, Word> words_;  // byte order of lower-case words
};

}  // namespace qb::hha
