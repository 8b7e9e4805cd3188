#pragma once
// The operating system as the rest of the program sees it. One implementation
// per system (support/os/Posix*.cpp, support/os/Win32*.cpp), chosen by CMake.
// Paths are UTF-8 with "/" (Windows also takes "\"); failures return false or
// kNoFd and leave an errno value (ENOENT, EEXIST, ELOOP, ...) in errno.
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qb::os {

// An open file or folder. Not a C runtime descriptor: only this seam reads it.
using Fd = std::intptr_t;
constexpr Fd kNoFd = -1;
// Base for *At calls meaning the current directory.
constexpr Fd kCurrentDir = -100;

enum OpenFlag : unsigned {
    kRead = 1u << 0,
    kWrite = 1u << 1,
    kCreate = 1u << 2,
    kExclusive = 1u << 3,   // with kCreate: fail with EEXIST when anything stands there
    kTruncate = 1u << 4,
    kNoFollow = 1u << 5,    // a link (or reparse point) at the name fails with ELOOP
    kDirectory = 1u << 6,   // only a folder opens; a file fails with ENOTDIR
    kNonBlock = 1u << 7,    // a FIFO does not block the open
};

enum class Kind { None, File, Folder, Link, Other };

struct FileInfo {
    Kind kind = Kind::None;
    std::uint64_t size = 0;
    std::uint64_t device = 0, inode = 0;  // the file's identity on its volume
    std::uint32_t links = 1;
    std::int64_t mtime = 0;               // seconds since 1970
    std::int64_t ctimeNs = 0;             // last change, nanoseconds since 1970 (Windows: last write)
    std::uint32_t mode = 0644;            // permission bits (Windows: 0644, 0444 when read-only)
};

// --- Errors ------------------------------------------------------------------
// The system's text for an errno value (ELOOP reads "a link stands in its path"
// only where the caller says so).
std::string ErrorText(int err);

// --- Paths -----------------------------------------------------------------------
// True for "/x" here; on Windows for "C:\x", "C:/x", "\\server\share" and "\x".
bool IsAbsolutePath(const std::string& path);
// The path as the system resolves it (links followed); "" when it does not exist.
std::string RealPath(const std::string& path);
// Where an open file or folder really lies (links resolved); "" when unknown.
std::string RealPathOf(Fd fd);
// Absolute path of the current directory; "" on failure.
std::string CurrentDir();

// The user's folder for settings: $XDG_CONFIG_HOME or ~/.config here,
// the roaming application data folder on Windows; no trailing "/".
std::string UserConfigHome();
// The user's documents folder (XDG_DOCUMENTS_DIR, else ~/Documents; on Windows
// the known Documents folder); no trailing "/".
std::string DocumentsFolder();

// --- Files relative to an open folder -------------------------------------------
// name is one component or a relative path below base (or an absolute path,
// when base is ignored). mode applies to a new file.
Fd OpenAt(Fd base, const std::string& name, unsigned flags, unsigned mode = 0644);
Fd Open(const std::string& path, unsigned flags, unsigned mode = 0644);
void Close(Fd fd);
// Bytes moved, 0 at the end, -1 on failure; interrupted calls are retried.
long long Read(Fd fd, void* buffer, std::size_t size);
long long Write(Fd fd, const void* buffer, std::size_t size);
// At an offset, leaving the file position alone where the system allows.
long long ReadAt(Fd fd, void* buffer, std::size_t size, std::uint64_t offset);
long long WriteAt(Fd fd, const void* buffer, std::size_t size, std::uint64_t offset);
// Writes all bytes; false on failure.
bool WriteAll(Fd fd, const void* buffer, std::size_t size);
// A C stream on path (mode as for fopen; "b" for binary), through the wide API on Windows.
std::FILE* OpenStdio(const std::string& path, const char* mode);
bool Truncate(Fd fd, std::uint64_t size);
bool Sync(Fd fd);
bool SetMode(Fd fd, unsigned mode);
bool Info(Fd fd, FileInfo& info);
// Of the entry at name itself when follow is false (a link reports Kind::Link).
bool InfoAt(Fd base, const std::string& name, FileInfo& info, bool follow);
bool PathInfo(const std::string& path, FileInfo& info, bool follow);
// Only the kind of PathInfo, without opening the entry where the system can tell.
bool PathKind(const std::string& path, Kind& kind, bool follow);
// What an entry of Kind::Other at path is, as a message names it: "a FIFO",
// "a device" or "a socket" (Windows: "a device").
std::string OtherKindName(const std::string& path);
// Removes a file or link (never what a link points to).
bool RemoveAt(Fd base, const std::string& name);
bool MakeFolderAt(Fd base, const std::string& name);
// Makes the folder and opens it as OpenAt with kRead | kDirectory | kNoFollow
// would; kNoFd and errno (EEXIST when anything stands at name) otherwise.
Fd MakeAndOpenFolderAt(Fd base, const std::string& name);
// Whether a folder this process holds open stays where it was opened: no
// other program can rename, remove or replace it meanwhile.
bool OpenFoldersStayPut();
bool RemoveFolder(const std::string& path);
bool RemoveFile(const std::string& path);
// Moves from over to, replacing an existing file in one step.
bool AtomicReplace(const std::string& from, const std::string& to);
// A hard link, false where the file system has none.
bool HardLink(const std::string& from, const std::string& to);
// The same with the new name relative to an open folder (the name itself never followed).
bool HardLinkAt(const std::string& from, Fd base, const std::string& name);

// Entries of a folder ("." and ".." left out), unsorted.
struct Entry {
    std::string name;
    Kind kind;  // Link for links and reparse points
};
bool ListFolder(const std::string& path, std::vector<Entry>& entries);
bool ListFolderAt(Fd folder, std::vector<Entry>& entries);

// An exclusive lock on an open file: 1 taken, 0 held by another, -1 failure.
int TryLock(Fd fd);

// --- Temporary files ----------------------------------------------------------------
// $TMPDIR (Windows: GetTempPath) when it names a folder, else /tmp; no trailing "/".
std::string TempDirectory();
// A fresh private folder prefix + six random characters; "" on failure (errno set).
std::string MakeTempFolder(const std::string& prefix);
// A new file prefix + six random characters, opened for reading and writing;
// its name in path.
Fd MakeTempFile(const std::string& prefix, std::string& path);
// A file in folder that has no name (or one removed as it is closed): nothing
// is left behind however the process ends. Read and written through the Fd only.
Fd ScratchFile(const std::string& folder);
// A name by which other code (the storage library) opens a scratch file for
// writing: "/proc/self/fd/N" here, the file's temporary name on Windows.
std::string ScratchFileName(Fd fd);

// --- Modules ----------------------------------------------------------------------
// The file of the executable or shared library holding address.
std::string ModulePath(const void* address);
// Opaque library handle; nullptr on failure, LibraryError() says why.
void* OpenLibrary(const std::string& path);
void* LibrarySymbol(void* library, const char* name);
void CloseLibrary(void* library);
std::string LibraryError();
// The name a library has on this system: "hha" -> "libhha.so" / "hha.dll".
std::string LibraryFileName(const std::string& base);
// A symbol of the library of that base name ("dvo") when the process has it
// loaded already; nullptr otherwise. Never loads the library itself.
void* LoadedLibrarySymbol(const std::string& base, const char* name);
// Sets (or with value nullptr removes) a variable of the process environment (UTF-8).
bool SetEnvironment(const char* name, const char* value);
// A variable of the process environment in UTF-8; nullopt when it is not set.
std::optional<std::string> Environment(const char* name);

// A plain file this process may run (Windows: any plain file).
bool IsExecutable(const std::string& path);
// What separates folders in PATH: ":" here, ";" on Windows.
char PathListSeparator();

// --- Processes and console ----------------------------------------------------------
bool StdoutIsTerminal();
int ProcessId();
// While it lives, Ctrl-C, a closed console and a polite kill call onStop
// (from a signal handler: it may only set atomics); the previous handling is
// restored on destruction.
class StopRequests {
public:
    explicit StopRequests(void (*onStop)());
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

// A started program. Its standard input and output are one duplex channel
// (Channel()), or stdout goes to a pipe read by ReadOutput when wanted.
class Process {
public:
    struct Options {
        bool duplexChannel = false;     // stdin+stdout: a channel for Send/Receive
        bool captureOutput = false;     // stdout+stderr: read with ReadOutput
        std::string errorLog;           // stderr to this file (when not captured)
        bool ownGroup = true;           // Kill ends the program's children too
        std::string folder;             // working folder; "" keeps ours
    };
    // Starts program (looked up on PATH when it holds no separator) with args
    // (args[0] is the program's name); raises qb::Error "reason".
    Process(const std::string& program, const std::vector<std::string>& args, const Options& options);
    ~Process();  // kills and reaps a program still running
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    // Sends bytes over the channel; false when the program is gone.
    bool Send(const std::string& bytes);
    // Waits up to timeoutMs (-1 forever) for bytes: >0 read, 0 at the end, -1 failure,
    // -2 timeout.
    long long Receive(char* buffer, std::size_t size, int timeoutMs);
    // Captured output, same results as Receive.
    long long ReadOutput(char* buffer, std::size_t size, int timeoutMs);
    bool Running();
    // Waits: the exit code, or minus the signal that ended the program.
    int Wait();
    // Ends the program (and its group) at once.
    void Kill();
    int Id() const;
    // Ends a process group recorded earlier by id (an office started by the program).
    static void KillGroup(int id);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// --- Text at the boundary ----------------------------------------------------------
// The 8-bit code page the host and the storage library use: GetACP() on
// Windows, 65001 (UTF-8) elsewhere.
int AnsiCodePage();
// Bytes in a Windows code page (1252, 936, 65001, ...) as UTF-8 and back;
// characters the code page lacks become "?". Unknown code pages act as 1252.
std::string FromCodePage(const std::string& bytes, int codePage);
std::string ToCodePage(const std::string& utf8, int codePage);
// The same without substitution: false, with out untouched, when the code page
// lacks a character of utf8 (or utf8 is not well formed).
bool ToCodePageExactly(const std::string& utf8, int codePage, std::string& out);
// Decodes characters of one Windows code page one at a time (glibc's iconv
// here, the system's tables on Windows); unknown code pages act as 1252.
class CharDecoder {
public:
    static constexpr char32_t kNone = 0xFFFD;
    explicit CharDecoder(int codePage);
    ~CharDecoder();
    CharDecoder(const CharDecoder&) = delete;
    CharDecoder& operator=(const CharDecoder&) = delete;
    // The one character the bytes form, or kNone; incomplete is set when
    // more bytes could still make a character.
    char32_t Decode(const std::uint8_t* bytes, std::size_t count, bool& incomplete) const;

private:
    void* impl_ = nullptr;
    int codePage_;
};
// The host's 8-bit text (AnsiCodePage) as UTF-8 and back.
std::string FromAnsi(const std::string& bytes);
std::string ToAnsi(const std::string& utf8);
// A wide string of the system (UTF-16 on Windows, UTF-32 elsewhere) as UTF-8 and back.
std::string FromWide(const std::wstring& text);
std::wstring ToWide(const std::string& utf8);

// --- Memory -------------------------------------------------------------------------
// Hands memory the process has freed back to the system.
void ReturnFreedMemory();
// Asks for the system's heap for many small blocks where it has one to ask for.
void PreferSmallBlockHeap();

}  // namespace qb::os
