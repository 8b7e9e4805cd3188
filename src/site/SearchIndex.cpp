#include "site/SearchIndex.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "support/Words.h"

namespace qb::site {

namespace {

// ASCII classes without the C library's locale lookups: this runs for every byte of every note.
bool AsciiSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool AsciiPunct(unsigned char c) {
    return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') || (c >= '{' && c <= '~');
}
bool AsciiWordChar(unsigned char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }

// What ICU finds in text that is not plain ASCII words.
template <class F>
void IcuWords(const std::string& text, F&& each) {
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(text);
    u.foldCase();
    std::string utf8;
    ForEachWordSpan(std::u16string_view(u.getBuffer(), static_cast<std::size_t>(u.length())), [&](std::size_t start,
                                                                                                  std::size_t end) {
        utf8.clear();
        u.tempSubStringBetween(static_cast<int32_t>(start), static_cast<int32_t>(end)).toUTF8String(utf8);
        each(std::string_view(utf8));
    });
}

// Calls each with every word of text. Runs of ASCII letters and digits between
// spaces and punctuation are words as ICU would find them, only lower-cased
// here; everything else goes through ICU's word rules.
template <class F>
void ForEachWord(const std::string& text, F&& each) {
    std::string word, rest;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        while (i < n && AsciiSpace(static_cast<unsigned char>(text[i]))) ++i;
        std::size_t j = i;
        while (j < n && !AsciiSpace(static_cast<unsigned char>(text[j]))) ++j;
        // The chunk text[i, j) without ASCII punctuation at its ends ("_" joins words in ICU).
        std::size_t b = i, e = j;
        while (b < e && AsciiPunct(static_cast<unsigned char>(text[b])) && text[b] != '_') ++b;
        while (e > b && AsciiPunct(static_cast<unsigned char>(text[e - 1])) && text[e - 1] != '_') --e;
        bool plain = b < e;
        for (std::size_t k = b; plain && k < e; ++k) plain = AsciiWordChar(static_cast<unsigned char>(text[k]));
        if (plain) {
            word.assign(text, b, e - b);
            for (char& c : word)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            each(std::string_view(word));
        } else if (b < e) {
            rest.append(text, i, j - i);
            rest += ' ';
        }
        i = j;
    }
    if (!rest.empty()) IcuWords(rest, each);
}

}  // namespace

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    ForEachWord(text, [&](std::string_view w) { words.emplace_back(w); });
    return words;
}

std::string Snippet(const std::string& text, std::size_t chars) {
    std::string out;
    std::size_t count = 0;
    bool space = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (AsciiSpace(c)) {
            space = !out.empty();
            continue;
        }
        // Counted at the first byte of each character, so a character is never cut.
        if ((c & 0xC0) != 0x80) {
            if (count + (space ? 1 : 0) >= chars) break;
            if (space) {
                out += ' ';
                ++count;
            }
            space = false;
            ++count;
        }
        out += static_cast<char>(c);
    }
    return out;
}

int TSearchIndex::AddPage(const std::string& href, const std::string& caption, const std::string& text,
                          const std::string& where, std::size_t snippetChars) {
    const int id = static_cast<int>(pages_.size());
    pages_.push_back({href, caption, where, snippetChars ? Snippet(text, snippetChars) : std::string()});
    std::string key;
    ForEachWord(caption + "\n" + text, [&](std::string_view w) {
        key.assign(w);
        auto& list = words_[key];
        if (list.empty() || list.back() != id) list.push_back(id);
    });
    return id;
}

const std::vector<int>* TSearchIndex::PagesOf(const std::string& word) const {
    const auto it = words_.find(word);
    return it == words_.end() ? nullptr : &it->second;
}

std::string Base36(int n) {
    static const char* kDigits = "0123456789abcdefghijklmnopqrstuvwxyz";
    if (n <= 0) return "0";
    std::string out;
    for (; n > 0; n /= 36) out.insert(out.begin(), kDigits[n % 36]);
    return out;
}

std::string JsonString(const std::string& s) {
    static const char* kHex = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '<': out += "\\u003c"; break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 15];
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string TSearchIndex::ToScript() const {
    std::string out = "window.QB_SEARCH={\"pages\":[";
    for (std::size_t i = 0; i < pages_.size(); ++i)
        out += (i ? ",\n" : "") + std::string("[") + JsonString(pages_[i].href) + "," +
               JsonString(pages_[i].caption) + "," + JsonString(pages_[i].where) + "," + JsonString(pages_[i].text) +
               "]";
    // Sorted, so the same notes always give the same file.
    std::vector<const std::pair<const std::string, std::vector<int>>*> sorted;
    sorted.reserve(words_.size());
    for (const auto& entry : words_) sorted.push_back(&entry);
    std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->first < b->first; });
    out += "],\n\"words\":[";
    for (std::size_t k = 0; k < sorted.size(); ++k) out += (k ? "," : "") + JsonString(sorted[k]->first);
    // Each word's pages as one string of base-36 gaps: a string costs the browser
    // far less to load than an array of numbers, and is read only when searched.
    out += "],\n\"hits\":[";
    for (std::size_t k = 0; k < sorted.size(); ++k) {
        const auto& ids = sorted[k]->second;
        out += k ? ",\"" : "\"";
        int last = 0;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            if (i) out += ',';
            out += Base36(ids[i] - last);
            last = ids[i];
        }
        out += "\"";
    }
    return out + "]};\n";
}

}  // namespace qb::site
