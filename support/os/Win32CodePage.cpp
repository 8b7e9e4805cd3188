#include "support/os/Win32Util.h"

#include "support/Os.h"

namespace qb::os {

namespace {

// How many bytes a UTF-8 lead byte announces; 0 for no lead byte.
std::size_t Utf8Length(std::uint8_t b) {
    return b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
}

}  // namespace

CharDecoder::CharDecoder(int codePage) : codePage_(::IsValidCodePage(static_cast<UINT>(codePage)) ? codePage : 1252) {}

CharDecoder::~CharDecoder() = default;

char32_t CharDecoder::Decode(const std::uint8_t* bytes, std::size_t count, bool& incomplete) const {
    incomplete = false;
    if (count == 0 || count > 4) return kNone;
    const UINT cp = static_cast<UINT>(codePage_);
    if (cp == CP_UTF8) {
        const std::size_t want = Utf8Length(bytes[0]);
        if (want > count) {
            incomplete = true;
            return kNone;
        }
    } else if (count == 1 && ::IsDBCSLeadByteEx(cp, bytes[0])) {
        incomplete = true;
        return kNone;
    }
    wchar_t out[4];
    const int n = ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                                        static_cast<int>(count), out, 4);
    if (n == 1) return out[0] >= 0xD800 && out[0] <= 0xDFFF ? kNone : out[0];
    if (n == 2 && out[0] >= 0xD800 && out[0] < 0xDC00 && out[1] >= 0xDC00 && out[1] <= 0xDFFF)
        return 0x10000 + ((static_cast<char32_t>(out[0]) - 0xD800) << 10) + (out[1] - 0xDC00);
    return kNone;
}

}  // namespace qb::os
