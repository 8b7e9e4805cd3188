// Drives the Windows wizard as a user would: qbhost.exe loads Quillbook.dll and
// runs the command; this program finds the wizard's window in that process and
// works its controls by their ids.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "dvo/dvo.h"
#include "tests/support/TestSupport.h"
#include "winwizard/resource.h"

namespace {

namespace fs = std::filesystem;
using qbtest::ReadFile;
using qbtest::TempDir;
using qbtest::WriteFile;

std::wstring W(const std::string& s) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, w.data(), n);
    return w;
}

std::string U(const std::wstring& w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
    return s;
}

// A path the Windows side takes: a Unix path under Wine becomes Z:\... .
std::string WinPath(std::string p) {
    if (!p.empty() && p[0] == '/') p = "Z:" + p;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

std::string TextOf(HWND w) {
    wchar_t buffer[65536] = {};
    SendMessageTimeoutW(w, WM_GETTEXT, 65536, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, nullptr);
    return U(buffer);
}

void SetTextOf(HWND w, const std::string& text) {
    const std::wstring t = W(text);
    SendMessageTimeoutW(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(t.c_str()), SMTO_ABORTIFHUNG, 5000, nullptr);
}

bool WaitFor(const std::function<bool()>& done, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (done()) return true;
        Sleep(50);
    }
    return done();
}

// The control of that id anywhere below the wizard (its pages are child dialogs).
HWND Find(HWND root, int id) {
    struct Search {
        int id;
        HWND found;
    } s{id, nullptr};
    EnumChildWindows(
        root,
        [](HWND w, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            if (GetDlgCtrlID(w) == s->id && GetWindowLongW(w, GWL_STYLE) & WS_CHILD &&
                !(GetWindowLongW(w, GWL_STYLE) & DS_CONTROL)) {
                s->found = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// qbhost.exe running the command over a values file, its output in a file.
class THost {
public:
    THost(const std::string& dir, const std::string& values) : dir_(dir) {
        WriteFile(dir + "values.txt", values);
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        HANDLE out = CreateFileW(W(dir + "host.out").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = out;
        si.hStdError = out;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        // The test answers the boxes itself.
        SetEnvironmentVariableW(L"QB_HOST_NO_ANSWERS", L"1");
        std::wstring cmd = L"\"" + W(dir + "qbhost.exe") + L"\" \"" + W(dir + "Quillbook.dll") + L"\" \"" +
                           W(dir + "values.txt") + L"\"";
        started_ = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, W(dir).c_str(), &si, &pi_);
        CloseHandle(out);
    }
    ~THost() {
        if (!started_) return;
        // A host the test left behind is ended, so no process outlives the test.
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
        CloseHandle(pi_.hProcess);
        CloseHandle(pi_.hThread);
    }
    bool Started() const { return started_; }
    DWORD Pid() const { return pi_.dwProcessId; }
    // Exit code once ended within seconds; -1 while it still runs.
    long WaitExit(int seconds) {
        if (WaitForSingleObject(pi_.hProcess, static_cast<DWORD>(seconds) * 1000) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(pi_.hProcess, &code);
        return static_cast<long>(code);
    }
    std::string Output() const { return ReadFile(dir_ + "host.out"); }

    // Visible top-level windows of the host of that class.
    std::vector<HWND> Windows(const wchar_t* cls) const {
        struct Q {
            DWORD pid;
            const wchar_t* cls;
            std::vector<HWND> found;
        } q{pi_.dwProcessId, cls, {}};
        EnumWindows(
            [](HWND w, LPARAM p) -> BOOL {
                auto* q = reinterpret_cast<Q*>(p);
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                wchar_t name[64] = {};
                GetClassNameW(w, name, 64);
                if (pid == q->pid && IsWindowVisible(w) && lstrcmpW(name, q->cls) == 0) q->found.push_back(w);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&q));
        return q.found;
    }
    // A message box of the host: its text, answered with the button given (IDNO falls back to IDOK).
    bool AnswerBox(std::string& text, int button) {
        for (HWND box : Windows(L"#32770")) {
            HWND label = GetDlgItem(box, 0xFFFF);
            if (!label) continue;
            text = TextOf(label);
            if (button == IDNO && !GetDlgItem(box, IDNO)) button = IDOK;
            PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
            return true;
        }
        return false;
    }
    // The wizard once it shows; boxes before it (the help components' question) are answered No.
    HWND Wizard(std::vector<std::string>& boxes) {
        HWND wizard = nullptr;
        WaitFor(
            [&] {
                std::string text;
                if (AnswerBox(text, IDNO)) boxes.push_back(text);
                const std::vector<HWND> w = Windows(L"QuillbookWizard");
                wizard = w.empty() ? nullptr : w.front();
                return wizard != nullptr || WaitForSingleObject(pi_.hProcess, 0) == WAIT_OBJECT_0;
            },
            60);
        return wizard;
    }

private:
    std::string dir_;
    PROCESS_INFORMATION pi_{};
    bool started_ = false;
};

bool HaveDisplay() {
    wchar_t value[256] = {};
    return GetEnvironmentVariableW(L"DISPLAY", value, 256) > 0;
}

// The plug-in folder as the host has it, in a scratch folder of its own.
std::string PluginFolder(const TempDir& tmp) {
    const std::string dir = WinPath(tmp.path()) + "plugin\\";
    CreateDirectoryW(W(dir).c_str(), nullptr);
    for (const char* f : {"Quillbook.dll", "Quillbook.lng", "dvo.dll", "hha.dll", "qbhost.exe"})
        CopyFileW(W(WinPath(QB_OUT_DIR "/") + f).c_str(), W(dir + f).c_str(), FALSE);
    return dir;
}

std::string HostValues(const std::string& db, const std::string& item) {
    return "Application.ExeFile=" + WinPath(QB_OUT_DIR "/qbhost.exe") + "\r\nDatabase.FullPath=" + db +
           "\r\nDatabase.RootLocation=\\Organizer\\data\\\r\nTreeView.CurNode_DvoPath=" + item + "\r\n";
}

class TDriver {
public:
    explicit TDriver(HWND wizard) : wizard_(wizard) {}
    HWND operator[](int id) const { return Find(wizard_, id); }
    void Click(int id) const { PostMessageW((*this)[id], BM_CLICK, 0, 0); }
    // Next until the last page; each press is taken before the next.
    void ToLastPage() const {
        for (int i = 0; i < 6; ++i) {
            const std::string before = TextOf(wizard_);
            Click(IDC_btnNext);
            WaitFor([&] { return TextOf(wizard_) != before; }, 10);
        }
    }
    // Output folder, engine 0 (no office here), the help file not opened afterwards.
    void Prepare(const std::string& out) const {
        SetTextOf((*this)[IDC_edtRootPath], out);
        Click(IDC_rgDataSource0);  // the range rule names the help file in the new folder
        Click(IDC_rgConverter0);
        SendMessageW((*this)[IDC_chkOpenCHMFile], BM_SETCHECK, BST_UNCHECKED, 0);
        WaitFor([&] { return SendMessageW((*this)[IDC_rgConverter0], BM_GETCHECK, 0, 0) == BST_CHECKED; }, 10);
    }
    std::string Log() const { return TextOf((*this)[IDC_mmoLogMsg]); }
    HWND Window() const { return wizard_; }

private:
    HWND wizard_;
};

#define REQUIRE_DISPLAY() \
    if (!HaveDisplay()) GTEST_SKIP() << "no display (DISPLAY unset): run under Xvfb to drive the wizard"

TEST(WinWizard, WalksThePagesRunsTheExportAndKeepsTheSettings) {
    REQUIRE_DISPLAY();
    TempDir tmp;
    const std::string dir = PluginFolder(tmp);
    const std::string db = dir + "sample.kvdb";
    ASSERT_EQ(1, dvo_import(QB_SOURCE_DIR "/examples/sample", db.c_str())) << dvo_last_error();
    const std::string out = dir + "out\\";

    THost host(dir, HostValues(db, "\\Organizer\\data\\2\\3\\"));
    ASSERT_TRUE(host.Started());
    std::vector<std::string> boxes;
    HWND wizard = host.Wizard(boxes);
    ASSERT_NE(nullptr, wizard) << host.Output();
    for (const std::string& b : boxes)
        EXPECT_EQ("Some files not register correctly, did you want register it now?", b);
    TDriver d(wizard);

    EXPECT_EQ("Quillbook - 1 of 7 steps", TextOf(wizard));
    EXPECT_FALSE(IsWindowEnabled(d[IDC_btnBack]));
    // The range names the host's item; the help file and title follow it.
    EXPECT_EQ("Current branch: Our history", TextOf(d[IDC_rgDataSource0]));
    EXPECT_EQ("Current database: sample.kvdb", TextOf(d[IDC_rgDataSource1]));
    EXPECT_EQ("Our_history", TextOf(d[IDC_edtCHMTitle]));
    EXPECT_EQ("Default(En) *", TextOf(d[IDC_cbbLanguage]));
    EXPECT_EQ("UTF-8", TextOf(d[IDC_cbbEncoding]));
    EXPECT_EQ("300", TextOf(d[IDC_edtCHMTabWidth]));
    EXPECT_EQ(BST_CHECKED, SendMessageW(d[IDC_rgConverter1], BM_GETCHECK, 0, 0));

    // Unchecking "Keep folder tree" disables the readable names, without changing their mark.
    const LRESULT niceMark = SendMessageW(d[IDC_chkNiceDirName], BM_GETCHECK, 0, 0);
    d.Click(IDC_chkKeepDir);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowEnabled(d[IDC_chkNiceDirName]); }, 10));
    EXPECT_EQ(niceMark, SendMessageW(d[IDC_chkNiceDirName], BM_GETCHECK, 0, 0));
    d.Click(IDC_chkKeepDir);
    EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(d[IDC_chkNiceDirName]) != FALSE; }, 10));

    d.Prepare(out);
    EXPECT_TRUE(WaitFor([&] { return TextOf(d[IDC_edtCHMFileName]) == out + "Our_history.chm"; }, 10))
        << TextOf(d[IDC_edtCHMFileName]);
    d.ToLastPage();
    EXPECT_EQ("Quillbook - 7 of 7 steps", TextOf(wizard));
    EXPECT_FALSE(IsWindowEnabled(d[IDC_btnNext]));
    EXPECT_TRUE(IsWindowVisible(d[IDC_btnRun]));

    d.Click(IDC_btnRun);
    const bool ended = WaitFor([&] { return d.Log().find("Compiled help file:") != std::string::npos; }, 300);
    const std::string log = d.Log();
    ASSERT_TRUE(ended) << log;
    EXPECT_NE(std::string::npos, log.find("Compile finished.")) << log;
    EXPECT_NE(std::string::npos, log.find("Compiled help file: " + out + "Our_history.chm")) << log;
    EXPECT_EQ("&Run", TextOf(d[IDC_btnRun]));
    EXPECT_TRUE(IsWindowEnabled(d[IDC_btnBack]));
    EXPECT_TRUE(IsWindowEnabled(d[IDC_cbbLanguage]));
    std::error_code ec;
    EXPECT_GT(fs::file_size(fs::path(W(out + "Our_history.chm")), ec), 1000u);
    EXPECT_FALSE(ec) << ec.message();

    d.Click(IDC_btnClose);
    EXPECT_EQ(0, host.WaitExit(60)) << host.Output();
    EXPECT_NE(std::string::npos, host.Output().find("ovel2html=0")) << host.Output();
    // The controls went into the settings file beside the module.
    const std::string settings = ReadFile(dir + "Quillbook.xml");
    EXPECT_NE(std::string::npos, settings.find("<StorePath>" + out + "</StorePath>")) << settings;
    EXPECT_NE(std::string::npos, settings.find("<Converter>0</Converter>")) << settings;
}

// Chooses an item of the language box as a user does: selection, then its notification.
void ChooseLanguage(const TDriver& d, const std::string& name) {
    HWND box = d[IDC_cbbLanguage];
    const std::wstring w = W(name);
    const LRESULT index = SendMessageW(box, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(w.c_str()));
    ASSERT_GE(index, 0) << name;
    SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(GetParent(box), WM_COMMAND, MAKEWPARAM(IDC_cbbLanguage, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
}

TEST(WinWizard, LanguageSwitchTranslatesByControlNameAndIsKept) {
    REQUIRE_DISPLAY();
    TempDir tmp;
    const std::string dir = PluginFolder(tmp);
    const std::string db = dir + "sample.kvdb";
    ASSERT_EQ(1, dvo_import(QB_SOURCE_DIR "/examples/sample", db.c_str())) << dvo_last_error();
    THost host(dir, HostValues(db, "\\Organizer\\data\\2\\3\\"));
    ASSERT_TRUE(host.Started());
    std::vector<std::string> boxes;
    HWND wizard = host.Wizard(boxes);
    ASSERT_NE(nullptr, wizard) << host.Output();
    TDriver d(wizard);

    // Twice in a row: the range item keeps one copy of the host's text.
    for (int i = 0; i < 2; ++i) ChooseLanguage(d, "Deutsch");
    EXPECT_EQ("Quillbook - Schritt 1 von 7", TextOf(wizard));
    EXPECT_EQ("Aktueller Zweig: Our history", TextOf(d[IDC_rgDataSource0]));
    EXPECT_EQ("Export&bereich:", TextOf(d[IDC_rgDataSource]));
    EXPECT_EQ("&Weiter >", TextOf(d[IDC_btnNext]));
    EXPECT_EQ("Deutsch", TextOf(d[IDC_cbbLanguage]));
    // Edit fields keep what they hold.
    EXPECT_EQ("Our_history", TextOf(d[IDC_edtCHMTitle]));

    d.Click(IDC_btnClose);
    EXPECT_EQ(0, host.WaitExit(60)) << host.Output();
    EXPECT_NE(std::string::npos, ReadFile(dir + "Quillbook.xml").find("<Language>Deutsch</Language>"));
}

// A database big enough that a run is still going when Stop is pressed.
std::string LargeDatabase(const std::string& dir) {
    const std::string src = dir + "big\\";
    CreateDirectoryW(W(src).c_str(), nullptr);
    CreateDirectoryW(W(src + "1").c_str(), nullptr);
    WriteFile(src + "1\\.caption", "Big\n");
    std::string para;
    for (int i = 0; i < 40; ++i) para += "Some words of a note that goes on for a while. ";
    for (int i = 1; i <= 2000; ++i) {
        const std::string item = src + "1\\" + std::to_string(i);
        CreateDirectoryW(W(item).c_str(), nullptr);
        WriteFile(item + "\\.caption", "Item " + std::to_string(i) + "\n");
        WriteFile(item + "\\_~_~_notes.rtf", "{\\rtf1\\ansi {\\b Item} " + para + "\\par " + para + "\\par}");
    }
    const std::string db = dir + "big.kvdb";
    if (dvo_import((dir + "big").c_str(), db.c_str()) != 1) ADD_FAILURE() << dvo_last_error();
    return db;
}

TEST(WinWizard, StopEndsALongRunAndTheHostEndsWithNothingLeftRunning) {
    REQUIRE_DISPLAY();
    TempDir tmp;
    const std::string dir = PluginFolder(tmp);
    const std::string db = LargeDatabase(dir);
    const std::string out = dir + "out\\";

    THost host(dir, HostValues(db, "\\Organizer\\data\\1\\"));
    ASSERT_TRUE(host.Started());
    std::vector<std::string> boxes;
    HWND wizard = host.Wizard(boxes);
    ASSERT_NE(nullptr, wizard) << host.Output();
    TDriver d(wizard);
    d.Prepare(out);
    d.ToLastPage();

    d.Click(IDC_btnRun);
    ASSERT_TRUE(WaitFor([&] { return TextOf(d[IDC_btnRun]) == "&Stop" && !d.Log().empty(); }, 60)) << d.Log();
    ASSERT_EQ(std::string::npos, d.Log().find("Compile finished.")) << "the run ended before Stop could be pressed";
    // While the engine runs the language and Back stay locked.
    EXPECT_FALSE(IsWindowEnabled(d[IDC_cbbLanguage]));
    EXPECT_FALSE(IsWindowEnabled(d[IDC_btnBack]));
    EXPECT_TRUE(IsWindowVisible(d[IDC_pbPecent]));

    d.Click(IDC_btnRun);
    std::string question;
    ASSERT_TRUE(WaitFor([&] { return host.AnswerBox(question, IDOK); }, 30));
    EXPECT_EQ("Do you really want to stop exporting and compiling?", question);
    const auto asked = std::chrono::steady_clock::now();
    // The button is back at once; it is usable again once the engine has returned.
    ASSERT_TRUE(WaitFor([&] { return TextOf(d[IDC_btnRun]) == "&Run" && IsWindowEnabled(d[IDC_btnRun]); }, 60))
        << d.Log();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    std::printf("stop honoured after %.2f s\n", seconds);
    const std::string log = d.Log();
    std::printf("log after the stop:\n%s\n", log.substr(log.size() > 600 ? log.size() - 600 : 0).c_str());
    EXPECT_EQ(std::string::npos, d.Log().find("Compiled help file:")) << d.Log();
    EXPECT_FALSE(IsWindowVisible(d[IDC_pbPecent]));
    EXPECT_FALSE(fs::exists(fs::path(W(out + "Big.chm"))));

    d.Click(IDC_btnClose);
    EXPECT_EQ(0, host.WaitExit(60)) << host.Output();
}

}  // namespace
