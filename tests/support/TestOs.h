#pragma once
#include <string>

// What tests need of the system beyond support/Os.h: things only some systems
// have. Each answers false where the system has no such thing, so the test can
// say why it skips.
namespace qbtest {

// For tests of conventions only one side has (XDG folders, /proc).
bool OnWindows();

// Whether this process can make symbolic links (Wine cannot).
bool HaveSymlinks();

// A FIFO at path; false where the system has none.
bool MakeFifo(const std::string& path);

// While it lives, writes past bytes fail as on a full disk; Active() is false
// where the system has no per-process file-size limit.
class FileSizeLimit {
public:
    explicit FileSizeLimit(unsigned long long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Active() const { return active_; }

private:
    bool active_ = false;
    unsigned long long old_[2] = {0, 0};
    void (*oldHandler_)(int) = nullptr;
};

// Folders base/1/1/.../1 (depth of them) with leaf.txt at the bottom, deeper
// than the system's path limit; made and removed relative to open folders.
// False where that case does not exist (Windows).
bool MakeDeepChain(const std::string& base, int depth);
void RemoveDeepChain(const std::string& base, int depth);

}  // namespace qbtest
