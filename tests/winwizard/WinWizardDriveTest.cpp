// Drives the Windows wizard as a user would: qbhost.exe loads Quillbook.dll and
// runs the command; this program finds the wizard's window in that process and
// works its controls by their ids.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
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

// The window's text; false when its thread did not answer (busy, or taken for hung).
bool TryTextOf(HWND w, std::string& text) {
    wchar_t buffer[65536] = {};
    if (!SendMessageTimeoutW(w, WM_GETTEXT, 65536, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, nullptr))
        return false;
    text = U(buffer);
    return true;
}

std::string TextOf(HWND w) {
    std::string text;
    TryTextOf(w, text);
    return text;
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
    DWORD ThreadId() const { return pi_.dwThreadId; }
    // Threads the host runs now.
    int Threads() const {
        int count = 0;
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        THREADENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Thread32First(snap, &entry); more; more = Thread32Next(snap, &entry))
            count += entry.th32OwnerProcessID == pi_.dwProcessId;
        CloseHandle(snap);
        return count;
    }
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
            // A box whose text cannot be read yet (its thread busy on a loaded machine) is
            // answered on a later look, never blind.
            if (!label || !TryTextOf(label, text)) continue;
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

    const auto closing = std::chrono::steady_clock::now();
    d.Click(IDC_btnClose);
    const long code = host.WaitExit(60);
    std::printf("host ended %.1f s after Close\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - closing).count());
    std::string shown;
    for (HWND box : host.Windows(L"#32770")) shown += "a box shows \"" + TextOf(GetDlgItem(box, 0xFFFF)) + "\"\n";
    EXPECT_EQ(0, code) << (IsWindow(wizard) ? "the wizard is still open\n" : "the wizard closed, the host went on\n")
                       << shown << host.Output();
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
    EXPECT_EQ("&Exportbereich:", TextOf(d[IDC_rgDataSource]));
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

    const int threadsBefore = host.Threads();
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
    // The run's thread is gone with it.
    EXPECT_TRUE(WaitFor([&] { return host.Threads() <= threadsBefore; }, 10))
        << host.Threads() << " threads, " << threadsBefore << " before the run";

    d.Click(IDC_btnClose);
    EXPECT_EQ(0, host.WaitExit(60)) << host.Output();
}

// --- Tooltips ------------------------------------------------------------------------

// Two languages giving hints by control name; "Other" changes one and clears one.
const char* const kHintLanguages =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Languages>\r\n"
    "<Language Name=\"Hints\" LangID=\"1033\"><Forms><Form Name=\"TFrmMain\">\r\n"
    "<Control Name=\"btnNext\"><Caption>&amp;Next &gt;</Caption><Hint>Goes to the next page</Hint></Control>\r\n"
    "<Control Name=\"btnAbout\"><Caption>&amp;About...</Caption><Hint>Who made it</Hint></Control>\r\n"
    "<Control Name=\"lblLanguage\"><Caption>* &amp;Select UI Language:</Caption><Hint>Pick a language</Hint></Control>\r\n"
    "</Form></Forms></Language>\r\n"
    "<Language Name=\"Other\" LangID=\"1033\"><Forms><Form Name=\"TFrmMain\">\r\n"
    "<Control Name=\"btnNext\"><Caption>&amp;Next &gt;</Caption><Hint>Onward</Hint></Control>\r\n"
    "<Control Name=\"btnAbout\"><Caption>&amp;About...</Caption><Hint></Hint></Control>\r\n"
    "</Form></Forms></Language>\r\n</Languages>\r\n";

// Rests the mouse on the control; the text of the host's tooltip once one shows, else "".
std::string TooltipOver(const THost& host, HWND control, int seconds) {
    RECT r;
    GetWindowRect(control, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    std::string text;
    WaitFor(
        [&] {
            for (HWND tip : host.Windows(L"tooltips_class32"))
                if (!(text = TextOf(tip)).empty()) return true;
            return false;
        },
        seconds);
    return text;
}

// The mouse on a place without a hint, until no tooltip shows.
void MouseAway(const THost& host, HWND place) {
    RECT r;
    GetWindowRect(place, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    WaitFor([&] { return host.Windows(L"tooltips_class32").empty(); }, 10);
}

TEST(WinWizard, TooltipsShowTheLanguagesHintsAndFollowASwitch) {
    REQUIRE_DISPLAY();
    TempDir tmp;
    const std::string dir = PluginFolder(tmp);
    WriteFile(dir + "Quillbook.lng", kHintLanguages);
    const std::string db = dir + "sample.kvdb";
    ASSERT_EQ(1, dvo_import(QB_SOURCE_DIR "/examples/sample", db.c_str())) << dvo_last_error();
    THost host(dir, HostValues(db, "\\Organizer\\data\\2\\3\\"));
    ASSERT_TRUE(host.Started());
    std::vector<std::string> boxes;
    HWND wizard = host.Wizard(boxes);
    ASSERT_NE(nullptr, wizard) << host.Output();
    TDriver d(wizard);
    const HWND away = d[IDC_imgWizard];

    // The built-in English texts carry no hints.
    MouseAway(host, away);
    EXPECT_EQ("", TooltipOver(host, d[IDC_btnNext], 3));

    ChooseLanguage(d, "Hints");
    MouseAway(host, away);
    EXPECT_EQ("Goes to the next page", TooltipOver(host, d[IDC_btnNext], 10));
    MouseAway(host, away);
    EXPECT_EQ("Who made it", TooltipOver(host, d[IDC_btnAbout], 10));
    MouseAway(host, away);
    // A label takes the mouse once it has a hint.
    EXPECT_EQ("Pick a language", TooltipOver(host, d[IDC_lblLanguage], 10));

    // Another language: a hint is re-texted, an empty hint removes the tip; a control the
    // language leaves out keeps its hint.
    ChooseLanguage(d, "Other");
    MouseAway(host, away);
    EXPECT_EQ("Onward", TooltipOver(host, d[IDC_btnNext], 10));
    MouseAway(host, away);
    EXPECT_EQ("", TooltipOver(host, d[IDC_btnAbout], 3));
    MouseAway(host, away);
    EXPECT_EQ("Pick a language", TooltipOver(host, d[IDC_lblLanguage], 10));

    MouseAway(host, away);
    d.Click(IDC_btnClose);
    EXPECT_EQ(0, host.WaitExit(60)) << host.Output();
}

// --- The language button -------------------------------------------------------------

// The host's box holding an input field, once it shows.
HWND InputBox(const THost& host) {
    HWND found = nullptr;
    WaitFor(
        [&] {
            for (HWND box : host.Windows(L"#32770"))
                if (GetDlgItem(box, IDC_inputText)) found = box;
            return found != nullptr;
        },
        30);
    return found;
}

TEST(WinWizard, LanguageButtonWritesTheWizardAsANewLanguage) {
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
    // The button stays out of the user's way.
    EXPECT_FALSE(IsWindowVisible(d[IDC_btnLang]));
    EXPECT_FALSE(IsWindowEnabled(d[IDC_btnLang]));
    ChooseLanguage(d, "Deutsch");
    const std::string before = ReadFile(dir + "Quillbook.lng");

    auto press = [&] {
        PostMessageW(wizard, WM_COMMAND, MAKEWPARAM(IDC_btnLang, BN_CLICKED), reinterpret_cast<LPARAM>(d[IDC_btnLang]));
        return InputBox(host);
    };
    // Cancelled: nothing is written.
    HWND box = press();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Sprache", TextOf(box)) << "the button's caption, without its key marker";
    SetTextOf(GetDlgItem(box, IDC_inputText), "Nope");
    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitFor([&] { return InputBox(host) == nullptr || !IsWindow(box); }, 10));
    Sleep(500);
    EXPECT_EQ(before, ReadFile(dir + "Quillbook.lng"));

    box = press();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Bitte geben Sie den Namen der Sprache ein", TextOf(GetDlgItem(box, IDC_inputPrompt)));
    SetTextOf(GetDlgItem(box, IDC_inputText), "Testisch");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    std::string written;
    ASSERT_TRUE(WaitFor(
        [&] { return (written = ReadFile(dir + "Quillbook.lng")).find("<Language Name=\"Testisch\"") != std::string::npos; },
        20))
        << written;
    const std::string added = written.substr(written.find("<Language Name=\"Testisch\""));
    // The languages there before stay; the new one holds the message table and the window as shown.
    EXPECT_NE(std::string::npos, written.find("<Language Name=\"Deutsch\""));
    EXPECT_NE(std::string::npos, added.find("<Text ID=\"30\">")) << added.substr(0, 2000);
    EXPECT_NE(std::string::npos, added.find("<Form Name=\"TFrmMain\">")) << added.substr(0, 2000);
    const std::size_t next = added.find("<Control Name=\"btnNext\">");
    ASSERT_NE(std::string::npos, next) << added;
    EXPECT_EQ(added.find("<Caption>&amp;Weiter &gt;</Caption>", next), added.find("<Caption>", next)) << added.substr(next, 200);

    d.Click(IDC_btnClose);
    EXPECT_EQ(0, host.WaitExit(60)) << host.Output();
}

// --- Keyboard ---------------------------------------------------------------------------

// Each page's tab stops in the order of its controls, then the buttons below the pages.
const std::vector<std::vector<int>> kTabOrder = {
    {IDC_cbbLanguage},
    {IDC_rgDataSource0, IDC_rgConverter0},
    {IDC_chkAttachments, IDC_chkOverWrite, IDC_chkClearTempFile, IDC_chkKeepDir, IDC_chkNiceDirName,
     IDC_chkIgnoreTopNode, IDC_chkIgnoreEmptyNode, IDC_chkSubItems, IDC_chkNavLink, IDC_chkMakePopupMenu,
     IDC_cbbEncoding},
    {IDC_mmoHeader, IDC_mmoFooter},
    {IDC_cbbCHMLanguage, IDC_chkFullSearch, IDC_cbbCHMWinSize, IDC_chkOnTop, IDC_edtCHMTitle, IDC_chkMakeIndex,
     IDC_chkCHMTab, IDC_edtCHMTabWidth, IDC_cbbDefaultTab, IDC_chklstTabStyles, IDC_chklstWinBtns,
     IDC_edtUserButtonCaption, IDC_edtUserButtonURL, IDC_btnBrowseJump1},
    {IDC_edtDefaultPage, IDC_btnBrowseDefaultPage, IDC_edtRootPath, IDC_btnBrowserPath, IDC_lstAttachFiles,
     IDC_btnAddAttachs, IDC_btnRemoveAttachs, IDC_edtCHMFileName, IDC_btnChmFileName, IDC_chkOpenCHMFile, IDC_chkSite},
    {IDC_btnRun, IDC_mmoLogMsg},
};

// Labels and groups whose key moves to the control they name.
const std::map<int, int> kKeyTargets = {
    {IDC_lblLanguage, IDC_cbbLanguage},       {IDC_rgDataSource, IDC_rgDataSource0},
    {IDC_rgConverter, IDC_rgConverter0},
    {IDC_lblCHMLanguage, IDC_cbbCHMLanguage}, {IDC_lblCHMWinSize, IDC_cbbCHMWinSize},
    {IDC_lblCHMTitle, IDC_edtCHMTitle},       {IDC_grpCHMTab, IDC_chkCHMTab},
    {IDC_lblDefaultTab, IDC_cbbDefaultTab},   {IDC_grpWinBtns, IDC_chklstWinBtns},
};

// The key a caption gives ("&&" is a plain "&"), 0 when none.
wchar_t KeyOf(const std::string& caption) {
    const std::wstring w = W(caption);
    for (std::size_t i = 0; i + 1 < w.size(); ++i) {
        if (w[i] != L'&') continue;
        if (w[i + 1] == L'&') {
            ++i;
            continue;
        }
        return static_cast<wchar_t>(towupper(w[i + 1]));
    }
    return 0;
}

HWND FocusOf(const THost& host) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(host.ThreadId(), &info) ? info.hwndFocus : nullptr;
}

bool IsOrHolds(HWND control, HWND focus) { return focus && (focus == control || IsChild(control, focus)); }

// Every visible child of the page, or of the frame outside the pages, that shows a key.
std::vector<HWND> KeyedControls(HWND parent) {
    std::vector<HWND> found;
    for (HWND w = GetWindow(parent, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (!IsWindowVisible(w) || (GetWindowLongW(w, GWL_STYLE) & DS_CONTROL)) continue;
        wchar_t cls[32] = {};
        GetClassNameW(w, cls, 32);
        if (lstrcmpiW(cls, L"Static") == 0 && (GetWindowLongW(w, GWL_STYLE) & SS_NOPREFIX)) continue;
        if (lstrcmpiW(cls, L"Edit") == 0 || lstrcmpiW(cls, L"ComboBox") == 0) continue;
        if (KeyOf(TextOf(w))) found.push_back(w);
    }
    return found;
}

void CheckPageKeys(const THost& host, const TDriver& d, int page, const std::string& language) {
    SCOPED_TRACE("page " + std::to_string(page) + ", " + language);
    HWND wizard = d.Window();
    HWND pageWindow = GetParent(d[kTabOrder[static_cast<std::size_t>(page)].front()]);
    ASSERT_TRUE(IsWindowVisible(pageWindow));

    // Tab order: from the page's first stop through the page, then the buttons below it.
    std::vector<int> expected = kTabOrder[static_cast<std::size_t>(page)];
    // Tab enters a radio group at its chosen button.
    for (int& id : expected) {
        for (int group : {IDC_rgDataSource, IDC_rgConverter}) {
            if (id != group + 1) continue;
            for (int b = group + 1; GetDlgItem(pageWindow, b) && b <= group + 3; ++b)
                if (SendMessageW(GetDlgItem(pageWindow, b), BM_GETCHECK, 0, 0) == BST_CHECKED) id = b;
        }
    }
    for (int id : {IDC_btnAbout, IDC_btnBack, IDC_btnNext, IDC_btnClose})
        if (IsWindowEnabled(d[id]) && IsWindowVisible(d[id])) expected.push_back(id);
    std::vector<int> order;
    HWND first = d[expected.front()];
    HWND at = first;
    for (std::size_t i = 0; i < expected.size() + 4 && at; ++i) {
        order.push_back(GetDlgCtrlID(at));
        at = GetNextDlgTabItem(wizard, at, FALSE);
        if (at == first) break;
    }
    EXPECT_EQ(expected, order);

    // Keys: one control per key among the page and the buttons below it.
    std::vector<HWND> keyed = KeyedControls(pageWindow);
    for (HWND w : KeyedControls(wizard)) keyed.push_back(w);
    std::map<wchar_t, std::vector<std::string>> byKey;
    for (HWND w : keyed) byKey[KeyOf(TextOf(w))].push_back(TextOf(w));
    for (const auto& [key, captions] : byKey) {
        std::string all;
        for (const std::string& c : captions) all += "\"" + c + "\" ";
        EXPECT_EQ(1u, captions.size()) << "Alt+" << static_cast<char>(key) << " is shared by " << all;
    }

    // Each key of the page reaches its control, pressed where the focus is.
    for (HWND w : KeyedControls(pageWindow)) {
        const int id = GetDlgCtrlID(w);
        const wchar_t key = KeyOf(TextOf(w));
        wchar_t cls[32] = {};
        GetClassNameW(w, cls, 32);
        const LONG type = GetWindowLongW(w, GWL_STYLE) & BS_TYPEMASK;
        const bool pushButton = lstrcmpiW(cls, L"Button") == 0 && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
        if (pushButton || !IsWindowEnabled(w)) continue;  // a push button would act: its key is only checked unique
        HWND focus = FocusOf(host);
        const LRESULT mark = SendMessageW(w, BM_GETCHECK, 0, 0);
        PostMessageW(focus ? focus : wizard, WM_SYSCHAR, static_cast<WPARAM>(towlower(key)), 0x20000000);
        auto target = kKeyTargets.find(id);
        if (target != kKeyTargets.end()) {
            EXPECT_TRUE(WaitFor([&] { return IsOrHolds(d[target->second], FocusOf(host)); }, 5))
                << TextOf(w) << " moved the focus to id " << GetDlgCtrlID(FocusOf(host));
        } else {
            // A check box takes the key as a click: its mark changes, and changes back on a second press.
            EXPECT_TRUE(WaitFor([&] { return SendMessageW(w, BM_GETCHECK, 0, 0) != mark; }, 5)) << TextOf(w);
            PostMessageW(w, WM_SYSCHAR, static_cast<WPARAM>(towlower(key)), 0x20000000);
            EXPECT_TRUE(WaitFor([&] { return SendMessageW(w, BM_GETCHECK, 0, 0) == mark; }, 5)) << TextOf(w);
        }
    }
}

TEST(WinWizard, TabOrderAndKeysFollowEachPage) {
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

    // Enter closes the wizard outside the memos; the memos keep it as a new line.
    for (int id : {IDC_mmoHeader, IDC_mmoFooter})
        EXPECT_TRUE(SendMessageW(d[id], WM_GETDLGCODE, VK_RETURN, 0) & DLGC_WANTALLKEYS) << id;
    for (int id : {IDC_edtCHMTitle, IDC_edtRootPath, IDC_btnNext})
        EXPECT_FALSE(SendMessageW(d[id], WM_GETDLGCODE, VK_RETURN, 0) & DLGC_WANTALLKEYS) << id;

    for (const std::string language : {"Default(En) *", "Deutsch"}) {
        ChooseLanguage(d, language);
        for (int page = 0; page < 7; ++page) {
            if (page > 0) {
                const std::string before = TextOf(wizard);
                d.Click(IDC_btnNext);
                ASSERT_TRUE(WaitFor([&] { return TextOf(wizard) != before; }, 10));
            }
            CheckPageKeys(host, d, page, language);
        }
        for (int page = 6; page > 0; --page) {
            const std::string before = TextOf(wizard);
            d.Click(IDC_btnBack);
            ASSERT_TRUE(WaitFor([&] { return TextOf(wizard) != before; }, 10));
        }
    }

    d.Click(IDC_btnClose);
    EXPECT_EQ(0, host.WaitExit(60)) << host.Output();
}

// --- Another DPI ---------------------------------------------------------------------------

// The system DPI that processes started from now on take, in the prefix's registry; the
// previous one comes back with the scope.
class TSystemDpi {
public:
    explicit TSystemDpi(int dpi) {
        DWORD value = 0, size = sizeof value;
        if (RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", RRF_RT_REG_DWORD, nullptr, &value,
                         &size) == ERROR_SUCCESS)
            previous_ = static_cast<int>(value);
        Write(dpi);
    }
    ~TSystemDpi() {
        if (previous_ > 0) {
            Write(previous_);
        } else {
            HKEY key;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                RegDeleteValueW(key, L"LogPixels");
                RegCloseKey(key);
            }
        }
    }

private:
    static void Write(int dpi) {
        const DWORD value = static_cast<DWORD>(dpi);
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &value, sizeof value);
    }
    int previous_ = 0;
};

std::wstring ClassOf(HWND w) {
    wchar_t cls[64] = {};
    GetClassNameW(w, cls, 64);
    return cls;
}

// Where a control's text does not fit the control at that DPI: "" when it fits. The font is
// the one the wizard gives the control: the dialogs' Tahoma 9 pt, the link labels in bold,
// the Run button in Times New Roman 16 px bold, all scaled to the DPI.
std::string Clipped(HWND w, int dpi) {
    const int id = GetDlgCtrlID(w);
    const std::wstring cls = ClassOf(w);
    const LONG style = GetWindowLongW(w, GWL_STYLE);
    const bool isStatic = lstrcmpiW(cls.c_str(), L"Static") == 0, isButton = lstrcmpiW(cls.c_str(), L"Button") == 0;
    if (!isStatic && !isButton) return "";
    if (isStatic && (style & SS_TYPEMASK) == SS_OWNERDRAW) return "";
    if (id == IDC_lblFontPreview) return "";  // the user's sample font, centred in a large box
    const std::wstring text = W(TextOf(w));
    if (text.empty()) return "";

    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(9, dpi, 72);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpyW(lf.lfFaceName, L"Tahoma");
    if (id == IDC_lblWebSite || id == IDC_lblMailUs) {
        lf.lfWeight = FW_BOLD;
        lf.lfUnderline = TRUE;
    } else if (id == IDC_btnRun) {
        lf.lfHeight = -MulDiv(16, dpi, 96);
        lf.lfWeight = FW_BOLD;
        lstrcpyW(lf.lfFaceName, L"Times New Roman");
    }
    HFONT font = CreateFontIndirectW(&lf);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    RECT client;
    GetClientRect(w, &client);
    const int width = client.right, height = client.bottom;
    const UINT prefix = (isStatic && (style & SS_NOPREFIX)) ? DT_NOPREFIX : 0;
    std::string why;
    const LONG type = style & BS_TYPEMASK;
    if (isStatic) {
        // A label wraps at its width: every line must show.
        RECT need{0, 0, width, 0};
        DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | prefix);
        if (need.right > width || need.bottom > height)
            why = "needs " + std::to_string(need.right) + "x" + std::to_string(need.bottom);
    } else {
        RECT need{0, 0, 0, 0};
        DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_SINGLELINE);
        int room = width, rows = height;
        if (type == BS_GROUPBOX) {
            room = width - MulDiv(16, dpi, 96);  // the frame's corners beside the caption
            rows = height;
        } else if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX || type == BS_AUTORADIOBUTTON ||
                   type == BS_RADIOBUTTON) {
            room = width - MulDiv(16, dpi, 96);  // the box or circle and the gap after it
        } else {
            room = width - MulDiv(6, dpi, 96);  // the push button's edges
        }
        if (need.right > room || need.bottom > rows)
            why = "needs " + std::to_string(need.right) + "x" + std::to_string(need.bottom) + " in " +
                  std::to_string(room) + "x" + std::to_string(rows);
    }
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    return why.empty() ? "" : "\"" + TextOf(w) + "\" (id " + std::to_string(id) + ") " + why;
}

// Every control's text on the page shown and on the frame fits its control.
void CheckNothingClipped(HWND wizard, HWND page, int dpi, std::vector<std::string>& clipped) {
    for (HWND parent : {wizard, page})
        for (HWND w = GetWindow(parent, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
            if (IsWindowVisible(w) && !(GetWindowLongW(w, GWL_STYLE) & DS_CONTROL))
                if (std::string why = Clipped(w, dpi); !why.empty()) clipped.push_back(why);
}

TEST(WinWizard, At144DpiNoTextIsClipped) {
    REQUIRE_DISPLAY();
    constexpr int kDpi = 144;
    TempDir tmp;
    const std::string dir = PluginFolder(tmp);
    const std::string db = dir + "sample.kvdb";
    ASSERT_EQ(1, dvo_import(QB_SOURCE_DIR "/examples/sample", db.c_str())) << dvo_last_error();
    TSystemDpi dpi(kDpi);
    THost host(dir, HostValues(db, "\\Organizer\\data\\2\\3\\"));
    ASSERT_TRUE(host.Started());
    std::vector<std::string> boxes;
    HWND wizard = host.Wizard(boxes);
    ASSERT_NE(nullptr, wizard) << host.Output();
    TDriver d(wizard);
    // The wizard took the DPI: its client area grew with it (492 pixels wide at 96).
    RECT client;
    GetClientRect(wizard, &client);
    if (client.right < 492 * kDpi / 96 - 20) {
        d.Click(IDC_btnClose);
        host.WaitExit(60);
        GTEST_SKIP() << "the system here does not take LogPixels=" << kDpi << " (the wizard is " << client.right
                     << " pixels wide)";
    }

    for (const std::string language : {"Default(En) *", "Deutsch"}) {
        ChooseLanguage(d, language);
        std::vector<std::string> clipped;
        for (int page = 0; page < 7; ++page) {
            if (page > 0) {
                const std::string before = TextOf(wizard);
                d.Click(IDC_btnNext);
                ASSERT_TRUE(WaitFor([&] { return TextOf(wizard) != before; }, 10));
            }
            CheckNothingClipped(wizard, GetParent(d[kTabOrder[static_cast<std::size_t>(page)].front()]), kDpi, clipped);
        }
        std::string all;
        for (const std::string& c : clipped) all += "\n  " + c;
        EXPECT_TRUE(clipped.empty()) << language << ", clipped at " << kDpi << " dpi:" << all;
        for (int page = 6; page > 0; --page) {
            const std::string before = TextOf(wizard);
            d.Click(IDC_btnBack);
            ASSERT_TRUE(WaitFor([&] { return TextOf(wizard) != before; }, 10));
        }
    }
    d.Click(IDC_btnClose);
    EXPECT_EQ(0, host.WaitExit(60)) << host.Output();
}

}  // namespace
