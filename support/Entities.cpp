#include "support/Entities.h"

#include <cstdlib>
#include <map>

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

}  // namespace qb
