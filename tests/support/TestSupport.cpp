#include "tests/support/TestSupport.h"
#include "tests/support/TestOs.h"
#include "support/Path.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qbtest {

TempDir::TempDir() {
    const std::string dir = qb::os::MakeTempFolder(qb::os::TempDirectory() + "/qbtest-");
    if (dir.empty()) throw std::runtime_error("cannot make a temporary folder");
    // One separator throughout, as the engine writes paths into its messages.
    path_ = dir + "/";
    for (char& c : path_)
        if (c == '\\') c = '/';
}

bool HaveSymlinks() {
    static const bool have = [] {
        const TempDir dir;
        std::error_code ec;
        std::filesystem::create_symlink(dir / "target", dir / "link", ec);
        return !ec;
    }();
    return have;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable first.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ec);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string HexBytes(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string ReadFile(const std::string& path) {
    // Paths are UTF-8; the narrow stream would read them in the ANSI code page on Windows.
    std::ifstream in(qb::FsPath(path), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(qb::FsPath(path).parent_path());
    std::ofstream out(qb::FsPath(path), std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string CompareGolden(const std::string& relPath, const std::string& actual) {
    const std::string file = std::string(QB_TEST_DATA) + "/" + relPath;
    const char* env = std::getenv("QB_UPDATE_GOLDEN");
    if (QB_UPDATE_GOLDEN || (env && std::string(env) == "1")) {
        WriteFile(file, actual);
        return "";
    }
    if (!std::filesystem::exists(file)) return "golden file missing: " + file + " (run with QB_UPDATE_GOLDEN=1)";
    const std::string expected = ReadFile(file);
    if (expected == actual) return "";
    std::size_t i = 0;
    while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
    auto around = [&](const std::string& s) {
        std::size_t from = i < 40 ? 0 : i - 40;
        return s.substr(from, 80);
    };
    return "golden " + relPath + " differs at byte " + std::to_string(i) + "\n expected: ..." + around(expected) +
           "...\n actual:   ..." + around(actual) + "...";
}

}  // namespace qbtest
