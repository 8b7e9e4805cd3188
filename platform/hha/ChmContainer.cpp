#include "LeBytes.h"
#include "ChmContainer.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <set>

#include "Error.h"

namespace qb::hha {

namespace {

constexpr std::uint32_t kChunkSize = 0x1000;
constexpr std::uint64_t kLzxFrame = 0x8000;
constexpr std::uint32_t kDensity = 2;  // a quick-reference entry every 1 + (1 << 2) entries
constexpr std::uint32_t kQuickRefEvery = 1 + (1u << kDensity);
const char* const kLzxGuidText = "{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}";

// GUID in its binary layout: DWORD, two WORDs, eight bytes.
void PutGuid(std::string& out, std::uint32_t d1, std::uint16_t d2, std::uint16_t d3, const unsigned char (&d4)[8]) {
    Put32(out, d1);
    Put16(out, d2);
    Put16(out, d3);
    out.append(reinterpret_cast<const char*>(d4), 8);
}
const unsigned char kItsfTail[8] = {0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
const unsigned char kItspTail[8] = {0x9D, 0xF9, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};

struct DirEntry {
    std::string name;
    std::uint64_t section = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

std::string EncodeListing(const DirEntry& e) {
    std::string out;
    PutEncInt(out, e.name.size());
    out += e.name;
    PutEncInt(out, e.section);
    PutEncInt(out, e.offset);
    PutEncInt(out, e.length);
    return out;
}

// Packs encoded entries into chunks of kind "PMGL" or "PMGI"; returns the
// index of the first entry of each chunk.
struct Packed {
    std::vector<std::string> chunks;
    std::vector<std::size_t> firsts;
};

Packed Pack(const std::vector<std::string>& encoded, bool listing) {
    Packed packed;
    const std::size_t header = listing ? 0x14 : 0x08;
    std::size_t i = 0;
    while (i < encoded.size()) {
        std::size_t first = i, used = 0;
        std::vector<std::uint16_t> quick;
        std::string body;
        while (i < encoded.size()) {
            std::size_t n = i - first;  // entries already in the chunk
            std::size_t quickCount = quick.size() + ((n > 0 && n % kQuickRefEvery == 0) ? 1 : 0);
            if (header + used + encoded[i].size() + 2 + 2 * quickCount > kChunkSize) break;
            if (n > 0 && n % kQuickRefEvery == 0) quick.push_back(static_cast<std::uint16_t>(used));
            body += encoded[i];
            used += encoded[i].size();
            ++i;
        }
        if (i == first) throw Error("Error: a stored name is too long: " + encoded[i]);
        std::string chunk(listing ? "PMGL" : "PMGI");
        Put32(chunk, static_cast<std::uint32_t>(kChunkSize - header - used));
        if (listing) {
            Put32(chunk, 0);
            Put32(chunk, 0);  // previous and next chunk: set once all are known
            Put32(chunk, 0);
        }
        chunk += body;
        chunk.resize(kChunkSize, '\0');
        // The quick-reference area grows backwards from the end of the chunk.
        std::size_t at = kChunkSize - 2;
        chunk[at] = static_cast<char>((i - first) & 0xFF);
        chunk[at + 1] = static_cast<char>(((i - first) >> 8) & 0xFF);
        for (std::uint16_t q : quick) {
            at -= 2;
            chunk[at] = static_cast<char>(q & 0xFF);
            chunk[at + 1] = static_cast<char>(q >> 8);
        }
        packed.chunks.push_back(std::move(chunk));
        packed.firsts.push_back(first);
    }
    return packed;
}

std::string Utf16Name(const std::string& ascii) {
    std::string out;
    Put16(out, static_cast<std::uint32_t>(ascii.size()));
    for (char c : ascii) Put16(out, static_cast<unsigned char>(c));
    Put16(out, 0);
    return out;
}

}  // namespace

bool ChmNameLess(const std::string& a, const std::string& b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
        if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca + 32);
        if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb + 32);
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

void PutEncInt(std::string& out, std::uint64_t value) {
    char groups[10];
    int n = 0;
    do {
        groups[n++] = static_cast<char>(value & 0x7F);
        value >>= 7;
    } while (value);
    while (n > 1) out += static_cast<char>(groups[--n] | 0x80);
    out += groups[0];
}

void ChmContainer::AddFile(const std::string& name, std::string bytes) {
    items_.push_back({name, content_.size(), bytes.size(), {}, true});
    content_ += bytes;
}

void ChmContainer::AddUncompressedFile(const std::string& name, std::string bytes) {
    items_.push_back({name, 0, bytes.size(), std::move(bytes), false});
}

std::string ChmContainer::Build(std::uint32_t lcid, const SectionCompressor& compress) {
    std::vector<DirEntry> entries;
    std::set<std::string, decltype(&ChmNameLess)> names(&ChmNameLess);
    auto addName = [&](const DirEntry& e) {
        if (!names.insert(e.name).second) throw Error("Error: " + e.name + " is stored twice");
        entries.push_back(e);
    };

    for (const Item& item : items_)
        if (item.compressed) addName({item.name, 1, item.offset, item.length});
    // Folders get entries of their own, as readers list them.
    std::set<std::string, decltype(&ChmNameLess)> folders(&ChmNameLess);
    for (const Item& item : items_) {
        if (item.name.empty() || item.name[0] != '/') continue;
        for (std::size_t slash = item.name.find('/'); slash != std::string::npos; slash = item.name.find('/', slash + 1))
            folders.insert(item.name.substr(0, slash + 1));
    }
    for (const std::string& f : folders)
        if (!names.count(f)) addName({f, 0, 0, 0});

    // Readers stumble over a section that ends exactly on a frame boundary
    // or one byte short of it (they look for a frame that is not there, or
    // reject the section outright); filler that no file owns keeps clear.
    const std::uint64_t tail = content_.size() % kLzxFrame;
    if (tail == 0) content_.append(1, '\0');
    if (tail == kLzxFrame - 1) content_.append(2, '\0');
    CompressedSection packed = compress(content_);
    std::string().swap(content_);
    std::string section0;
    auto add0 = [&](const std::string& name, const std::string& bytes) {
        addName({name, 0, section0.size(), bytes.size()});
        section0 += bytes;
    };
    std::string nameList;
    Put16(nameList, 0);  // length in words, set below
    Put16(nameList, 2);
    nameList += Utf16Name("Uncompressed");
    nameList += Utf16Name("MSCompressed");
    nameList[0] = static_cast<char>((nameList.size() / 2) & 0xFF);
    nameList[1] = static_cast<char>((nameList.size() / 2) >> 8);
    // The stream goes first: a reader's read-ahead past its end then lands
    // on bytes of the file rather than at its end.
    add0("::DataSpace/Storage/MSCompressed/Content", packed.data);
    add0("::DataSpace/NameList", nameList);
    add0("::DataSpace/Storage/MSCompressed/ControlData", packed.controlData);
    std::string span;
    Put64(span, packed.span);
    add0("::DataSpace/Storage/MSCompressed/SpanInfo", span);
    std::string list;
    for (const char* c = kLzxGuidText; *c; ++c) Put16(list, static_cast<unsigned char>(*c));
    add0("::DataSpace/Storage/MSCompressed/Transform/List", list);
    add0(std::string("::DataSpace/Storage/MSCompressed/Transform/") + kLzxGuidText + "/InstanceData/ResetTable",
         packed.resetTable);
    for (const Item& item : items_)
        if (!item.compressed) add0(item.name, item.bytes);

    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return ChmNameLess(a.name, b.name); });

    // Listing chunks, then as many levels of index chunks as needed.
    std::vector<std::string> encoded;
    encoded.reserve(entries.size());
    for (const DirEntry& e : entries) encoded.push_back(EncodeListing(e));
    Packed listing = Pack(encoded, true);
    std::vector<std::string> chunks = listing.chunks;
    const std::uint32_t listingCount = static_cast<std::uint32_t>(chunks.size());
    for (std::uint32_t c = 0; c < listingCount; ++c) {
        Set32(chunks[c], 0x0C, c == 0 ? 0xFFFFFFFFu : c - 1);
        Set32(chunks[c], 0x10, c + 1 == listingCount ? 0xFFFFFFFFu : c + 1);
    }
    std::uint32_t depth = 1;
    std::uint32_t root = 0xFFFFFFFFu;
    std::vector<std::string> levelNames;
    for (std::size_t f : listing.firsts) levelNames.push_back(entries[f].name);
    std::uint32_t levelStart = 0;
    while (levelNames.size() > 1) {
        std::vector<std::string> indexEntries;
        for (std::size_t k = 0; k < levelNames.size(); ++k) {
            std::string e;
            PutEncInt(e, levelNames[k].size());
            e += levelNames[k];
            PutEncInt(e, levelStart + k);
            indexEntries.push_back(e);
        }
        Packed index = Pack(indexEntries, false);
        std::vector<std::string> next;
        for (std::size_t f : index.firsts) next.push_back(levelNames[f]);
        levelStart = static_cast<std::uint32_t>(chunks.size());
        chunks.insert(chunks.end(), index.chunks.begin(), index.chunks.end());
        levelNames = std::move(next);
        ++depth;
        root = levelStart;
    }

    const std::uint64_t dirOffset = 0x78;
    const std::uint64_t dirLength = 0x54 + static_cast<std::uint64_t>(chunks.size()) * kChunkSize;
    const std::uint64_t contentOffset = dirOffset + dirLength;
    const std::uint64_t fileSize = contentOffset + section0.size();

    std::string out;
    out.reserve(fileSize);
    out += "ITSF";
    Put32(out, 3);
    Put32(out, 0x60);
    Put32(out, 1);
    Put32(out, static_cast<std::uint32_t>(std::time(nullptr)));
    Put32(out, lcid);
    PutGuid(out, 0x7C01FD10, 0x7BAA, 0x11D0, kItsfTail);
    PutGuid(out, 0x7C01FD11, 0x7BAA, 0x11D0, kItsfTail);
    Put64(out, 0x60);
    Put64(out, 0x18);
    Put64(out, dirOffset);
    Put64(out, dirLength);
    Put64(out, contentOffset);

    Put32(out, 0x01FE);
    Put32(out, 0);
    Put64(out, fileSize);
    Put32(out, 0);
    Put32(out, 0);

    out += "ITSP";
    Put32(out, 1);
    Put32(out, 0x54);
    Put32(out, 0x0A);
    Put32(out, kChunkSize);
    Put32(out, kDensity);
    Put32(out, depth);
    Put32(out, root);
    Put32(out, 0);
    Put32(out, listingCount - 1);
    Put32(out, 0xFFFFFFFFu);
    Put32(out, static_cast<std::uint32_t>(chunks.size()));
    Put32(out, lcid);
    PutGuid(out, 0x5D02926A, 0x212E, 0x11D0, kItspTail);
    Put32(out, 0x54);
    Put32(out, 0xFFFFFFFFu);
    Put32(out, 0xFFFFFFFFu);
    Put32(out, 0xFFFFFFFFu);
    for (const std::string& c : chunks) out += c;
    out += section0;
    return out;
}

}  // namespace qb::hha
