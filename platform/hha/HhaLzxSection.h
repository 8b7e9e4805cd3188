#pragma once
// The MSCompressed section as the LZX compressor writes it.
#include <functional>
#include <memory>
#include <string>

#include "hha/ChmContainer.h"

namespace qb::hha {

// Compresses section 1 as it comes (zero-padded to whole frames at the end)
// with a 64 KB window and a reset every two frames, on `threads` threads with
// the same bytes for any count; the compressed stream waits in spillFolder
// ("" for the system's) once it outgrows memory. Polls keepGoing once per
// frame and throws qb::lzx::Cancelled when it returns false.
std::unique_ptr<SectionWriter> LzxSection(const std::string& spillFolder = {}, unsigned threads = 1,
                                          std::function<bool()> keepGoing = {});

}  // namespace qb::hha
