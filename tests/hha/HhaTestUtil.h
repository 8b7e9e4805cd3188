#pragma once
// Calling HHA_CompileHHP with recording callbacks.
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace hhatest {

struct CompileRun {
    int result = 0;
    std::vector<std::string> log;
    int polls = 0;
    bool Logged(const std::string& text) const;  // some line contains text
};

// Compiles with the continue callback answering "stop" from poll stopAfter
// on (never when negative), or once stopAfterLines log lines were written.
CompileRun Compile(const std::string& hhp, int stopAfter = -1, int stopAfterLines = -1);

// Sets an environment variable for the life of the object.
class EnvVar {
public:
    EnvVar(const char* name, const std::string& value);
    ~EnvVar();
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace hhatest
