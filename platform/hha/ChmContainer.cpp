#include "LeBytes.h"
#include "ChmContainer.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <functional>
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

// A directory entry whose name lies in a shared arena.
struct DirEntry {
    std::uint64_t nameAt = 0;
    std::uint32_t nameLength = 0;
    std::uint32_t section = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

void EncodeListing(std::string& out, std::string_view name, const DirEntry& e) {
    PutEncInt(out, name.size());
    out += name;
    PutEncInt(out, e.section);
    PutEncInt(out, e.offset);
    PutEncInt(out, e.length);
}

// Packs encoded entries into chunks of kind "PMGL" or "PMGI", handing each
// chunk to emit (when set); returns the index of the first entry of each
// chunk. Entries are encoded on demand, so a pass needs no more than a chunk.
std::vector<std::size_t> Pack(std::size_t count, const std::function<void(std::size_t, std::string&)>& encode,
                              bool listing, const std::function<void(std::string&)>& emit) {
    std::vector<std::size_t> firsts;
    const std::size_t header = listing ? 0x14 : 0x08;
    std::size_t i = 0;
    std::string entry, body, chunk;
    bool have = false;
    auto next = [&] {
        if (!have && i < count) {
            entry.clear();
            encode(i, entry);
            have = true;
        }
    };
    while (i < count) {
        std::size_t first = i, used = 0;
        std::vector<std::uint16_t> quick;
        body.clear();
        for (next(); i < count; next()) {
            std::size_t n = i - first;  // entries already in the chunk
            std::size_t quickCount = quick.size() + ((n > 0 && n % kQuickRefEvery == 0) ? 1 : 0);
            if (header + used + entry.size() + 2 + 2 * quickCount > kChunkSize) break;
            if (n > 0 && n % kQuickRefEvery == 0) quick.push_back(static_cast<std::uint16_t>(used));
            body += entry;
            used += entry.size();
            have = false;
            ++i;
        }
        if (i == first) throw Error("Error: a stored name is too long: " + entry);
        firsts.push_back(first);
        if (!emit) continue;
        chunk.assign(listing ? "PMGL" : "PMGI");
        Put32(chunk, static_cast<std::uint32_t>(kChunkSize - header - used));
        if (listing) {
            Put32(chunk, 0);
            Put32(chunk, 0);  // previous and next chunk: set by emit
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
        emit(chunk);
    }
    return firsts;
}

std::string Utf16Name(const std::string& ascii) {
    std::string out;
    Put16(out, static_cast<std::uint32_t>(ascii.size()));
    for (char c : ascii) Put16(out, static_cast<unsigned char>(c));
    Put16(out, 0);
    return out;
}

}  // namespace

std::uint32_t BuildTime() {
    const char* fixed = std::getenv("SOURCE_DATE_EPOCH");
    if (fixed && *fixed) return static_cast<std::uint32_t>(std::strtoll(fixed, nullptr, 10));
    return static_cast<std::uint32_t>(std::time(nullptr));
}

bool ChmNameLess(std::string_view a, std::string_view b) {
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

ChmContainer::ChmContainer(std::unique_ptr<SectionWriter> section) : section_(std::move(section)) {}

void ChmContainer::AddFile(const std::string& name, std::string_view bytes) {
    BeginFile(name);
    AppendFile(bytes);
}

void ChmContainer::BeginFile(const std::string& name) {
    items_.push_back({names_.size(), static_cast<std::uint32_t>(name.size()), contentSize_, 0});
    names_ += name;
}

void ChmContainer::AppendFile(std::string_view bytes) {
    section_->Write(bytes);
    contentSize_ += bytes.size();
    items_.back().length += bytes.size();
}

void ChmContainer::AddUncompressedFile(const std::string& name, std::string bytes) {
    uncompressed_.emplace_back(name, std::move(bytes));
}

std::string ChmContainer::Build(std::uint32_t lcid) {
    std::string out;
    Write(lcid, [&](std::string_view bytes) { out += bytes; });
    return out;
}

void ChmContainer::Write(std::uint32_t lcid, const ByteSink& sink) {
    // Every name of the directory, files first, in one arena.
    std::string arena = std::move(names_);
    std::vector<DirEntry> entries;
    entries.reserve(items_.size() + 16);
    for (const Item& item : items_) entries.push_back({item.nameAt, item.nameLength, 1, item.offset, item.length});
    std::vector<Item>().swap(items_);
    auto nameOf = [&](const DirEntry& e) { return std::string_view(arena).substr(e.nameAt, e.nameLength); };
    auto less = [&](const DirEntry& a, const DirEntry& b) { return ChmNameLess(nameOf(a), nameOf(b)); };
    auto add = [&](std::string_view name, std::uint32_t section, std::uint64_t offset, std::uint64_t length) {
        entries.push_back({arena.size(), static_cast<std::uint32_t>(name.size()), section, offset, length});
        arena += name;
    };

    // Folders get entries of their own, as readers list them, unless a file
    // has the folder's name.
    std::sort(entries.begin(), entries.end(), less);
    std::set<std::string, decltype(&ChmNameLess)> folders(&ChmNameLess);
    for (const DirEntry& e : entries) {
        std::string_view name = nameOf(e);
        if (name.empty() || name[0] != '/') continue;
        for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
            folders.insert(std::string(name.substr(0, slash + 1)));
    }
    const std::size_t fileCount = entries.size();
    for (const std::string& f : folders) {
        DirEntry probe{arena.size(), static_cast<std::uint32_t>(f.size()), 0, 0, 0};
        arena += f;
        bool taken = std::binary_search(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(fileCount),
                                        probe, less);
        if (taken) {
            arena.resize(probe.nameAt);
            continue;
        }
        entries.push_back(probe);
    }
    std::set<std::string, decltype(&ChmNameLess)>().swap(folders);

    // Readers stumble over a section that ends exactly on a frame boundary
    // or one byte short of it (they look for a frame that is not there, or
    // reject the section outright); filler that no file owns keeps clear.
    const std::uint64_t tail = contentSize_ % kLzxFrame;
    if (tail == 0) section_->Write(std::string_view("\0", 1));
    if (tail == kLzxFrame - 1) section_->Write(std::string_view("\0\0", 2));
    CompressedSection packed = section_->Finish();

    // Section 0: the compressed stream first, then the small files.
    std::string section0;
    auto add0 = [&](std::string_view name, std::string_view bytes) {
        add(name, 0, packed.dataLength + section0.size(), bytes.size());
        section0 += bytes;
    };
    // The stream goes first: a reader's read-ahead past its end then lands
    // on bytes of the file rather than at its end.
    add("::DataSpace/Storage/MSCompressed/Content", 0, 0, packed.dataLength);
    std::string nameList;
    Put16(nameList, 0);  // length in words, set below
    Put16(nameList, 2);
    nameList += Utf16Name("Uncompressed");
    nameList += Utf16Name("MSCompressed");
    nameList[0] = static_cast<char>((nameList.size() / 2) & 0xFF);
    nameList[1] = static_cast<char>((nameList.size() / 2) >> 8);
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
    for (const auto& [name, bytes] : uncompressed_) add0(name, bytes);

    std::sort(entries.begin(), entries.end(), less);
    for (std::size_t i = 1; i < entries.size(); ++i)
        if (!less(entries[i - 1], entries[i])) throw Error("Error: " + std::string(nameOf(entries[i])) + " is stored twice");

    // Listing chunks (counted first, written last), then as many levels of
    // index chunks as needed, which hold a name per listing chunk.
    auto encodeListing = [&](std::size_t i, std::string& out) { EncodeListing(out, nameOf(entries[i]), entries[i]); };
    const std::vector<std::size_t> listingFirsts = Pack(entries.size(), encodeListing, true, {});
    const auto listingCount = static_cast<std::uint32_t>(listingFirsts.size());
    std::vector<std::string> indexChunks;
    std::uint32_t depth = 1;
    std::uint32_t root = 0xFFFFFFFFu;
    std::vector<std::string> levelNames;
    for (std::size_t f : listingFirsts) levelNames.emplace_back(nameOf(entries[f]));
    std::uint32_t levelStart = 0;
    while (levelNames.size() > 1) {
        auto encodeIndex = [&](std::size_t k, std::string& e) {
            PutEncInt(e, levelNames[k].size());
            e += levelNames[k];
            PutEncInt(e, levelStart + k);
        };
        const std::uint32_t nextStart = listingCount + static_cast<std::uint32_t>(indexChunks.size());
        std::vector<std::size_t> firsts =
            Pack(levelNames.size(), encodeIndex, false, [&](std::string& chunk) { indexChunks.push_back(chunk); });
        std::vector<std::string> next;
        for (std::size_t f : firsts) next.push_back(levelNames[f]);
        levelStart = nextStart;
        levelNames = std::move(next);
        ++depth;
        root = levelStart;
    }
    const std::uint64_t chunkCount = listingCount + indexChunks.size();

    const std::uint64_t dirOffset = 0x78;
    const std::uint64_t dirLength = 0x54 + chunkCount * kChunkSize;
    const std::uint64_t contentOffset = dirOffset + dirLength;
    const std::uint64_t fileSize = contentOffset + packed.dataLength + section0.size();

    std::string out;
    out += "ITSF";
    Put32(out, 3);
    Put32(out, 0x60);
    Put32(out, 1);
    Put32(out, BuildTime());
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
    Put32(out, static_cast<std::uint32_t>(chunkCount));
    Put32(out, lcid);
    PutGuid(out, 0x5D02926A, 0x212E, 0x11D0, kItspTail);
    Put32(out, 0x54);
    Put32(out, 0xFFFFFFFFu);
    Put32(out, 0xFFFFFFFFu);
    Put32(out, 0xFFFFFFFFu);
    sink(out);
    std::uint32_t c = 0;
    Pack(entries.size(), encodeListing, true, [&](std::string& chunk) {
        Set32(chunk, 0x0C, c == 0 ? 0xFFFFFFFFu : c - 1);
        Set32(chunk, 0x10, c + 1 == listingCount ? 0xFFFFFFFFu : c + 1);
        ++c;
        sink(chunk);
    });
    for (const std::string& chunk : indexChunks) sink(chunk);
    section_->CopyData(sink);
    sink(section0);
}

}  // namespace qb::hha
