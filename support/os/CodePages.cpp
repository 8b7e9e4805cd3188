// Code-page conversion through ICU, the same on every system; only the
// ANSI code page itself comes from the system.
#include <unicode/ucnv.h>

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "support/Os.h"
#include "support/Text.h"
#include "support/Utf.h"

namespace qb::os {

namespace {

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

UConverter* OpenConverter(int codePage) {
    UErrorCode status = U_ZERO_ERROR;
    for (const std::string& name : {KnownName(codePage), "windows-" + std::to_string(codePage),
                                    "cp" + std::to_string(codePage), std::string("windows-1252")}) {
        if (name.empty()) continue;
        status = U_ZERO_ERROR;
        UConverter* c = ucnv_open(name.c_str(), &status);
        if (U_SUCCESS(status) && c) return c;
    }
    return nullptr;
}

// How a converter treats a character its code page lacks.
enum class Mode { Decode, Substitute, Stop };

// Opened converters, kept for the next call: opening one looks its name up
// under ICU's lock and allocates, and the host's names pass here one by one.
class ConverterPool {
public:
    ~ConverterPool() {
        for (auto& [key, list] : free_)
            for (UConverter* c : list) ucnv_close(c);
    }
    UConverter* Take(int codePage, Mode mode) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            auto& list = free_[{codePage, mode}];
            if (!list.empty()) {
                UConverter* c = list.back();
                list.pop_back();
                return c;
            }
        }
        UConverter* c = OpenConverter(codePage);
        if (!c) return nullptr;
        UErrorCode status = U_ZERO_ERROR;
        // A character the code page lacks becomes "?", as the system's own conversion does.
        if (mode == Mode::Substitute) ucnv_setSubstChars(c, "?", 1, &status);
        // Or the conversion stops at it instead.
        if (mode == Mode::Stop) ucnv_setFromUCallBack(c, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
        if (U_FAILURE(status)) {
            ucnv_close(c);
            return nullptr;
        }
        return c;
    }
    void Give(int codePage, Mode mode, UConverter* c) {
        ucnv_reset(c);
        const std::lock_guard<std::mutex> lock(mutex_);
        free_[{codePage, mode}].push_back(c);
    }
    // Whether the code page has the 128 ASCII characters at their own bytes:
    // then ASCII text needs no conversion either way.
    bool AsciiAsIs(int codePage) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (const auto it = ascii_.find(codePage); it != ascii_.end()) return it->second;
        }
        bool same = false;
        if (UConverter* c = Take(codePage, Mode::Stop)) {
            std::string bytes(128, '\0');
            std::u16string chars(128, u'\0');
            for (int i = 0; i < 128; ++i) {
                bytes[static_cast<std::size_t>(i)] = static_cast<char>(i);
                chars[static_cast<std::size_t>(i)] = static_cast<char16_t>(i);
            }
            UErrorCode status = U_ZERO_ERROR;
            std::u16string decoded(256, u'\0');
            const int32_t n = ucnv_toUChars(c, decoded.data(), 256, bytes.data(), 128, &status);
            same = U_SUCCESS(status) && n == 128 && decoded.compare(0, 128, chars) == 0;
            ucnv_reset(c);
            status = U_ZERO_ERROR;
            std::string encoded(512, '\0');
            const int32_t m = ucnv_fromUChars(c, encoded.data(), 512, chars.data(), 128, &status);
            same = same && U_SUCCESS(status) && m == 128 && encoded.compare(0, 128, bytes) == 0;
            Give(codePage, Mode::Stop, c);
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        ascii_[codePage] = same;
        return same;
    }

private:
    std::mutex mutex_;
    std::map<std::pair<int, Mode>, std::vector<UConverter*>> free_;
    std::map<int, bool> ascii_;
};

ConverterPool& Pool() {
    static ConverterPool pool;
    return pool;
}

// A converter of the pool for one call.
class Converter {
public:
    Converter(int codePage, Mode mode) : codePage_(codePage), mode_(mode), c_(Pool().Take(codePage, mode)) {}
    ~Converter() {
        if (c_) Pool().Give(codePage_, mode_, c_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    UConverter* get() const { return c_; }
    explicit operator bool() const { return c_ != nullptr; }

private:
    int codePage_;
    Mode mode_;
    UConverter* c_;
};

// ASCII text the code page holds at the same bytes: no converter needed either way.
bool PassesAsIs(const std::string& text, int codePage) { return IsAscii(text) && Pool().AsciiAsIs(codePage); }

// utf8 in the code page as converter c writes it; false when c refuses a character.
bool Encode(UConverter* c, const std::string& utf8, std::string& bytes) {
    UErrorCode status = U_ZERO_ERROR;
    const std::u16string wide = ToUtf16(utf8);
    bytes.assign(wide.size() * 4 + 4, '\0');
    const int32_t n = ucnv_fromUChars(c, bytes.data(), static_cast<int32_t>(bytes.size()), wide.data(),
                                      static_cast<int32_t>(wide.size()), &status);
    if (U_FAILURE(status)) return false;
    bytes.resize(static_cast<std::size_t>(n));
    return true;
}

}  // namespace

std::string FromCodePage(const std::string& bytes, int codePage) {
    if (bytes.empty()) return "";
    if (PassesAsIs(bytes, codePage)) return bytes;
    Converter c(codePage, Mode::Decode);
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
    if (PassesAsIs(utf8, codePage)) return utf8;
    Converter c(codePage, Mode::Substitute);
    if (!c) return utf8;
    std::string out;
    return Encode(c.get(), utf8, out) ? out : "";
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
    if (PassesAsIs(utf8, codePage)) {
        out = utf8;
        return true;
    }
    std::string bytes;
    {
        Converter c(codePage, Mode::Stop);
        if (!c || !Encode(c.get(), utf8, bytes)) return false;
    }
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
