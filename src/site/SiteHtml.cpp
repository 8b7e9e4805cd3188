#include "site/SiteHtml.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "Utils/Utils.h"
#include "support/Entities.h"

namespace qb::site {

namespace {

std::string Lower(const std::string& s) { return LowerAscii(s); }

// Decodes the character reference at text[i] == '&'; returns its length, 0 when none.
std::size_t DecodeReference(const std::string& text, std::size_t i, std::string& out) {
    const std::size_t semi = text.find(';', i);
    if (semi == std::string::npos || semi - i > 10) return 0;
    const std::string name = text.substr(i + 1, semi - i - 1);
    if (name.size() > 1 && name[0] == '#') {
        const bool hex = name[1] == 'x' || name[1] == 'X';
        const std::string digits = name.substr(hex ? 2 : 1);
        if (digits.empty()) return 0;
        char* end = nullptr;
        const unsigned long cp = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
        if (*end) return 0;
        AppendUtf8(out, static_cast<char32_t>(cp));
        return semi - i + 1;
    }
    if (const std::uint32_t cp = HtmlEntity(name)) {
        AppendUtf8(out, cp);
        return semi - i + 1;
    }
    return 0;
}

std::string DecodeReferences(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            const std::size_t n = DecodeReference(text, i, out);
            if (n) {
                i += n - 1;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

bool HasScheme(const std::string& link) {
    for (std::size_t i = 0; i < link.size(); ++i) {
        const char c = link[i];
        if (c == ':') return i > 0;
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
    }
    return false;
}

// "a/./b/../c" -> "a/c"; nothing when the path climbs above its root.
std::optional<std::string> NormalizePath(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        const std::string part = path.substr(start, slash - start);
        if (part == "..") {
            if (parts.empty()) return std::nullopt;
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string r;
    for (const auto& p : parts) r += (r.empty() ? "" : "/") + p;
    return r;
}

}  // namespace

std::string Escape(const std::string& text) { return ReplaceAll(HtmlEscape(text), "\"", "&quot;"); }

std::string UrlPath(const std::string& path) {
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string PercentDecode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string RelativeHref(const std::string& from, const std::string& to) {
    std::size_t common = 0;  // length of the shared folder prefix, up to and with its "/"
    for (std::size_t i = 0; i < from.size() && i < to.size() && from[i] == to[i]; ++i)
        if (from[i] == '/') common = i + 1;
    std::string up;
    for (std::size_t i = common; i < from.size(); ++i)
        if (from[i] == '/') up += "../";
    return up + UrlPath(to.substr(common));
}

std::string ExtractBody(const std::string& page) {
    const std::string lower = Lower(page);
    std::string body = page;
    const std::size_t open = lower.find("<body");
    if (open != std::string::npos) {
        const std::size_t gt = lower.find('>', open);
        const std::size_t start = gt == std::string::npos ? page.size() : gt + 1;
        std::size_t end = lower.rfind("</body");
        if (end == std::string::npos || end < start) end = page.size();
        body = page.substr(start, end - start);
    }
    // The help file shows an item's attachments in a frame over an XML list; the site lists them itself.
    for (;;) {
        const std::string l = Lower(body);
        const std::size_t f = l.find("<iframe");
        if (f == std::string::npos) break;
        std::size_t close = l.find("</iframe>", f);
        close = close == std::string::npos ? l.find('>', f) : close + 8;
        if (close == std::string::npos) break;
        const std::string tag = l.substr(f, close + 1 - f);
        if (tag.find(".xml") == std::string::npos) break;
        body.erase(f, close + 1 - f);
    }
    return body;
}

std::string RewriteLinks(const std::string& body, const std::string& pageDir, const std::string& from,
                         const TLinkResolver& resolve) {
    const std::string lower = Lower(body);
    std::string out;
    out.reserve(body.size() + body.size() / 8);
    std::size_t pos = 0, copied = 0;
    while (pos < body.size()) {
        const std::size_t lt = lower.find('<', pos);
        if (lt == std::string::npos) break;
        const std::size_t gt = lower.find('>', lt);
        if (gt == std::string::npos) break;
        // Attributes href= and src= inside this tag.
        const std::string_view tag(lower.data() + lt, gt - lt);
        std::size_t a = lt;
        while (true) {
            const std::size_t h = tag.find("href", a - lt), s = tag.find("src", a - lt);
            const std::size_t rel = std::min(h, s);
            if (rel == std::string_view::npos) break;
            const std::size_t at = lt + rel;
            const std::size_t nameLen = rel == h ? 4 : 3;
            a = at + nameLen;
            const char before = lower[at - 1];
            if (before != ' ' && before != '\t' && before != '\n' && before != '\r') continue;
            std::size_t v = a;
            while (v < gt && (lower[v] == ' ' || lower[v] == '\t')) ++v;
            if (v >= gt || lower[v] != '=') continue;
            ++v;
            while (v < gt && (lower[v] == ' ' || lower[v] == '\t')) ++v;
            std::size_t vs = v, ve;
            if (lower[v] == '"' || lower[v] == '\'') {
                vs = v + 1;
                ve = lower.find(lower[v], vs);
                if (ve == std::string::npos || ve > gt) break;
            } else {
                ve = vs;
                while (ve < gt && lower[ve] != ' ' && lower[ve] != '\t') ++ve;
            }
            a = ve;
            std::string value = DecodeReferences(body.substr(vs, ve - vs));
            for (char& c : value)
                if (c == '\\') c = '/';
            if (value.empty() || value[0] == '#' || HasScheme(value) || value.rfind("//", 0) == 0) continue;
            std::string fragment;
            const std::size_t cut = value.find_first_of("?#");
            if (cut != std::string::npos) {
                fragment = value.substr(cut);
                value.resize(cut);
            }
            const std::string decoded = PercentDecode(value);
            const auto target = NormalizePath(decoded[0] == '/' ? decoded : pageDir + decoded);
            if (!target || target->empty()) continue;
            const auto sitePath = resolve(*target);
            if (!sitePath) continue;
            out.append(body, copied, vs - copied);
            out += Escape(RelativeHref(from, *sitePath) + fragment);
            copied = ve;
        }
        pos = gt + 1;
    }
    out.append(body, copied, std::string::npos);
    return out;
}

std::string WrapLooseListItems(const std::string& body) {
    const std::string lower = Lower(body);
    if (lower.find("<li") == std::string::npos) return body;
    const auto isTag = [&](std::size_t at, const char* name) {
        const std::size_t n = std::char_traits<char>::length(name);
        if (lower.compare(at, n, name) != 0) return false;
        const char after = at + n < lower.size() ? lower[at + n] : '>';
        return after == '>' || after == ' ' || after == '\t' || after == '\n' || after == '\r' || after == '/';
    };
    std::string out;
    out.reserve(body.size() + 64);
    int depth = 0;  // open <ul>, <ol> and <menu> lists
    std::size_t copied = 0;
    for (std::size_t i = lower.find('<'); i != std::string::npos; i = lower.find('<', i + 1)) {
        if (isTag(i, "<ul") || isTag(i, "<ol") || isTag(i, "<menu")) {
            ++depth;
        } else if ((isTag(i, "</ul") || isTag(i, "</ol") || isTag(i, "</menu")) && depth > 0) {
            --depth;
        } else if (depth == 0 && isTag(i, "<li")) {
            const std::size_t close = lower.find("</li>", i);
            const std::size_t next = lower.find("<li", i + 3);
            if (close == std::string::npos || (next != std::string::npos && next < close)) continue;
            // Bold or italic opened just before the item goes inside it: in the list it would
            // stand beside the item, where a list holds items only.
            std::size_t start = i;
            while (start >= 3 && (lower.compare(start - 3, 3, "<b>") == 0 || lower.compare(start - 3, 3, "<i>") == 0 ||
                                  lower.compare(start - 3, 3, "<u>") == 0) &&
                   start - 3 >= copied)
                start -= 3;
            const std::size_t tagEnd = lower.find('>', i);
            out.append(body, copied, start - copied);
            out += "<ul class=\"loose\">";
            out.append(body, i, tagEnd + 1 - i);
            out.append(body, start, i - start);
            out.append(body, tagEnd + 1, close + 5 - tagEnd - 1);
            out += "</ul>";
            copied = close + 5;
            i = close + 4;
        }
    }
    out.append(body, copied, std::string::npos);
    return out;
}

std::string HtmlToText(const std::string& html) {
    std::string text;
    text.reserve(html.size());
    const std::string lower = Lower(html);
    std::size_t i = 0;
    while (i < html.size()) {
        const char c = html[i];
        if (c == '<') {
            for (const char* skip : {"<script", "<style"}) {
                if (lower.compare(i, std::char_traits<char>::length(skip), skip) == 0) {
                    const std::string close = std::string("</") + (skip + 1);
                    const std::size_t e = lower.find(close, i);
                    i = e == std::string::npos ? html.size() : e;
                }
            }
            const std::size_t gt = html.find('>', i);
            i = gt == std::string::npos ? html.size() : gt + 1;
            text += ' ';
            continue;
        }
        if (c == '&') {
            const std::size_t n = DecodeReference(html, i, text);
            if (n) {
                i += n;
                continue;
            }
        }
        text += c;
        ++i;
    }
    return text;
}

}  // namespace qb::site
