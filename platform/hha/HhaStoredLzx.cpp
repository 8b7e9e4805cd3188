#include "LeBytes.h"
#include "HhaStoredLzx.h"

#include <cstdint>
#include <vector>

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

}  // namespace

CompressedSection StoreLzx(const std::string& content) {
    CompressedSection s;
    std::vector<std::uint64_t> offsets;
    for (std::size_t at = 0, frame = 0; at < content.size(); at += kFrame, ++frame) {
        offsets.push_back(s.data.size());
        // Every frame is whole: readers decode the last one to its full size too.
        std::size_t n = kFrame;
        std::size_t have = std::min(kFrame, content.size() - at);
        WordBits bits(s.data);
        if (frame % kResetFrames == 0) bits.Put(0, 1);  // no call translation
        bits.Put(3, 3);                                 // uncompressed block
        bits.Put(static_cast<std::uint32_t>(n >> 8), 16);
        bits.Put(static_cast<std::uint32_t>(n & 0xFF), 8);
        bits.Align();
        for (int r = 0; r < 3; ++r) Put32(s.data, 1);  // repeated offsets R0..R2
        s.data.append(content, at, have);
        s.data.append(n - have, '\0');
    }
    s.controlData = "";
    Put32(s.controlData, 6);
    s.controlData += "LZXC";
    Put32(s.controlData, 2);
    Put32(s.controlData, kResetFrames);
    Put32(s.controlData, 2);  // window of 64 KB
    Put32(s.controlData, 1);
    Put32(s.controlData, 0);
    Put32(s.resetTable, 2);
    Put32(s.resetTable, static_cast<std::uint32_t>(offsets.size()));
    Put32(s.resetTable, 8);
    Put32(s.resetTable, 0x28);
    s.span = content.size();
    Put64(s.resetTable, s.span);
    Put64(s.resetTable, s.data.size());
    Put64(s.resetTable, kFrame);
    for (std::uint64_t o : offsets) Put64(s.resetTable, o);
    return s;
}

}  // namespace qb::hha
