#include "SearchIndex.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>
#include <stdexcept>

namespace qb::site {

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    // One iterator for the whole export: creating it loads the break rules.
    thread_local std::unique_ptr<icu::BreakIterator> it;
    if (!it) {
        UErrorCode status = U_ZERO_ERROR;
        it.reset(icu::BreakIterator::createWordInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status) || !it) throw std::runtime_error("ICU word break rules are missing");
    }
    const icu::UnicodeString u = icu::UnicodeString::fromUTF8(text);
    it->setText(u);
    int32_t start = it->first();
    for (int32_t end = it->next(); end != icu::BreakIterator::DONE; start = end, end = it->next()) {
        if (it->getRuleStatus() < UBRK_WORD_NONE_LIMIT) continue;
        icu::UnicodeString word(u, start, end - start);
        word.foldCase();
        std::string utf8;
        word.toUTF8String(utf8);
        words.push_back(std::move(utf8));
    }
    return words;
}

int TSearchIndex::AddPage(const std::string& href, const std::string& caption, const std::string& text,
                         const std::string& where) {
    const int id = static_cast<int>(pages_.size());
    pages_.push_back({href, caption, where});
    for (auto& w : SplitWords(caption + "\n" + text)) {
        auto& list = words_[w];
        if (list.empty() || list.back() != id) list.push_back(id);
    }
    return id;
}

const std::vector<int>* TSearchIndex::PagesOf(const std::string& word) const {
    const auto it = words_.find(word);
    return it == words_.end() ? nullptr : &it->second;
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
        out += (i ? "," : "") + std::string("[") + JsonString(pages_[i].href) + "," + JsonString(pages_[i].caption) +
               "," + JsonString(pages_[i].where) + "]";
    out += "],\n\"words\":{";
    bool first = true;
    for (const auto& [w, ids] : words_) {
        out += first ? "" : ",\n";
        first = false;
        out += JsonString(w) + ":[";
        for (std::size_t i = 0; i < ids.size(); ++i) out += (i ? "," : "") + std::to_string(ids[i]);
        out += "]";
    }
    return out + "}};\n";
}

}  // namespace qb::site
