// What the user owns in and around the output folder: never replaced by a
// generated file, never deleted by the clean-up, never written through a link
// put in place while the run goes on.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

#include "dvo/dvo.h"
#include "tests/engine/EngineFixture.h"
#include "tests/support/TestOs.h"

using namespace qbtest;
namespace sfs = std::filesystem;

namespace {

constexpr const char* kRoot = "\\Organizer\\data\\";

// Files below folder (links included), without the run's own dot files.
std::vector<std::string> Visible(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = sfs::recursive_directory_iterator(folder, ec); !ec && it != sfs::recursive_directory_iterator();
         it.increment(ec)) {
        const std::string rel = qb::Utf8Of(it->path().generic_u8string()).substr(folder.size());
        if (rel[0] != '.' && !it->is_directory()) names.push_back(rel);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Line(const std::string& text, const std::string& start) {
    const std::size_t at = text.find("\n" + start);
    if (at == std::string::npos) return "";
    const std::size_t end = text.find_first_of("\r\n", at + 1);
    return text.substr(at + 1, end - at - 1);
}

// Runs a hook whenever the walk asks for an item's entries or writes a stored file.
class HookedStorage : public FakeStorage {
public:
    std::function<void(const std::string& path)> onEnum;
    std::function<void(const std::string& path, const std::string& dest)> onExport;
    void EnumEntries(int db, const std::string& path, std::vector<qb::TDVO_ENUM_DATA>& out) override {
        if (onEnum) onEnum(path);
        FakeStorage::EnumEntries(db, path, out);
    }
    bool ExportFile(int db, const std::string& path, const std::string& dest) override {
        if (onExport) onExport(path, dest);
        return FakeStorage::ExportFile(db, path, dest);
    }
};

// A compiler double that fails, or asks the run to stop, while it compiles.
class BrokenCompiler : public qb::IHelpCompiler {
public:
    qb::TRun* stopRun = nullptr;  // set: stop instead of failing
    std::string Find() override { return "broken"; }
    bool Compile(const std::string&, const std::string&, qb::THHALog log, qb::THHAContinue cont) override {
        if (stopRun) {
            stopRun->RequestStop();
            return cont(0) != 0;
        }
        log("Error: the disk went away");
        return false;
    }
};

class UsersFiles : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        out2 = outer.path() + "out/";
        elsewhere = outer.path() + "elsewhere/";
        sfs::create_directories(out2);
        sfs::create_directories(elsewhere);
        options.RootPath = out2;
        options.ChmFileName = out2 + "Help.chm";
        useStorage = &hooked;
        writing.chm = options.ChmFileName;
    }
    std::string In(const std::string& rel) const { return out2 + rel; }
    std::string Read(const std::string& rel) const { return ReadFile(out2 + rel); }
    bool Exists(const std::string& rel) const { return qb::fs::FileExists(out2 + rel); }
    // Top (a note, an attachment) with Kid and Leaf below.
    void SmallTree() {
        const std::string top = hooked.AddItem(kRoot, "1", "Top");
        hooked.AddNote(top, "top text");
        hooked.AddFile(top, "doc.pdf", "PDF");
        const std::string kid = hooked.AddItem(top, "2", "Kid");
        hooked.AddNote(kid, "kid text");
        hooked.AddNote(hooked.AddItem(kid, "3", "Leaf"), "leaf text");
        options.StartPath = top;
    }
    bool RunFails() {
        try {
            Run();
        } catch (const std::exception& e) {
            failure = e.what();
            return true;
        }
        return false;
    }
    TempDir outer;
    std::string out2, elsewhere, failure;
    HookedStorage hooked;
    WritingCompiler writing;
};

}  // namespace

// --- Generated names ------------------------------------------------------------------

TEST_F(UsersFiles, AnItemNamedLikeTheSupportScriptNeverTakesItsName) {
    const std::string top = hooked.AddItem(kRoot, "1", "_quillbook");
    hooked.AddNote(top, "top text");
    hooked.AddNote(hooked.AddItem(top, "2", "Kid"), "kid text");
    options.StartPath = top;
    Run();
    ASSERT_EQ("", walkError);
    EXPECT_EQ(qb::LoadTextResource("script", "TEXT"), Read("_quillbook.js"));
    // The item's page and menu data took a numbered name, and its pages load that data.
    const std::string kid = Read("Kid.html");
    const std::size_t src = kid.find("src=\"/_quillbook_");
    ASSERT_NE(std::string::npos, src) << kid;
    const std::size_t start = src + 5;
    const std::string data = kid.substr(start, kid.find('"', start) - start);
    EXPECT_NE("/_quillbook.js", data);
    EXPECT_NE(std::string::npos, Read(data.substr(1)).find("var menu0=new Array()")) << data;
}

TEST_F(UsersFiles, AUsersDefaultPageIsNeverReplaced) {
    WriteFile(In("_quillbook_default.html"), "mine");
    // No page for the contents: the help file needs a generated home page.
    hooked.AddItem(kRoot, "1", "Empty");
    options.StartPath = std::string(kRoot) + "1\\";
    options.NavLinks = false;
    Run();
    EXPECT_EQ("mine", Read("_quillbook_default.html"));
    const std::string hhp = Read("Help.hhp");
    EXPECT_EQ("Default topic=_quillbook_default_1.html", Line(hhp, "Default topic=")) << hhp;
    EXPECT_NE(std::string::npos, Read("_quillbook_default_1.html").find("<h1>Help</h1>"));

    // A default page the user names goes there too.
    WriteFile(elsewhere + "home.html", "<html>home</html>");
    options.DefaultPage = elsewhere + "home.html";
    Run();
    EXPECT_EQ("mine", Read("_quillbook_default.html"));
    EXPECT_EQ("<html>home</html>", Read("_quillbook_default_1.html"));
}

TEST_F(UsersFiles, NoPageTakesTheDefaultPagesName) {
    WriteFile(In("_quillbook_default.html"), "mine");
    const std::string top = hooked.AddItem(kRoot, "1", "Top");
    hooked.AddNote(top, "top text");
    hooked.AddNote(hooked.AddItem(top, "2", "_quillbook_default"), "alpha note");
    hooked.AddNote(hooked.AddItem(top, "3", "_quillbook_default_1"), "beta note");
    WriteFile(elsewhere + "home.html", "<html>home</html>");
    options.DefaultPage = elsewhere + "home.html";
    options.StartPath = top;
    Run();
    EXPECT_EQ("mine", Read("_quillbook_default.html"));
    EXPECT_EQ("<html>home</html>", Read("_quillbook_default_1.html"));
    int notes = 0;
    for (const auto& f : Visible(out2))
        if (Read(f).find("alpha note") != std::string::npos || Read(f).find("beta note") != std::string::npos) ++notes;
    EXPECT_EQ(2, notes);
}

// --- Re-runs -------------------------------------------------------------------------

TEST_F(UsersFiles, AReRunGivesAnAttachmentOnlyPageOneAttachmentList) {
    const std::string top = hooked.AddItem(kRoot, "1", "Top");
    hooked.AddNote(top, "top text");
    hooked.AddFile(hooked.AddItem(top, "2", "Files"), "report.pdf", "PDF");
    options.StartPath = top;
    for (const bool overwrite : {false, true}) {
        SCOPED_TRACE(overwrite ? "Overwrite" : "no Overwrite");
        options.Overwrite = overwrite;
        Run();
        const std::string first = Read("Files.html");
        const std::string project = Read("Help.hhp");
        Run();
        EXPECT_EQ(first, Read("Files.html"));
        EXPECT_EQ(project, Read("Help.hhp"));
        const std::string page = Read("Files.html");
        EXPECT_EQ(page.find("Text not found"), page.rfind("Text not found")) << page;
        EXPECT_EQ(std::string::npos, page.find("<iframe")) << page;
        EXPECT_FALSE(Exists("Files.xml"));
    }
}

// --- The clean-up --------------------------------------------------------------------

TEST_F(UsersFiles, TheCleanUpLeavesAFileSavedDuringTheRun) {
    SmallTree();
    hooked.onEnum = [&](const std::string& path) {
        if (path.find("\\2\\") != std::string::npos && !Exists("My Documents/new-letter.txt"))
            WriteFile(In("My Documents/new-letter.txt"), "Dear Sir");
    };
    useCompiler = &writing;
    options.RemoveTempFiles = true;
    Run();
    EXPECT_EQ("Dear Sir", Read("My Documents/new-letter.txt"));
    EXPECT_EQ((std::vector<std::string>{"Help.chm", "My Documents/new-letter.txt"}), Visible(out2));
}

TEST_F(UsersFiles, AFailedCompileIsCleanedUpByTheNextRun) {
    SmallTree();
    BrokenCompiler broken;
    useCompiler = &broken;
    options.RemoveTempFiles = true;
    ASSERT_TRUE(RunFails());
    EXPECT_NE(std::string::npos, failure.find("the disk went away")) << failure;
    EXPECT_NE(std::string::npos, Read(".quillbook-run").find("state=running"));
    ASSERT_TRUE(Exists("Top.html"));

    useCompiler = &writing;
    Run();
    EXPECT_NE(std::string::npos, Read(".quillbook-run").find("state=finished"));
    EXPECT_EQ(std::vector<std::string>{"Help.chm"}, Visible(out2));
}

TEST_F(UsersFiles, AStopDuringTheCompileIsCleanedUpByTheNextRun) {
    SmallTree();
    options.RemoveTempFiles = true;
    BrokenCompiler stopping;
    {
        qb::TRun run(options, hooked, stopping, &Recorder::Callback, &recorder);
        stopping.stopRun = &run;
        run.Execute();
    }
    EXPECT_NE(std::string::npos, Read(".quillbook-run").find("state=running"));
    ASSERT_TRUE(Exists("2/Kid.html"));

    useCompiler = &writing;
    Run();
    EXPECT_EQ(std::vector<std::string>{"Help.chm"}, Visible(out2));
}

TEST_F(UsersFiles, TheCleanUpKeepsWhatAnEarlierFinishedRunLeft) {
    // Pages kept on purpose (RemoveTempFiles off), then a branch compiled with the clean-up on.
    SmallTree();
    useCompiler = &writing;
    Run();
    ASSERT_TRUE(Exists("Top.html"));
    WriteFile(In("notes-of-mine.txt"), "mine");
    options.StartPath = std::string(kRoot) + "1\\2\\3\\";
    options.ChmFileName = out2 + "Leaf.chm";
    writing.chm = options.ChmFileName;
    options.RemoveTempFiles = true;
    Run();
    EXPECT_TRUE(Exists("Top.html"));
    EXPECT_TRUE(Exists("Help.chm"));
    EXPECT_TRUE(Exists("Leaf.chm"));
    EXPECT_EQ("mine", Read("notes-of-mine.txt"));
}

// --- Links swapped in while the run writes ----------------------------------------------

TEST_F(UsersFiles, AnAttachmentIsNeverWrittenThroughALinkSwappedInAsItIsWritten) {
    if (!qbtest::HaveSymlinks()) GTEST_SKIP() << "no symbolic links on this system";
    SmallTree();
    WriteFile(elsewhere + "secret.txt", "SECRET");
    // Right after the run made the attachment, another program puts a link there.
    hooked.onExport = [&](const std::string& path, const std::string&) {
        if (path.find("doc.pdf") == std::string::npos) return;
        sfs::remove(In("doc.pdf"));
        sfs::create_symlink(elsewhere + "secret.txt", In("doc.pdf"));
    };
    Run();
    EXPECT_EQ("SECRET", ReadFile(elsewhere + "secret.txt"));
    EXPECT_NE(std::string::npos, walkError.find("doc.pdf")) << walkError;
    EXPECT_FALSE(sfs::is_symlink(sfs::symlink_status(In("doc.pdf"))));
}

TEST_F(UsersFiles, AnAttachmentNeverLandsInAFolderSwappedForALink) {
    if (!qbtest::HaveSymlinks()) GTEST_SKIP() << "no symbolic links on this system";
    const std::string top = hooked.AddItem(kRoot, "1", "Top");
    const std::string kid = hooked.AddItem(top, "2", "Kid");
    hooked.AddFile(kid, "doc.pdf", "PDF");
    hooked.AddNote(hooked.AddItem(kid, "3", "Leaf"), "leaf");
    options.StartPath = top;
    hooked.onExport = [&](const std::string& path, const std::string&) {
        if (path.find("doc.pdf") == std::string::npos) return;
        sfs::rename(In("2"), In("2.moved"));
        sfs::create_directory_symlink(elsewhere, In("2"));
    };
    Run();
    EXPECT_FALSE(sfs::exists(elsewhere + "doc.pdf"));
    EXPECT_TRUE(Visible(elsewhere).empty());
}

TEST_F(UsersFiles, LinksRacingTheRealStorageLibraryAreNeverFollowed) {
    // A database with many attachments, and a second thread that replaces each
    // attachment by a link to a file outside as soon as it sees it.
    constexpr int kFiles = 1000;
    TempDir src;
    WriteFile(src / "1/.caption", "Top");
    WriteFile(src / "1/_~_~_notes.rtf", "{\\rtf1 top\\par}");
    for (int i = 0; i < kFiles; ++i) {
        WriteFile(src / ("1/f" + std::to_string(i) + ".txt"), "attachment " + std::to_string(i));
        WriteFile(elsewhere + "tf" + std::to_string(i) + ".txt", "outside");
    }
    const std::string dbFile = outer.path() + "db.sqlite";
    ASSERT_EQ(1, dvo_import(src.path().c_str(), dbFile.c_str())) << dvo_last_error();
    const int db = dvo_open(dbFile.c_str());
    ASSERT_NE(0, db) << dvo_last_error();
    options.DatabaseHandle = db;
    options.StartPath = std::string(kRoot) + "1\\";
    useStorage = &qb::LibraryStorage();

    // The library writes attachments in byte order of their names: the thread
    // waits for each in turn and swaps it the moment it appears.
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i) names.push_back("f" + std::to_string(i) + ".txt");
    std::sort(names.begin(), names.end());
    std::atomic<bool> done{false};
    std::atomic<int> swaps{0};
    std::thread racer([&] {
        std::size_t next = 0;
        // Bounded: it ends with the run, or after this many looks.
        for (long looks = 0; looks < 50000000 && !done && next < names.size(); ++looks) {
            const std::string name = In(names[next]);
            std::error_code ec;
            if (!sfs::is_regular_file(sfs::symlink_status(name, ec))) continue;
            sfs::remove(name, ec);
            sfs::create_symlink(elsewhere + "t" + names[next], name, ec);
            if (!ec) ++swaps;
            ++next;
        }
    });
    try {
        Run();
    } catch (const std::exception&) {
    }
    done = true;
    racer.join();
    dvo_close(db);
    int overwritten = 0;
    for (int i = 0; i < kFiles; ++i) overwritten += ReadFile(elsewhere + "tf" + std::to_string(i) + ".txt") != "outside";
    EXPECT_EQ(0, overwritten);
    if (swaps == 0) GTEST_SKIP() << "the second thread never caught an attachment in time to replace it";
}

// --- Damaged databases ------------------------------------------------------------------

TEST_F(UsersFiles, AWholeExportNamesItemsItCannotReachAndWritesNothing) {
    TempDir src;
    WriteFile(src / "1/.caption", "Company");
    WriteFile(src / "1/_~_~_notes.rtf", "{\\rtf1 c\\par}");
    WriteFile(src / "1/2/.caption", "Staff");
    WriteFile(src / "4/.caption", "Trips");
    WriteFile(src / "4/_~_~_notes.rtf", "{\\rtf1 t\\par}");
    const std::string dbFile = outer.path() + "db.sqlite";
    ASSERT_EQ(1, dvo_import(src.path().c_str(), dbFile.c_str())) << dvo_last_error();
    sqlite3* conn = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(dbFile.c_str(), &conn));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(conn, "UPDATE item SET parent = id WHERE name = '1'", nullptr, nullptr, nullptr));
    sqlite3_close(conn);
    const int db = dvo_open(dbFile.c_str());
    ASSERT_NE(0, db) << dvo_last_error();
    options.DatabaseHandle = db;
    options.WholeDatabase = true;
    options.StartPath = kRoot;
    useStorage = &qb::LibraryStorage();
    EXPECT_TRUE(RunFails());
    dvo_close(db);
    EXPECT_NE(std::string::npos, failure.find("\"Company\"")) << failure;
    EXPECT_NE(std::string::npos, failure.find("2 item(s)")) << failure;
    EXPECT_TRUE(Visible(out2).empty());
}
