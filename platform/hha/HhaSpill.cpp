#include "hha/HhaSpill.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "support/Error.h"
#include "support/Os.h"
#include "support/Scratch.h"

namespace qb::hha {

namespace {

constexpr std::size_t kPiece = 1 << 20;

os::Fd OpenUnnamed(const std::string& folder) {
    const std::string dir = folder.empty() ? TempDirectory() : folder;
    const os::Fd fd = os::ScratchFile(dir);
    if (fd < 0) throw Error("Error: cannot make a temporary file in " + dir);
    return fd;
}

void WriteAll(os::Fd fd, std::string_view bytes) {
    if (!os::WriteAll(fd, bytes.data(), bytes.size()))
        throw Error("Error: cannot write a temporary file (disk full?)");
}

}  // namespace

SpillFile::SpillFile(std::string folder, std::size_t memoryLimit)
    : folder_(std::move(folder)), memoryLimit_(memoryLimit) {}

SpillFile::~SpillFile() {
    os::Close(fd_);
}

void SpillFile::Spill() {
    fd_ = OpenUnnamed(folder_);
    WriteAll(fd_, memory_);
    std::string().swap(memory_);
}

void SpillFile::Append(std::string_view bytes) {
    size_ += bytes.size();
    if (fd_ < 0) {
        memory_.append(bytes);
        if (memory_.size() > memoryLimit_) Spill();
        return;
    }
    WriteAll(fd_, bytes);
}

void SpillFile::CopyTo(const std::function<void(std::string_view)>& out) const {
    if (fd_ < 0) {
        for (std::size_t at = 0; at < memory_.size(); at += kPiece) out(std::string_view(memory_).substr(at, kPiece));
        return;
    }
    std::string buf(kPiece, '\0');
    for (std::uint64_t at = 0; at < size_;) {
        const long long n = os::ReadAt(fd_, buf.data(), std::min<std::uint64_t>(kPiece, size_ - at), at);
        if (n <= 0) throw Error("Error: cannot read a temporary file back");
        out(std::string_view(buf.data(), static_cast<std::size_t>(n)));
        at += static_cast<std::uint64_t>(n);
    }
}

void SpillFile::ReadAt(std::uint64_t at, char* buf, std::size_t n) const {
    if (at + n > size_) throw Error("Error: cannot read a temporary file back");
    if (fd_ < 0) {
        std::memcpy(buf, memory_.data() + at, n);
        return;
    }
    while (n > 0) {
        const long long got = os::ReadAt(fd_, buf, n, at);
        if (got <= 0) throw Error("Error: cannot read a temporary file back");
        buf += got;
        at += static_cast<std::uint64_t>(got);
        n -= static_cast<std::size_t>(got);
    }
}

void SpillFile::Patch(std::uint64_t at, std::string_view bytes) {
    if (at + bytes.size() > size_) throw Error("Error: cannot write a temporary file (outside it)");
    if (fd_ < 0) {
        memory_.replace(at, bytes.size(), bytes);
        return;
    }
    while (!bytes.empty()) {
        const long long n = os::WriteAt(fd_, bytes.data(), bytes.size(), at);
        if (n <= 0) throw Error("Error: cannot write a temporary file (disk full?)");
        bytes.remove_prefix(static_cast<std::size_t>(n));
        at += static_cast<std::uint64_t>(n);
    }
}

}  // namespace qb::hha
