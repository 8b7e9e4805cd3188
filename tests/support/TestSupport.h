#pragma once
#include <string>

namespace qbtest {

// A fresh empty folder below the system temp folder, removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // Native path with trailing "/".
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// Compares text with tests/data/<relPath>; with QB_UPDATE_GOLDEN=ON (or the
// environment variable QB_UPDATE_GOLDEN=1) rewrites the file instead.
// Returns an empty string on match, else a description of the first difference.
std::string CompareGolden(const std::string& relPath, const std::string& actual);

}  // namespace qbtest

#define EXPECT_GOLDEN(rel, actual) EXPECT_EQ("", ::qbtest::CompareGolden(rel, actual))
