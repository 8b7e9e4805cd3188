// Running the real quillbook binary with its own environment, and a folder
// that stands for a full disk.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace clitest {

struct Outcome {
    int status;       // exit status, or 128 + signal
    std::string out;  // stdout
    std::string err;  // stderr
};

// Runs quillbook with args (no shell); env entries are added to or replace the
// test's own environment.
Outcome Quillbook(const std::vector<std::string>& args,
                  const std::vector<std::pair<std::string, std::string>>& env = {});

// A folder (created) where files may grow to about `bytes` only: a tmpfs of that
// size when it can be mounted and useMount is set, otherwise the LD_PRELOAD shim
// that fails larger writes with ENOSPC. Env() goes to every Quillbook() call.
class FullDisk {
public:
    FullDisk(const std::string& folder, long long bytes, bool useMount);
    ~FullDisk();
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;
    bool mounted() const { return mounted_; }
    std::vector<std::pair<std::string, std::string>> Env() const;

private:
    std::string folder_;
    long long bytes_;
    bool mounted_ = false;
};

}  // namespace clitest
