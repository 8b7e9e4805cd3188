// Engine 1 on Windows against the stand-in automation server (wordstandin.exe),
// registered as "Word.Application" in the registry of the Wine prefix the
// tests run in: a whole export, no server registered, a note that hangs.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "Utils/Utils.h"
#include "support/Os.h"
#include "tests/engine/EngineFixture.h"

namespace {

using qbtest::ReadFile;
using qbtest::WriteFile;

const char* kClsid = "{6C2B4A0E-5B1D-4F6A-9C3E-2A7D8E9F0B14}";
const char* kProgIdKey = "HKEY_LOCAL_MACHINE\\Software\\Classes\\Word.Application";
const std::string kClsidKey = std::string("HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\") + kClsid;

std::string Backslashed(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string RegString(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

int RunCommand(const std::string& line) { return std::system((line + " >NUL 2>&1").c_str()); }

void Unregister() {
    RunCommand(std::string("reg delete \"") + kProgIdKey + "\" /f");
    RunCommand("reg delete \"" + kClsidKey + "\" /f");
}

int CountStandIns() {
    int count = 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry))
        count += _wcsicmp(entry.szExeFile, L"wordstandin.exe") == 0;
    CloseHandle(snap);
    return count;
}

std::vector<std::string> LogLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

// The bytes the storage double holds for a note of that text.
std::string NoteSize(const std::string& text) {
    return std::to_string(std::string("{\\rtf1\\ansi " + text + "\\par}").size());
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class WordAutomation : public qbtest::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Unregister();
        a = store.AddItem("\\Organizer\\data\\", "5", "A");
        store.AddNote(a, "Text of A");
        b = store.AddItem(a, "8", "B");
        store.AddNote(b, "Text of B, longer");
        store.AddItem(a, "9", "C");  // no note: nothing to convert
        options.StartPath = a;
        options.ConvertMethod = 1;
        options.RolloverMenus = false;
        log = Backslashed(scratch.path() + "calls.log");
    }
    void TearDown() override { Unregister(); }

    // The stand-in as "Word.Application", imported from a .reg file as an installer would.
    void Register(const std::string& extra = "") {
        const std::string folder = qb::ExtractFilePath(qb::os::ModulePath(reinterpret_cast<const void*>(&CountStandIns)));
        const std::string server = Backslashed(folder + "wordstandin.exe");
        ASSERT_TRUE(qb::fs::FileExists(server)) << server;
        const std::string command = "\"" + server + "\" --log \"" + log + "\"" + extra;
        const std::string reg = scratch.path() + "word.reg";
        WriteFile(reg, "Windows Registry Editor Version 5.00\r\n\r\n[" + std::string(kProgIdKey) +
                           "\\CLSID]\r\n@=\"" + kClsid + "\"\r\n\r\n[" + kClsidKey + "\\LocalServer32]\r\n@=\"" +
                           RegString(command) + "\"\r\n");
        ASSERT_EQ(0, RunCommand("reg import \"" + Backslashed(reg) + "\""));
    }

    // The call log with the output folder shown as OUT.
    std::vector<std::string> Calls() const {
        std::string root = Lower(Backslashed(qb::fs::ExpandFileName(out.path())));
        while (!root.empty() && root.back() == '\\') root.pop_back();
        std::vector<std::string> calls;
        for (std::string line : LogLines(ReadFile(log))) {
            const std::size_t at = Lower(line).find(root);
            if (at != std::string::npos) line.replace(at, root.size(), "OUT");
            calls.push_back(line);
        }
        return calls;
    }

    qbtest::TempDir scratch;
    std::string a, b, log;
};

TEST_F(WordAutomation, ExportConvertsEveryNoteThroughOneServerAndQuitsIt) {
    ASSERT_NO_FATAL_FAILURE(Register());
    qbtest::ScopedEnv timeout("QB_WORD_TIMEOUT", "60");
    Run();
    EXPECT_EQ("", walkError);

    EXPECT_NE(std::string::npos, Read("A.html").find("<p>A.rtf, " + NoteSize("Text of A") + " bytes</p>"))
        << Read("A.html");
    EXPECT_NE(std::string::npos, Read("B.html").find("<p>B.rtf, " + NoteSize("Text of B, longer") + " bytes</p>"))
        << Read("B.html");
    EXPECT_TRUE(Exists("A_files/filelist.xml"));
    EXPECT_FALSE(Exists("A.rtf")) << "the notes file is removed after the conversion";
    EXPECT_NE(std::string::npos, Read("Help.hhp").find("A_files\\filelist.xml")) << Read("Help.hhp");

    const std::vector<std::string> expected = {
        "create",
        "put Visible false",
        "put DisplayAlerts false",
        "put ScreenUpdating false",
        "get Options",
        "put AutoFormatReplaceHyperlinks true",
        "call ChangeFileOpenDirectory OUT\\",
        "get Documents",
        "call Open OUT\\A.rtf",
        "call SaveAs OUT\\A.html 8",
        "call Close",
        "get Documents",
        "call Open OUT\\B.rtf",
        "call SaveAs OUT\\B.html 8",
        "call Close",
        "call Quit false",
        "exit"};
    EXPECT_EQ(expected, Calls());
    EXPECT_EQ(0, CountStandIns());
}

TEST_F(WordAutomation, WithoutARegisteredServerTheRunStopsBeforeAnyItem) {
    try {
        Run();
        FAIL() << "the run went on";
    } catch (const qb::Error& e) {
        EXPECT_EQ(
            "Can't create Word object. Please make sure you had installed the MS Word 2000 or higher version.\r\n"
            "Please select another RTF convert engine and try again.",
            std::string(e.what()));
    }
    EXPECT_FALSE(Exists("A.html"));
    EXPECT_FALSE(Exists("A.rtf"));
    for (const std::string& line : recorder.Lines()) EXPECT_NE('|', line[0]) << "an item was exported: " << line;
}

TEST_F(WordAutomation, NoteThatHangsIsNamedAndNoServerIsLeft) {
    ASSERT_NO_FATAL_FAILURE(Register(" --hang B.rtf"));
    qbtest::ScopedEnv timeout("QB_WORD_TIMEOUT", "5");
    Run();
    EXPECT_NE(std::string::npos, walkError.find("B.rtf")) << walkError;
    EXPECT_NE(std::string::npos, Read("A.html").find("<p>A.rtf, " + NoteSize("Text of A") + " bytes</p>"));
    const std::vector<std::string> calls = Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ("hanging", calls.back()) << "nothing more reached the server";
    EXPECT_EQ(0, CountStandIns());
}

}  // namespace
