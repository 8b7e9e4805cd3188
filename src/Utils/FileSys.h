#pragma once
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "support/Os.h"
#include "support/Path.h"

// The engine's one file layer: every file-system call goes through here.
// Paths the engine builds keep "\" as separator; it becomes "/" only at this layer.
namespace qb::fs {

// Path as the operating system takes it ("\" -> "/").
using qb::NativePath;

class HeldFile;
class OutputFolder;

// The files one run (or one caller) works with. Relative names mean files
// below the folder it was made for; what it holds in memory and the folder it
// keeps open are its own, so two of them never see each other's. A run makes
// one and hands it to everything that touches its files.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Native path as a system call takes it: a relative path made absolute
    // against this one's folder (unchanged when it has none).
    virtual std::string Resolve(const std::string& path) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool DirectoryExists(const std::string& path) = 0;
    // A plain file at path itself: a link (even to a file) is not one.
    virtual bool PlainFileExists(const std::string& path) = 0;
    // Anything at path itself, links (also dangling ones) included.
    virtual bool EntryExists(const std::string& path) = 0;
    // Creates the folder and its missing parents; raises qb::Error on failure.
    // In a relative path (below the folder) a link standing for a folder
    // is replaced by a real folder, never followed.
    virtual void ForceDirectories(const std::string& path) = 0;
    // Opens a fresh, empty plain file for writing (exclusive, links not followed): whatever
    // stood at the name is removed first, a link never written through, and the
    // folders of a relative path are never links. Raises qb::Error naming the file.
    virtual os::Fd CreateFreshFile(const std::string& path) = 0;
    // A new plain file created for writing (exclusive, links not followed, folders checked as
    // above); -1 when anything stands at the name or a folder cannot be reached.
    virtual os::Fd CreateNewFile(const std::string& path) = 0;
    // An existing plain file with one name (no link, no FIFO) opened for writing
    // and truncated; -1 when there is none. Raises qb::Error when path is a folder.
    virtual os::Fd OpenPlainFileForRewrite(const std::string& path) = 0;
    // CreateFreshFile, closed again: the name is a plain file for a writer that opens it by name.
    virtual void PrepareFreshFile(const std::string& path) = 0;
    // Makes a fresh file as CreateFreshFile does and has fill write it through the
    // descriptor, never through a name. Raises qb::Error naming the file (and
    // removes it) when fill raises or another program put something else at the
    // name meanwhile.
    virtual void WriteFreshFile(const std::string& path, const std::function<void(os::Fd fd)>& fill) = 0;
    // Appends the bytes of the file at from to the descriptor; raises qb::Error naming name.
    virtual void CopyToDescriptor(const std::string& from, os::Fd fd, const std::string& name) = 0;
    // Deletes a file; false when it could not be deleted. A link is removed
    // itself; the folders of a relative path are never followed through links.
    virtual bool DeleteFile(const std::string& path) = 0;
    // Removes an empty folder; false otherwise.
    virtual bool RemoveDir(const std::string& path) = 0;
    virtual bool CopyFile(const std::string& from, const std::string& to) = 0;
    // A second name for the plain file from at to (copied when the two lie on
    // different file systems); to is made fresh as by CreateFreshFile.
    virtual bool LinkOrCopyFile(const std::string& from, const std::string& to) = 0;
    virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
    // Absolute, lexically normalised native path (relative to the folder,
    // else to the current directory).
    virtual std::string ExpandFileName(const std::string& path) = 0;
    virtual long long FileSize(const std::string& path) = 0;
    // Device, inode, size and change time of a file; "" when there is none. Tells a
    // file written now from an earlier one of the same name.
    virtual std::string FileIdentity(const std::string& path) = 0;
    // Writes bytes, replacing the file (a held file keeps them); raises qb::Error
    // naming the file and the system's reason when it cannot be written.
    virtual void SaveTextFile(const std::string& path, std::string bytes) = 0;
    // Whole file; missing or unreadable reads as empty.
    virtual std::string LoadTextFile(const std::string& path) = 0;
    // The same, a held file's bytes handed over instead of copied: it holds
    // them again only when saved back.
    virtual std::string TakeTextFile(const std::string& path) = 0;
    // Entries of a folder, unsorted; false when it cannot be listed.
    virtual bool ListFolder(const std::string& path, std::vector<os::Entry>& entries) = 0;
    // This one's hold of path, or null.
    virtual HeldFile* FindHeld(const std::string& path) = 0;
    // From now on the last bytes of a held file (HeldFile::Write) whose name
    // has nothing on disk stay in memory, about budget bytes in all, where the
    // calls above find them as a file; one deleted never reaches the disk.
    virtual void KeepWrittenInMemory(std::size_t budget) { (void)budget; }
    // Puts every file kept so on disk and keeps no more; raises qb::Error naming the first that failed.
    virtual void WriteKeptFiles() {}
    // While on, a folder this one makes holds only what this one puts there, and
    // looks for other names in it need no disk: only while no other program
    // writes below the folder. Off forgets them.
    virtual void TrustFreshFolders(bool on) { (void)on; }

protected:
    friend class HeldFile;
    // HeldFile::Write offers its bytes here first; true when they were taken.
    virtual bool KeepWritten(HeldFile& file) {
        (void)file;
        return false;
    }
    // Called by HeldFile as it starts and stops holding; innermost last.
    virtual void AddHold(HeldFile& file) = 0;
    virtual void DropHold(HeldFile& file) = 0;
    // What stands at path on disk, holds aside: 0 nothing, 1 a plain file, 2 something else.
    virtual int DiskState(const std::string& path) = 0;
};

// Files on disk: relative names below an output folder (or the current
// directory, without one). The last folder a name was reached through stays
// open until the next name in another folder.
class FileContext : public FileSystem {
public:
    // folder must outlive this; nullptr: relative to the current directory.
    explicit FileContext(const OutputFolder* folder = nullptr);
    ~FileContext() override;
    FileContext(const FileContext&) = delete;
    FileContext& operator=(const FileContext&) = delete;
    const OutputFolder* Folder() const { return folder_; }

    std::string Resolve(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    bool DirectoryExists(const std::string& path) override;
    bool PlainFileExists(const std::string& path) override;
    bool EntryExists(const std::string& path) override;
    void ForceDirectories(const std::string& path) override;
    os::Fd CreateFreshFile(const std::string& path) override;
    os::Fd CreateNewFile(const std::string& path) override;
    os::Fd OpenPlainFileForRewrite(const std::string& path) override;
    void PrepareFreshFile(const std::string& path) override;
    void WriteFreshFile(const std::string& path, const std::function<void(os::Fd fd)>& fill) override;
    void CopyToDescriptor(const std::string& from, os::Fd fd, const std::string& name) override;
    bool DeleteFile(const std::string& path) override;
    bool RemoveDir(const std::string& path) override;
    bool CopyFile(const std::string& from, const std::string& to) override;
    bool LinkOrCopyFile(const std::string& from, const std::string& to) override;
    bool RenameFile(const std::string& from, const std::string& to) override;
    std::string ExpandFileName(const std::string& path) override;
    long long FileSize(const std::string& path) override;
    std::string FileIdentity(const std::string& path) override;
    void SaveTextFile(const std::string& path, std::string bytes) override;
    std::string LoadTextFile(const std::string& path) override;
    std::string TakeTextFile(const std::string& path) override;
    bool ListFolder(const std::string& path, std::vector<os::Entry>& entries) override;
    HeldFile* FindHeld(const std::string& path) override;
    void KeepWrittenInMemory(std::size_t budget) override;
    void WriteKeptFiles() override;
    void TrustFreshFolders(bool on) override;

protected:
    bool KeepWritten(HeldFile& file) override;
    void AddHold(HeldFile& file) override;
    void DropHold(HeldFile& file) override;
    int DiskState(const std::string& path) override;

private:
    friend class ParentDir;
    struct LastFolder;
    os::Fd BaseFd() const;
    std::string BelowFolder(const std::string& native) const;
    std::string HeldKey(const std::string& path);
    // FindHeld of a path's HeldKey.
    HeldFile* FindHeldKey(const std::string& key);
    bool StatNoFollow(const std::string& path, os::FileInfo& st);
    void ForceRelativeDirectories(const std::string& native);
    // A kept file at path goes to disk now: the calls that follow work on the disk's file.
    void WriteKept(const std::string& path);
    // Nothing stands at path: its folder was made fresh here and the name never was.
    bool KnownAbsent(const std::string& path);
    void NoteMade(const std::string& path);
    // HeldKey without a trailing "/".
    std::string FolderKey(const std::string& path);
    using KeptFiles = std::unordered_map<std::string, std::unique_ptr<HeldFile>>;
    // Removes a kept file from memory; its bytes, if it had any.
    std::optional<std::string> DropKept(KeptFiles::iterator it);

    const OutputFolder* folder_;
    std::vector<HeldFile*> held_;
    std::unique_ptr<LastFolder> last_;
    // Written files kept in memory, by HeldKey.
    KeptFiles kept_;
    std::size_t keptRoom_ = 0;
    bool trustFresh_ = false;
    std::unordered_set<std::string> freshFolders_;  // held keys
    std::unordered_set<std::string> madeInFresh_;   // folder key + "/" + name in ASCII lower case
};

// The same operations on a FileContext of the current directory made for the
// call: for code outside a run (the command line, settings, tests).
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
bool PlainFileExists(const std::string& path);
bool EntryExists(const std::string& path);
void ForceDirectories(const std::string& path);
os::Fd CreateFreshFile(const std::string& path);
void PrepareFreshFile(const std::string& path);
void WriteFreshFile(const std::string& path, const std::function<void(os::Fd fd)>& fill);
void CopyToDescriptor(const std::string& from, os::Fd fd, const std::string& name);
bool DeleteFile(const std::string& path);
bool RemoveDir(const std::string& path);
bool CopyFile(const std::string& from, const std::string& to);
bool LinkOrCopyFile(const std::string& from, const std::string& to);
bool RenameFile(const std::string& from, const std::string& to);
std::string GetCurrentDir();
// Absolute, lexically normalised native path (relative to the current directory).
std::string ExpandFileName(const std::string& path);
long long FileSize(const std::string& path);
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

// While it lives, what is saved to path through files (SaveTextFile) stays in
// memory, where the same files' reads, size and existence checks of path find
// it; Write puts the last bytes on disk, once. A page built in several steps
// then costs the file system one write instead of a write, a read and a rewrite.
class HeldFile {
public:
    HeldFile(FileSystem& files, const std::string& path);
    // Writes what is still held (a walk that ends in an error keeps its pages);
    // an error writing it here is dropped.
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    // Writes the held bytes, if any were saved, and stops holding; raises qb::Error.
    void Write();

    const std::string& Path() const { return path_; }
    // The spelling the holder compares paths by (absolute, normalised).
    const std::string& Key() const { return key_; }
    void SetKey(std::string key) { key_ = std::move(key); }
    bool HasBytes() const { return hasBytes_; }
    const std::string& Bytes() const { return bytes_; }
    void Keep(std::string bytes) {
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
    FileSystem& files_;
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
