#pragma once
// Full-text index of the website, built at export time and read by the
// search script in the browser.
#include <string>
#include <unordered_map>
#include <vector>

namespace qb::site {

// Words of a UTF-8 text as ICU splits them (letters, numbers, kana, ideographs),
// case-folded; punctuation and spaces are not words.
std::vector<std::string> SplitWords(const std::string& text);

class TSearchIndex {
public:
    // Adds a page; its words are those of caption and text. where tells the reader
    // where the page stands ("Company › Locations"); the first snippetChars
    // characters of the text are kept for result snippets. Returns the page's number.
    int AddPage(const std::string& href, const std::string& caption, const std::string& text,
                const std::string& where = "", std::size_t snippetChars = 0);
    // Pages that hold the word (already folded), in order of adding.
    const std::vector<int>* PagesOf(const std::string& word) const;
    // JavaScript that sets window.QB_SEARCH = {pages:[[href, caption, where, text]...],
    // words:[word...] (sorted, so prefixes are found by bisection), hits:["gap,gap..."...] (one per
    // word: its pages in order, each as the base-36 difference to the one before, the first to 0)}.
    std::string ToScript() const;

private:
    struct Page {
        std::string href, caption, where, text;
    };
    std::vector<Page> pages_;
    std::unordered_map<std::string, std::vector<int>> words_;
};

// The first chars characters of text with its runs of white space made one space.
std::string Snippet(const std::string& text, std::size_t chars);
// n >= 0 in base 36, lower-case digits.
std::string Base36(int n);
// s as a JSON string literal, with "<" escaped so a script block cannot be closed by it.
std::string JsonString(const std::string& s);

}  // namespace qb::site
