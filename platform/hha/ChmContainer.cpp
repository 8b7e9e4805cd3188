#include "hha/ChmContainer.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <set>

#include "support/Error.h"
#include "support/Os.h"
#include "support/LeBytes.h"
#include "support/Text.h"
#include "support/Utf.h"

namespace qb::hha {

namespace {

// Directory chunks are 4 KB unless a name is too long for two to share one:
// then an index level could not shrink the level below it.
constexpr std::uint32_t kChunkSize = 0x1000;
constexpr std::uint32_t kMaxChunkSize = 0x8000;  // quick references are 16-bit offsets
constexpr std::uint64_t kLzxFrame = 0x8000;
constexpr std::uint32_t kDensity = 2;  // a quick-reference entry every 1 + (1 << 2) entries
constexpr std::uint32_t kQuickRefEvery = 1 + (1u << kDensity);
constexpr std::uint32_t kNone = 0xFFFFFFFFu;  // "no chunk" in every chunk number field
const char* const kLzxGuidText = "{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}";

// The file begins with the ITSF header, then header section 0, then the
// directory: the ITSP header and its chunks. Offsets are within each structure.
constexpr std::size_t kItsfHeader_Signature = 0x00;     // "ITSF"
constexpr std::size_t kItsfHeader_Version = 0x04;       // 3
constexpr std::size_t kItsfHeader_HeaderLength = 0x08;  // whole header, 0x60
constexpr std::size_t kItsfHeader_Unknown1 = 0x0C;      // 1
constexpr std::size_t kItsfHeader_Timestamp = 0x10;
constexpr std::size_t kItsfHeader_LanguageId = 0x14;
constexpr std::size_t kItsfHeader_Guid1 = 0x18;
constexpr std::size_t kItsfHeader_Guid2 = 0x28;
constexpr std::size_t kItsfHeader_Section0Offset = 0x38;  // QWORDs from here on
constexpr std::size_t kItsfHeader_Section0Length = 0x40;
constexpr std::size_t kItsfHeader_DirOffset = 0x48;
constexpr std::size_t kItsfHeader_DirLength = 0x50;
constexpr std::size_t kItsfHeader_ContentOffset = 0x58;  // where section 0 begins
constexpr std::size_t kItsfHeader_Size = 0x60;

constexpr std::size_t kHeaderSection0_Unknown1 = 0x00;  // 0x01FE
constexpr std::size_t kHeaderSection0_Unknown2 = 0x04;
constexpr std::size_t kHeaderSection0_FileLength = 0x08;  // QWORD
constexpr std::size_t kHeaderSection0_Unknown3 = 0x10;
constexpr std::size_t kHeaderSection0_Unknown4 = 0x14;
constexpr std::size_t kHeaderSection0_Size = 0x18;

constexpr std::size_t kItspHeader_Signature = 0x00;     // "ITSP"
constexpr std::size_t kItspHeader_Version = 0x04;       // 1
constexpr std::size_t kItspHeader_HeaderLength = 0x08;  // 0x54
constexpr std::size_t kItspHeader_Unknown1 = 0x0C;      // 0x0A
constexpr std::size_t kItspHeader_ChunkSize = 0x10;
constexpr std::size_t kItspHeader_Density = 0x14;
constexpr std::size_t kItspHeader_Depth = 0x18;      // 1: listing chunks only
constexpr std::size_t kItspHeader_IndexRoot = 0x1C;  // top index chunk, or kNone
constexpr std::size_t kItspHeader_FirstPmgl = 0x20;
constexpr std::size_t kItspHeader_LastPmgl = 0x24;
constexpr std::size_t kItspHeader_Unknown2 = 0x28;  // kNone
constexpr std::size_t kItspHeader_NumChunks = 0x2C;
constexpr std::size_t kItspHeader_LanguageId = 0x30;
constexpr std::size_t kItspHeader_Guid = 0x34;
constexpr std::size_t kItspHeader_HeaderLength2 = 0x44;  // 0x54 again
constexpr std::size_t kItspHeader_Unknown3 = 0x48;       // kNone, three DWORDs
constexpr std::size_t kItspHeader_Unknown4 = 0x4C;
constexpr std::size_t kItspHeader_Unknown5 = 0x50;
constexpr std::size_t kItspHeader_Size = 0x54;

// Listing (PMGL) and index (PMGI) chunks: a header, the entries, free space,
// then the quick-reference area growing back from the chunk's end.
constexpr std::size_t kPmglHeader_Signature = 0x00;  // "PMGL"
constexpr std::size_t kPmglHeader_FreeSpace = 0x04;  // bytes after the entries, quick references included
constexpr std::size_t kPmglHeader_Unknown1 = 0x08;   // 0
constexpr std::size_t kPmglHeader_PrevChunk = 0x0C;  // kNone for the first
constexpr std::size_t kPmglHeader_NextChunk = 0x10;  // kNone for the last
constexpr std::size_t kPmglHeader_Size = 0x14;
constexpr std::size_t kPmgiHeader_Signature = 0x00;  // "PMGI"
constexpr std::size_t kPmgiHeader_FreeSpace = 0x04;
constexpr std::size_t kPmgiHeader_Size = 0x08;
constexpr std::size_t kChunkTail_EntryCount = 2;  // WORD at the chunk's end; quick references below it

// A GUID in its binary layout at: DWORD, two WORDs, eight bytes.
struct Guid {
    std::uint32_t d1;
    std::uint16_t d2, d3;
    unsigned char d4[8];
};
constexpr Guid kItsfGuid1 = {0x7C01FD10, 0x7BAA, 0x11D0, {0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC}};
constexpr Guid kItsfGuid2 = {0x7C01FD11, 0x7BAA, 0x11D0, {0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC}};
constexpr Guid kItspGuid = {0x5D02926A, 0x212E, 0x11D0, {0x9D, 0xF9, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC}};

void SetGuid(std::string& out, std::size_t at, const Guid& g) {
    Set32(out, at, g.d1);
    Set16(out, at + 4, g.d2);
    Set16(out, at + 6, g.d3);
    out.replace(at + 8, 8, reinterpret_cast<const char*>(g.d4), 8);
}

void SetSignature(std::string& out, std::size_t at, const char (&tag)[5]) { out.replace(at, 4, tag, 4); }

// A directory entry whose name lies in a shared arena.
struct DirEntry {
    std::uint64_t nameAt = 0;
    std::uint32_t nameLength = 0;
    std::uint32_t section = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// Every name of the directory in one arena, files first.
struct Directory {
    std::string arena;
    std::vector<DirEntry> entries;

    std::string_view NameOf(const DirEntry& e) const { return std::string_view(arena).substr(e.nameAt, e.nameLength); }
    bool Less(const DirEntry& a, const DirEntry& b) const { return ChmNameLess(NameOf(a), NameOf(b)); }
    void Sort() {
        std::sort(entries.begin(), entries.end(), [&](const DirEntry& a, const DirEntry& b) { return Less(a, b); });
    }
    void Add(std::string_view name, std::uint32_t section, std::uint64_t offset, std::uint64_t length) {
        entries.push_back({arena.size(), static_cast<std::uint32_t>(name.size()), section, offset, length});
        arena += name;
    }
};

// A listing entry: name, section, offset and length, each length and number an ENCINT.
void EncodeListing(std::string& out, std::string_view name, const DirEntry& e) {
    PutEncInt(out, name.size());
    out += name;
    PutEncInt(out, e.section);
    PutEncInt(out, e.offset);
    PutEncInt(out, e.length);
}

std::function<void(std::size_t, std::string&)> ListingEncoder(const Directory& dir) {
    return [&dir](std::size_t i, std::string& out) { EncodeListing(out, dir.NameOf(dir.entries[i]), dir.entries[i]); };
}

// An index entry: the first name of a chunk of the level below, and its number.
void EncodeIndex(std::string& out, std::string_view name, std::uint32_t chunk) {
    PutEncInt(out, name.size());
    out += name;
    PutEncInt(out, chunk);
}

// A full chunk around body: the header of its kind, the entries, the
// quick-reference area and the entry count at the end. A listing chunk's
// neighbours are left as kNone; the caller links them.
std::string MakeChunk(std::uint32_t chunkSize, bool listing, const std::string& body, std::size_t entryCount,
                      const std::vector<std::uint16_t>& quick) {
    const std::size_t header = listing ? kPmglHeader_Size : kPmgiHeader_Size;
    std::string chunk(chunkSize, '\0');
    if (listing) {
        SetSignature(chunk, kPmglHeader_Signature, "PMGL");
        Set32(chunk, kPmglHeader_FreeSpace, static_cast<std::uint32_t>(chunkSize - header - body.size()));
        Set32(chunk, kPmglHeader_Unknown1, 0);
        Set32(chunk, kPmglHeader_PrevChunk, 0);
        Set32(chunk, kPmglHeader_NextChunk, 0);
    } else {
        SetSignature(chunk, kPmgiHeader_Signature, "PMGI");
        Set32(chunk, kPmgiHeader_FreeSpace, static_cast<std::uint32_t>(chunkSize - header - body.size()));
    }
    chunk.replace(header, body.size(), body);
    std::size_t at = chunkSize - kChunkTail_EntryCount;
    Set16(chunk, at, static_cast<std::uint32_t>(entryCount));
    for (std::uint16_t q : quick) {
        at -= 2;
        Set16(chunk, at, q);
    }
    return chunk;
}

// Packs encoded entries into chunks of kind "PMGL" or "PMGI", handing each
// chunk to emit (when set); returns the index of the first entry of each
// chunk. Entries are encoded on demand, so a pass needs no more than a chunk.
std::vector<std::size_t> Pack(std::uint32_t chunkSize, std::size_t count,
                              const std::function<void(std::size_t, std::string&)>& encode, bool listing,
                              const std::function<void(std::string&)>& emit) {
    std::vector<std::size_t> firsts;
    const std::size_t header = listing ? kPmglHeader_Size : kPmgiHeader_Size;
    std::size_t i = 0;
    std::string entry, body;
    bool have = false;
    auto next = [&] {
        if (!have && i < count) {
            entry.clear();
            encode(i, entry);
            have = true;
        }
    };
    while (i < count) {
        std::size_t first = i;
        std::vector<std::uint16_t> quick;
        body.clear();
        for (next(); i < count; next()) {
            std::size_t n = i - first;  // entries already in the chunk
            std::size_t quickCount = quick.size() + ((n > 0 && n % kQuickRefEvery == 0) ? 1 : 0);
            if (header + body.size() + entry.size() + 2 + 2 * quickCount > chunkSize) break;
            if (n > 0 && n % kQuickRefEvery == 0) quick.push_back(static_cast<std::uint16_t>(body.size()));
            body += entry;
            have = false;
            ++i;
        }
        if (i == first) throw Error("Error: a stored name is too long: " + entry);
        firsts.push_back(first);
        if (!emit) continue;
        std::string chunk = MakeChunk(chunkSize, listing, body, i - first, quick);
        emit(chunk);
    }
    return firsts;
}

// Section 0's ::DataSpace/NameList: its length in WORDs, the number of
// sections, then each section's name as a counted, zero-ended UTF-16 text.
std::string NameList() {
    std::string out;
    Put16(out, 0);  // length, set below
    Put16(out, 2);
    for (const char* name : {"Uncompressed", "MSCompressed"}) {
        const std::string utf16 = Utf16Le(name);
        Put16(out, static_cast<std::uint32_t>(utf16.size() / 2));
        out += utf16;
        Put16(out, 0);
    }
    Set16(out, 0, static_cast<std::uint32_t>(out.size() / 2));
    return out;
}

// The directory as written: listing chunks first, then the index chunks.
struct DirectoryLayout {
    std::uint32_t chunkSize = kChunkSize;
    std::uint32_t listingCount = 0;
    std::vector<std::string> indexChunks;
    std::uint32_t depth = 1;
    std::uint32_t root = kNone;
    std::uint64_t ChunkCount() const { return listingCount + indexChunks.size(); }
};

// Where the parts of the file start.
struct FileLayout {
    std::uint64_t dirOffset = kItsfHeader_Size + kHeaderSection0_Size;
    std::uint64_t dirLength = 0;
    std::uint64_t contentOffset = 0;
    std::uint64_t fileSize = 0;
};

FileLayout PlaceParts(const DirectoryLayout& dir, std::uint64_t contentLength) {
    FileLayout f;
    f.dirLength = kItspHeader_Size + dir.ChunkCount() * dir.chunkSize;
    f.contentOffset = f.dirOffset + f.dirLength;
    f.fileSize = f.contentOffset + contentLength;
    return f;
}

std::string ItsfHeader(std::uint32_t lcid, const FileLayout& f) {
    std::string h(kItsfHeader_Size, '\0');
    SetSignature(h, kItsfHeader_Signature, "ITSF");
    Set32(h, kItsfHeader_Version, 3);
    Set32(h, kItsfHeader_HeaderLength, kItsfHeader_Size);
    Set32(h, kItsfHeader_Unknown1, 1);
    Set32(h, kItsfHeader_Timestamp, BuildTime());
    Set32(h, kItsfHeader_LanguageId, lcid);
    SetGuid(h, kItsfHeader_Guid1, kItsfGuid1);
    SetGuid(h, kItsfHeader_Guid2, kItsfGuid2);
    Set64(h, kItsfHeader_Section0Offset, kItsfHeader_Size);
    Set64(h, kItsfHeader_Section0Length, kHeaderSection0_Size);
    Set64(h, kItsfHeader_DirOffset, f.dirOffset);
    Set64(h, kItsfHeader_DirLength, f.dirLength);
    Set64(h, kItsfHeader_ContentOffset, f.contentOffset);
    return h;
}

std::string HeaderSection0(const FileLayout& f) {
    std::string h(kHeaderSection0_Size, '\0');
    Set32(h, kHeaderSection0_Unknown1, 0x01FE);
    Set32(h, kHeaderSection0_Unknown2, 0);
    Set64(h, kHeaderSection0_FileLength, f.fileSize);
    Set32(h, kHeaderSection0_Unknown3, 0);
    Set32(h, kHeaderSection0_Unknown4, 0);
    return h;
}

std::string ItspHeader(std::uint32_t lcid, const DirectoryLayout& dir) {
    std::string h(kItspHeader_Size, '\0');
    SetSignature(h, kItspHeader_Signature, "ITSP");
    Set32(h, kItspHeader_Version, 1);
    Set32(h, kItspHeader_HeaderLength, kItspHeader_Size);
    Set32(h, kItspHeader_Unknown1, 0x0A);
    Set32(h, kItspHeader_ChunkSize, dir.chunkSize);
    Set32(h, kItspHeader_Density, kDensity);
    Set32(h, kItspHeader_Depth, dir.depth);
    Set32(h, kItspHeader_IndexRoot, dir.root);
    Set32(h, kItspHeader_FirstPmgl, 0);
    Set32(h, kItspHeader_LastPmgl, dir.listingCount - 1);
    Set32(h, kItspHeader_Unknown2, kNone);
    Set32(h, kItspHeader_NumChunks, static_cast<std::uint32_t>(dir.ChunkCount()));
    Set32(h, kItspHeader_LanguageId, lcid);
    SetGuid(h, kItspHeader_Guid, kItspGuid);
    Set32(h, kItspHeader_HeaderLength2, kItspHeader_Size);
    Set32(h, kItspHeader_Unknown3, kNone);
    Set32(h, kItspHeader_Unknown4, kNone);
    Set32(h, kItspHeader_Unknown5, kNone);
    return h;
}

// Folders get entries of their own, as readers list them, unless a file
// has the folder's name. Expects the file entries sorted.
void AddFolderEntries(Directory& dir) {
    std::set<std::string, decltype(&ChmNameLess)> folders(&ChmNameLess);
    std::string_view previous;
    for (const DirEntry& e : dir.entries) {
        std::string_view name = dir.NameOf(e);
        if (name.empty() || name[0] != '/') continue;
        // Folders within the part shared with the previous name are in already:
        // deep trees would otherwise cost the depth squared per name.
        std::size_t shared = 0;
        while (shared < name.size() && shared < previous.size() && name[shared] == previous[shared]) ++shared;
        previous = name;
        for (std::size_t slash = name.find('/', shared); slash != std::string::npos; slash = name.find('/', slash + 1))
            folders.insert(std::string(name.substr(0, slash + 1)));
    }
    const auto files = static_cast<std::ptrdiff_t>(dir.entries.size());
    auto less = [&](const DirEntry& a, const DirEntry& b) { return dir.Less(a, b); };
    for (const std::string& f : folders) {
        DirEntry probe{dir.arena.size(), static_cast<std::uint32_t>(f.size()), 0, 0, 0};
        dir.arena += f;
        if (std::binary_search(dir.entries.begin(), dir.entries.begin() + files, probe, less)) {
            dir.arena.resize(probe.nameAt);
            continue;
        }
        dir.entries.push_back(probe);
    }
}

// Section 0: the compressed stream's entry, the section's own files, then the
// small files stored uncompressed; returns the bytes that follow the stream.
std::string BuildSection0(Directory& dir, const CompressedSection& packed,
                          const std::vector<std::pair<std::string, std::string>>& uncompressed) {
    std::string section0;
    auto add0 = [&](std::string_view name, std::string_view bytes) {
        dir.Add(name, 0, packed.dataLength + section0.size(), bytes.size());
        section0 += bytes;
    };
    // The stream goes first: a reader's read-ahead past its end then lands
    // on bytes of the file rather than at its end.
    dir.Add("::DataSpace/Storage/MSCompressed/Content", 0, 0, packed.dataLength);
    add0("::DataSpace/NameList", NameList());
    add0("::DataSpace/Storage/MSCompressed/ControlData", packed.controlData);
    std::string span;
    Put64(span, packed.span);
    add0("::DataSpace/Storage/MSCompressed/SpanInfo", span);
    add0("::DataSpace/Storage/MSCompressed/Transform/List", Utf16Le(kLzxGuidText));
    add0(std::string("::DataSpace/Storage/MSCompressed/Transform/") + kLzxGuidText + "/InstanceData/ResetTable",
         packed.resetTable);
    for (const auto& [name, bytes] : uncompressed) add0(name, bytes);
    return section0;
}

// Sorts the whole directory; raises qb::Error for a name stored twice.
void SortAndCheck(Directory& dir) {
    dir.Sort();
    for (std::size_t i = 1; i < dir.entries.size(); ++i)
        if (!dir.Less(dir.entries[i - 1], dir.entries[i]))
            throw Error("Error: " + std::string(dir.NameOf(dir.entries[i])) + " is stored twice");
}

// Listing chunks (only counted here, written last), then as many levels of
// index chunks as needed, which hold a name per chunk of the level below.
// The smallest chunk, from 4 KB up, that holds two of the longest entries of
// either kind, so that every index level at most halves the one below.
std::uint32_t ChunkSizeFor(const Directory& dir) {
    std::size_t longest = 0;
    std::string entry;
    for (const DirEntry& e : dir.entries) {
        entry.clear();
        EncodeListing(entry, dir.NameOf(e), e);
        longest = std::max(longest, std::max(entry.size(), e.nameLength + std::size_t{10}));
    }
    std::uint32_t size = kChunkSize;
    auto twoFit = [&] { return kPmglHeader_Size + 2 * longest + kChunkTail_EntryCount <= size; };
    while (size < kMaxChunkSize && !twoFit()) size *= 2;
    if (!twoFit()) throw Error("Error: a stored name is too long (" + std::to_string(longest) + " bytes)");
    return size;
}

DirectoryLayout PackIndex(const Directory& dir) {
    DirectoryLayout layout;
    layout.chunkSize = ChunkSizeFor(dir);
    const std::vector<std::size_t> listingFirsts =
        Pack(layout.chunkSize, dir.entries.size(), ListingEncoder(dir), true, {});
    layout.listingCount = static_cast<std::uint32_t>(listingFirsts.size());
    std::vector<std::string> levelNames;
    for (std::size_t f : listingFirsts) levelNames.emplace_back(dir.NameOf(dir.entries[f]));
    std::uint32_t levelStart = 0;
    while (levelNames.size() > 1) {
        auto encodeIndex = [&](std::size_t k, std::string& e) {
            EncodeIndex(e, levelNames[k], levelStart + static_cast<std::uint32_t>(k));
        };
        const std::uint32_t nextStart = layout.listingCount + static_cast<std::uint32_t>(layout.indexChunks.size());
        std::vector<std::size_t> firsts = Pack(layout.chunkSize, levelNames.size(), encodeIndex, false,
                                               [&](std::string& chunk) { layout.indexChunks.push_back(chunk); });
        std::vector<std::string> next;
        for (std::size_t f : firsts) next.push_back(levelNames[f]);
        levelStart = nextStart;
        levelNames = std::move(next);
        ++layout.depth;
        layout.root = levelStart;
    }
    return layout;
}

// The listing chunks again, now linked to their neighbours, to sink.
void WriteListingChunks(const Directory& dir, const DirectoryLayout& layout, const ByteSink& sink) {
    const std::uint32_t listingCount = layout.listingCount;
    std::uint32_t c = 0;
    Pack(layout.chunkSize, dir.entries.size(), ListingEncoder(dir), true, [&](std::string& chunk) {
        Set32(chunk, kPmglHeader_PrevChunk, c == 0 ? kNone : c - 1);
        Set32(chunk, kPmglHeader_NextChunk, c + 1 == listingCount ? kNone : c + 1);
        ++c;
        sink(chunk);
    });
}

}  // namespace

std::uint32_t BuildTime() {
    if (const auto fixed = os::Environment("SOURCE_DATE_EPOCH"); fixed && !fixed->empty())
        return static_cast<std::uint32_t>(std::strtoll(fixed->c_str(), nullptr, 10));
    return static_cast<std::uint32_t>(std::time(nullptr));
}

bool ChmNameLess(std::string_view a, std::string_view b) { return LessNoCase(a, b); }

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

CompressedSection ChmContainer::FinishSection() {
    // Readers stumble over a section that ends exactly on a frame boundary
    // or one byte short of it (they look for a frame that is not there, or
    // reject the section outright); filler that no file owns keeps clear.
    const std::uint64_t tail = contentSize_ % kLzxFrame;
    if (tail == 0) section_->Write(std::string_view("\0", 1));
    if (tail == kLzxFrame - 1) section_->Write(std::string_view("\0\0", 2));
    return section_->Finish();
}

void ChmContainer::Write(std::uint32_t lcid, const ByteSink& sink) {
    Directory dir;
    dir.arena = std::move(names_);
    dir.entries.reserve(items_.size() + 16);
    for (const Item& item : items_) dir.entries.push_back({item.nameAt, item.nameLength, 1, item.offset, item.length});
    std::vector<Item>().swap(items_);
    dir.Sort();
    AddFolderEntries(dir);

    const CompressedSection packed = FinishSection();
    const std::string section0 = BuildSection0(dir, packed, uncompressed_);
    SortAndCheck(dir);

    const DirectoryLayout layout = PackIndex(dir);
    const FileLayout parts = PlaceParts(layout, packed.dataLength + section0.size());
    sink(ItsfHeader(lcid, parts) + HeaderSection0(parts) + ItspHeader(lcid, layout));
    WriteListingChunks(dir, layout, sink);
    for (const std::string& chunk : layout.indexChunks) sink(chunk);
    section_->CopyData(sink);
    sink(section0);
}

}  // namespace qb::hha
