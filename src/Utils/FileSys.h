#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/Os.h"
#include "support/Path.h"

// The engine's one file layer: every file-system call goes through here.
// Paths the engine builds keep "\" as separator; it becomes "/" only at this layer.
namespace qb::fs {

// Path as the operating system takes it ("\" -> "/").
using qb::NativePath;
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
// Opens a fresh, empty plain file for writing (exclusive, links not followed): whatever
// stood at the name is removed first, a link never written through, and the
// folders of a relative path are never links. Raises qb::Error naming the file.
os::Fd CreateFreshFile(const std::string& path);
// A new plain file created for writing (exclusive, links not followed, folders checked as
// above); -1 when anything stands at the name or a folder cannot be reached.
os::Fd CreateNewFile(const std::string& path);
// An existing plain file with one name (no link, no FIFO) opened for writing
// and truncated; -1 when there is none. Raises qb::Error when path is a folder.
os::Fd OpenPlainFileForRewrite(const std::string& path);
// CreateFreshFile, closed again: the name is a plain file for a writer that opens it by name.
void PrepareFreshFile(const std::string& path);
// Makes a fresh file as CreateFreshFile does and has fill write it through the
// descriptor, never through a name. Raises qb::Error naming the file (and
// removes it) when fill raises or another program put something else at the
// name meanwhile.
void WriteFreshFile(const std::string& path, const std::function<void(os::Fd fd)>& fill);
// Appends the bytes of the file at from to the descriptor; raises qb::Error naming name.
void CopyToDescriptor(const std::string& from, os::Fd fd, const std::string& name);
// Deletes a file; false when it could not be deleted. A link is removed
// itself; the folders of a relative path are never followed through links.
bool DeleteFile(const std::string& path);
// Removes an empty folder; false otherwise.
bool RemoveDir(const std::string& path);
bool CopyFile(const std::string& from, const std::string& to);
// A second name for the plain file from at to (copied when the two lie on
// different file systems); to is made fresh as by CreateFreshFile.
bool LinkOrCopyFile(const std::string& from, const std::string& to);
bool RenameFile(const std::string& from, const std::string& to);
std::string GetCurrentDir();
// Absolute, lexically normalised native path (relative to the output folder in
// use on this thread, else to the current directory).
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

// An exclusive lock on a lock file, held until destruction, which
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
    LockFile(std::string path, os::Fd fd) : path_(std::move(path)), fd_(fd) {}
    std::string path_;
    os::Fd fd_;
};

// The output folder of a run, opened once. Relative names the run uses mean
// files below it, whatever the process's current directory is.
class OutputFolder {
public:
    // Opens an existing folder (a relative name: relative to the current
    // directory now); raises qb::Error when it cannot be opened.
    explicit OutputFolder(const std::string& folder);
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;
    os::Fd Fd() const { return fd_; }
    // Absolute, lexically normalised native path with a trailing "/".
    const std::string& Path() const { return path_; }
    // Path as the system resolves it (links followed), with a trailing "/".
    const std::string& RealPath() const { return realPath_; }

private:
    os::Fd fd_ = os::kNoFd;
    std::string path_, realPath_;
};

// While it lives, this layer resolves relative paths of the calling thread
// against folder, and absolute paths below folder get the same link checks as
// relative ones. Other threads are not affected.
class UseOutputFolder {
public:
    explicit UseOutputFolder(const OutputFolder& folder);
    ~UseOutputFolder();
    UseOutputFolder(const UseOutputFolder&) = delete;
    UseOutputFolder& operator=(const UseOutputFolder&) = delete;

private:
    const OutputFolder* previous_;
};

// Native path as a system call takes it: a relative path is made absolute
// against the folder in use on this thread (unchanged when there is none).
std::string Resolve(const std::string& path);

// While it lives, what the calling thread saves to path (SaveTextFile) stays in
// memory, where the thread's reads, size and existence checks of path find it;
// Write puts the last bytes on disk, once. A page built in several steps then
// costs the file system one write instead of a write, a read and a rewrite.
class HeldFile {
public:
    explicit HeldFile(const std::string& path);
    // Writes what is still held (a walk that ends in an error keeps its pages);
    // an error writing it here is dropped.
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    // Writes the held bytes, if any were saved, and stops holding; raises qb::Error.
    void Write();

    // The calling thread's hold of path, or null; for the file functions.
    static HeldFile* Find(const std::string& path);
    bool HasBytes() const { return hasBytes_; }
    const std::string& Bytes() const { return bytes_; }
    void Keep(const std::string& bytes) {
        bytes_ = bytes;
        hasBytes_ = true;
    }
    void Keep(std::string&& bytes) {
        bytes_ = std::move(bytes);
        hasBytes_ = true;
    }
    // Hands the held bytes over and holds none until they are kept again.
    std::string Take() {
        hasBytes_ = false;
        return std::move(bytes_);
    }
    // What stood at the name on disk when first asked (stat without following links).
    bool OnDiskPlainFile();
    bool OnDiskEntry();
    // Drops the held bytes; true when there were any.
    bool DropBytes();
    // What stands at the name on disk: 0 nothing, -1 unknown (looked at when asked).
    void SetOnDisk(int state) { diskState_ = state; }

private:
    void Release();
    std::string path_, key_;
    bool held_ = true, hasBytes_ = false;
    int diskState_ = -1;  // -1 not yet looked at, 0 nothing, 1 plain file, 2 something else
    std::string bytes_;
};

// An anonymous scratch file in the system's temporary folder: it has no name
// on disk, so nothing is left behind whatever way the process ends.
class ScratchFile {
public:
    ScratchFile();
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    // A path that opens this file; writers by name truncate it.
    const std::string& Path() const { return path_; }

private:
    os::Fd fd_ = os::kNoFd;
    std::string path_;
};

}  // namespace qb::fs
