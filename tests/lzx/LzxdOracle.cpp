#include "tests/lzx/LzxdOracle.h"

#include <mspack.h>

#include <cstdlib>
#include <cstring>

// Not in the public header; the archive exports them.
extern "C" {
struct lzxd_stream;
lzxd_stream* lzxd_init(mspack_system* system, mspack_file* input, mspack_file* output, int windowBits,
                       int resetInterval, int inputBufferSize, off_t outputLength, char isDelta);
int lzxd_decompress(lzxd_stream* lzx, off_t outBytes);
void lzxd_free(lzxd_stream* lzx);
}

namespace lzxtest {

namespace {

constexpr std::size_t kReadAhead = 16;

struct MemFile {
    std::string_view in;
    std::size_t pos = 0;
    std::string* out = nullptr;
};

MemFile* AsMem(mspack_file* f) { return reinterpret_cast<MemFile*>(f); }

int MemRead(mspack_file* f, void* buf, int bytes) {
    MemFile* m = AsMem(f);
    std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(bytes), m->in.size() - m->pos);
    std::memcpy(buf, m->in.data() + m->pos, n);
    m->pos += n;
    return static_cast<int>(n);
}

int MemWrite(mspack_file* f, void* buf, int bytes) {
    AsMem(f)->out->append(static_cast<const char*>(buf), static_cast<std::size_t>(bytes));
    return bytes;
}

int MemSeek(mspack_file*, off_t, int) { return -1; }
off_t MemTell(mspack_file* f) { return static_cast<off_t>(AsMem(f)->pos); }
mspack_file* MemOpen(mspack_system*, const char*, int) { return nullptr; }
void MemClose(mspack_file*) {}
void MemMessage(mspack_file*, const char*, ...) {}
void* MemAlloc(mspack_system*, std::size_t bytes) { return std::malloc(bytes); }
void MemFree(void* p) { std::free(p); }
void MemCopy(void* src, void* dst, std::size_t bytes) { std::memmove(dst, src, bytes); }

}  // namespace

Decoded Decode(std::string_view stream, unsigned windowBits, unsigned resetIntervalFrames, std::uint64_t outLength) {
    mspack_system sys{MemOpen,    MemClose, MemRead, MemWrite, MemSeek, MemTell,
                      MemMessage, MemAlloc, MemFree, MemCopy,  nullptr};
    Decoded result;
    // In a compiled file more bytes follow the stream, and the decoder reads
    // ahead into them: asked for output that ends on a reset point, it reads
    // the header of a frame that does not exist.
    std::string input(stream);
    input.append(kReadAhead, '\0');
    MemFile in{input, 0, nullptr};
    MemFile out{{}, 0, &result.data};
    lzxd_stream* lzx = lzxd_init(&sys, reinterpret_cast<mspack_file*>(&in), reinterpret_cast<mspack_file*>(&out),
                                 static_cast<int>(windowBits), static_cast<int>(resetIntervalFrames), 4096,
                                 static_cast<off_t>(outLength), 0);
    if (!lzx) {
        result.error = -1;
        return result;
    }
    result.error = lzxd_decompress(lzx, static_cast<off_t>(outLength));
    lzxd_free(lzx);
    return result;
}

}  // namespace lzxtest
