#pragma once
// The binary forms of the contents (#TOCIDX) and of the keyword index
// ($WWKeywordLinks), which the viewer reads instead of the sitemap files.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hha/HhaSpill.h"
#include "support/Entities.h"
#include "support/Utf.h"

namespace qb::hha {

// Sitemap parameter text as shown is DecodeEntities; names are stored as Utf16Le.
using qb::DecodeEntities;
using qb::Utf16Le;

// One contents entry in document order.
struct TocItem {
    int level = 0;               // <UL> depth; a deeper entry after this one is its child
    std::int64_t topic = -1;     // #TOPICS index of its page, -1 when it opens none
    std::uint32_t nameText = 0;  // #STRINGS offset of its name, for entries without a page
};

// #TOCIDX: a 16-byte header (offset of the first top-level entry, offset and
// count of the table of entry offsets, end offset), the entries in document
// order, each 20 bytes (28 with children: flags 4 = has children, 8 = opens
// a topic; topic index or name offset; parent, next sibling and first child
// offsets), none crossing a 4 KB block, then one DWORD per entry with a
// topic: its entry offset, in #TOPICS order.
struct TocIdx {
    std::string bytes;
    std::vector<std::uint32_t> entryOffsets;  // per item
};
TocIdx BuildTocIdx(const std::vector<TocItem>& items);

// One keyword of the index in document order.
struct KeywordItem {
    std::string name;                   // UTF-8, decoded
    int level = 0;                      // <UL> depth; deeper entries are sub-keywords
    std::vector<std::uint32_t> topics;  // #TOPICS indices of its pages
    std::string seeAlso;                // non-empty: a cross reference instead of pages
};

// $WWKeywordLinks: BTree (76-byte header, 2 KB listing blocks of UTF-16
// keywords with their topics, index blocks above them when there are
// several), Map (first keyword of each listing block) and Property.
struct KeywordLinks {
    std::unique_ptr<SpillFile> btree;  // in a temporary file in spillFolder once large
    std::string map, property;
    std::uint32_t keywords = 0;
    // The whole BTree file, for small ones.
    std::string BTreeBytes() const;
};
// Keywords too long for one block are shortened at a character boundary;
// raises qb::Error only for a keyword whose topics alone overflow a block.
KeywordLinks BuildKeywordLinks(const std::vector<KeywordItem>& items, std::uint32_t lcid, std::uint32_t codePage,
                               const std::string& spillFolder = "");

}  // namespace qb::hha
