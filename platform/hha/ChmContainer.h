#pragma once
// The ITSF container of a compiled help file: directory chunks, the
// uncompressed section 0 and the LZX-compressed MSCompressed section.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/LeBytes.h"

namespace qb::hha {

using ByteSink = std::function<void(std::string_view)>;

// What section 1 leaves for section 0 once its stream is complete.
struct CompressedSection {
    std::string controlData;       // ::DataSpace/.../ControlData
    std::string resetTable;        // ::DataSpace/.../ResetTable
    std::uint64_t span = 0;        // uncompressed length the stream decodes to
    std::uint64_t dataLength = 0;  // length of the compressed stream
};

// Section 1 on its way into the container: takes the stream in pieces as the
// files are added and keeps its compressed form until the file is written.
class SectionWriter {
public:
    virtual ~SectionWriter() = default;
    virtual void Write(std::string_view bytes) = 0;
    // Ends the stream.
    virtual CompressedSection Finish() = 0;
    // Hands the compressed stream (after Finish) to out, in order.
    virtual void CopyData(const ByteSink& out) = 0;
};

// The time stamp the file's headers carry: now, or SOURCE_DATE_EPOCH where
// set, so two compilations of a project can be compared byte for byte.
std::uint32_t BuildTime();

// Compares stored names the way CHM directories order them (ASCII letters
// folded to lower case, then bytes).
bool ChmNameLess(std::string_view a, std::string_view b);

// The directory entries' variable-length integers: 7-bit groups, high group first.
using qb::PutEncInt;

// Memory holds the directory's compact records and section 0's small files,
// never the content: that goes to the section writer as it is added.
class ChmContainer {
public:
    explicit ChmContainer(std::unique_ptr<SectionWriter> section);
    // A file of section 1 (compressed); name starts with "/".
    void AddFile(const std::string& name, std::string_view bytes);
    // The same for a file handed over in pieces: BeginFile, then AppendFile.
    void BeginFile(const std::string& name);
    void AppendFile(std::string_view bytes);
    // A file of section 0 (stored as is).
    void AddUncompressedFile(const std::string& name, std::string bytes);
    // Writes the whole file to out; folder entries are added for every
    // folder of a name. Raises qb::Error for a name stored twice. Called once.
    void Write(std::uint32_t lcid, const ByteSink& out);
    // Write into memory, for small files.
    std::string Build(std::uint32_t lcid);

private:
    // Pads and ends section 1's stream.
    CompressedSection FinishSection();

    struct Item {
        std::uint64_t nameAt;  // in names_
        std::uint32_t nameLength;
        std::uint64_t offset;  // in section 1
        std::uint64_t length;
    };
    std::string names_;  // names of the section-1 files, back to back
    std::vector<Item> items_;
    std::vector<std::pair<std::string, std::string>> uncompressed_;
    std::unique_ptr<SectionWriter> section_;
    std::uint64_t contentSize_ = 0;
};

}  // namespace qb::hha
