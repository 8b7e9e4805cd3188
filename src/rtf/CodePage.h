#pragma once
// Decoding of 8-bit RTF text through Windows code pages (the system's tables).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/Os.h"

namespace qb::rtf {

// Code page of an RTF \fcharset value; 0 when the charset names no code page
// (the document's code page applies).
int CharsetToCodePage(int charset);

// One code page: a byte table for single bytes and a cache of double-byte pairs.
class CodePage {
public:
    // Unknown code pages fall back to 1252.
    explicit CodePage(int codePage);
    ~CodePage();
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    static constexpr char32_t kLead = 0xFFFFFFFEu;  // byte starts a multi-byte character
    static constexpr char32_t kInvalid = 0xFFFD;

    // Character of a single byte, kLead for a lead byte, kInvalid when undefined.
    char32_t Single(std::uint8_t byte) const { return table_[byte]; }
    // Character of a multi-byte sequence; 0 while it is still incomplete,
    // kInvalid when it can never be valid.
    char32_t Multi(const std::uint8_t* bytes, std::size_t count);

private:
    char32_t Decode(const std::uint8_t* bytes, std::size_t count, bool& incomplete) const;

    os::CharDecoder decoder_;
    char32_t table_[256];
    std::vector<char32_t> pairs_;  // lazily filled cache of two-byte sequences
};

// Per-thread cache of code pages, so each is set up once.
CodePage& GetCodePage(int codePage);

}  // namespace qb::rtf
