#include "dvo/HostText.h"

#include <cstdio>

#include "support/Error.h"
#include "support/Os.h"
#include "support/Utf.h"

namespace qb::dvo {

namespace {

std::size_t CharLength(char lead) {
    const unsigned char c = static_cast<unsigned char>(lead);
    return c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
}

// The characters of utf8 the code page lacks, each written as <U+XXXX>, at most a few.
std::string Missing(const std::string& utf8, int codePage, std::size_t limit) {
    std::string listed;
    std::size_t found = 0;
    std::size_t i = 0;
    while (i < utf8.size() && found < limit) {
        const std::size_t len = CharLength(utf8[i]);
        const std::string one = utf8.substr(i, len);
        std::string ignored;
        if (!os::ToCodePageExactly(one, codePage, ignored)) {
            const std::u16string wide = ToUtf16(one);
            char32_t c = wide.empty() ? 0xFFFD : wide[0];
            if (wide.size() == 2 && c >= 0xD800 && c < 0xDC00) c = 0x10000 + ((c - 0xD800) << 10) + (wide[1] - 0xDC00);
            char buf[16];
            std::snprintf(buf, sizeof buf, "<U+%04X>", static_cast<unsigned>(c));
            listed += buf;
            ++found;
        }
        i += len;
    }
    return listed;
}

}  // namespace

std::string FromHostText(const char* text, int codePage) {
    if (!text || !*text) return "";
    return codePage == 65001 ? std::string(text) : os::FromCodePage(text, codePage);
}

std::string ToHostText(const std::string& utf8, int codePage, const std::string& what) {
    // The stored bytes as they are: a name a tampered file holds is the caller's to cope with.
    if (codePage == 65001) return utf8;
    std::string out;
    if (os::ToCodePageExactly(utf8, codePage, out)) return out;
    throw Error(what + " holds characters the ANSI code page " + std::to_string(codePage) +
                " lacks: " + Missing(utf8, codePage, 8));
}

std::string ToHostMessage(const std::string& utf8, int codePage) {
    if (codePage == 65001) return utf8;
    std::string out;
    if (os::ToCodePageExactly(utf8, codePage, out)) return out;
    // Character by character: what the code page holds stays as it is.
    std::size_t i = 0;
    out.clear();
    while (i < utf8.size()) {
        const std::size_t len = CharLength(utf8[i]);
        const std::string one = utf8.substr(i, len);
        std::string bytes;
        out += os::ToCodePageExactly(one, codePage, bytes) ? bytes : Missing(one, codePage, 1);
        i += len;
    }
    return out;
}

}  // namespace qb::dvo
