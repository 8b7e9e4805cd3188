#pragma once
#include <iosfwd>

namespace CLI {
class App;
}

namespace qbcli {

// Writes the manual's OPTIONS part (roff) from app's commands and options, so every option is in it.
void PrintManOptions(const CLI::App& app, std::ostream& out);

}  // namespace qbcli
