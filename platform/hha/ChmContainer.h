#pragma once
// The ITSF container of a compiled help file: directory chunks, the
// uncompressed section 0 and the LZX-compressed MSCompressed section.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qb::hha {

// The compressed form of section 1, as the LZX stage hands it over.
struct CompressedSection {
    std::string data;                        // LZX stream
    std::string controlData;                 // ::DataSpace/.../ControlData
    std::string resetTable;                  // ::DataSpace/.../ResetTable
    std::uint64_t span = 0;                  // uncompressed length the stream decodes to
};
// Compresses the whole section-1 stream; may pad it in place, may poll (and
// throw) while working.
using SectionCompressor = std::function<CompressedSection(std::string& content)>;

// Compares stored names the way CHM directories order them (ASCII letters
// folded to lower case, then bytes).
bool ChmNameLess(const std::string& a, const std::string& b);

// Variable-length big-endian 7-bit integer of the directory entries.
void PutEncInt(std::string& out, std::uint64_t value);

class ChmContainer {
public:
    // A file of section 1 (compressed); name starts with "/".
    void AddFile(const std::string& name, std::string bytes);
    // A file of section 0 (stored as is).
    void AddUncompressedFile(const std::string& name, std::string bytes);
    // The whole file; folder entries are added for every folder of a name.
    // Raises qb::Error for a name stored twice. Hands the section-1 stream
    // (with a filler byte or two where readers need them) to compress, so it
    // is called once.
    std::string Build(std::uint32_t lcid, const SectionCompressor& compress);

private:
    struct Item {
        std::string name;
        std::uint64_t offset;  // in section 1 for compressed files
        std::uint64_t length;
        std::string bytes;     // section-0 files only
        bool compressed;
    };
    std::vector<Item> items_;
    std::string content_;  // section 1, files appended as they are added
};

}  // namespace qb::hha
