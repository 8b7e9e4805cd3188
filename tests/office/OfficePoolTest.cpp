// Several offices converting notes ahead of the walk: same pages, same
// errors, nothing left behind.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Utils/Utils.h"
#include "dvo/dvo.h"
#include "engine/Converters.h"
#include "engine/Engine.h"
#include "settings/MessageTable.h"
#include "support/Error.h"
#include "tests/engine/FakeStorage.h"
#include "tests/office/OfficeTestSupport.h"
#include "tests/support/SampleDatabase.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace officetest;
using qbtest::ReadFile;
using qbtest::WriteFile;
namespace sfs = std::filesystem;

// Every file below dir by relative path, with its bytes.
std::map<std::string, std::string> Tree(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : sfs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) files[sfs::relative(e.path(), dir).string()] = ReadFile(e.path().string());
    return files;
}

// What the engine left in the temporary folder dir (the tests' own folders aside).
std::vector<std::string> ScratchLeft(const std::string& dir) {
    std::vector<std::string> left;
    for (const auto& e : sfs::directory_iterator(dir))
        if (e.path().filename().string().rfind("qbtest-", 0) != 0) left.push_back(e.path().filename().string());
    return left;
}

int Offices() {
    int n = 0;
    for (pid_t p : Descendants()) n += ProcessName(p) == "soffice.bin";
    return n;
}

// Accepts the project and writes nothing: the tests look at the pages.
class NoCompiler : public qb::IHelpCompiler {
public:
    std::string Find() override { return "fake"; }
    bool Compile(const std::string&, const std::string&, qb::THHALog, qb::THHAContinue) override { return true; }
};

struct LogLine {
    int position;
    std::string text;
    bool operator==(const LogLine& o) const { return position == o.position && text == o.text; }
};

// Whole runs with the office engine; the scratch folders go to a private TMPDIR.
class OfficeRun : public ::testing::Test {
protected:
    qb::TConvertOptions Options(const std::string& root) const {
        qb::TConvertOptions o;
        o.DatabaseHandle = 1;
        o.StartPath = "\\Organizer\\data\\";
        o.WholeDatabase = true;
        o.DatabaseFileName = "notes.kvdb";
        o.RootPath = root;
        o.ChmFileName = root + "notes.chm";
        o.ConvertMethod = 1;
        o.RemoveTempFiles = false;
        o.WindowTitle = "Notes";
        o.ChmLanguage = "0x409 English (United States)";
        return o;
    }

    static bool Record(void* context, int position, const char* text) {
        auto* self = static_cast<OfficeRun*>(context);
        if (text) self->log_.push_back({position, text});
        return self->onItem_ && text && std::string(text).find("--") != std::string::npos && self->onItem_(text);
    }

    void Run(const qb::TConvertOptions& o) {
        log_.clear();
        qb::TRun run(o, storage_ ? *storage_ : qb::LibraryStorage(), compiler_, &Record, this);
        run.Execute();
        walkError_ = run.WalkError();
    }

    NoCompiler compiler_;
    qb::IStorage* storage_ = nullptr;  // the storage library when null
    std::string walkError_;
    qbtest::TempDir tmp_;
    ScopedEnv tmpdir_{"TMPDIR", tmp_.path().c_str()};
    std::vector<LogLine> log_;
    std::function<bool(const std::string&)> onItem_;  // item log line -> stop
};

TEST_F(OfficeRun, SamplePagesAreTheSameWithOneAndTwoOffices) {
    const qbtest::SampleDatabase sample;
    const int handle = sample.Handle();
    ASSERT_GT(handle, 0);
    qbtest::TempDir db;

    std::map<int, std::map<std::string, std::string>> pages;
    std::map<int, std::vector<LogLine>> logs;
    // One output folder for both runs: the project names it.
    const std::string root = db.path() + "out/";
    for (int offices : {1, 2}) {
        SCOPED_TRACE(offices);
        ScopedEnv count("QB_OFFICES", std::to_string(offices).c_str());
        sfs::remove_all(root);
        qb::TConvertOptions o = Options(root);
        o.DatabaseHandle = handle;
        const int starts = qb::office::BridgeStartCount();
        Run(o);
        ASSERT_EQ("", walkError_);
        EXPECT_EQ(starts + offices, qb::office::BridgeStartCount());
        pages[offices] = Tree(root);
        logs[offices] = log_;
        // The notes went through the scratch folder, never the output folder.
        for (const auto& [name, bytes] : pages[offices]) EXPECT_NE(".rtf", sfs::path(name).extension()) << name;
        EXPECT_TRUE(Descendants().empty());
        EXPECT_EQ(std::vector<std::string>{}, ScratchLeft(tmp_.path()));
    }

    ASSERT_GT(pages[1].size(), 43u);
    int notePages = 0;
    for (const auto& [name, bytes] : pages[1]) notePages += bytes.find("<div class=Section1>") != std::string::npos;
    EXPECT_EQ(43, notePages);
    ASSERT_EQ(pages[1].size(), pages[2].size());
    for (const auto& [name, bytes] : pages[1]) {
        ASSERT_EQ(1u, pages[2].count(name)) << name;
        EXPECT_TRUE(bytes == pages[2][name]) << name << " differs";
    }
    EXPECT_TRUE(logs[1] == logs[2]);
}

// Twelve items; the fifth note is no document the office can load.
class OfficeRunOfTwelve : public OfficeRun {
protected:
    void SetUp() override {
        OfficeRun::SetUp();
        storage_ = &store_;
        for (int i = 1; i <= 12; ++i) {
            const std::string item =
                store_.AddItem("\\Organizer\\data\\", std::to_string(i), "Item " + std::to_string(i));
            store_.AddFile(
                item, "_~_~_notes.rtf",
                i == 5 ? std::string("\0\1\2 not a document", 21) : PlainNote("Text of note " + std::to_string(i)));
        }
    }
    qbtest::FakeStorage store_;
};

TEST_F(OfficeRunOfTwelve, FailingNoteEndsTheWalkThereAsWithOneOffice) {
    ScopedEnv count("QB_OFFICES", "2");
    qbtest::TempDir out;
    Run(Options(out.path()));

    // The walk's one error line, naming the notes file as the walk names it.
    EXPECT_EQ("The office could not convert \".\\Item_5.rtf\": the office could not open the file", walkError_);
    std::vector<std::string> items, errors;
    for (const LogLine& l : log_) {
        if (l.text.find("--") != std::string::npos) items.push_back(l.text);
        if (l.position == -1) errors.push_back(l.text);
    }
    EXPECT_EQ((std::vector<std::string>{walkError_}), errors);
    ASSERT_EQ(6u, items.size());  // the database root and items 1 to 5
    EXPECT_EQ("|  |--Item 5", items.back());

    // Pages up to the failing note, none after it, though the offices had converted them.
    for (int i = 1; i <= 4; ++i)
        EXPECT_NE(std::string::npos,
                  ReadFile(out / ("Item_" + std::to_string(i) + ".html")).find("Text of note " + std::to_string(i)));
    for (int i = 6; i <= 12; ++i) EXPECT_FALSE(sfs::exists(out / ("Item_" + std::to_string(i) + ".html"))) << i;
    EXPECT_FALSE(sfs::exists(out / "Item_5.rtf"));
    EXPECT_TRUE(Descendants().empty());
    EXPECT_EQ(std::vector<std::string>{}, ScratchLeft(tmp_.path()));
}

TEST_F(OfficeRunOfTwelve, StopEndsEveryOfficeAndLeavesNothingBehind) {
    ScopedEnv count("QB_OFFICES", "2");
    qbtest::TempDir out;
    int seen = 0, officesAtStop = 0;
    std::vector<pid_t> before;
    onItem_ = [&](const std::string&) {
        if (++seen < 3) return false;
        officesAtStop = Offices();
        before = Descendants();
        return true;
    };
    Run(Options(out.path()));

    EXPECT_EQ(2, officesAtStop);
    EXPECT_TRUE(std::any_of(log_.begin(), log_.end(), [](const LogLine& l) { return l.text == qb::Msg(15); }));
    EXPECT_EQ("", walkError_);
    // Stopped at the database root's second sub-item.
    EXPECT_TRUE(sfs::exists(out / "Item_1.html"));
    EXPECT_FALSE(sfs::exists(out / "Item_2.html"));
    for (pid_t p : before) EXPECT_FALSE(ProcessExists(p)) << p << " " << ProcessName(p);
    EXPECT_TRUE(Descendants().empty());
    EXPECT_EQ(std::vector<std::string>{}, ScratchLeft(tmp_.path()));
}

// The pool's own contract, with two offices and notes from a storage double.
class OfficePool : public ::testing::Test {
protected:
    void SetUp() override {
        job_.Store = &store_;
        engine_ = qb::CreateOfficeEngine(qb::TConvertOptions{}, 2);
    }

    // Puts a note into the storage; returns its storage path.
    std::string Store(const std::string& name, const std::string& rtf) {
        const std::string item = store_.AddItem("\\Organizer\\data\\", name, name);
        store_.AddFile(item, "_~_~_notes.rtf", rtf);
        return item + "_~_~_notes.rtf";
    }
    bool Take(const qb::TNoteAhead& note) {
        return engine_->TakeAhead(job_, note, qb::ChangeFileExt(note.notesFile, ".html"));
    }
    // The page Convert writes from the same note under the same name in another folder.
    std::string Direct(const std::string& name, const std::string& rtf) {
        WriteFile(direct_ / (name + ".rtf"), rtf);
        engine_->Convert(directJob_, direct_ / (name + ".rtf"), direct_ / (name + ".html"), name);
        return ReadFile(direct_ / (name + ".html"));
    }

    // Export failures are raised by the storage library; this one fails for "Broken".
    class BrokenStorage : public qbtest::FakeStorage {
    public:
        bool ExportFile(int db, const std::string& path, const std::string& dest) override {
            if (path.find("\\Broken\\") != std::string::npos) throw qb::Error("No space left on device");
            return FakeStorage::ExportFile(db, path, dest);
        }
    } store_;
    std::unique_ptr<qb::IConverterEngine> engine_;
    qbtest::TempDir dir_, direct_;
    qb::TParameters job_, directJob_;
};

TEST_F(OfficePool, AheadPagesInWalkOrderEqualDirectOnes) {
    const std::map<std::string, std::string> rtf = {{"Pic", NoteWithPictureAndTable("A picture")},
                                                    {"One", PlainNote("one")},
                                                    {"Two", PlainNote("two")},
                                                    {"Three", PlainNote("three")},
                                                    {"Four", PlainNote("four")},
                                                    {"Late", PlainNote("late")}};
    std::vector<qb::TNoteAhead> notes;
    for (const char* name : {"Pic", "One", "Two", "Three", "Four", "Late"})
        notes.push_back({Store(name, rtf.at(name)), dir_ / (std::string(name) + ".rtf")});
    const int exportsBefore = store_.exports;
    engine_->ConvertAhead(job_, notes);
    EXPECT_EQ(exportsBefore + 6, store_.exports);  // all within the window, at once

    ASSERT_TRUE(Take(notes[0]));
    ASSERT_TRUE(Take(notes[1]));
    {
        SCOPED_TRACE("a note the walk skips is dropped; the next one still comes");
        ASSERT_TRUE(Take(notes[3]));
        EXPECT_FALSE(Take(notes[2]));
        EXPECT_FALSE(sfs::exists(dir_ / "Two.html"));
    }
    {
        SCOPED_TRACE("a note under another notes file name, or never handed ahead, is not taken");
        EXPECT_FALSE(Take({notes[4].notePath, dir_ / "Renamed.rtf"}));
        EXPECT_FALSE(Take({Store("Other", PlainNote("other")), dir_ / "Other.rtf"}));
        ASSERT_TRUE(Take(notes[4]));
    }
    for (const char* name : {"Pic", "One", "Three", "Four"})
        EXPECT_TRUE(ReadFile(dir_ / (std::string(name) + ".html")) == Direct(name, rtf.at(name))) << name;
    // The picture lies in the page's parts folder and is listed for the help file.
    ASSERT_EQ(1u, std::distance(sfs::directory_iterator(dir_ / "Pic_files"), sfs::directory_iterator()));
    ASSERT_TRUE(job_.FileList);
    EXPECT_EQ(1, job_.FileList->Count());
    EXPECT_EQ(0u, (*job_.FileList)[0].find(dir_ / "Pic_files/"));
    // No note ever passes through the output folder.
    for (const auto& e : sfs::directory_iterator(dir_.path())) EXPECT_NE(".rtf", e.path().extension()) << e.path();

    {
        SCOPED_TRACE("handing new notes ahead forgets the old ones");
        const qb::TNoteAhead fresh{Store("Fresh", PlainNote("fresh")), dir_ / "Fresh.rtf"};
        engine_->ConvertAhead(job_, {fresh});
        EXPECT_FALSE(Take(notes[5]));
        ASSERT_TRUE(Take(fresh));
        EXPECT_NE(std::string::npos, ReadFile(dir_ / "Fresh.html").find("fresh"));
    }
}

TEST_F(OfficePool, FailuresAreRaisedWhenTheWalkReachesTheNoteAsConvertRaisesThem) {
    const std::string binary("\0\1\2 not a document", 21);
    std::string direct;
    try {
        Direct("Bad", binary);
    } catch (const qb::Error& e) {
        direct = e.what();
    }
    ASSERT_NE("", direct);

    // Named as the walk names the notes file; the office reads it from elsewhere.
    const std::vector<qb::TNoteAhead> notes = {{Store("Good", PlainNote("good")), dir_ / "Good.rtf"},
                                               {Store("Bad", binary), direct_ / "Bad.rtf"},
                                               {Store("Broken", PlainNote("broken")), dir_ / "Broken.rtf"},
                                               {Store("After", PlainNote("after")), dir_ / "After.rtf"}};
    engine_->ConvertAhead(job_, notes);
    ASSERT_TRUE(Take(notes[0]));
    try {
        Take(notes[1]);
        FAIL() << "a binary note converted";
    } catch (const qb::Error& e) {
        EXPECT_EQ(direct, e.what());
    }
    try {
        Take(notes[2]);
        FAIL() << "a note the storage could not export converted";
    } catch (const qb::Error& e) {
        EXPECT_EQ("No space left on device", std::string(e.what()));
    }
    ASSERT_TRUE(Take(notes[3]));
    EXPECT_NE(std::string::npos, ReadFile(dir_ / "After.html").find("after"));
}

TEST_F(OfficePool, OfficeKilledUnderANoteIsRestartedAndTheNoteConvertedAgain) {
    std::vector<pid_t> offices;
    for (pid_t p : Descendants())
        if (ProcessName(p) == "soffice.bin") offices.push_back(p);
    ASSERT_EQ(2u, offices.size());
    // Neither office answers, so the note is under way in one of them when both die.
    for (pid_t p : offices) ASSERT_EQ(0, ::kill(p, SIGSTOP));
    WriteFile(dir_ / "Note.rtf", PlainNote("survives"));
    auto converted =
        std::async(std::launch::async, [&] { engine_->Convert(job_, dir_ / "Note.rtf", dir_ / "Note.html", "Note"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    for (pid_t p : offices) ::kill(p, SIGKILL);
    converted.get();
    EXPECT_NE(std::string::npos, ReadFile(dir_ / "Note.html").find("survives"));
    for (pid_t p : offices) EXPECT_FALSE(ProcessExists(p)) << p;

    std::vector<pid_t> seen = Descendants();
    engine_.reset();
    for (pid_t p : seen) EXPECT_FALSE(ProcessExists(p)) << p << " " << ProcessName(p);
    EXPECT_TRUE(Descendants().empty());
}

TEST(OfficeCount, SettingAndDefault) {
    {
        ScopedEnv count("QB_OFFICES", "3");
        EXPECT_EQ(3, qb::OfficeCount());
    }
    {
        ScopedEnv count("QB_OFFICES", "500");
        EXPECT_EQ(16, qb::OfficeCount());
    }
    for (const auto& [text, offices] : std::vector<std::pair<const char*, int>>{{"08", 8}, {"0x6", 6}}) {
        ScopedEnv count("QB_OFFICES", text);
        EXPECT_EQ(offices, qb::OfficeCount()) << text;
    }
    const unsigned cores = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    for (const char* bad : {"0", "-2", "two", "2x", ""}) {
        ScopedEnv count("QB_OFFICES", bad);
        EXPECT_EQ(static_cast<int>(cores), qb::OfficeCount()) << bad;
    }
}

}  // namespace
