#pragma once
// Shared by the office engine tests: hooks of EngineOffice.cpp, process
// inspection and note files.
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace qb::office {
// Defined in src/engine/EngineOffice.cpp.
std::string FileUrl(const std::string& absolutePath);
std::string AdaptOfficePage(const std::string& page, const std::string& partsFolder,
                            const std::vector<std::pair<std::string, std::string>>& parts);
int BridgeStartCount();
}  // namespace qb::office

namespace officetest {

// Processes below this one (children, grandchildren, ...), from /proc.
std::vector<pid_t> Descendants();
// Command name of a process ("" when it is gone).
std::string ProcessName(pid_t pid);
// True while /proc has an entry for pid (a zombie counts as present).
bool ProcessExists(pid_t pid);
// The office's main process among this process's descendants, or -1.
pid_t OfficePid();

// A 4x4 red PNG.
std::string RedPng();
// An RTF note with a line of text, the PNG embedded as \pict and a 2x2 table.
std::string NoteWithPictureAndTable(const std::string& text);
// An RTF note with one paragraph.
std::string PlainNote(const std::string& text);

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

// Changes the current directory for the lifetime of the object.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& dir);
    ~ScopedCwd();
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

private:
    std::string old_;
};

}  // namespace officetest
