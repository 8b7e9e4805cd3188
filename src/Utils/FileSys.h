#pragma once
#include <memory>
#include <string>

// The engine's one file layer: every file-system call goes through here.
// Paths the engine builds keep "\" as separator; it becomes "/" only at this layer.
namespace qb::fs {

// Path as the operating system takes it ("\" -> "/").
std::string NativePath(const std::string& path);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates the folder and its missing parents; raises qb::Error on failure.
void ForceDirectories(const std::string& path);
// Deletes a file; false when it could not be deleted.
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

}  // namespace qb::fs
