#include <iconv.h>

#include <cerrno>
#include <string>

#include "support/Os.h"

namespace qb::os {

namespace {

std::string IconvName(int codePage) {
    switch (codePage) {
        case 10000: return "MACINTOSH";
        case 65001: return "UTF-8";
        case 20127: return "ASCII";
        case 28591: return "ISO-8859-1";
        default: return "CP" + std::to_string(codePage);
    }
}

}  // namespace

CharDecoder::CharDecoder(int codePage) : codePage_(codePage) {
    iconv_t cd = iconv_open("UTF-32LE", IconvName(codePage).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("UTF-32LE", "CP1252");
    if (cd != reinterpret_cast<iconv_t>(-1)) impl_ = cd;
}

CharDecoder::~CharDecoder() {
    if (impl_) iconv_close(static_cast<iconv_t>(impl_));
}

char32_t CharDecoder::Decode(const std::uint8_t* bytes, std::size_t count, bool& incomplete) const {
    incomplete = false;
    if (!impl_) return count == 1 && bytes[0] < 0x80 ? bytes[0] : kNone;
    auto cd = static_cast<iconv_t>(impl_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in[8];
    for (std::size_t i = 0; i < count && i < sizeof in; ++i) in[i] = static_cast<char>(bytes[i]);
    char out[16];
    char* inPtr = in;
    std::size_t inLeft = count;
    char* outPtr = out;
    std::size_t outLeft = sizeof out;
    const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (r == static_cast<std::size_t>(-1) && errno == EINVAL) {
        incomplete = true;
        return kNone;
    }
    // Only a sequence that converts whole into exactly one character counts.
    if (r == static_cast<std::size_t>(-1) || inLeft != 0 || sizeof out - outLeft != 4) return kNone;
    const auto* o = reinterpret_cast<const unsigned char*>(out);
    const char32_t c = o[0] | (o[1] << 8) | (o[2] << 16) | (static_cast<char32_t>(o[3]) << 24);
    return c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) ? kNone : c;
}

}  // namespace qb::os
