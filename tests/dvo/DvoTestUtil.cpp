#include "tests/dvo/DvoTestUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace dvotest {

namespace {

int Collect(unsigned char isFolder, const char* name, const char* caption, int value, void* userData) {
    static_cast<std::vector<Entry>*>(userData)->push_back({isFolder != 0, name, caption, value});
    return 1;
}

}  // namespace

std::vector<Entry> Enumerate(int db, const std::string& path) {
    std::vector<Entry> entries;
    int n = dvo_enum_entries(db, path.c_str(), Collect, 0, &entries);
    EXPECT_EQ(static_cast<size_t>(n), entries.size());
    return entries;
}

std::vector<std::string> EntryNames(int db, const std::string& path) {
    std::vector<std::string> names;
    for (const Entry& e : Enumerate(db, path)) names.push_back(e.isFolder ? e.name + "\\" : e.name);
    return names;
}

void MustImport(const std::string& src, const std::string& dbFile) {
    ASSERT_EQ(1, dvo_import(src.c_str(), dbFile.c_str())) << dvo_last_error();
}

std::string ImportError(const std::string& src, const std::string& dbFile) {
    EXPECT_EQ(0, dvo_import(src.c_str(), dbFile.c_str()));
    return dvo_last_error();
}

std::string Exported(int db, const std::string& path, const qbtest::TempDir& tmp) {
    const std::string dest = tmp / "exported.bin";
    ::unlink(dest.c_str());
    if (!dvo_export_file(db, path.c_str(), dest.c_str())) return "<missing>";
    return qbtest::ReadFile(dest);
}

void MakeDeepChain(const std::string& base, int depth) {
    int cur = ::open(base.c_str(), O_RDONLY | O_DIRECTORY);
    if (cur < 0) throw std::runtime_error("cannot open " + base);
    for (int i = 0; i < depth; ++i) {
        if (::mkdirat(cur, "1", 0755) != 0) throw std::runtime_error("mkdirat failed");
        int next = ::openat(cur, "1", O_RDONLY | O_DIRECTORY);
        ::close(cur);
        if (next < 0) throw std::runtime_error("openat failed");
        cur = next;
    }
    int fd = ::openat(cur, "leaf.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        (void)!::write(fd, "bottom", 6);
        ::close(fd);
    }
    ::close(cur);
}

void RemoveDeepChain(const std::string& base, int depth) {
    int cur = ::open(base.c_str(), O_RDONLY | O_DIRECTORY);
    int reached = 0;
    while (cur >= 0 && reached < depth) {
        int next = ::openat(cur, "1", O_RDONLY | O_DIRECTORY);
        if (next < 0) break;
        ::close(cur);
        cur = next;
        ++reached;
    }
    if (cur < 0) return;
    ::unlinkat(cur, "leaf.txt", 0);
    for (; reached > 0; --reached) {
        int up = ::openat(cur, "..", O_RDONLY | O_DIRECTORY);
        ::close(cur);
        cur = up;
        if (cur < 0 || ::unlinkat(cur, "1", AT_REMOVEDIR) != 0) break;
    }
    if (cur >= 0) ::close(cur);
}

}  // namespace dvotest
