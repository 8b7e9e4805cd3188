#include "HhaText.h"

#include <unicode/ubrk.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <cstdio>
#include <cstring>
#include <map>

#include "Error.h"

namespace qb::hha {

namespace {

std::u16string ToUtf16(const std::string& utf8) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8WithSub(nullptr, 0, &length, utf8.data(), static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr,
                         &status);
    std::u16string out(static_cast<std::size_t>(length), u'\0');
    status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), length, &length, utf8.data(), static_cast<int32_t>(utf8.size()), 0xFFFD,
                         nullptr, &status);
    return U_SUCCESS(status) ? out : std::u16string();
}

std::string ToUtf8(const char16_t* text, std::size_t size) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8WithSub(nullptr, 0, &length, text, static_cast<int32_t>(size), 0xFFFD, nullptr, &status);
    std::string out(static_cast<std::size_t>(length), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), length, &length, text, static_cast<int32_t>(size), 0xFFFD, nullptr, &status);
    return U_SUCCESS(status) ? out : std::string();
}

}  // namespace

std::uint32_t AnsiCodePage(std::uint32_t lcid) {
    char locale[ULOC_FULLNAME_CAPACITY] = {};
    char full[ULOC_FULLNAME_CAPACITY] = {};
    char script[ULOC_SCRIPT_CAPACITY] = {};
    char language[ULOC_LANG_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLocaleForLCID(lcid, locale, sizeof locale - 1, &status);
    if (U_FAILURE(status) || !locale[0]) return 1252;
    uloc_addLikelySubtags(locale, full, sizeof full - 1, &status);
    uloc_getScript(full, script, sizeof script - 1, &status);
    uloc_getLanguage(full, language, sizeof language - 1, &status);
    if (U_FAILURE(status)) return 1252;
    const std::string s = script, l = language;
    // Windows gives each script one ANSI code page; Latin script is split by region.
    if (s == "Cyrl") return 1251;
    if (s == "Grek") return 1253;
    if (s == "Hebr") return 1255;
    if (s == "Arab") return 1256;
    if (s == "Thai") return 874;
    if (s == "Hans") return 936;
    if (s == "Hant") return 950;
    if (s == "Jpan") return 932;
    if (s == "Kore") return 949;
    if (s == "Latn") {
        for (const char* ce : {"cs", "hu", "pl", "ro", "sk", "sl", "hr", "sq", "bs", "sr", "hsb", "dsb"})
            if (l == ce) return 1250;
        for (const char* baltic : {"lt", "lv", "et"})
            if (l == baltic) return 1257;
        if (l == "tr" || l == "az" || l == "uz") return 1254;
        if (l == "vi") return 1258;
    }
    return 1252;
}

CodePageText::CodePageText(std::uint32_t codePage) : codePage_(codePage) {
    char name[32];
    for (const char* form : {"windows-%u", "cp%u", "ibm-%u"}) {
        std::snprintf(name, sizeof name, form, codePage);
        UErrorCode status = U_ZERO_ERROR;
        conv_ = ucnv_open(name, &status);
        if (U_SUCCESS(status) && conv_) break;
        conv_ = nullptr;
    }
    if (!conv_) throw Error("Error: code page " + std::to_string(codePage) + " is not available");
}

CodePageText::~CodePageText() { ucnv_close(conv_); }

std::string CodePageText::Convert(const std::string& utf8, bool references, bool* lossless) const {
    std::u16string wide = ToUtf16(utf8);
    std::string out;
    bool complete = true;
    // Character by character, so that a missing one is replaced alone.
    char buf[16];
    for (std::size_t i = 0; i < wide.size();) {
        std::size_t n = (wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < wide.size()) ? 2 : 1;
        if (wide[i] < 0x80) {
            out += static_cast<char>(wide[i]);
            i += n;
            continue;
        }
        UErrorCode status = U_ZERO_ERROR;
        ucnv_reset(conv_);
        ucnv_setFromUCallBack(conv_, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
        int32_t len = ucnv_fromUChars(conv_, buf, sizeof buf, wide.data() + i, static_cast<int32_t>(n), &status);
        if (U_SUCCESS(status) && len > 0) {
            out.append(buf, static_cast<std::size_t>(len));
        } else {
            complete = false;
            std::uint32_t cp = n == 2 ? 0x10000 + ((wide[i] - 0xD800u) << 10) + (wide[i + 1] - 0xDC00u) : wide[i];
            out += references ? "&#" + std::to_string(cp) + ";" : std::string("?");
        }
        i += n;
    }
    if (lossless) *lossless = complete;
    return out;
}

std::string CodePageText::Encode(const std::string& utf8) const { return Convert(utf8, false, nullptr); }

std::string CodePageText::EncodeHtml(const std::string& utf8) const { return Convert(utf8, true, nullptr); }

bool CodePageText::CanEncode(const std::string& utf8) const {
    bool lossless = true;
    Convert(utf8, false, &lossless);
    return lossless;
}

std::uint32_t HtmlEntity(const std::string& name) {
    static const std::map<std::string, std::uint32_t> kNamed = [] {
        std::map<std::string, std::uint32_t> m = {
            {"amp", '&'},       {"lt", '<'},        {"gt", '>'},       {"quot", '"'},      {"apos", '\''},
            {"euro", 0x20AC},   {"ndash", 0x2013},  {"mdash", 0x2014}, {"lsquo", 0x2018},  {"rsquo", 0x2019},
            {"sbquo", 0x201A},  {"ldquo", 0x201C},  {"rdquo", 0x201D}, {"bdquo", 0x201E},  {"bull", 0x2022},
            {"hellip", 0x2026}, {"trade", 0x2122},  {"OElig", 0x152},  {"oelig", 0x153},   {"Scaron", 0x160},
            {"scaron", 0x161},  {"Yuml", 0x178},    {"dagger", 0x2020}, {"Dagger", 0x2021}, {"permil", 0x2030}};
        // U+00A0 to U+00FF in order.
        const char* latin1[] = {
            "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",
            "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",
            "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12",
            "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
            "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde",
            "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",
            "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",
            "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
            "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
            "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};
        for (std::uint32_t i = 0; i < sizeof latin1 / sizeof latin1[0]; ++i) m[latin1[i]] = 0xA0 + i;
        return m;
    }();
    auto it = kNamed.find(name);
    return it == kNamed.end() ? 0 : it->second;
}

bool IsNonAsciiUtf8(const std::string& text) {
    bool nonAscii = false;
    for (std::size_t i = 0; i < text.size();) {
        auto b = static_cast<unsigned char>(text[i]);
        std::size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > text.size()) return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        nonAscii = nonAscii || len > 1;
        i += len;
    }
    return nonAscii;
}

std::string FoldCase(const std::string& utf8) {
    std::u16string wide = ToUtf16(utf8);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = u_strFoldCase(nullptr, 0, wide.data(), static_cast<int32_t>(wide.size()), U_FOLD_CASE_DEFAULT,
                                   &status);
    std::u16string folded(static_cast<std::size_t>(length), u'\0');
    status = U_ZERO_ERROR;
    u_strFoldCase(folded.data(), length, wide.data(), static_cast<int32_t>(wide.size()), U_FOLD_CASE_DEFAULT,
                  &status);
    return U_SUCCESS(status) ? ToUtf8(folded.data(), folded.size()) : utf8;
}

std::vector<std::string> TextWords(const std::string& utf8) {
    std::vector<std::string> words;
    std::u16string wide = ToUtf16(utf8);
    if (wide.empty()) return words;
    UErrorCode status = U_ZERO_ERROR;
    UBreakIterator* it = ubrk_open(UBRK_WORD, "", wide.data(), static_cast<int32_t>(wide.size()), &status);
    if (U_FAILURE(status)) return words;
    int32_t start = ubrk_first(it);
    for (int32_t end = ubrk_next(it); end != UBRK_DONE; start = end, end = ubrk_next(it)) {
        if (ubrk_getRuleStatus(it) < UBRK_WORD_NONE_LIMIT) continue;
        words.push_back(
            FoldCase(ToUtf8(wide.data() + start, static_cast<std::size_t>(end - start))));
    }
    ubrk_close(it);
    return words;
}

std::string UrlEscapeName(const std::string& name) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (char ch : name) {
        auto c = static_cast<unsigned char>(ch);
        if (c == '%' || c == '#' || c == '?') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

namespace {

// Next code point of UTF-8 text at i (advanced); U+FFFD for a bad byte.
std::uint32_t NextCodePoint(const std::string& text, std::size_t& i) {
    auto b = static_cast<unsigned char>(text[i]);
    std::size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > text.size()) {
        ++i;
        return 0xFFFD;
    }
    std::uint32_t cp = len == 1 ? b : (b & (0x7F >> len));
    for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += len;
    return cp;
}

std::string LowerAsciiCopy(const std::string& text) {
    std::string lower = text;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

}  // namespace

bool DeclaresUtf8(const std::string& html) {
    std::string lower = LowerAsciiCopy(html.substr(0, 4096));
    std::size_t at = lower.find("charset");
    while (at != std::string::npos) {
        std::size_t v = lower.find_first_not_of(" =\"'", at + 7);
        if (v != std::string::npos && (lower.compare(v, 5, "utf-8") == 0 || lower.compare(v, 4, "utf8") == 0))
            return true;
        at = lower.find("charset", at + 7);
    }
    return false;
}

std::string HtmlAsAscii(const std::string& html) {
    const std::string lower = LowerAsciiCopy(html);
    std::string out;
    out.reserve(html.size() + html.size() / 8);
    enum { kText, kScript, kStyle } mode = kText;
    char buf[16];
    for (std::size_t i = 0; i < html.size();) {
        auto c = static_cast<unsigned char>(html[i]);
        if (c == '<') {
            if (mode == kText && lower.compare(i, 7, "<script") == 0) mode = kScript;
            else if (mode == kText && lower.compare(i, 6, "<style") == 0) mode = kStyle;
            else if (lower.compare(i, 8, "</script") == 0 || lower.compare(i, 7, "</style") == 0) mode = kText;
        }
        if (c < 0x80) {
            out += html[i++];
            continue;
        }
        std::uint32_t cp = NextCodePoint(html, i);
        if (mode == kScript) {
            auto unit = [&](std::uint32_t u) {
                std::snprintf(buf, sizeof buf, "\\u%04X", u);
                out += buf;
            };
            if (cp >= 0x10000) {
                unit(0xD800 + ((cp - 0x10000) >> 10));
                unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                unit(cp);
            }
        } else if (mode == kStyle) {
            std::snprintf(buf, sizeof buf, "\\%X ", cp);
            out += buf;
        } else {
            out += "&#" + std::to_string(cp) + ";";
        }
    }
    return out;
}

std::string CutUtf8(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace qb::hha
