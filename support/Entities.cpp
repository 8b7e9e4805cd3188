#include "support/Entities.h"

#include <unicode/utf8.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "support/Text.h"
#include "support/Utf.h"

namespace qb {

std::uint32_t HtmlEntity(const std::string& name) {
    static const std::map<std::string, std::uint32_t> kNamed = [] {
        std::map<std::string, std::uint32_t> m = {
            {"amp", '&'},       {"lt", '<'},       {"gt", '>'},        {"quot", '"'},      {"apos", '\''},
            {"euro", 0x20AC},   {"ndash", 0x2013}, {"mdash", 0x2014},  {"lsquo", 0x2018},  {"rsquo", 0x2019},
            {"sbquo", 0x201A},  {"ldquo", 0x201C}, {"rdquo", 0x201D},  {"bdquo", 0x201E},  {"bull", 0x2022},
            {"hellip", 0x2026}, {"trade", 0x2122}, {"OElig", 0x152},   {"oelig", 0x153},   {"Scaron", 0x160},
            {"scaron", 0x161},  {"Yuml", 0x178},   {"dagger", 0x2020}, {"Dagger", 0x2021}, {"permil", 0x2030}};
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

std::string DecodeEntities(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto semi = text[i] == '&' ? text.find(';', i + 1) : std::string::npos;
        if (semi == std::string::npos || semi - i > 10) {
            out += text[i];
            continue;
        }
        std::string ref = text.substr(i + 1, semi - i - 1);
        std::uint32_t cp = 0;
        if (ref.size() > 1 && ref[0] == '#') {
            bool hex = ref[1] == 'x' || ref[1] == 'X';
            const char* digits = ref.c_str() + (hex ? 2 : 1);
            char* end = nullptr;
            unsigned long v = std::strtoul(digits, &end, hex ? 16 : 10);
            if (*digits && end && *end == '\0' && v > 0 && v <= 0x10FFFF) cp = static_cast<std::uint32_t>(v);
        } else {
            cp = HtmlEntity(ref);
        }
        if (!cp) {
            out += text[i];
            continue;
        }
        AppendUtf8(out, cp);
        i = semi;
    }
    return out;
}

namespace {

// Next code point of UTF-8 text at i (advanced); U+FFFD for a bad byte.
std::uint32_t NextCodePoint(const std::string& text, std::size_t& i) {
    const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
    auto at = static_cast<int32_t>(i);
    UChar32 c;
    U8_NEXT(s, at, static_cast<int32_t>(text.size()), c);
    i = static_cast<std::size_t>(at);
    return c < 0 ? 0xFFFD : static_cast<std::uint32_t>(c);
}

}  // namespace

std::string HtmlAsAscii(const std::string& html) {
    const std::string lower = LowerAscii(html);
    std::string out;
    out.reserve(html.size() + html.size() / 8);
    enum { kText, kScript, kStyle } mode = kText;
    char buf[16];
    for (std::size_t i = 0; i < html.size();) {
        auto c = static_cast<unsigned char>(html[i]);
        if (c == '<') {
            if (mode == kText && lower.compare(i, 7, "<script") == 0)
                mode = kScript;
            else if (mode == kText && lower.compare(i, 6, "<style") == 0)
                mode = kStyle;
            else if (lower.compare(i, 8, "</script") == 0 || lower.compare(i, 7, "</style") == 0)
                mode = kText;
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

bool DeclaresUtf8(const std::string& html) {
    std::string lower = LowerAscii(html.substr(0, 4096));
    std::size_t at = lower.find("charset");
    while (at != std::string::npos) {
        std::size_t v = lower.find_first_not_of(" =\"'", at + 7);
        if (v != std::string::npos && (lower.compare(v, 5, "utf-8") == 0 || lower.compare(v, 4, "utf8") == 0))
            return true;
        at = lower.find("charset", at + 7);
    }
    return false;
}

}  // namespace qb
