#pragma once
// RTF lexical layer: groups, control words, control symbols, hex bytes, text and
// binary data. It knows nothing of what the keywords mean.
#include <array>
#include <cstdint>
#include <limits>
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

namespace tokenizer_detail {

inline bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

inline int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Bytes that end a run of text: one test per byte in the longest loop.
inline constexpr auto kEndsText = [] {
    std::array<bool, 256> t{};
    for (const unsigned char c : {'\\', '{', '}', '\r', '\n'}) t[c] = true;
    return t;
}();

}  // namespace tokenizer_detail

// The same over any type with the listener's members; with a final class the
// calls per token are direct and can be inlined.
template <typename Listener>
void TokenizeInto(std::string_view rtf, Listener& listener) {
    using namespace tokenizer_detail;
    const std::size_t n = rtf.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = rtf[i];
        if (c == '{') {
            listener.GroupStart();
            ++i;
        } else if (c == '}') {
            listener.GroupEnd();
            ++i;
        } else if (c == '\r' || c == '\n') {
            ++i;  // line breaks in the file are not text
        } else if (c != '\\') {
            std::size_t j = i + 1;
            while (j < n && !kEndsText[static_cast<unsigned char>(rtf[j])]) ++j;
            listener.Text(rtf.substr(i, j - i));
            i = j;
        } else if (i + 1 >= n) {
            ++i;  // lone backslash at the end
        } else if (IsLetter(rtf[i + 1])) {
            std::size_t j = i + 1;
            while (j < n && IsLetter(rtf[j])) ++j;
            std::string_view word = rtf.substr(i + 1, j - i - 1);
            if (word.size() > kMaxWordLength) word = word.substr(0, kMaxWordLength);
            bool hasParam = false;
            bool negative = false;
            std::int64_t value = 0;
            if (j < n && rtf[j] == '-' && j + 1 < n && IsDigit(rtf[j + 1])) {
                negative = true;
                ++j;
            }
            while (j < n && IsDigit(rtf[j])) {
                hasParam = true;
                if (value <= std::numeric_limits<std::int32_t>::max()) value = value * 10 + (rtf[j] - '0');
                ++j;
            }
            if (negative) value = -value;
            if (value > std::numeric_limits<std::int32_t>::max()) value = std::numeric_limits<std::int32_t>::max();
            if (value < std::numeric_limits<std::int32_t>::min()) value = std::numeric_limits<std::int32_t>::min();
            if (j < n && rtf[j] == ' ') ++j;  // the delimiting space belongs to the word
            const auto param = static_cast<std::int32_t>(value);
            if (hasParam && word.size() == 3 && word[0] == 'b' && word[1] == 'i' && word[2] == 'n') {
                // The data must not be tokenized: it may hold braces and backslashes.
                const std::size_t len = param > 0 ? static_cast<std::size_t>(param) : 0;
                const std::size_t take = len < n - j ? len : n - j;
                listener.Binary(rtf.substr(j, take));
                i = j + take;
            } else {
                listener.ControlWord(word, hasParam, param);
                i = j;
            }
        } else if (rtf[i + 1] == '\'') {
            std::size_t j = i + 2;
            int value = 0;
            int digits = 0;
            while (digits < 2 && j < n && HexValue(rtf[j]) >= 0) {
                value = value * 16 + HexValue(rtf[j]);
                ++digits;
                ++j;
            }
            if (digits > 0) listener.HexByte(static_cast<std::uint8_t>(value));
            i = j;
        } else {
            const char s = rtf[i + 1];
            listener.ControlSymbol(s == '\r' ? '\n' : s);
            i += 2;
            // "\" CR LF is one paragraph mark, not two.
            if (s == '\r' && i < n && rtf[i] == '\n') ++i;
        }
    }
}

}  // namespace qb::rtf
