#pragma once
// LZX compressor for the compressed section of a compiled help file: the
// stream is cut into 32 KB frames, each realigned to 16 bits at its end, and
// the compressor state is reset every few frames so readers can seek.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "../../src/Utils/Error.h"

namespace qb::lzx {

// Uncompressed bytes per frame; the reset table has one entry per frame.
inline constexpr std::uint32_t kFrameSize = 0x8000;

struct Params {
    unsigned windowBits = 16;          // 15..21; window of 1 << windowBits bytes
    unsigned resetIntervalFrames = 2;  // state reset every N frames (N >= 1)
};

struct Result {
    std::string data;                          // the stream, exactly; the last frame ends it
    std::vector<std::uint64_t> frameOffsets;   // offset in data where each frame starts; first is 0
    std::uint64_t uncompressedSize = 0;        // input length in bytes
};

// Thrown when keepGoing returned false; nothing partial is returned.
class Cancelled : public qb::Error {
public:
    Cancelled() : qb::Error("LZX compression stopped") {}
};

// Compresses input; throws qb::Error for bad params and Cancelled when
// keepGoing (polled before every frame) returns false.
Result Compress(std::string_view input, const Params& p = {},
                const std::function<bool()>& keepGoing = {});

// Checks params (window 32 KB..2 MB, interval of at least one frame); throws
// qb::Error if not.
void Validate(const Params& p);

// Window size in 32 KB units, as the version 2 ControlData stores it.
std::uint32_t WindowSizeUnits(const Params& p);

// Reset interval in 32 KB units, as the version 2 ControlData stores it.
std::uint32_t ResetIntervalUnits(const Params& p);

// The complete ControlData file, 28 bytes of little-endian DWORDs: 6 (the
// DWORDs that follow, which readers check), "LZXC", version 2, reset interval
// and window size in 32 KB units, 1, 0.
std::string ControlData(const Params& p);

// The complete reset table file: 40-byte header (version 2, entry count,
// entry size 8, header size 0x28, uncompressed length, compressed length,
// frame size 0x8000) followed by the QWORD frame offsets.
std::string ResetTable(const Result& r);

}  // namespace qb::lzx
