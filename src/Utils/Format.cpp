#include "Utils/Format.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "support/Error.h"

namespace qb {
namespace {

std::string Digits(std::int64_t v, bool hex) {
    if (hex) {
        // Delphi prints negative values as their 32-bit two's complement.
        std::uint64_t u =
            v < 0 ? static_cast<std::uint32_t>(static_cast<std::int32_t>(v)) : static_cast<std::uint64_t>(v);
        static const char kHex[] = "0123456789ABCDEF";
        std::string s;
        do {
            s.insert(s.begin(), kHex[u & 0xF]);
            u >>= 4;
        } while (u);
        return s;
    }
    return std::to_string(v);
}

// Texts come from language files: a width or precision beyond any sensible
// line is held at kMaxCount instead of overflowing or padding gigabytes.
constexpr int kMaxCount = 1024;

int ReadCount(const std::string& fmt, std::size_t& j) {
    int n = 0;
    while (j < fmt.size() && fmt[j] >= '0' && fmt[j] <= '9') {
        n = std::min(kMaxCount, n * 10 + (fmt[j] - '0'));
        ++j;
    }
    return n;
}

}  // namespace

std::string Format(const std::string& fmt, std::initializer_list<FormatArg> args) {
    std::vector<const FormatArg*> list;
    for (const auto& a : args) list.push_back(&a);
    std::size_t next = 0;
    std::string out;
    out.reserve(fmt.size() + 32);
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        char c = fmt[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool left = false;
        if (j < fmt.size() && fmt[j] == '-') {
            left = true;
            ++j;
        }
        const int width = ReadCount(fmt, j);
        int precision = -1;
        if (j < fmt.size() && fmt[j] == '.') {
            ++j;
            precision = ReadCount(fmt, j);
        }
        if (j >= fmt.size()) throw Error("Format '" + fmt + "' invalid or incompatible with argument");
        const char conv = static_cast<char>(fmt[j] | 0x20);
        if (next >= list.size()) throw Error("No argument for format '" + fmt + "'");
        const FormatArg& arg = *list[next++];
        std::string piece;
        if (conv == 's') {
            if (arg.isInt()) throw Error("Format '" + fmt + "' invalid or incompatible with argument");
            piece = arg.asText();
            if (precision >= 0 && piece.size() > static_cast<std::size_t>(precision)) piece.resize(precision);
        } else if (conv == 'd' || conv == 'x') {
            if (!arg.isInt()) throw Error("Format '" + fmt + "' invalid or incompatible with argument");
            const std::int64_t v = arg.asInt();
            const bool neg = conv == 'd' && v < 0;
            std::string digits = neg ? std::to_string(0 - static_cast<std::uint64_t>(v)) : Digits(v, conv == 'x');
            if (precision > 0 && digits.size() < static_cast<std::size_t>(precision))
                digits.insert(0, static_cast<std::size_t>(precision) - digits.size(), '0');
            piece = (neg ? "-" : "") + digits;
        } else {
            throw Error("Format '" + fmt + "' invalid or incompatible with argument");
        }
        if (piece.size() < static_cast<std::size_t>(width)) {
            std::string pad(static_cast<std::size_t>(width) - piece.size(), ' ');
            piece = left ? piece + pad : pad + piece;
        }
        out += piece;
        i = j;
    }
    return out;
}

}  // namespace qb
