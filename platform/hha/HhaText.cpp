#include "hha/HhaText.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "support/Error.h"
#include "support/Text.h"
#include "support/Utf.h"
#include "support/Words.h"

namespace qb::hha {

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

bool IsNonAsciiUtf8(const std::string& text) { return !IsAscii(text) && IsValidUtf8(text); }

namespace {

// ICU's full case folding of UTF-16 text, as UTF-8; false when ICU fails.
bool FullFold(std::u16string_view wide, std::string& out) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length =
        u_strFoldCase(nullptr, 0, wide.data(), static_cast<int32_t>(wide.size()), U_FOLD_CASE_DEFAULT, &status);
    std::u16string folded(static_cast<std::size_t>(length), u'\0');
    status = U_ZERO_ERROR;
    u_strFoldCase(folded.data(), length, wide.data(), static_cast<int32_t>(wide.size()), U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status)) return false;
    out = ToUtf8(folded);
    return true;
}

// Full case folding except that sharp s stays (capital sharp s becomes it):
// readers look a word up lower-cased as typed, and "straße" must be found.
bool FoldWide(std::u16string_view wide, std::string& out) {
    out.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i <= wide.size(); ++i) {
        if (i < wide.size() && wide[i] != u'\u00DF' && wide[i] != u'\u1E9E') continue;
        std::string piece;
        if (!FullFold(wide.substr(start, i - start), piece)) return false;
        out += piece;
        if (i < wide.size()) out += "\xC3\x9F";
        start = i + 1;
    }
    return true;
}

// Folding maps ASCII to ASCII, only A-Z changing: most words need no ICU.
std::string FoldWord(std::u16string_view wide) {
    std::string out(wide.size(), '\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char16_t c = wide[i];
        if (c >= 0x80) return FoldWide(wide, out) ? out : ToUtf8(wide);
        out[i] = static_cast<char>(c >= u'A' && c <= u'Z' ? c + 32 : c);
    }
    return out;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiAlnum(char c) { return IsAsciiLetter(c) || IsAsciiDigit(c); }

// ASCII text that the word rules split the simple way: no "_" (which joins
// words and has statuses of its own), no ":" (a letter joiner for some
// languages), no "@" (a letter to ICU), nothing outside ASCII.
bool IsPlainAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80 && c != '_' && c != ':' && c != '@'; });
}

// The words of plain ASCII text as the Unicode word rules give them: runs of
// letters and digits, joined across one "." or "'" between letters and across
// one ".", "'", "," or ";" between digits; folded to lower case.
void AsciiWords(std::string_view text, const std::function<void(std::string&&)>& each) {
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        if (!IsAsciiAlnum(text[i])) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        for (;;) {
            while (i < n && IsAsciiAlnum(text[i])) ++i;
            if (i + 1 >= n || !IsAsciiAlnum(text[i + 1])) break;
            const char mid = text[i], before = text[i - 1], after = text[i + 1];
            const bool letters = IsAsciiLetter(before) && IsAsciiLetter(after) && (mid == '.' || mid == '\'');
            const bool digits =
                IsAsciiDigit(before) && IsAsciiDigit(after) && (mid == '.' || mid == '\'' || mid == ',' || mid == ';');
            if (!letters && !digits) break;
            i += 1;
        }
        each(LowerAscii(text.substr(start, i - start)));
    }
}

}  // namespace

std::string FoldCase(const std::string& utf8) {
    if (IsAscii(utf8)) return LowerAscii(utf8);
    std::string folded;
    return FoldWide(ToUtf16(utf8), folded) ? folded : utf8;
}

std::string SharpSAsSs(const std::string& word) {
    std::string out;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word.compare(i, 2, "\xC3\x9F") == 0) {
            out += "ss";
            ++i;
        } else {
            out += word[i];
        }
    }
    return out;
}

void ForEachTextWord(std::string_view utf8, const std::function<void(std::string&&)>& each) {
    // A large text goes in pieces of about 1 MB, so that neither its words
    // nor its UTF-16 form are held whole. A piece ends after a line feed or
    // before an ASCII letter or digit that follows a blank: the word rules
    // always break there.
    constexpr std::size_t kPiece = 1u << 20;
    auto isBlank = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
    std::size_t begin = 0;
    while (begin < utf8.size()) {
        std::size_t end = utf8.size();
        for (std::size_t i = begin + kPiece; i + 1 < utf8.size(); ++i) {
            if (utf8[i] == '\n' || (isBlank(utf8[i]) && IsAsciiAlnum(utf8[i + 1]))) {
                end = i + 1;
                break;
            }
        }
        const std::string_view piece = utf8.substr(begin, end - begin);
        begin = end;
        // Most pages' text is such ASCII: the rules for it need no break iterator.
        if (IsPlainAscii(piece)) {
            AsciiWords(piece, each);
            continue;
        }
        const std::u16string wide = ToUtf16(std::string(piece));
        ForEachWordSpan(wide, [&](std::size_t start, std::size_t stop) {
            each(FoldWord(std::u16string_view(wide).substr(start, stop - start)));
        });
    }
}

std::vector<std::string> TextWords(const std::string& utf8) {
    std::vector<std::string> words;
    ForEachTextWord(utf8, [&words](std::string&& word) { words.push_back(std::move(word)); });
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

std::string CutUtf8(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace qb::hha
