#pragma once
#include "support/Os.h"
#include <memory>
#include <string>

namespace qb::hha {

// A fresh folder (mkdtemp pattern prefix + "XXXXXX"), removed with its content
// on destruction. It is locked while in use; folders of the same pattern that a
// killed process left behind (unlocked and not brand-new) are removed first.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // Absolute path with trailing "/".
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    qb::os::Fd lock_ = qb::os::kNoFd;
};

// Output beside its target: written into a hidden temp folder (".hha-XXXXXX")
// in the target's folder, moved over the target by Commit, removed otherwise.
class PendingOutput {
public:
    explicit PendingOutput(const std::string& target);
    // Path to write to (same file name as the target).
    const std::string& TempPath() const { return temp_; }
    // Renames the written file over the target; raises qb::Error on failure.
    void Commit();

private:
    std::string target_;
    std::unique_ptr<TempFolder> folder_;
    std::string temp_;
};

// Removes the folders prefix + six characters in folder that no TempFolder holds.
void RemoveStaleTempFolders(const std::string& folder, const std::string& prefix);

// Creates the parent folders of a file path.
void CreateParents(const std::string& path);

}  // namespace qb::hha
