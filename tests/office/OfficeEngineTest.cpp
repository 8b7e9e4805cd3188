// Engine 1 end to end with the real office.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/Converters.h"
#include "settings/MessageTable.h"
#include "support/Error.h"
#include "tests/office/OfficeTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace officetest;
using qbtest::WriteFile;
namespace sfs = std::filesystem;

const std::string kMarker = "<div class=Section1>";
const std::string kClosing = qb::kClosingText;

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : sfs::directory_iterator(dir, ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// One office for the whole suite: starting it takes seconds.
class OfficeEngine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        startsBefore_ = qb::office::BridgeStartCount();
        engine_ = qb::CreateOfficeEngine(qb::TConvertOptions{});
    }
    static void TearDownTestSuite() { engine_.reset(); }

    void SetUp() override { ASSERT_TRUE(engine_) << "the office did not start"; }

    void Convert(const std::string& rtf, const std::string& html) { engine_->Convert(job_, rtf, html, "Title"); }

    static std::unique_ptr<qb::IConverterEngine> engine_;
    static int startsBefore_;
    qbtest::TempDir dir_;
    qb::TParameters job_;
};

std::unique_ptr<qb::IConverterEngine> OfficeEngine::engine_;
int OfficeEngine::startsBefore_ = 0;

TEST_F(OfficeEngine, PictureAndTableWithHeaderAndFooter) {
    ScopedCwd cwd(dir_.path());
    WriteFile(dir_ / "Note.rtf", NoteWithPictureAndTable("Hello picture"));
    job_.options.Header = "<p>HEAD</p>";
    job_.options.Footer = "<p>FOOT</p>";
    // Relative, with the engine's "\" separators.
    Convert(".\\Note.rtf", ".\\Note.html");

    const std::string page = qbtest::ReadFile(dir_ / "Note.html");
    EXPECT_NE(std::string::npos, page.find("Hello picture"));
    EXPECT_NE(std::string::npos, page.find("Cell A1"));
    EXPECT_NE(std::string::npos, page.find("Cell B2"));
    EXPECT_NE(std::string::npos, page.find("<table"));
    // The header goes in front of the body section, the footer before the closing.
    EXPECT_NE(std::string::npos, page.find(">" + std::string("<p>HEAD</p>") + kMarker));
    EXPECT_TRUE(EndsWith(page, "<p>FOOT</p>" + kClosing)) << page.substr(page.size() > 200 ? page.size() - 200 : 0);

    // The picture lies in Note_files/, is linked from there and is in FileList.
    const auto parts = FilesIn(dir_ / "Note_files");
    ASSERT_EQ(1u, parts.size());
    EXPECT_NE(std::string::npos, page.find("src=\"Note_files/" + parts[0] + "\""));
    EXPECT_EQ(qb::LowerAscii(sfs::path(parts[0]).extension().string()), ".png");
    EXPECT_GT(sfs::file_size(dir_ / "Note_files/" + parts[0]), 0u);
    ASSERT_TRUE(job_.FileList);
    ASSERT_EQ(1, job_.FileList->Count());
    EXPECT_EQ(".\\Note_files\\" + parts[0], (*job_.FileList)[0]);

    // Nothing else beside the page; the notes file stays for the walk to delete.
    EXPECT_EQ((std::vector<std::string>{"Note.html", "Note.rtf", "Note_files"}), FilesIn(dir_.path()));
}

// Several cases per test: under CTest every test starts an office of its own.
TEST_F(OfficeEngine, PlainNotesAndPartsFolders) {
    {
        SCOPED_TRACE("no header or footer, a path with blanks and non-ASCII letters");
        WriteFile(dir_ / "sub dir/\xC3\x84 note #1.rtf", PlainNote("Only text"));
        Convert(dir_ / "sub dir/\xC3\x84 note #1.rtf", dir_ / "sub dir/\xC3\x84 note #1.html");
        const std::string page = qbtest::ReadFile(dir_ / "sub dir/\xC3\x84 note #1.html");
        EXPECT_NE(std::string::npos, page.find("Only text"));
        const std::size_t marker = page.find(kMarker);
        EXPECT_NE(std::string::npos, marker);
        EXPECT_EQ(std::string::npos, page.find(kMarker, marker + 1));
        EXPECT_TRUE(EndsWith(page, "</div>\r\n" + kClosing));
        // No picture: no parts folder and nothing for the help file.
        EXPECT_FALSE(sfs::exists(dir_ / "sub dir/\xC3\x84 note #1_files"));
        ASSERT_TRUE(job_.FileList);
        EXPECT_EQ(0, job_.FileList->Count());
    }
    {
        SCOPED_TRACE("reconverting a page replaces its old parts");
        WriteFile(dir_ / "Note.rtf", NoteWithPictureAndTable("first"));
        Convert(dir_ / "Note.rtf", dir_ / "Note.html");
        ASSERT_EQ(1u, FilesIn(dir_ / "Note_files").size());
        WriteFile(dir_ / "Note_files/stale.png", "old");
        // Same page, now without a picture: no stale part may reach the help file.
        WriteFile(dir_ / "Note.rtf", PlainNote("second"));
        job_.FileList->Clear();
        Convert(dir_ / "Note.rtf", dir_ / "Note.html");
        EXPECT_FALSE(sfs::exists(dir_ / "Note_files"));
        EXPECT_EQ(0, job_.FileList->Count());
        EXPECT_NE(std::string::npos, qbtest::ReadFile(dir_ / "Note.html").find("second"));
    }
    {
        SCOPED_TRACE("the \".files\" folder is listed too, not recursively");
        WriteFile(dir_ / "Other.rtf", PlainNote("x"));
        WriteFile(dir_ / "Other.files/a.gif", "gif");
        WriteFile(dir_ / "Other.files/b.xml", "xml");
        WriteFile(dir_ / "Other.files/deeper/c.png", "png");
        Convert(dir_ / "Other.rtf", dir_ / "Other.html");
        EXPECT_EQ(2, job_.FileList->Count());
        EXPECT_TRUE(job_.FileList->Contains(dir_ / "Other.files/a.gif"));
        EXPECT_TRUE(job_.FileList->Contains(dir_ / "Other.files/b.xml"));
    }
}

TEST_F(OfficeEngine, FailuresNameTheNote) {
    ScopedCwd cwd(dir_.path());
    try {
        Convert(".\\9\\Missing.rtf", ".\\9\\Missing.html");
        FAIL() << "a missing note converted";
    } catch (const qb::Error& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find(".\\9\\Missing.rtf")) << e.what();
    }
    // A file the office cannot load; the office stays usable afterwards.
    WriteFile(dir_ / "Binary.rtf", std::string("\0\1\2 not a document", 21));
    try {
        Convert("Binary.rtf", "Binary.html");
        FAIL() << "a binary file converted";
    } catch (const qb::Error& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("\"Binary.rtf\"")) << e.what();
    }
    // An empty note is an empty page, not an error.
    WriteFile(dir_ / "Empty.rtf", "");
    Convert("Empty.rtf", "Empty.html");
    EXPECT_TRUE(EndsWith(qbtest::ReadFile(dir_ / "Empty.html"), "</div>\r\n" + kClosing));
    WriteFile(dir_ / "Good.rtf", PlainNote("still working"));
    Convert("Good.rtf", "Good.html");
    EXPECT_NE(std::string::npos, qbtest::ReadFile(dir_ / "Good.html").find("still working"));
}

TEST_F(OfficeEngine, TwentyNotesUseOneOffice) {
    const pid_t office = OfficePid();
    ASSERT_GT(office, 0);
    for (int i = 0; i < 20; ++i) {
        const std::string base = dir_ / ("N" + std::to_string(i));
        WriteFile(base + ".rtf", PlainNote("note number " + std::to_string(i)));
        Convert(base + ".rtf", base + ".html");
        EXPECT_NE(std::string::npos, qbtest::ReadFile(base + ".html").find("note number " + std::to_string(i)));
    }
    EXPECT_EQ(startsBefore_ + 1, qb::office::BridgeStartCount());
    EXPECT_EQ(office, OfficePid());
}

// Engines of their own: these stop, break or end the office.
class OfficeLifecycle : public ::testing::Test {
protected:
    qbtest::TempDir dir_;
    qb::TParameters job_;
};

// One office start covers the hang, the restart and the release.
TEST_F(OfficeLifecycle, HungNoteRestartsTheOfficeAndReleaseReapsEverything) {
    qbtest::TempDir tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.path().c_str());
    ScopedEnv timeout("QB_OFFICE_TIMEOUT", "2");
    auto engine = qb::CreateOfficeEngine(qb::TConvertOptions{});
    const int starts = qb::office::BridgeStartCount();
    std::vector<pid_t> seen = Descendants();
    ASSERT_GE(seen.size(), 2u);  // the bridge and the office at least
    EXPECT_FALSE(FilesIn(tmp.path()).empty());
    WriteFile(dir_ / "Hang.rtf", PlainNote("hang"));
    WriteFile(dir_ / "Next.rtf", PlainNote("next note"));

    const pid_t office = OfficePid();
    ASSERT_GT(office, 0);
    ASSERT_EQ(0, ::kill(office, SIGSTOP));  // the office stops answering
    try {
        engine->Convert(job_, dir_ / "Hang.rtf", dir_ / "Hang.html", "Hang");
        FAIL() << "a hung office converted";
    } catch (const qb::Error& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find(dir_ / "Hang.rtf")) << e.what();
    }
    EXPECT_FALSE(ProcessExists(office));

    engine->Convert(job_, dir_ / "Next.rtf", dir_ / "Next.html", "Next");
    EXPECT_NE(std::string::npos, qbtest::ReadFile(dir_ / "Next.html").find("next note"));
    EXPECT_GT(OfficePid(), 0);
    EXPECT_NE(office, OfficePid());
    EXPECT_EQ(starts, qb::office::BridgeStartCount());  // same bridge, new office

    for (pid_t p : Descendants()) seen.push_back(p);
    engine.reset();
    for (pid_t p : seen) EXPECT_FALSE(ProcessExists(p)) << p << " " << ProcessName(p);
    EXPECT_TRUE(Descendants().empty());
    EXPECT_TRUE(FilesIn(tmp.path()).empty());
}

TEST_F(OfficeLifecycle, MissingOfficeIsAnError) {
    ScopedEnv soffice("QB_SOFFICE", (dir_ / "no-such-soffice").c_str());
    EXPECT_THROW(qb::CreateOfficeEngine(qb::TConvertOptions{}), qb::Error);
    EXPECT_TRUE(Descendants().empty());
}

TEST_F(OfficeLifecycle, OfficeThatDiesAtStartIsAnErrorAndIsReaped) {
    WriteFile(dir_ / "soffice", "#!/bin/sh\nexit 3\n");
    sfs::permissions(dir_ / "soffice", sfs::perms::owner_all);
    ScopedEnv soffice("QB_SOFFICE", (dir_ / "soffice").c_str());
    try {
        qb::CreateOfficeEngine(qb::TConvertOptions{});
        FAIL() << "a dead office started";
    } catch (const qb::Error& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("status 3")) << e.what();
    }
    EXPECT_TRUE(Descendants().empty());
}

TEST_F(OfficeLifecycle, PrepareConverterEndsTheRunWithTheWordProcessorMessage) {
    ScopedEnv soffice("QB_SOFFICE", (dir_ / "no-such-soffice").c_str());
    job_.options.ConvertMethod = 1;
    try {
        qb::PrepareConverter(job_);
        FAIL() << "prepared without an office";
    } catch (const qb::Error& e) {
        EXPECT_EQ(qb::Msg(18) + qb::Msg(16), e.what());
    }
    EXPECT_FALSE(job_.ConverterObject);
}

}  // namespace
