#include <cstdio>
#include <cstring>
#include <vector>

#include "Utils/Format.h"
#include "Utils/HtmlText.h"
#include "Utils/Utils.h"

namespace qb {

std::string ReplaceAll(const std::string& text, const std::string& pattern, const std::string& replacement) {
    if (pattern.empty()) return text;
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (;;) {
        std::size_t hit = text.find(pattern, pos);
        if (hit == std::string::npos) break;
        out.append(text, pos, hit - pos);
        out += replacement;
        pos = hit + pattern.size();
    }
    out.append(text, pos, std::string::npos);
    return out;
}

bool ReplaceFirst(std::string& text, const std::string& pattern, const std::string& replacement) {
    if (pattern.empty()) return false;
    std::size_t hit = text.find(pattern);
    if (hit == std::string::npos) return false;
    text.replace(hit, pattern.size(), replacement);
    return true;
}

std::string TextToHtml(const std::string& text) {
    std::string s = ReplaceAll(text, "&", "&amp;");
    s = ReplaceAll(s, "<", "&lt;");
    s = ReplaceAll(s, ">", "&gt;");
    s = ReplaceAll(s, "\r\n", "<BR>");
    return ReplaceAll(s, "  ", "&nbsp;&nbsp;");
}

std::string HtmlEscape(const std::string& text) {
    std::string s = ReplaceAll(text, "&", "&amp;");
    s = ReplaceAll(s, "<", "&lt;");
    return ReplaceAll(s, ">", "&gt;");
}

std::string HtmlQuote(const std::string& text) {
    std::string s;
    s.reserve(text.size() + 16);
    for (char c : text) {
        switch (c) {
            case '&': s += "&amp;"; break;
            case '<': s += "&lt;"; break;
            case '>': s += "&gt;"; break;
            case '"': s += "&quot;"; break;
            case '\'': s += "&#39;"; break;
            default: s += c;
        }
    }
    return s;
}

std::string JsString(const std::string& text) {
    std::string s;
    for (char c : text) {
        switch (c) {
            case '\\': s += "\\\\"; break;
            case '\'': s += "\\'"; break;
            case '\r': s += "\\r"; break;
            case '\n': s += "\\n"; break;
            case '/':
                // "</script>" inside the string would end the script element.
                s += (!s.empty() && s.back() == '<') ? "\\/" : "/";
                break;
            default: s += c;
        }
    }
    return s;
}

std::string ColorToHtml(std::uint32_t color) {
    return Format("#%.2x%.2x%.2x", {static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                                    static_cast<int>((color >> 16) & 0xFF)});
}

int FontSizeToHtmlSize(int points) {
    if (points >= 0 && points <= 7) return 1;
    if (points >= 8 && points <= 10) return 2;
    if (points >= 11 && points <= 13) return 3;
    if (points >= 14 && points <= 16) return 4;
    if (points >= 17 && points <= 20) return 5;
    if (points >= 21 && points <= 24) return 6;
    return 7;
}


std::string TextBefore(const std::string& text, const std::string& sep) {
    std::size_t p = sep.empty() ? std::string::npos : text.find(sep);
    return p == std::string::npos ? text : text.substr(0, p);
}

std::string TextAfter(const std::string& text, const std::string& sep) {
    std::size_t p = sep.empty() ? std::string::npos : text.find(sep);
    return p == std::string::npos ? text : text.substr(p + sep.size());
}

TStringArray SplitText(const std::string& text, const std::string& sep) {
    TStringArray parts;
    if (text.empty()) return parts;
    if (sep.empty()) {
        parts.push_back(text);
        return parts;
    }
    std::size_t pos = 0;
    for (;;) {
        std::size_t hit = text.find(sep, pos);
        if (hit == std::string::npos) break;
        parts.push_back(text.substr(pos, hit - pos));
        pos = hit + sep.size();
    }
    parts.push_back(text.substr(pos));
    return parts;
}

int CountOccurrences(const std::string& text, const std::string& sub) {
    if (sub.empty()) return 0;
    int n = 0;
    for (std::size_t pos = text.find(sub); pos != std::string::npos; pos = text.find(sub, pos + sub.size())) ++n;
    return n;
}

std::string ToForwardSlashes(std::string text) {
    for (char& c : text)
        if (c == '\\') c = '/';
    return text;
}

namespace {

char LowerAsciiChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// First match of pattern at or after pos, ASCII letters folded; npos if none.
std::size_t FindNoCase(const std::string& text, const std::string& lowPattern, std::size_t pos) {
    const std::size_t m = lowPattern.size();
    for (; pos + m <= text.size(); ++pos) {
        std::size_t k = 0;
        while (k < m && LowerAsciiChar(text[pos + k]) == lowPattern[k]) ++k;
        if (k == m) return pos;
    }
    return std::string::npos;
}

// Replaces patternSize bytes at each hit (ascending, non-overlapping) within
// text itself: a page may be hundreds of megabytes, and a second copy of it
// was the export's peak.
void ReplaceAtHits(std::string& text, const std::vector<std::size_t>& hits, std::size_t patternSize,
                   const std::string& replacement) {
    if (hits.empty()) return;
    const std::size_t n = text.size(), r = replacement.size();
    auto segmentEnd = [&](std::size_t k) { return k + 1 < hits.size() ? hits[k + 1] : n; };
    if (r <= patternSize) {
        std::size_t w = hits[0];
        for (std::size_t k = 0; k < hits.size(); ++k) {
            std::memcpy(text.data() + w, replacement.data(), r);
            w += r;
            const std::size_t from = hits[k] + patternSize, len = segmentEnd(k) - from;
            std::memmove(text.data() + w, text.data() + from, len);
            w += len;
        }
        text.resize(w);
        return;
    }
    text.resize(n + hits.size() * (r - patternSize));
    std::size_t w = text.size();
    for (std::size_t k = hits.size(); k-- > 0;) {
        const std::size_t from = hits[k] + patternSize, len = segmentEnd(k) - from;
        w -= len;
        std::memmove(text.data() + w, text.data() + from, len);
        w -= r;
        std::memcpy(text.data() + w, replacement.data(), r);
    }
}

}  // namespace

void ReplaceAllNoCase(std::string& text, const std::string& pattern, const std::string& replacement,
                      bool caseSensitive) {
    if (pattern.empty()) return;
    const std::string lowPattern = caseSensitive ? pattern : LowerAscii(pattern);
    std::vector<std::size_t> hits;
    for (std::size_t pos = 0;;) {
        const std::size_t hit = caseSensitive ? text.find(pattern, pos) : FindNoCase(text, lowPattern, pos);
        if (hit == std::string::npos) break;
        hits.push_back(hit);
        pos = hit + pattern.size();
    }
    ReplaceAtHits(text, hits, pattern.size(), replacement);
}

std::string SafeFileName(const std::string& text, char repl) {
    std::string s = Trim(text);
    for (char& ch : s) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c <= 20 || c == ' ' || c == '"' || c == '&' || c == '*' || c == '/' || c == ':' || c == '<' || c == '>' ||
            c == '?' || c == '\\' || c == '|')
            ch = repl;
    }
    // The pages and the help file travel to Windows, which refuses these names.
    return WindowsSafeName(std::move(s), repl);
}

static std::string ExtLower(const std::string& name) { return LowerAscii(ExtractFileExt(name)); }

bool IsHtmlFile(const std::string& name) {
    const std::string e = ExtLower(name);
    return e == ".html" || e == ".htm";
}

bool IsImageFile(const std::string& name) {
    const std::string e = ExtLower(name);
    return e == ".png" || e == ".bmp" || e == ".jpg" || e == ".jpeg" || e == ".gif";
}


static bool IsDelim(char c) { return c == '\\' || c == '/'; }

std::string ExtractFilePath(const std::string& path) {
    std::size_t p = path.find_last_of("\\/:");
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string ExtractFileName(const std::string& path) {
    std::size_t p = path.find_last_of("\\/:");
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtractFileExt(const std::string& path) {
    std::size_t p = path.find_last_of(".\\/:");
    if (p == std::string::npos || path[p] != '.') return "";
    return path.substr(p);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    std::size_t p = path.find_last_of(".\\/:");
    if (p == std::string::npos || path[p] != '.') return path + ext;
    return path.substr(0, p) + ext;
}

std::string IncludeTrailingDelimiter(const std::string& path) {
    if (!path.empty() && IsDelim(path.back())) return path;
    const bool backslashes = path.find('\\') != std::string::npos && path.find('/') == std::string::npos;
    return path + (backslashes ? "\\" : "/");
}

std::string ExcludeTrailingDelimiter(const std::string& path) {
    if (!path.empty() && IsDelim(path.back())) return path.substr(0, path.size() - 1);
    return path;
}

}  // namespace qb
