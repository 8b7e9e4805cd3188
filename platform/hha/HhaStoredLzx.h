#pragma once
// LZX stream made of uncompressed blocks only: valid for every LZX reader,
// no compression. Used when QB_HHA_LZX=store, to tell container faults from
// compressor faults.
#include <string>

#include "ChmContainer.h"

namespace qb::hha {

CompressedSection StoreLzx(const std::string& content);

}  // namespace qb::hha
