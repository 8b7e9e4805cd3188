#pragma once
// LZX compressor for the compressed section of a compiled help file: the
// stream is cut into 32 KB frames, each realigned to 16 bits at its end, and
// the compressor state is reset every few frames so readers can seek.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/Error.h"

namespace qb::lzx {

// Uncompressed bytes per frame; the reset table has one entry per frame.
inline constexpr std::uint32_t kFrameSize = 0x8000;

struct Params {
    unsigned windowBits = 16;          // 15..21; window of 1 << windowBits bytes
    unsigned resetIntervalFrames = 2;  // state reset every N frames (N >= 1)
};

struct Result {
    std::string data;                         // the stream, exactly; the last frame ends it
    std::vector<std::uint64_t> frameOffsets;  // offset in data where each frame starts; first is 0
    std::uint64_t uncompressedSize = 0;       // input length in bytes
};

// Thrown when keepGoing returned false; nothing partial is returned.
class Cancelled : public qb::Error {
public:
    Cancelled() : qb::Error("LZX compression stopped") {}
};

// Compresses input; throws qb::Error for bad params and Cancelled when
// keepGoing (polled before every frame) returns false. Any number of threads
// gives the same bytes.
Result Compress(std::string_view input, const Params& p = {}, const std::function<bool()>& keepGoing = {},
                unsigned threads = 1);

// Compresses a stream handed over in pieces, one reset interval at a time,
// and passes the compressed bytes on to sink in stream order as soon as they
// are ready. Reset intervals are compressed independently, so with more than
// one thread they are done side by side and the bytes stay the same. Memory
// is a few intervals per thread, whatever the stream's length.
class StreamCompressor {
public:
    using Sink = std::function<void(std::string_view)>;
    // Throws qb::Error for bad params; keepGoing is polled (on the caller's
    // thread) as each frame begins, and Write throws Cancelled when it says no.
    StreamCompressor(const Params& p, Sink sink, unsigned threads = 1, std::function<bool()> keepGoing = {});
    ~StreamCompressor();
    StreamCompressor(const StreamCompressor&) = delete;
    StreamCompressor& operator=(const StreamCompressor&) = delete;

    void Write(std::string_view bytes);
    // Compresses what is left (the last frame may be short) and hands it on.
    void Finish();

    std::uint64_t UncompressedSize() const;
    // Bytes handed to the sink so far.
    std::uint64_t CompressedSize() const;
    // Where each frame starts in the compressed stream; complete after Finish.
    const std::vector<std::uint64_t>& FrameOffsets() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

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
// The same from a stream's frame offsets and lengths.
std::string ResetTable(const std::vector<std::uint64_t>& frameOffsets, std::uint64_t uncompressedSize,
                       std::uint64_t compressedSize);

}  // namespace qb::lzx
