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

class FtsIndex {
public:
    // Adds the words of one topic; topics must be added in topic order.
    void AddTopic(std::uint32_t topicIndex, const std::vector<std::string>& words);
    // The whole $FIftiMain file.
    std::string Build(std::uint32_t topicCount, std::uint32_t lcid) const;

private:
    struct Hit {
        std::uint32_t topic;
        std::vector<std::uint32_t> positions;
    };
    std::map<std::string, std::vector<Hit>> words_;  // byte order of lower-case words
};

// Scale-and-root bit code with scale 2 (appended MSB first to a bit writer).
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

}  // namespace qb::hha
