#include "hha/HhaStoredLzx.h"
#include "support/LeBytes.h"

#include <cstdint>
#include <vector>

#include "hha/HhaSpill.h"

namespace qb::hha {

namespace {

constexpr std::size_t kFrame = 0x8000;
constexpr std::size_t kResetFrames = 2;

// LZX bits go into 16-bit little-endian words, most significant bit first.
class WordBits {
public:
    explicit WordBits(std::string& out) : out_(out) {}
    void Put(std::uint32_t value, unsigned bits) {
        for (unsigned i = bits; i-- > 0;) {
            word_ = static_cast<std::uint16_t>((word_ << 1) | ((value >> i) & 1));
            if (++used_ == 16) Flush();
        }
    }
    // Pads the current word with zero bits.
    void Align() {
        if (used_ == 0) return;
        word_ = static_cast<std::uint16_t>(word_ << (16 - used_));
        Flush();
    }

private:
    void Flush() {
        out_ += static_cast<char>(word_ & 0xFF);
        out_ += static_cast<char>(word_ >> 8);
        word_ = 0;
        used_ = 0;
    }
    std::string& out_;
    std::uint16_t word_ = 0;
    unsigned used_ = 0;
};

class StoredWriter : public SectionWriter {
public:
    explicit StoredWriter(const std::string& spillFolder) : data_(spillFolder) {}

    void Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            std::size_t n = std::min(kFrame - frame_.size(), bytes.size());
            frame_.append(bytes.data(), n);
            bytes.remove_prefix(n);
            span_ += n;
            if (frame_.size() == kFrame) EmitFrame();
        }
    }

    CompressedSection Finish() override {
        if (!frame_.empty()) EmitFrame();
        CompressedSection s;
        Put32(s.controlData, 6);
        s.controlData += "LZXC";
        Put32(s.controlData, 2);
        Put32(s.controlData, kResetFrames);
        Put32(s.controlData, 2);  // window of 64 KB
        Put32(s.controlData, 1);
        Put32(s.controlData, 0);
        Put32(s.resetTable, 2);
        Put32(s.resetTable, static_cast<std::uint32_t>(offsets_.size()));
        Put32(s.resetTable, 8);
        Put32(s.resetTable, 0x28);
        Put64(s.resetTable, span_);
        Put64(s.resetTable, data_.Size());
        Put64(s.resetTable, kFrame);
        for (std::uint64_t o : offsets_) Put64(s.resetTable, o);
        s.span = span_;
        s.dataLength = data_.Size();
        return s;
    }

    void CopyData(const ByteSink& out) override { data_.CopyTo(out); }

private:
    void EmitFrame() {
        offsets_.push_back(data_.Size());
        std::string block;
        WordBits bits(block);
        if (offsets_.size() % kResetFrames == 1) bits.Put(0, 1);  // no call translation
        bits.Put(3, 3);                                           // uncompressed block
        // Every frame is whole: readers decode the last one to its full size too.
        bits.Put(static_cast<std::uint32_t>(kFrame >> 8), 16);
        bits.Put(static_cast<std::uint32_t>(kFrame & 0xFF), 8);
        bits.Align();
        for (int r = 0; r < 3; ++r) Put32(block, 1);  // repeated offsets R0..R2
        data_.Append(block);
        frame_.resize(kFrame, '\0');
        data_.Append(frame_);
        frame_.clear();
    }

    SpillFile data_;
    std::string frame_;
    std::vector<std::uint64_t> offsets_;
    std::uint64_t span_ = 0;
};

}  // namespace

std::unique_ptr<SectionWriter> StoredSection(const std::string& spillFolder) {
    return std::make_unique<StoredWriter>(spillFolder);
}

}  // namespace qb::hha
