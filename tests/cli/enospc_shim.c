/* LD_PRELOAD stand-in for a full disk where a small file system cannot be
   mounted: writes that would make a file below QB_ENOSPC_DIR larger than
   QB_ENOSPC_LIMIT bytes fail with ENOSPC. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static int Full(int fd, long long adding) {
    const char* dir = getenv("QB_ENOSPC_DIR");
    const char* limit = getenv("QB_ENOSPC_LIMIT");
    if (!dir || !*dir || !limit || fd < 0) return 0;
    char link[64], target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) return 0;
    target[n] = '\0';
    if (strncmp(target, dir, strlen(dir)) != 0) return 0;
    off_t at = lseek(fd, 0, SEEK_CUR);
    if (at < 0) return 0;
    return (long long)at + adding > atoll(limit);
}

ssize_t write(int fd, const void* buf, size_t count) {
    static ssize_t (*real)(int, const void*, size_t);
    if (!real) real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    if (Full(fd, (long long)count)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, buf, count);
}

ssize_t writev(int fd, const struct iovec* iov, int iovcnt) {
    static ssize_t (*real)(int, const struct iovec*, int);
    if (!real) real = (ssize_t(*)(int, const struct iovec*, int))dlsym(RTLD_NEXT, "writev");
    long long total = 0;
    for (int i = 0; i < iovcnt; ++i) total += (long long)iov[i].iov_len;
    if (Full(fd, total)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, iov, iovcnt);
}

/* stdio writes through glibc's internal write, out of reach of the shim. */
size_t fwrite(const void* ptr, size_t size, size_t nmemb, FILE* stream) {
    static size_t (*real)(const void*, size_t, size_t, FILE*);
    if (!real) real = (size_t(*)(const void*, size_t, size_t, FILE*))dlsym(RTLD_NEXT, "fwrite");
    /* Full() adds to what was flushed; the stream's buffer holds the rest. */
    const long pos = ftell(stream);
    const int fd = fileno(stream);
    const off_t flushed = fd >= 0 ? lseek(fd, 0, SEEK_CUR) : -1;
    if (pos >= 0 && flushed >= 0 && Full(fd, (long long)(pos - flushed) + (long long)(size * nmemb))) {
        errno = ENOSPC;
        return 0;
    }
    return real(ptr, size, nmemb, stream);
}
