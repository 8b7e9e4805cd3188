#include "HhaLzxSection.h"

#include <algorithm>

#include "Lzx.h"

namespace qb::hha {

namespace {

// ControlData holds as many DWORDs after its first as that first DWORD says;
// readers (libmspack) reject a longer file.
std::string TrimControlData(std::string data) {
    if (data.size() < 4) return data;
    std::size_t count = static_cast<unsigned char>(data[0]) | (static_cast<unsigned char>(data[1]) << 8);
    return data.substr(0, std::min(data.size(), 4 + 4 * count));
}

}  // namespace

CompressedSection CompressSection(std::string& content, const std::function<bool()>& keepGoing) {
    qb::lzx::Params params;
    // Readers decode every frame to its full size (chmlib asks for whole
    // frames; libmspack rejects a match that runs past a shortened last
    // frame), so the stream covers whole frames of zero-padded content.
    const std::uint64_t length = content.size();
    content.resize((length + qb::lzx::kFrameSize - 1) / qb::lzx::kFrameSize * qb::lzx::kFrameSize, '\0');
    qb::lzx::Result r = qb::lzx::Compress(content, params, keepGoing);
    std::string resetTable = qb::lzx::ResetTable(r);  // before the data moves out
    for (int i = 0; i < 8; ++i) resetTable[0x10 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
    return {std::move(r.data), TrimControlData(qb::lzx::ControlData(params)), std::move(resetTable), length};
}

}  // namespace qb::hha
