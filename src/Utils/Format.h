#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

namespace qb {

// One argument of Format: an integer or a text.
class FormatArg {
public:
    FormatArg(int v) : value_(static_cast<std::int64_t>(v)) {}
    FormatArg(unsigned v) : value_(static_cast<std::int64_t>(v)) {}
    FormatArg(long v) : value_(static_cast<std::int64_t>(v)) {}
    FormatArg(long long v) : value_(static_cast<std::int64_t>(v)) {}
    FormatArg(unsigned long v) : value_(static_cast<std::int64_t>(v)) {}
    FormatArg(const char* v) : value_(std::string(v ? v : "")) {}
    FormatArg(const std::string& v) : value_(v) {}
    FormatArg(std::string_view v) : value_(std::string(v)) {}

    bool isInt() const { return std::holds_alternative<std::int64_t>(value_); }
    std::int64_t asInt() const { return std::get<std::int64_t>(value_); }
    const std::string& asText() const { return std::get<std::string>(value_); }

private:
    std::variant<std::int64_t, std::string> value_;
};

// Delphi-style formatting: %s, %d, %x (upper-case hex, 32-bit two's complement
// for negatives), precision as in %.2x (minimum digits), width, "-" and %%.
// A mismatched or missing argument raises qb::Error.
std::string Format(const std::string& fmt, std::initializer_list<FormatArg> args);

}  // namespace qb
