#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "dvo/dvo.h"
#include "engine/Storage.h"
#include "support/Error.h"
#include "support/Os.h"
#include "support/Path.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestOs.h"

namespace {

const std::string kItem = "\\Organizer\\data\\5\\";

class LibraryStorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        qbtest::WriteFile(tmp / "src/5/.caption", "Alpha\n");
        qbtest::WriteFile(tmp / "src/5/_~_~_notes.rtf", "{\\rtf1 note}");
        qbtest::WriteFile(tmp / "src/5/8/.caption", "Beta");
        ASSERT_EQ(1, dvo_import((tmp / "src").c_str(), (tmp / "db.sqlite").c_str())) << dvo_last_error();
        db = dvo_open((tmp / "db.sqlite").c_str());
        ASSERT_GT(db, 0) << dvo_last_error();
    }
    void TearDown() override { dvo_close(db); }

    qbtest::TempDir tmp;
    int db = 0;
};

// The module is loaded locally with the storage library as its dependency;
// a global-scope lookup would miss it and silently drop the error checks.
TEST_F(LibraryStorageTest, ExtraFunctionsAreFoundInTheLoadedLibrary) {
    if (qbtest::OnWindows()) {
        // An imported function's address here is the import stub, not the library's own.
        for (const char* name : {"dvo_read_file", "dvo_db_last_error", "dvo_export_file_fd", "dvo_unreachable_items"})
            EXPECT_NE(nullptr, qb::os::LoadedLibrarySymbol("dvo", name)) << name;
        EXPECT_EQ(nullptr, qb::os::LoadedLibrarySymbol("dvo", "dvo_no_such_function"));
        return;
    }
    EXPECT_EQ(reinterpret_cast<void*>(&dvo_read_file), qb::os::LoadedLibrarySymbol("dvo", "dvo_read_file"));
    EXPECT_EQ(reinterpret_cast<void*>(&dvo_db_last_error), qb::os::LoadedLibrarySymbol("dvo", "dvo_db_last_error"));
    EXPECT_EQ(reinterpret_cast<void*>(&dvo_export_file_fd), qb::os::LoadedLibrarySymbol("dvo", "dvo_export_file_fd"));
    EXPECT_EQ(reinterpret_cast<void*>(&dvo_unreachable_items),
              qb::os::LoadedLibrarySymbol("dvo", "dvo_unreachable_items"));
    EXPECT_EQ(nullptr, qb::os::LoadedLibrarySymbol("dvo", "dvo_no_such_function"));
    EXPECT_EQ(nullptr, qb::os::LoadedLibrarySymbol("no_such_library", "dvo_read_file"));
}

// The host's library has only the seven operations: everything still reads.
TEST_F(LibraryStorageTest, WorksWithTheSevenOperationsOnly) {
    std::set<std::string> asked;
    auto storage = qb::MakeLibraryStorage([&](const char* name) -> void* {
        asked.insert(name);
        return nullptr;
    });
    EXPECT_EQ((std::set<std::string>{"dvo_db_last_error", "dvo_read_file", "dvo_export_file_fd", "dvo_unreachable_items"}),
              asked);
    EXPECT_EQ("Alpha", storage->GetHint(db, kItem));
    EXPECT_EQ(1, storage->GetFolderCount(db, kItem, -1));
    std::string note;
    ASSERT_TRUE(storage->ReadFile(db, kItem + "_~_~_notes.rtf", note, 4));
    EXPECT_EQ("{\\rtf1 note}", note);
    EXPECT_FALSE(storage->ReadFile(db, kItem + "missing.rtf", note, 4));
    EXPECT_EQ("", storage->UnreachableItems(db));
    // Without the library's own call the bytes still reach the open file.
    const std::string copy = tmp / "copy.rtf";
    const qb::os::Fd fd = qb::os::Open(copy, qb::os::kWrite | qb::os::kCreate | qb::os::kTruncate);
    ASSERT_NE(qb::os::kNoFd, fd);
    const bool written = storage->ExportFileTo(db, kItem + "_~_~_notes.rtf", fd, copy);
    qb::os::Close(fd);
    EXPECT_TRUE(written);
    EXPECT_EQ("{\\rtf1 note}", qbtest::ReadFile(tmp / "copy.rtf"));
}

TEST_F(LibraryStorageTest, ReadsStraightFromTheLibraryWhenItCan) {
    int reads = 0;
    static int* counter = nullptr;
    counter = &reads;
    using TRead = long long (*)(int, const char*, void*, long long);
    static TRead counting = [](int d, const char* p, void* b, long long n) {
        ++*counter;
        return dvo_read_file(d, p, b, n);
    };
    auto storage = qb::MakeLibraryStorage([](const char* name) -> void* {
        return std::string(name) == "dvo_read_file" ? reinterpret_cast<void*>(counting) : nullptr;
    });
    std::string note;
    ASSERT_TRUE(storage->ReadFile(db, kItem + "_~_~_notes.rtf", note, 4));
    EXPECT_EQ("{\\rtf1 note}", note);
    EXPECT_EQ(2, reads) << "a short first read asks once more with the whole size";
}

}  // namespace

// The host's library takes a destination name in the ANSI code page only: one
// the code page cannot hold is refused by name, never written as "??.txt".
TEST_F(LibraryStorageTest, ADestinationTheCodePageCannotHoldIsRefusedNamingIt) {
    std::string ignored;
    if (qb::os::ToCodePageExactly("饺子", qb::os::AnsiCodePage(), ignored))
        GTEST_SKIP() << "this system's ANSI code page " << qb::os::AnsiCodePage() << " holds \"饺子\"";
    auto storage = qb::MakeLibraryStorage([](const char*) -> void* { return nullptr; });
    const std::string dest = tmp / "饺子 note.rtf";
    try {
        storage->ExportFile(db, kItem + "_~_~_notes.rtf", dest);
        ADD_FAILURE() << "nothing raised";
    } catch (const qb::Error& e) {
        const std::string why = e.what();
        EXPECT_NE(std::string::npos, why.find("Cannot write file")) << why;
        EXPECT_NE(std::string::npos, why.find("饺子 note.rtf")) << why;
        EXPECT_NE(std::string::npos, why.find(std::to_string(qb::os::AnsiCodePage()))) << why;
    }
    std::error_code ec;
    EXPECT_FALSE(std::filesystem::exists(qb::FsPath(dest), ec));
    // A name the code page holds is written as before.
    const std::string plain = tmp / "note.rtf";
    EXPECT_TRUE(storage->ExportFile(db, kItem + "_~_~_notes.rtf", plain));
    EXPECT_EQ("{\\rtf1 note}", qbtest::ReadFile(plain));
}
