#pragma once
// Bytes written once and read back, kept in memory while small, then in an
// unnamed temporary file.
#include "support/Os.h"
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qb::hha {

class SpillFile {
public:
    // The temporary file goes into folder ("" for the system's temp folder)
    // once more than memoryLimit bytes were appended.
    explicit SpillFile(std::string folder, std::size_t memoryLimit = 8u << 20);
    ~SpillFile();
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    // Raises qb::Error when the temporary file cannot be made or written.
    void Append(std::string_view bytes);
    std::uint64_t Size() const { return size_; }
    // Hands every byte appended so far to out, in pieces, in order.
    void CopyTo(const std::function<void(std::string_view)>& out) const;
    // Reads n bytes appended earlier, from offset at, into buf.
    void ReadAt(std::uint64_t at, char* buf, std::size_t n) const;
    // Overwrites bytes appended earlier, from offset at.
    void Patch(std::uint64_t at, std::string_view bytes);

private:
    void Spill();

    std::string folder_;
    std::size_t memoryLimit_;
    std::string memory_;
    qb::os::Fd fd_ = qb::os::kNoFd;
    std::uint64_t size_ = 0;
};

}  // namespace qb::hha
