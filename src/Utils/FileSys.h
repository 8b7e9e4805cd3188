#pragma once
#include <memory>
#include <string>
#include <vector>

// The engine's one file layer: every file-system call goes through here.
// Paths the engine builds keep "\" as separator; it becomes "/" only at this layer.
namespace qb::fs {

// Path as the operating system takes it ("\" -> "/").
std::string NativePath(const std::string& path);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// A plain file at path itself: a link (even to a file) is not one.
bool PlainFileExists(const std::string& path);
// Anything at path itself, links (also dangling ones) included.
bool EntryExists(const std::string& path);
// Creates the folder and its missing parents; raises qb::Error on failure.
// In a relative path (below the output folder) a link standing for a folder
// is replaced by a real folder, never followed.
void ForceDirectories(const std::string& path);
// Opens a fresh, empty plain file for writing (O_EXCL, O_NOFOLLOW): whatever
// stood at the name is removed first, a link never written through, and the
// folders of a relative path are never links. Raises qb::Error naming the file.
int CreateFreshFile(const std::string& path);
// A new plain file created for writing (O_EXCL, O_NOFOLLOW, folders checked as
// above); -1 when anything stands at the name or a folder cannot be reached.
int CreateNewFile(const std::string& path);
// An existing plain file with one name (no link, no FIFO) opened for writing
// and truncated; -1 when there is none. Raises qb::Error when path is a folder.
int OpenPlainFileForRewrite(const std::string& path);
// CreateFreshFile, closed again: the name is a plain file for a writer that opens it by name.
void PrepareFreshFile(const std::string& path);
// Deletes a file; false when it could not be deleted. A link is removed
// itself; the folders of a relative path are never followed through links.
bool DeleteFile(const std::string& path);
// Removes an empty folder; false otherwise.
bool RemoveDir(const std::string& path);
bool CopyFile(const std::string& from, const std::string& to);
bool RenameFile(const std::string& from, const std::string& to);
std::string GetCurrentDir();
// Raises qb::Error on failure.
void SetCurrentDir(const std::string& path);
// Absolute, lexically normalised native path (relative to the current directory).
std::string ExpandFileName(const std::string& path);
long long FileSize(const std::string& path);
// Device, inode, size and change time of a file; "" when there is none. Tells a
// file written now from an earlier one of the same name.
std::string FileIdentity(const std::string& path);

// A private folder below the system's temporary folder, removed with its
// content on destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // Native path with a trailing "/".
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// An exclusive lock (flock) on a lock file, held until destruction, which
// removes the file.
class LockFile {
public:
    // The lock, or nullptr when another process holds it; raises qb::Error when
    // the file cannot be created.
    static std::unique_ptr<LockFile> TryAcquire(const std::string& path);
    ~LockFile();
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

private:
    LockFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    std::string path_;
    int fd_;
};

// While it lives, folder (the current directory: the run's output folder) is
// guarded: absolute paths below it get the same link checks as relative ones.
class OutputFolderGuard {
public:
    explicit OutputFolderGuard(const std::string& folder);
    ~OutputFolderGuard();
    OutputFolderGuard(const OutputFolderGuard&) = delete;
    OutputFolderGuard& operator=(const OutputFolderGuard&) = delete;

private:
    std::vector<std::string> saved_;
};

// An anonymous scratch file in the system's temporary folder: it has no name
// on disk, so nothing is left behind whatever way the process ends.
class ScratchFile {
public:
    ScratchFile();
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    // A path that opens this file ("/proc/self/fd/N"); writers by name truncate it.
    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace qb::fs
