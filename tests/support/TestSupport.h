#pragma once
#include "support/Os.h"
#include <cstdlib>
#include <optional>
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
// Bytes as lower-case hex digits, two per byte, for readable binary comparisons.
std::string HexBytes(const std::string& bytes);
void WriteFile(const std::string& path, const std::string& bytes);

// Compares text with tests/data/<relPath>; with QB_UPDATE_GOLDEN=ON (or the
// environment variable QB_UPDATE_GOLDEN=1) rewrites the file instead.
// Returns an empty string on match, else a description of the first difference.
std::string CompareGolden(const std::string& relPath, const std::string& actual);

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
public:
    // nullopt removes the variable for the while.
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        const auto old = qb::os::Environment(name);
        had_ = old.has_value();
        if (had_) old_ = *old;
        qb::os::SetEnvironment(name, value ? value->c_str() : nullptr);
    }
    ~ScopedEnv() {
        if (had_)
            qb::os::SetEnvironment(name_, old_.c_str());
        else
            qb::os::SetEnvironment(name_, nullptr);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

}  // namespace qbtest

#define EXPECT_GOLDEN(rel, actual) EXPECT_EQ("", ::qbtest::CompareGolden(rel, actual))
