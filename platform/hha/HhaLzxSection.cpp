#include "hha/HhaLzxSection.h"

#include <algorithm>

#include "hha/HhaSpill.h"
#include "hha/Lzx.h"

namespace qb::hha {

namespace {

// ControlData holds as many DWORDs after its first as that first DWORD says;
// readers (libmspack) reject a longer file.
std::string TrimControlData(std::string data) {
    if (data.size() < 4) return data;
    std::size_t count = static_cast<unsigned char>(data[0]) | (static_cast<unsigned char>(data[1]) << 8);
    return data.substr(0, std::min(data.size(), 4 + 4 * count));
}

class LzxWriter : public SectionWriter {
public:
    LzxWriter(const std::string& spillFolder, unsigned threads, std::function<bool()> keepGoing)
        : data_(spillFolder, 4u << 20),
          stream_(
              params_, [this](std::string_view bytes) { data_.Append(bytes); }, threads, std::move(keepGoing)) {}

    void Write(std::string_view bytes) override { stream_.Write(bytes); }

    CompressedSection Finish() override {
        // Readers decode every frame to its full size (chmlib asks for whole
        // frames; libmspack rejects a match that runs past a shortened last
        // frame), so the stream covers whole frames of zero-padded content.
        const std::uint64_t length = stream_.UncompressedSize();
        const std::string zeros(
            static_cast<std::size_t>((qb::lzx::kFrameSize - length % qb::lzx::kFrameSize) % qb::lzx::kFrameSize), '\0');
        stream_.Write(zeros);
        stream_.Finish();
        CompressedSection s;
        s.resetTable = qb::lzx::ResetTable(stream_.FrameOffsets(), length, stream_.CompressedSize());
        s.controlData = TrimControlData(qb::lzx::ControlData(params_));
        s.span = length;
        s.dataLength = data_.Size();
        return s;
    }

    void CopyData(const ByteSink& out) override { data_.CopyTo(out); }

private:
    qb::lzx::Params params_;
    SpillFile data_;
    qb::lzx::StreamCompressor stream_;
};

}  // namespace

std::unique_ptr<SectionWriter> LzxSection(const std::string& spillFolder, unsigned threads,
                                          std::function<bool()> keepGoing) {
    return std::make_unique<LzxWriter>(spillFolder, threads, std::move(keepGoing));
}

}  // namespace qb::hha
