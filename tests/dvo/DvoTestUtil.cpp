#include "tests/dvo/DvoTestUtil.h"

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

}  // namespace dvotest
