#include "hha/HhaSpill.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "support/Error.h"
#include "support/Scratch.h"

namespace qb::hha {

namespace {

constexpr std::size_t kPiece = 1 << 20;

int OpenUnnamed(const std::string& folder) {
    std::string dir = folder.empty() ? TempDirectory() : folder;
    int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    // File systems without unnamed files: a named one, unlinked at once.
    std::string path = dir + "/.qb-section-XXXXXX";
    fd = ::mkstemp(path.data());
    if (fd < 0) throw Error("Error: cannot make a temporary file in " + dir);
    ::unlink(path.c_str());
    return fd;
}

void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw Error("Error: cannot write a temporary file (disk full?)");
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace

SpillFile::SpillFile(std::string folder, std::size_t memoryLimit)
    : folder_(std::move(folder)), memoryLimit_(memoryLimit) {}

SpillFile::~SpillFile() {
    if (fd_ >= 0) ::close(fd_);
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
        ssize_t n = ::pread(fd_, buf.data(), std::min<std::uint64_t>(kPiece, size_ - at), static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
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
        ssize_t got = ::pread(fd_, buf, n, static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) continue;
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
        ssize_t n = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw Error("Error: cannot write a temporary file (disk full?)");
        bytes.remove_prefix(static_cast<std::size_t>(n));
        at += static_cast<std::uint64_t>(n);
    }
}

}  // namespace qb::hha
