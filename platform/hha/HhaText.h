#pragma once
// Texts of a help file in its language's ANSI code page, and the words of
// page texts as the full-text index stores them.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/Entities.h"
#include "support/Utf.h"

struct UConverter;

namespace qb::hha {

// The ANSI code page viewers use for a language (1252 for 0x409, 1251 for
// 0x419, 936 for 0x804 ...); 1252 when the language is unknown.
std::uint32_t AnsiCodePage(std::uint32_t lcid);

// One code page, converting from UTF-8.
class CodePageText {
public:
    explicit CodePageText(std::uint32_t codePage);
    ~CodePageText();
    CodePageText(const CodePageText&) = delete;
    CodePageText& operator=(const CodePageText&) = delete;

    std::uint32_t CodePage() const { return codePage_; }
    // The text in the code page; characters it lacks become "?".
    std::string Encode(const std::string& utf8) const;
    // The text in the code page; characters it lacks become "&#N;".
    std::string EncodeHtml(const std::string& utf8) const;
    // True when every character of the text exists in the code page.
    bool CanEncode(const std::string& utf8) const;

private:
    std::string Convert(const std::string& utf8, bool references, bool* lossless) const;
    std::uint32_t codePage_;
    UConverter* conv_ = nullptr;
};

// True when the bytes are valid UTF-8 and at least one of them is not ASCII.
bool IsNonAsciiUtf8(const std::string& text);

using qb::HtmlEntity;

// Full case folding of UTF-8 text that keeps sharp s ("STRAẞE" -> "straße").
std::string FoldCase(const std::string& utf8);

// The word with each sharp s as "ss" ("straße" -> "strasse"); the word itself
// when it holds none.
std::string SharpSAsSs(const std::string& word);

// The words of a plain UTF-8 text at Unicode word boundaries (letters,
// numbers, ideographs and kana; punctuation and blanks are no words),
// case-folded, in order.
std::vector<std::string> TextWords(const std::string& utf8);
// The same words handed to each one at a time, the text taken in pieces.
void ForEachTextWord(std::string_view utf8, const std::function<void(std::string&&)>& each);

// A stored name as viewers take it in a URL: "%", "#" and "?" as %XX.
std::string UrlEscapeName(const std::string& name);

using qb::HtmlAsAscii;

using qb::DeclaresUtf8;

// Shortens UTF-8 text to at most maxBytes bytes without splitting a character.
std::string CutUtf8(const std::string& text, std::size_t maxBytes);

}  // namespace qb::hha
