#pragma once
// RTF lexical layer: groups, control words, control symbols, hex bytes, text and
// binary data. It knows nothing of what the keywords mean.
#include <cstdint>
#include <string_view>

namespace qb::rtf {

class RtfListener {
public:
    virtual ~RtfListener() = default;
    virtual void GroupStart() = 0;
    virtual void GroupEnd() = 0;
    // Letters only, at most kMaxWordLength of them; param clamped to int32.
    virtual void ControlWord(std::string_view word, bool hasParam, std::int32_t param) = 0;
    // Any non-letter after a backslash except the hex escape; CR and LF arrive as '\n'.
    virtual void ControlSymbol(char symbol) = 0;
    virtual void HexByte(std::uint8_t byte) = 0;
    // A run of literal bytes; never holds '\\', '{', '}', CR or LF.
    virtual void Text(std::string_view bytes) = 0;
    // The data of \binN (cut short at the end of the input).
    virtual void Binary(std::string_view bytes) = 0;
};

inline constexpr std::size_t kMaxWordLength = 32;

// Feeds every token of rtf to the listener, in order, in one pass without
// recursion. A truncated token at the end is reported as far as it goes.
void Tokenize(std::string_view rtf, RtfListener& listener);

}  // namespace qb::rtf
