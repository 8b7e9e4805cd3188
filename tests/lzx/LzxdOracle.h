#pragma once
// Decodes an LZX stream with libmspack's decoder, as compiled-help readers do.
#include <cstdint>
#include <string>
#include <string_view>

namespace lzxtest {

struct Decoded {
    int error = 0;  // libmspack error code, 0 on success
    std::string data;
};

// Decodes outLength bytes from stream with a fresh decoder state.
Decoded Decode(std::string_view stream, unsigned windowBits, unsigned resetIntervalFrames, std::uint64_t outLength);

}  // namespace lzxtest
