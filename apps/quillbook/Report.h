#pragma once
#include <string>
#include <vector>

namespace qbcli {

enum class Verbosity { Quiet, Normal, Verbose };
// How much of the run log the commands print (-q, default, -v); errors always go out.
extern Verbosity gVerbosity;

// Prints "quillbook: COMMAND: text" on stderr and returns status, so every
// error of every command reads the same way.
int Fail(const std::string& command, const std::string& text, int status);

// The candidate nearest to word by edit distance, or "" when none is close
// enough to be what the user meant.
std::string NearestWord(const std::string& word, const std::vector<std::string>& candidates);

}  // namespace qbcli
