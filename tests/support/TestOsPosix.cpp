#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>

#include "tests/support/TestOs.h"

namespace qbtest {

bool OnWindows() { return false; }

bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0644) == 0; }

FileSizeLimit::FileSizeLimit(unsigned long long bytes) {
    rlimit old{};
    if (::getrlimit(RLIMIT_FSIZE, &old) != 0) return;
    old_[0] = old.rlim_cur;
    old_[1] = old.rlim_max;
    // The signal would end the process; the failed write is what is tested.
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = bytes;
    active_ = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
}

FileSizeLimit::~FileSizeLimit() {
    if (!active_) return;
    rlimit old{};
    old.rlim_cur = old_[0];
    old.rlim_max = old_[1];
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler_);
}

bool MakeDeepChain(const std::string& base, int depth) {
    int cur = ::open(base.c_str(), O_RDONLY | O_DIRECTORY);
    if (cur < 0) throw std::runtime_error("cannot open " + base);
    for (int i = 0; i < depth; ++i) {
        if (::mkdirat(cur, "1", 0755) != 0) throw std::runtime_error("mkdirat failed");
        int next = ::openat(cur, "1", O_RDONLY | O_DIRECTORY);
        ::close(cur);
        if (next < 0) throw std::runtime_error("openat failed");
        cur = next;
    }
    int fd = ::openat(cur, "leaf.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        (void)!::write(fd, "bottom", 6);
        ::close(fd);
    }
    ::close(cur);
    return true;
}

void RemoveDeepChain(const std::string& base, int depth) {
    int cur = ::open(base.c_str(), O_RDONLY | O_DIRECTORY);
    int reached = 0;
    while (cur >= 0 && reached < depth) {
        int next = ::openat(cur, "1", O_RDONLY | O_DIRECTORY);
        if (next < 0) break;
        ::close(cur);
        cur = next;
        ++reached;
    }
    if (cur < 0) return;
    ::unlinkat(cur, "leaf.txt", 0);
    for (; reached > 0; --reached) {
        int up = ::openat(cur, "..", O_RDONLY | O_DIRECTORY);
        ::close(cur);
        cur = up;
        if (cur < 0 || ::unlinkat(cur, "1", AT_REMOVEDIR) != 0) break;
    }
    if (cur >= 0) ::close(cur);
}

}  // namespace qbtest
