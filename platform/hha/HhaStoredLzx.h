#pragma once
// LZX stream made of uncompressed blocks only: valid for every LZX reader,
// no compression. Used when QB_HHA_LZX=store, to tell container faults from
// compressor faults.
#include <memory>
#include <string>

#include "hha/ChmContainer.h"

namespace qb::hha {

// Section 1 stored in uncompressed LZX blocks; the stream waits in
// spillFolder ("" for the system's) once it outgrows memory.
std::unique_ptr<SectionWriter> StoredSection(const std::string& spillFolder = {});

}  // namespace qb::hha
