#include "support/Os.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "support/Path.h"
#include "support/Scratch.h"
#include "tests/support/TestOs.h"

using namespace qb;

namespace {

// A private folder for one test, removed with its content.
struct Folder {
    std::string path = MakeScratchFolder(TempDirectory() + "/qb-os-test-", "cannot");
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

// --- Text at the boundary --------------------------------------------------------

TEST(OsCodePages, GermanAndChineseCaptionsRoundTripThroughTheirAnsiCodePages) {
    // "Öffnungszeiten" in 1252 and "饺子" in 936, as the host hands them over on Windows.
    const std::string german1252 = "\xD6" "ffnungszeiten";
    EXPECT_EQ("Öffnungszeiten", os::FromCodePage(german1252, 1252));
    EXPECT_EQ(german1252, os::ToCodePage("Öffnungszeiten", 1252));
    const std::string chinese936 = "\xBD\xC8\xD7\xD3";
    EXPECT_EQ("饺子", os::FromCodePage(chinese936, 936));
    EXPECT_EQ(chinese936, os::ToCodePage("饺子", 936));
}

TEST(OsCodePages, CharactersACodePageLacksBecomeQuestionMarks) {
    EXPECT_EQ("??", os::ToCodePage("饺子", 1252));
    EXPECT_EQ("a?b", os::ToCodePage("a€b", 28591));
}

TEST(OsCodePages, ExactConversionRefusesWhatTheCodePageLacksInsteadOfSubstituting) {
    std::string out = "untouched";
    ASSERT_TRUE(os::ToCodePageExactly("Öffnungszeiten", 1252, out));
    EXPECT_EQ("\xD6" "ffnungszeiten", out);
    ASSERT_TRUE(os::ToCodePageExactly("饺子 Dumplings", 936, out));
    EXPECT_EQ("\xBD\xC8\xD7\xD3 Dumplings", out);
    out = "untouched";
    EXPECT_FALSE(os::ToCodePageExactly("饺子", 1252, out));
    EXPECT_FALSE(os::ToCodePageExactly("Öl", 936, out));
    // "Ā" has a best-fit "A" in the system's tables: not the same character.
    EXPECT_FALSE(os::ToCodePageExactly("\xC4\x80", 1252, out));
    EXPECT_FALSE(os::ToCodePageExactly("a\xFF", 65001, out)) << "malformed UTF-8 is no text of UTF-8";
    EXPECT_EQ("untouched", out);
    ASSERT_TRUE(os::ToCodePageExactly("", 1252, out));
    EXPECT_EQ("", out);
    ASSERT_TRUE(os::ToCodePageExactly("饺子 😀", 65001, out));
    EXPECT_EQ("饺子 😀", out);
}

// Converters are kept between calls: what one call leaves in a converter
// (a lone lead byte, its way with missing characters) never reaches the next.
TEST(OsCodePages, AConverterKeptFromAnEarlierCallStartsClean) {
    (void)os::FromCodePage("\xBD", 936);
    EXPECT_EQ("\xE9\xA5\xBA", os::FromCodePage("\xBD\xC8", 936));
    std::string out;
    EXPECT_FALSE(os::ToCodePageExactly("Öl 饺", 1252, out));
    EXPECT_EQ("?l", os::ToCodePage("饺l", 1252));
    // ASCII passes as it is only where the code page has it at its own bytes
    // (EBCDIC, where its data is there: the Windows build carries only ANSI code pages).
    if (os::FromCodePage("\xC1", 37) == "A") {
        EXPECT_EQ("\x81\x82\x83", os::ToCodePage("abc", 37));
        EXPECT_EQ("abc", os::FromCodePage("\x81\x82\x83", 37));
    }
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i)
                if (os::FromCodePage("\xBD\xC8\xD7\xD3", 936) != "饺子" || os::ToCodePage("Öl", 1252) != "\xD6l") ++wrong;
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(0, wrong.load());
}

TEST(OsCodePages, UnknownCodePagesActAs1252AndUtf8PassesThrough) {
    EXPECT_EQ("\xE4", os::ToCodePage("ä", 4242));
    EXPECT_EQ("ä饺", os::FromCodePage("ä饺", 65001));
}

TEST(OsCodePages, HostTextIsUnchangedWhereTheAnsiCodePageIsUtf8) {
    if (os::AnsiCodePage() != 65001) GTEST_SKIP() << "this system's ANSI code page is not UTF-8";
    EXPECT_EQ("饺子 Öl", os::FromAnsi("饺子 Öl"));
    EXPECT_EQ("饺子 Öl", os::ToAnsi("饺子 Öl"));
}

TEST(OsCodePages, WideStringsRoundTripBeyondTheBasicPlane) {
    const std::string text = "Z:\\Ausgabe\\饺子 😀";
    EXPECT_EQ(text, os::FromWide(os::ToWide(text)));
}

TEST(OsCharDecoder, DoubleByteLeadIsIncompleteUntilItsSecondByte) {
    os::CharDecoder gbk(936);
    const std::uint8_t lead[] = {0xBD};
    bool incomplete = false;
    EXPECT_EQ(os::CharDecoder::kNone, gbk.Decode(lead, 1, incomplete));
    EXPECT_TRUE(incomplete);
    const std::uint8_t pair[] = {0xBD, 0xC8};
    EXPECT_EQ(U'饺', gbk.Decode(pair, 2, incomplete));
    EXPECT_FALSE(incomplete);
    os::CharDecoder western(1252);
    const std::uint8_t euro[] = {0x80};
    EXPECT_EQ(U'€', western.Decode(euro, 1, incomplete));
}

// --- Paths ---------------------------------------------------------------------

TEST(OsPaths, AbsolutePathsAreTheSystemsOwn) {
    EXPECT_TRUE(IsAbsolutePath("/srv/out"));
    EXPECT_FALSE(IsAbsolutePath("out/page.html"));
    EXPECT_FALSE(IsAbsolutePath(""));
    // On Linux a drive letter is an ordinary first character of a relative name.
    if (os::LibraryFileName("x") == "libx.so") {
        EXPECT_FALSE(IsAbsolutePath("Z:\\out"));
    } else {
        EXPECT_TRUE(IsAbsolutePath("Z:\\out"));
        EXPECT_TRUE(IsAbsolutePath("\\\\server\\share\\out"));
    }
}

TEST(OsPaths, DeviceNamesAreReservedInAnyCaseWithOrWithoutExtension) {
    for (const char* name : {"CON", "con", "Prn.txt", "aux.tar.gz", "NUL", "COM1", "com9.log", "LPT1", "lpt9", "NUL .x"})
        EXPECT_TRUE(IsReservedDeviceName(name)) << name;
    for (const char* name : {"CONSOLE", "COM0", "COM10", "LPT", "icon", "xnul", "_CON", ""})
        EXPECT_FALSE(IsReservedDeviceName(name)) << name;
    EXPECT_EQ("_CON", WindowsSafeName("CON"));
    EXPECT_EQ("_lpt3.html", WindowsSafeName("lpt3.html"));
    EXPECT_EQ("Version 1_", WindowsSafeName("Version 1."));
    EXPECT_EQ("name__", WindowsSafeName("name. "));
    EXPECT_EQ("Ordinary name.html", WindowsSafeName("Ordinary name.html"));
}

TEST(OsPaths, MaskMatchingBacktracksOverStars) {
    EXPECT_TRUE(MatchesMask("a.b.html", "*.html"));
    EXPECT_TRUE(MatchesMask("PAGE.HTM", "p*.htm"));
    EXPECT_TRUE(MatchesMask("abcabd", "*abd"));
    EXPECT_FALSE(MatchesMask("abcab", "*abd"));
    EXPECT_TRUE(MatchesMask("x1y", "x?y"));
    EXPECT_FALSE(MatchesMask("xy", "x?y"));
    EXPECT_TRUE(MatchesMask("", "*"));
}

TEST(OsPaths, FsPathKeepsUtf8Names) {
    const std::string name = "Ausgabe 饺子/Öl.html";
    EXPECT_EQ(name, Utf8Of(FsPath(name)));
}

// --- Files ------------------------------------------------------------------------

TEST(OsFiles, AtomicReplaceReplacesAnExistingFile) {
    Folder dir;
    Write(dir / "new", "new text");
    Write(dir / "old", "old text");
    ASSERT_TRUE(os::AtomicReplace(dir / "new", dir / "old"));
    EXPECT_EQ("new text", Read(dir / "old"));
    EXPECT_FALSE(std::filesystem::exists(dir / "new"));
}

TEST(OsFiles, AFailedReplaceKeepsTheOldFileAndSaysWhy) {
    Folder dir;
    Write(dir / "old", "old text");
    EXPECT_FALSE(os::AtomicReplace(dir / "missing", dir / "old"));
    EXPECT_EQ(ENOENT, errno);
    EXPECT_EQ("old text", Read(dir / "old"));
}

TEST(OsFiles, NoFollowRefusesALinkAndRemoveTakesTheLinkItself) {
    Folder dir;
    Write(dir / "target", "kept");
    std::error_code ec;
    std::filesystem::create_symlink(dir / "target", dir / "link", ec);
    if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
    const os::Fd base = os::Open(dir.path, os::kRead | os::kDirectory);
    ASSERT_NE(os::kNoFd, base);
    EXPECT_EQ(os::kNoFd, os::OpenAt(base, "link", os::kRead | os::kNoFollow));
    EXPECT_EQ(ELOOP, errno);
    os::FileInfo info;
    ASSERT_TRUE(os::InfoAt(base, "link", info, false));
    EXPECT_EQ(os::Kind::Link, info.kind);
    EXPECT_TRUE(os::RemoveAt(base, "link"));
    os::Close(base);
    EXPECT_EQ("kept", Read(dir / "target"));
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "link"));
}

// Thirty folders of 200-byte names: about 6 KB, beyond what the system takes
// as one path, as a deep export with captions as folder names makes.
TEST(OsFiles, PathsBeyondTheSystemsLimitWorkForEveryCall) {
    if (qbtest::OnWindows()) GTEST_SKIP() << "Linux's 4,096-byte limit; long Windows paths are tested in winseam_test";
    Folder dir;
    const std::string real = os::RealPath(dir.path);
    ASSERT_FALSE(real.empty());
    std::vector<std::string> folders;
    std::string path = real;
    for (int level = 0; level < 30; ++level) {
        path += "/" + std::string(195, static_cast<char>('a' + level % 26)) + std::to_string(10000 + level);
        ASSERT_TRUE(os::MakeFolderAt(os::kCurrentDir, path)) << "level " << level << ": " << os::ErrorText(errno);
        folders.push_back(path);
    }
    ASSERT_GT(path.size(), 6000u);
    const std::string file = path + "/page.html";
    const os::Fd out = os::Open(file, os::kWrite | os::kCreate | os::kExclusive);
    ASSERT_NE(os::kNoFd, out) << os::ErrorText(errno);
    ASSERT_TRUE(os::WriteAll(out, "deep", 4));
    os::Close(out);

    os::FileInfo info;
    ASSERT_TRUE(os::PathInfo(file, info, false));
    EXPECT_EQ(os::Kind::File, info.kind);
    EXPECT_EQ(4u, info.size);
    const os::Fd in = os::Open(file, os::kRead | os::kNoFollow);
    ASSERT_NE(os::kNoFd, in);
    char bytes[8];
    EXPECT_EQ(4, os::Read(in, bytes, sizeof bytes));
    os::Close(in);
    EXPECT_EQ(file, os::RealPath(file));
    EXPECT_EQ(file, os::RealPath(path + "/../" + path.substr(path.rfind('/') + 1) + "/page.html"));
    const os::Fd folder = os::Open(path, os::kRead | os::kDirectory);
    ASSERT_NE(os::kNoFd, folder);
    EXPECT_EQ(path, os::RealPathOf(folder));
    os::Close(folder);
    std::vector<os::Entry> entries;
    ASSERT_TRUE(os::ListFolder(path, entries));
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ("page.html", entries[0].name);

    // A link down there is resolved to where it leads, not taken as lying inside.
    Write(dir / "outside", "x");
    std::error_code ec;
    std::filesystem::create_symlink(real + "/outside", dir / "link", ec);
    if (!ec) {
        ASSERT_TRUE(os::AtomicReplace(dir / "link", path + "/link")) << os::ErrorText(errno);
        EXPECT_EQ(real + "/outside", os::RealPath(path + "/link"));
        EXPECT_EQ(os::kNoFd, os::Open(path + "/link", os::kRead | os::kNoFollow));
        EXPECT_EQ(ELOOP, errno);
        EXPECT_TRUE(os::RemoveFile(path + "/link"));
    }

    EXPECT_FALSE(os::RemoveFolder(folders.back()));  // not empty
    EXPECT_TRUE(os::RemoveFile(file));
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) EXPECT_TRUE(os::RemoveFolder(*it)) << *it;
    EXPECT_FALSE(os::PathInfo(folders.front(), info, false));
}

TEST(OsFiles, AFolderMadeAndOpenedInOneStepTakesFilesAndStaysWhereTheSystemSays) {
    Folder dir;
    const os::Fd base = os::Open(dir.path, os::kRead | os::kDirectory);
    ASSERT_NE(os::kNoFd, base);
    const std::string name = "Fächer";
    const os::Fd made = os::MakeAndOpenFolderAt(base, name);
    ASSERT_NE(os::kNoFd, made) << os::ErrorText(errno);
    const os::Fd page = os::OpenAt(made, "page.html", os::kWrite | os::kCreate | os::kExclusive);
    ASSERT_NE(os::kNoFd, page);
    ASSERT_TRUE(os::WriteAll(page, "in", 2));
    os::Close(page);
    os::FileInfo info;
    ASSERT_TRUE(os::PathInfo(dir / name + "/page.html", info, false));
    EXPECT_EQ(2u, info.size);
    // Whatever stands at the name already is never opened as made.
    EXPECT_EQ(os::kNoFd, os::MakeAndOpenFolderAt(base, name));
    EXPECT_EQ(EEXIST, errno);
    Write(dir / "file", "x");
    EXPECT_EQ(os::kNoFd, os::MakeAndOpenFolderAt(base, "file"));
    EXPECT_EQ(EEXIST, errno);
    EXPECT_EQ(os::kNoFd, os::MakeAndOpenFolderAt(base, "missing/below"));
    EXPECT_EQ(ENOENT, errno);
    // Held open, the folder cannot be moved where the system promises so.
    const bool moved = os::AtomicReplace(dir / name, dir / "elsewhere");
    EXPECT_EQ(!os::OpenFoldersStayPut(), moved);
    os::Close(made);
    os::Close(base);
}

TEST(OsFiles, TheKindAloneAgreesWithTheFullInformation) {
    Folder dir;
    Write(dir / "file", "x");
    ASSERT_TRUE(os::MakeFolderAt(os::kCurrentDir, dir / "folder"));
    std::error_code ec;
    std::filesystem::create_directory_symlink(dir / "folder", dir / "link", ec);
    for (const std::string name : {"file", "folder", "link"}) {
        for (const bool follow : {false, true}) {
            os::FileInfo info;
            os::Kind kind = os::Kind::Other;
            const bool there = os::PathInfo(dir / name, info, follow);
            EXPECT_EQ(there, os::PathKind(dir / name, kind, follow)) << name;
            if (there) EXPECT_EQ(info.kind, kind) << name << (follow ? " followed" : "");
        }
    }
    os::Kind kind;
    EXPECT_FALSE(os::PathKind(dir / "missing", kind, false));
    EXPECT_EQ(ENOENT, errno);
}

TEST(OsFiles, ExclusiveCreateFailsOnAnyExistingEntry) {
    Folder dir;
    Write(dir / "taken", "x");
    EXPECT_EQ(os::kNoFd, os::Open(dir / "taken", os::kWrite | os::kCreate | os::kExclusive));
    EXPECT_EQ(EEXIST, errno);
    EXPECT_EQ("x", Read(dir / "taken"));
}

TEST(OsFiles, WritesAreBinaryAndReadBackAtOffsets) {
    Folder dir;
    const os::Fd fd = os::Open(dir / "bytes", os::kRead | os::kWrite | os::kCreate | os::kExclusive);
    ASSERT_NE(os::kNoFd, fd);
    const std::string text = "line\nnext\r\n\x1a" "end";
    ASSERT_TRUE(os::WriteAll(fd, text.data(), text.size()));
    char four[4];
    EXPECT_EQ(4, os::ReadAt(fd, four, 4, 5));
    EXPECT_EQ("next", std::string(four, 4));
    os::FileInfo info;
    ASSERT_TRUE(os::Info(fd, info));
    EXPECT_EQ(text.size(), info.size);
    EXPECT_EQ(os::Kind::File, info.kind);
    os::Close(fd);
    // No "\r" added before "\n", no end at ^Z.
    EXPECT_EQ(text, Read(dir / "bytes"));
}

TEST(OsFiles, ListingNamesKindsAndLeavesOutDotEntries) {
    Folder dir;
    Write(dir / "file", "x");
    std::filesystem::create_directory(dir / "sub");
    std::vector<os::Entry> entries;
    ASSERT_TRUE(os::ListFolder(dir.path, entries));
    ASSERT_EQ(2u, entries.size());
    std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.name < b.name; });
    EXPECT_EQ("file", entries[0].name);
    EXPECT_EQ(os::Kind::File, entries[0].kind);
    EXPECT_EQ("sub", entries[1].name);
    EXPECT_EQ(os::Kind::Folder, entries[1].kind);
    EXPECT_FALSE(os::ListFolder(dir / "missing", entries));

    // A folder named with its trailing separator, as the file helpers join it.
    for (const char* sep : {"/", "\\"}) {
        if (std::string(sep) == "\\" && os::PathListSeparator() == ':') continue;  // "\\" is a name character here
        entries.clear();
        EXPECT_TRUE(os::ListFolder(dir / "sub" + sep, entries)) << sep;
        entries.clear();
        ASSERT_TRUE(os::ListFolder(dir.path + sep, entries)) << sep;
        EXPECT_EQ(2u, entries.size()) << sep;
    }
}

TEST(OsFiles, ASecondLockOnTheSameFileIsRefused) {
    Folder dir;
    const os::Fd first = os::Open(dir / "lock", os::kRead | os::kWrite | os::kCreate);
    const os::Fd second = os::Open(dir / "lock", os::kRead | os::kWrite | os::kCreate);
    ASSERT_NE(os::kNoFd, first);
    ASSERT_NE(os::kNoFd, second);
    EXPECT_EQ(1, os::TryLock(first));
    EXPECT_EQ(0, os::TryLock(second));
    os::Close(first);
    EXPECT_EQ(1, os::TryLock(second));
    os::Close(second);
}

TEST(OsFiles, AScratchFileLeavesNothingBehindAndOpensByItsName) {
    Folder dir;
    {
        const os::Fd fd = os::ScratchFile(dir.path);
        ASSERT_NE(os::kNoFd, fd);
        // Another writer opens it by its name and truncates it.
        Write(os::ScratchFileName(fd), "note text");
        char buf[16];
        const long long n = os::ReadAt(fd, buf, sizeof buf, 0);
        EXPECT_EQ("note text", std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0));
        os::Close(fd);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path));
}

TEST(OsFiles, TempFilesAndFoldersAreFreshEachTime) {
    Folder dir;
    const std::string a = os::MakeTempFolder(dir / "f-"), b = os::MakeTempFolder(dir / "f-");
    EXPECT_NE(a, b);
    EXPECT_TRUE(std::filesystem::is_directory(a));
    std::string name;
    const os::Fd fd = os::MakeTempFile(dir / "t-", name);
    ASSERT_NE(os::kNoFd, fd);
    EXPECT_EQ(0u, name.find(dir / "t-"));
    os::Close(fd);
    EXPECT_TRUE(std::filesystem::is_regular_file(name));
    EXPECT_EQ("", os::MakeTempFolder(dir / "missing/f-"));
}

// --- Modules and processes ----------------------------------------------------------

TEST(OsModules, ThisProgramKnowsItsOwnFileAndAMissingLibrarySaysWhy) {
    const std::string self = os::ModulePath(reinterpret_cast<const void*>(&os::ModulePath));
    EXPECT_TRUE(std::filesystem::is_regular_file(FsPath(self))) << self;
    EXPECT_EQ(nullptr, os::OpenLibrary("/nonexistent/" + os::LibraryFileName("none")));
    EXPECT_FALSE(os::LibraryError().empty());
}

TEST(OsProcess, TheDuplexChannelCarriesBothWays) {
    if (qbtest::OnWindows()) GTEST_SKIP() << "runs Linux programs (/bin/cat, sh)";
    if (!std::filesystem::exists("/bin/cat")) GTEST_SKIP() << "needs /bin/cat";
    os::Process::Options o;
    o.duplexChannel = true;
    os::Process cat("/bin/cat", {"cat"}, o);
    ASSERT_TRUE(cat.Send("ping\n"));
    char buf[16];
    const long long n = cat.Receive(buf, sizeof buf, 10000);
    ASSERT_GT(n, 0);
    EXPECT_EQ("ping\n", std::string(buf, static_cast<std::size_t>(n)));
    EXPECT_TRUE(cat.Running());
    cat.Kill();
    EXPECT_LT(cat.Wait(), 0);
    EXPECT_FALSE(cat.Running());
}

TEST(OsProcess, OutputIsCapturedAndTheExitCodeKept) {
    if (qbtest::OnWindows()) GTEST_SKIP() << "runs Linux programs (/bin/cat, sh)";
    if (!std::filesystem::exists("/bin/sh")) GTEST_SKIP() << "needs /bin/sh";
    Folder dir;
    os::Process::Options o;
    o.captureOutput = true;
    o.folder = dir.path;
    os::Process sh("sh", {"sh", "-c", "pwd; echo oops >&2; exit 3"}, o);
    std::string out;
    char buf[256];
    for (long long n; (n = sh.ReadOutput(buf, sizeof buf, 10000)) > 0;) out.append(buf, static_cast<std::size_t>(n));
    EXPECT_EQ(3, sh.Wait());
    EXPECT_NE(std::string::npos, out.find("oops"));
    EXPECT_NE(std::string::npos, out.find("qb-os-test-"));
}

TEST(OsProcess, AProgramThatCannotStartRaisesAnError) {
    os::Process::Options o;
    EXPECT_ANY_THROW(os::Process("/nonexistent/program", {"program"}, o));
}

TEST(OsProcess, AReceiveWithoutBytesTimesOut) {
    if (qbtest::OnWindows()) GTEST_SKIP() << "runs Linux programs (/bin/cat, sh)";
    if (!std::filesystem::exists("/bin/cat")) GTEST_SKIP() << "needs /bin/cat";
    os::Process::Options o;
    o.duplexChannel = true;
    os::Process cat("/bin/cat", {"cat"}, o);
    char buf[4];
    EXPECT_EQ(-2, cat.Receive(buf, sizeof buf, 50));
}

namespace {
std::atomic<int> gStops{0};
void CountStop() { ++gStops; }
}  // namespace

TEST(OsStopRequests, AStopSignalCallsTheHandlerOnlyWhileItLives) {
    if (qbtest::OnWindows()) GTEST_SKIP() << "stop requests arrive as console events there, not signals";
    gStops = 0;
    void (*before)(int) = std::signal(SIGTERM, SIG_IGN);
    {
        const os::StopRequests stops(CountStop);
        std::raise(SIGTERM);
        std::raise(SIGINT);
    }
    EXPECT_EQ(2, gStops.load());
    // The earlier handling (here: ignore) is back.
    std::raise(SIGTERM);
    EXPECT_EQ(2, gStops.load());
    std::signal(SIGTERM, before);
}
