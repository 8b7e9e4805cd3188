// The Windows side of support/Os.h, run under Wine by WineSeamTest.cpp. ICU is
// not built for Windows here, so the wide conversion comes from the system.
#include "support/os/Win32Util.h"
#include <cstdio>
#include <cerrno>
#include <string>
namespace qb::os {
std::string FromWide(const std::wstring& w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0'); WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), s.data(), n, nullptr, nullptr); return s;
}
std::wstring ToWide(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring w(n, L'\0'); MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), w.data(), n); return w;
}
}
using namespace qb::os;
int fails = 0;
#define CHECK(x) do { if (!(x)) { std::printf("FAIL %s:%d %s (errno %d)\n", __FILE__, __LINE__, #x, errno); ++fails; } else std::printf("ok   %s\n", #x); } while (0)
static void Put(const std::string& p, const std::string& b) { Fd f = Open(p, kWrite|kCreate|kTruncate); WriteAll(f, b.data(), b.size()); Close(f); }
static std::string Get(const std::string& p) { Fd f = Open(p, kRead); if (f < 0) return "<none>"; char buf[256]; long long n = Read(f, buf, 256); Close(f); return std::string(buf, n > 0 ? n : 0); }
int main() {
    std::string dir = MakeTempFolder(TempDirectory() + "\\smoke-");
    CHECK(!dir.empty());
    CHECK(IsAbsolutePath("Z:\\x") && IsAbsolutePath("\\\\srv\\share\\x") && IsAbsolutePath("C:/x") && !IsAbsolutePath("a\\b"));
    Put(dir + "/old", "old"); Put(dir + "/new", "new");
    CHECK(AtomicReplace(dir + "/new", dir + "/old"));
    CHECK(Get(dir + "/old") == "new");
    // Binary: no CR added.
    Put(dir + "/bin", "a\nb"); FileInfo fi; CHECK(PathInfo(dir + "/bin", fi, true) && fi.size == 3);
    // Held open without share-delete by another program: replace fails, old intact.
    Put(dir + "/help.chm", "old help"); Put(dir + "/tmp.chm", "new help");
    HANDLE other = CreateFileW(ToWide(dir + "\\help.chm").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    CHECK(other != INVALID_HANDLE_VALUE);
    CHECK(!AtomicReplace(dir + "/tmp.chm", dir + "/help.chm"));
    CHECK(errno == EACCES);
    CloseHandle(other);
    CHECK(Get(dir + "/help.chm") == "old help");
    // Long paths through the prefix.
    std::string deep = dir;
    for (int i = 0; i < 12; ++i) { deep += "/folder-with-a-rather-long-name-" + std::to_string(i); CHECK(MakeFolderAt(kCurrentDir, deep) || errno == EEXIST); }
    CHECK(deep.size() > 300);
    Put(deep + "/page.html", "deep"); CHECK(Get(deep + "/page.html") == "deep");
    // Relative opens below a folder handle, with "..".
    Fd base = Open(dir, kRead | kDirectory); CHECK(base >= 0);
    Fd f = OpenAt(base, "old", kRead | kNoFollow); CHECK(f >= 0); Close(f);
    CHECK(OpenAt(base, "old", kWrite|kCreate|kExclusive) == kNoFd && errno == EEXIST);
    CHECK(OpenAt(base, "old", kRead|kDirectory) == kNoFd && errno == ENOTDIR);
    Fd up = OpenAt(base, "folder-with-a-rather-long-name-0/..", kRead | kDirectory); CHECK(up >= 0);
    FileInfo a, b; CHECK(Info(base, a) && Info(up, b) && a.inode == b.inode); Close(up);
    // Offsets leave the position alone.
    Fd rw = Open(dir + "/pos", kRead|kWrite|kCreate); WriteAll(rw, "abcdef", 6); WriteAt(rw, "X", 1, 0); WriteAll(rw, "g", 1); Close(rw);
    CHECK(Get(dir + "/pos") == "Xbcdefg");
    // Scratch file: opened by name, gone after close.
    Fd s = ScratchFile(dir); std::string sn = ScratchFileName(s); Put(sn, "note"); char nb[8]; CHECK(ReadAt(s, nb, 4, 0) == 4); Close(s);
    CHECK(Get(sn) == "<none>");
    // Locks.
    Fd l1 = Open(dir + "/lock", kRead|kWrite|kCreate), l2 = Open(dir + "/lock", kRead|kWrite|kCreate);
    CHECK(TryLock(l1) == 1); CHECK(TryLock(l2) == 0); Close(l1); CHECK(TryLock(l2) == 1); Close(l2);
    // Wine may report success without making the link: only a link that is there is checked.
    if (CreateSymbolicLinkW(ToWide(dir + "\\link").c_str(), ToWide(dir + "\\old").c_str(), 0) &&
        GetFileAttributesW(ToWide(dir + "\\link").c_str()) != INVALID_FILE_ATTRIBUTES) {
        CHECK(OpenAt(base, "link", kRead | kNoFollow) == kNoFd && errno == ELOOP);
        FileInfo li;
        CHECK(InfoAt(base, "link", li, false) && li.kind == Kind::Link);
        CHECK(RemoveAt(base, "link") && Get(dir + "/old") == "new");
    } else {
        std::printf("skip symbolic links: not available here\n");
    }
    std::vector<Entry> es; CHECK(ListFolderAt(base, es) && es.size() >= 5);
    Close(base);
    CHECK(RemoveFile(dir + "/lock") && !RemoveFile(dir + "/lock") && errno == ENOENT);
    // Processes.
    Process::Options o; o.captureOutput = true;
    Process p("cmd", {"cmd", "/c", "echo hello& exit 3"}, o);
    std::string out; char buf[64]; for (long long n; (n = p.ReadOutput(buf, 64, 5000)) > 0;) out.append(buf, n);
    CHECK(out.find("hello") != std::string::npos); CHECK(p.Wait() == 3);
    std::printf("ANSI code page %d; module %s\n", AnsiCodePage(), ModulePath((void*)&main).c_str());
    std::printf("%s\n", fails ? "SEAM FAILED" : "SEAM OK");
    return fails;
}
