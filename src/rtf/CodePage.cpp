#include "rtf/CodePage.h"

#include <map>

#include "support/PerThread.h"

namespace qb::rtf {
namespace {

constexpr char32_t kUnfilled = 0xFFFFFFFFu;

}  // namespace

int CharsetToCodePage(int charset) {
    switch (charset) {
        case 77: return 10000;
        case 128: return 932;
        case 129: return 949;
        case 130: return 1361;
        case 134: return 936;
        case 136: return 950;
        case 161: return 1253;
        case 162: return 1254;
        case 163: return 1258;
        case 177: return 1255;
        case 178: return 1256;
        case 186: return 1257;
        case 204: return 1251;
        case 222: return 874;
        case 238: return 1250;
        case 254: return 437;
        case 255: return 850;
        default: return 0;  // 0 ANSI, 1 default, 2 symbol and unknown values
    }
}

CodePage::CodePage(int codePage) : decoder_(codePage) {
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        bool incomplete = false;
        const char32_t c = Decode(&byte, 1, incomplete);
        table_[b] = incomplete ? kLead : c;
    }
}

CodePage::~CodePage() = default;

char32_t CodePage::Decode(const std::uint8_t* bytes, std::size_t count, bool& incomplete) const {
    const char32_t c = decoder_.Decode(bytes, count, incomplete);
    return c == os::CharDecoder::kNone ? kInvalid : c;
}

char32_t CodePage::Multi(const std::uint8_t* bytes, std::size_t count) {
    if (count == 2) {
        if (pairs_.empty()) pairs_.assign(65536, kUnfilled);
        char32_t& slot = pairs_[(bytes[0] << 8) | bytes[1]];
        if (slot == kUnfilled) {
            bool incomplete = false;
            const char32_t c = Decode(bytes, 2, incomplete);
            slot = incomplete ? 0 : c;
        }
        return slot;
    }
    bool incomplete = false;
    const char32_t c = Decode(bytes, count, incomplete);
    return incomplete ? (count < 4 ? 0 : kInvalid) : c;
}

CodePage& GetCodePage(int codePage) {
    // Only known code pages get their own entry, so hostile input cannot grow the cache.
    switch (codePage) {
        case 437:
        case 850:
        case 874:
        case 932:
        case 936:
        case 949:
        case 950:
        case 1250:
        case 1251:
        case 1252:
        case 1253:
        case 1254:
        case 1255:
        case 1256:
        case 1257:
        case 1258:
        case 1361:
        case 10000:
        case 20127:
        case 28591:
        case 65001: break;
        default: codePage = 1252;
    }
    auto& cache = PerThread<std::map<int, std::unique_ptr<CodePage>>>();
    auto& slot = cache[codePage];
    if (!slot) slot = std::make_unique<CodePage>(codePage);
    return *slot;
}

}  // namespace qb::rtf
