// Code-page conversion through ICU, the same on every system; only the
// ANSI code page itself comes from the system.
#include <unicode/ucnv.h>

#include <memory>
#include <string>

#include "support/Os.h"
#include "support/Utf.h"

namespace qb::os {

namespace {

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// ICU's names for the code pages that are not "windows-N".
std::string KnownName(int codePage) {
    switch (codePage) {
        case 65001: return "UTF-8";
        case 28591: return "ISO-8859-1";
        case 20127: return "US-ASCII";
        case 10000: return "macintosh";
        default: return "";
    }
}

Converter Open(int codePage) {
    UErrorCode status = U_ZERO_ERROR;
    for (const std::string& name : {KnownName(codePage), "windows-" + std::to_string(codePage),
                                    "cp" + std::to_string(codePage), std::string("windows-1252")}) {
        if (name.empty()) continue;
        status = U_ZERO_ERROR;
        UConverter* c = ucnv_open(name.c_str(), &status);
        if (U_SUCCESS(status) && c) return Converter(c);
    }
    return nullptr;
}

}  // namespace

std::string FromCodePage(const std::string& bytes, int codePage) {
    if (bytes.empty()) return "";
    Converter c = Open(codePage);
    if (!c) return bytes;
    UErrorCode status = U_ZERO_ERROR;
    std::u16string wide(bytes.size() * 2 + 2, u'\0');
    const int32_t n = ucnv_toUChars(c.get(), wide.data(), static_cast<int32_t>(wide.size()), bytes.data(),
                                    static_cast<int32_t>(bytes.size()), &status);
    if (U_FAILURE(status)) return "";
    wide.resize(static_cast<std::size_t>(n));
    return ToUtf8(wide);
}

std::string ToCodePage(const std::string& utf8, int codePage) {
    if (utf8.empty()) return "";
    Converter c = Open(codePage);
    if (!c) return utf8;
    UErrorCode status = U_ZERO_ERROR;
    // A character the code page lacks becomes "?", as the system's own conversion does.
    ucnv_setSubstChars(c.get(), "?", 1, &status);
    status = U_ZERO_ERROR;
    const std::u16string wide = ToUtf16(utf8);
    std::string out(wide.size() * 4 + 4, '\0');
    const int32_t n = ucnv_fromUChars(c.get(), out.data(), static_cast<int32_t>(out.size()), wide.data(),
                                      static_cast<int32_t>(wide.size()), &status);
    if (U_FAILURE(status)) return "";
    out.resize(static_cast<std::size_t>(n));
    return out;
}

bool ToCodePageExactly(const std::string& utf8, int codePage, std::string& out) {
    if (codePage == 65001) {
        if (!IsValidUtf8(utf8)) return false;
        out = utf8;
        return true;
    }
    if (utf8.empty()) {
        out.clear();
        return true;
    }
    Converter c = Open(codePage);
    if (!c) return false;
    UErrorCode status = U_ZERO_ERROR;
    // Stop at the first character the code page lacks instead of substituting.
    ucnv_setFromUCallBack(c.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) return false;
    const std::u16string wide = ToUtf16(utf8);
    std::string bytes(wide.size() * 4 + 4, '\0');
    const int32_t n = ucnv_fromUChars(c.get(), bytes.data(), static_cast<int32_t>(bytes.size()), wide.data(),
                                      static_cast<int32_t>(wide.size()), &status);
    if (U_FAILURE(status)) return false;
    bytes.resize(static_cast<std::size_t>(n));
    // Best-fit mappings ("Ā" as "A") would pass the callback; only an exact round trip counts.
    if (FromCodePage(bytes, codePage) != utf8) return false;
    out = std::move(bytes);
    return true;
}

std::string FromAnsi(const std::string& bytes) {
    const int cp = AnsiCodePage();
    return cp == 65001 ? bytes : FromCodePage(bytes, cp);
}

std::string ToAnsi(const std::string& utf8) {
    const int cp = AnsiCodePage();
    return cp == 65001 ? utf8 : ToCodePage(utf8, cp);
}

std::string FromWide(const std::wstring& text) {
    if constexpr (sizeof(wchar_t) == 2) {
        return ToUtf8(std::u16string(text.begin(), text.end()));
    } else {
        std::string out;
        for (wchar_t c : text) AppendUtf8(out, static_cast<char32_t>(c));
        return out;
    }
}

std::wstring ToWide(const std::string& utf8) {
    if constexpr (sizeof(wchar_t) == 2) {
        const std::u16string u = ToUtf16(utf8);
        return std::wstring(u.begin(), u.end());
    } else {
        const std::u16string u = ToUtf16(utf8);
        std::wstring out;
        for (std::size_t i = 0; i < u.size(); ++i) {
            char32_t c = u[i];
            if (c >= 0xD800 && c < 0xDC00 && i + 1 < u.size()) c = 0x10000 + ((c - 0xD800) << 10) + (u[++i] - 0xDC00);
            out += static_cast<wchar_t>(c);
        }
        return out;
    }
}

}  // namespace qb::os
