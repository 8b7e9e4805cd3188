// Runs as objects: each keeps its own progress, plan, record and folder, so
// runs one after the other or on two threads at once never see each other.
#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "Utils/FileSys.h"
#include "settings/MessageTable.h"
#include "support/Error.h"
#include "tests/engine/EngineFixture.h"
#include "tests/support/TestOs.h"

using namespace qbtest;

namespace {

namespace sfs = std::filesystem;

const std::string kRoot = "\\Organizer\\data\\";

// text with the run's own folder named "<out>/" (the project names it).
std::string Neutral(const std::string& text, const std::string& folder) {
    return qb::ReplaceAll(text, folder, "<out>/");
}

// Every file below folder by its relative name, with its bytes.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : sfs::recursive_directory_iterator(folder))
        if (e.is_regular_file())
            files[sfs::relative(e.path(), folder).string()] = Neutral(ReadFile(e.path().string()), folder);
    return files;
}

// Two jobs that differ in tree, labels, links and options, so state leaking
// from one into the other shows in its files or its log.
void FillTrip(FakeStorage& s) {
    s.AddFile(kRoot, "__custom_labels.txt", "::Label::\t1\t#0\tRed\r\n\\Organizer\\data\\1\\2\r\n\r\n");
    s.AddFile(kRoot, "__folder_linktable.txt", "\\Organizer\\data\\1\\2\\<::>\\Organizer\\data\\1\\3\\4\\\r\n");
    const std::string top = s.AddItem(kRoot, "1", "Trip");
    s.AddNote(top, "trip text");
    s.AddFile(top, "map.png", "PNG");
    s.AddNote(s.AddItem(top, "2", "Rome"), "rome text");
    const std::string days = s.AddItem(top, "3", "Days");
    s.AddNote(s.AddItem(days, "4", "Monday"), "monday text");
    s.AddFile(s.AddItem(days, "5", "Tuesday"), "map.png", "other PNG");
}

void FillRecipes(FakeStorage& s) {
    const std::string top = s.AddItem(kRoot, "7", "Recipes");
    for (int i = 0; i < 6; ++i) {
        const std::string item = s.AddItem(top, std::to_string(10 + i), "Dish " + std::to_string(i));
        s.AddNote(item, "dish " + std::to_string(i));
        s.AddFile(item, "photo.jpg", "JPG" + std::to_string(i));
    }
}

qb::TConvertOptions TripOptions(const std::string& out) {
    qb::TConvertOptions o;
    o.DatabaseHandle = 1;
    o.StartPath = kRoot + "1\\";
    o.RootPath = out;
    o.ChmFileName = out + "Trip.chm";
    o.ConvertMethod = 0;
    o.RemoveTempFiles = false;
    o.WindowTitle = "Trip";
    o.ChmLanguage = "0x409 English (United States)";
    return o;
}

qb::TConvertOptions RecipeOptions(const std::string& out) {
    qb::TConvertOptions o = TripOptions(out);
    o.StartPath = kRoot + "7\\";
    o.ChmFileName = out + "Recipes.chm";
    o.WindowTitle = "Recipes";
    o.ConvertMethod = 2;
    o.KeepFolderTree = false;
    o.RolloverMenus = false;
    o.MakeIndex = false;
    return o;
}

// Holds every export until both runs have reached one, so the two walks overlap.
class MeetingStorage : public FakeStorage {
public:
    struct Meeting {
        std::mutex m;
        std::condition_variable cv;
        int arrived = 0;
        bool timedOut = false;
    };
    explicit MeetingStorage(Meeting& meeting) : meeting_(meeting) {}
    bool ExportFile(int db, const std::string& path, const std::string& dest) override {
        {
            std::unique_lock<std::mutex> lock(meeting_.m);
            if (++meeting_.arrived == 2) meeting_.cv.notify_all();
            if (!meeting_.cv.wait_for(lock, std::chrono::seconds(20), [&] { return meeting_.arrived >= 2; }))
                meeting_.timedOut = true;
        }
        return FakeStorage::ExportFile(db, path, dest);
    }

private:
    Meeting& meeting_;
};

// Fails the export of one item's note, as a full disk would.
class FailingStorage : public FakeStorage {
public:
    bool ExportFile(int db, const std::string& path, const std::string& dest) override {
        if (path.find("\\2\\") != std::string::npos) throw qb::Error("No space left on device");
        return FakeStorage::ExportFile(db, path, dest);
    }
};

struct Result {
    std::map<std::string, std::string> files;
    std::vector<std::string> log;
    std::string walkError;
};

Result RunInto(const qb::TConvertOptions& o, qb::IStorage& storage) {
    NoCompiler compiler;
    Recorder recorder;
    qb::TRun run(o, storage, compiler, &Recorder::Callback, &recorder);
    run.Execute();
    std::vector<std::string> log;
    for (const auto& line : recorder.Lines()) log.push_back(Neutral(line, o.RootPath));
    return {Snapshot(o.RootPath), log, run.WalkError()};
}

// The real files, noting every name a file is made or written at.
class RecordingFiles : public qb::fs::FileContext {
public:
    RecordingFiles(const qb::fs::OutputFolder& folder, std::set<std::string>& written)
        : FileContext(&folder), written_(written) {}
    qb::os::Fd CreateFreshFile(const std::string& path) override {
        Note(path);
        return FileContext::CreateFreshFile(path);
    }
    qb::os::Fd CreateNewFile(const std::string& path) override {
        Note(path);
        return FileContext::CreateNewFile(path);
    }
    qb::os::Fd OpenPlainFileForRewrite(const std::string& path) override {
        Note(path);
        return FileContext::OpenPlainFileForRewrite(path);
    }
    bool LinkOrCopyFile(const std::string& from, const std::string& to) override {
        Note(to);
        return FileContext::LinkOrCopyFile(from, to);
    }
    bool RenameFile(const std::string& from, const std::string& to) override {
        Note(to);
        return FileContext::RenameFile(from, to);
    }

private:
    void Note(const std::string& path) { written_.insert(ExpandFileName(path)); }
    std::set<std::string>& written_;
};

}  // namespace

TEST(RunObject, TwoRunsOnTwoThreadsMakeWhatEachMakesAlone) {
    // Known and open: under Wine this test now and then faults inside the heap
    // (ntdll subheap_commit) while both runs write; not yet found whether ours.
    if (qbtest::OnWindows()) GTEST_SKIP() << "not yet: two runs on two threads fault in the heap now and then under Wine";
    TempDir aloneTrip, aloneRecipes, bothTrip, bothRecipes;
    FakeStorage tripStore, recipeStore;
    FillTrip(tripStore);
    FillRecipes(recipeStore);
    const Result trip = RunInto(TripOptions(aloneTrip.path()), tripStore);
    const Result recipes = RunInto(RecipeOptions(aloneRecipes.path()), recipeStore);
    ASSERT_GT(trip.files.size(), 8u);
    ASSERT_GT(recipes.files.size(), 8u);

    MeetingStorage::Meeting meeting;
    MeetingStorage tripShared(meeting), recipeShared(meeting);
    FillTrip(tripShared);
    FillRecipes(recipeShared);
    const std::string cwd = sfs::current_path().string();
    Result tripBoth, recipesBoth;
    std::thread t1([&] { tripBoth = RunInto(TripOptions(bothTrip.path()), tripShared); });
    std::thread t2([&] { recipesBoth = RunInto(RecipeOptions(bothRecipes.path()), recipeShared); });
    t1.join();
    t2.join();

    EXPECT_FALSE(meeting.timedOut) << "the walks never overlapped";
    EXPECT_EQ(trip.files, tripBoth.files);
    EXPECT_EQ(recipes.files, recipesBoth.files);
    // Each log counts its own items only: step totals and positions are the run's.
    EXPECT_EQ(trip.log, tripBoth.log);
    EXPECT_EQ(recipes.log, recipesBoth.log);
    EXPECT_EQ("", tripBoth.walkError);
    EXPECT_EQ("", recipesBoth.walkError);
    // No run changed the process's current directory.
    EXPECT_EQ(cwd, sfs::current_path().string());
}

TEST(RunObject, ARunAfterAFailedAndAStoppedRunIsLikeARunAlone) {
    TempDir alone, failed, stopped, after;
    FakeStorage store;
    FillTrip(store);
    const Result expected = RunInto(TripOptions(alone.path()), store);

    // A walk error stays with its run.
    FailingStorage failing;
    FillTrip(failing);
    const Result broken = RunInto(TripOptions(failed.path()), failing);
    EXPECT_NE(std::string::npos, broken.walkError.find("No space left")) << broken.walkError;

    // A stop request stays with its run, from whatever thread it comes.
    NoCompiler compiler;
    Recorder recorder;
    qb::TRun run(TripOptions(stopped.path()), store, compiler, &Recorder::Callback, &recorder);
    std::thread([&] { run.RequestStop(); }).join();
    run.Execute();
    const std::vector<std::string> lines = recorder.Lines();
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), qb::Msg(15)));
    EXPECT_EQ(1,
              std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("|--", 0) == 0; }));

    const Result again = RunInto(TripOptions(after.path()), store);
    EXPECT_EQ(expected.files, again.files);
    EXPECT_EQ(expected.log, again.log);
    EXPECT_EQ("", again.walkError);
}

TEST(RunObject, RelativeNamesOfARunMeanItsOutputFolderInItsFilesOnly) {
    TempDir out, elsewhere;
    qb::fs::OutputFolder folder(out.path());
    {
        qb::fs::FileContext files(&folder);
        files.ForceDirectories("sub\\");
        files.SaveTextFile("sub\\page.html", "x");
        EXPECT_TRUE(files.FileExists("sub/page.html"));
        EXPECT_EQ(out.path() + "sub/page.html", files.ExpandFileName("sub\\page.html"));
        // Files of the current directory, on this thread or another, do not see the folder.
        EXPECT_FALSE(qb::fs::FileExists("sub/page.html"));
        bool seenThere = true;
        std::thread([&] { seenThere = qb::fs::FileExists("sub/page.html"); }).join();
        EXPECT_FALSE(seenThere);
    }
    EXPECT_EQ("x", ReadFile(out.path() + "sub/page.html"));
    EXPECT_FALSE(qb::fs::FileExists("sub/page.html"));
    EXPECT_EQ(qb::Utf8Of(sfs::current_path().generic_u8string()) + "/a", qb::fs::ExpandFileName("a"));
}

TEST(RunObject, EveryFileTheRunWritesGoesThroughTheFilesItWasGiven) {
    TempDir out, cwd;
    // A write that bypassed the run's files with a relative name would land here.
    struct InFolder {
        sfs::path before = sfs::current_path();
        explicit InFolder(const std::string& dir) { sfs::current_path(dir); }
        ~InFolder() { sfs::current_path(before); }
    } inCwd(cwd.path());
    FakeStorage store;
    FillTrip(store);
    NoCompiler compiler;
    Recorder recorder;
    qb::TConvertOptions o = TripOptions(out.path());
    o.NavLinks = true;
    o.RolloverMenus = true;
    qb::TRun run(o, store, compiler, &Recorder::Callback, &recorder);
    std::set<std::string> written;
    int made = 0;
    run.WithFiles([&](const qb::fs::OutputFolder& folder) {
        ++made;
        EXPECT_EQ(out.path(), folder.Path());
        return std::make_unique<RecordingFiles>(folder, written);
    });
    run.Execute();
    EXPECT_EQ("", run.WalkError());
    EXPECT_EQ(1, made);
    const auto files = Snapshot(out.path());
    ASSERT_GT(files.size(), 8u);
    for (const auto& [name, bytes] : files)
        EXPECT_TRUE(written.count(out.path() + qb::ToForwardSlashes(name))) << name << " was written past the run's files";
    for (const std::string& w : written) EXPECT_EQ(0u, w.rfind(out.path(), 0)) << w << " lies outside the output folder";
    EXPECT_TRUE(sfs::is_empty(cwd.path())) << "the run wrote into the current directory";
}
