#pragma once
// The MSCompressed section as the LZX compressor writes it.
#include <functional>
#include <string>

#include "ChmContainer.h"

namespace qb::hha {

// Compresses section 1 (zero-padded in place to whole frames) with a 64 KB
// window and a reset every two frames; polls keepGoing once per frame and
// throws qb::lzx::Cancelled when it returns false.
CompressedSection CompressSection(std::string& content, const std::function<bool()>& keepGoing = {});

}  // namespace qb::hha
