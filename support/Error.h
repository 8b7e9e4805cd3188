#pragma once
#include <stdexcept>
#include <string>

namespace qb {

// Every error the program raises: an exception carrying a message text.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace qb
