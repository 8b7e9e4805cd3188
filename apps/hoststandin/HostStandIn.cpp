// The outliner's side of the add-on protocol on Windows: loads the plug-in
// with LoadLibraryW as the host does, calls its four exports and prints what
// came back, so tests can check the module the way the host sees it.
//   qbhost.exe PLUGIN.dll [HOST-VALUES-FILE]
// The command export runs only when a host-values file is given. Values that
// name "Database.FullPath" but no "Database.HANDLE" get the handle of that
// database opened through dvo.dll, as the host reports its open database.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "host/Exports.h"

namespace {

constexpr int kBufferSize = QB_HOST_BUFFER_SIZE;
// Filled before each call: a write past the terminating zero shows up.
constexpr char kFill = '\x5A';

std::wstring Wide(const char* text) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring out(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), n);
    return out;
}

// Text up to the zero, and whether anything after it was touched.
std::string Taken(const char* buffer, bool& overrun) {
    const std::size_t n = strnlen(buffer, kBufferSize);
    overrun = n == static_cast<std::size_t>(kBufferSize);
    for (std::size_t i = n + 1; i < static_cast<std::size_t>(kBufferSize) && !overrun; ++i)
        overrun = buffer[i] != kFill;
    return std::string(buffer, n);
}

// GetProcAddress's type says nothing of the export's; the protocol does.
template <class T>
T Export(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Plays the user at message boxes the command shows: prints each box's text
// and presses its default button, and closes the wizard, so the command returns
// without a person.
class BoxAnswerer {
public:
    BoxAnswerer() : thread_([this] { Run(); }) {}
    ~BoxAnswerer() {
        done_ = true;
        thread_.join();
    }

private:
    static BOOL CALLBACK Visit(HWND window, LPARAM) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        wchar_t kind[16] = {};
        GetClassNameW(window, kind, 16);
        const bool wizard = std::wcscmp(kind, L"QuillbookWizard") == 0;
        if (process != GetCurrentProcessId() || (!wizard && std::wcscmp(kind, L"#32770") != 0) ||
            !IsWindowVisible(window))
            return TRUE;
        static HWND answered = nullptr;  // once per box, while it closes
        if (window == answered) return TRUE;
        answered = window;
        if (wizard) {
            // The wizard is closed as it shows; its caption names the first page.
            wchar_t caption[512] = {};
            GetWindowTextW(window, caption, 512);
            char utf8[2048] = {};
            WideCharToMultiByte(CP_UTF8, 0, caption, -1, utf8, sizeof utf8, nullptr, nullptr);
            std::printf("wizard=%s\n", utf8);
            std::fflush(stdout);
            PostMessageW(window, WM_CLOSE, 0, 0);
            return TRUE;
        }
        wchar_t text[2048] = {};
        GetDlgItemTextW(window, 0xFFFF, text, 2048);  // a message box's text control
        char utf8[8192] = {};
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
        std::printf("box=%s\n", utf8);
        std::fflush(stdout);
        PostMessageW(window, WM_COMMAND, IDOK, 0);
        return TRUE;
    }
    void Run() {
        while (!done_) {
            EnumWindows(&Visit, 0);
            Sleep(100);
        }
    }
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// Value of a key=value line (key without regard to case), empty when absent.
std::string HostValue(const std::string& values, const std::string& key, bool& present) {
    present = false;
    std::size_t start = 0;
    while (start < values.size()) {
        std::size_t end = values.find_first_of("\r\n", start);
        if (end == std::string::npos) end = values.size();
        const std::string line = values.substr(start, end - start);
        if (line.size() > key.size() && line[key.size()] == '=' && _strnicmp(line.c_str(), key.c_str(), key.size()) == 0) {
            present = true;
            return line.substr(key.size() + 1);
        }
        start = end + 1;
    }
    return "";
}

void OpenNamedDatabase(std::string& values) {
    bool hasHandle = false, hasPath = false;
    HostValue(values, "Database.HANDLE", hasHandle);
    const std::string path = HostValue(values, "Database.FullPath", hasPath);
    if (hasHandle || !hasPath || path.empty()) return;
    HMODULE dvo = LoadLibraryW(L"dvo.dll");
    using Open = int (*)(const char*);
    auto open = dvo ? Export<Open>(dvo, "dvo_open") : nullptr;
    const int handle = open ? open(path.c_str()) : 0;
    std::printf("database=%d\n", handle);
    if (!values.empty() && values.back() != '\n') values += "\r\n";
    values += "Database.HANDLE=" + std::to_string(handle) + "\r\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: qbhost PLUGIN.dll [HOST-VALUES-FILE]\n");
        return 2;
    }
    HMODULE module = LoadLibraryW(Wide(argv[1]).c_str());
    if (!module) {
        std::fprintf(stderr, "qbhost: cannot load %s: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    auto checkdll = Export<kvn_checkdll_proc>(module, "_kvn_addon_checkdll");
    auto description = Export<kvn_buffer_proc>(module, "_kvn_addon_description");
    auto query = Export<kvn_buffer_proc>(module, "_kvn_addon_queryinterface");
    auto command = Export<kvn_command_proc>(module, "_kvn_addon_ovel2html");
    if (!checkdll || !description || !query || !command) {
        std::fprintf(stderr, "qbhost: %s lacks an add-on export\n", argv[1]);
        return 1;
    }
    std::printf("checkdll(2,3)=%d\n", checkdll(2, 3));
    std::printf("checkdll(2147483647,1)=%d\n", checkdll(2147483647, 1));

    static char buffer[kBufferSize];
    bool overrun = false;
    std::memset(buffer, kFill, sizeof buffer);
    const int d = description(buffer, kBufferSize);
    std::string text = Taken(buffer, overrun);
    std::printf("description=%d bytes=%zu overrun=%d\n%s\n", d, text.size(), overrun ? 1 : 0, text.c_str());

    std::memset(buffer, kFill, sizeof buffer);
    const int q = query(buffer, kBufferSize);
    text = Taken(buffer, overrun);
    std::printf("queryinterface=%d bytes=%zu overrun=%d\n%s", q, text.size(), overrun ? 1 : 0, text.c_str());

    if (argc > 2) {
        std::string values;
        if (FILE* f = std::fopen(argv[2], "rb")) {
            char chunk[4096];
            std::size_t n;
            while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) values.append(chunk, n);
            std::fclose(f);
        }
        OpenNamedDatabase(values);
        // QB_HOST_NO_ANSWERS: a test plays the user itself.
        const char* quiet = std::getenv("QB_HOST_NO_ANSWERS");
        std::unique_ptr<BoxAnswerer> answerer;
        if (!quiet || !*quiet) answerer = std::make_unique<BoxAnswerer>();
        const int result = command(values.c_str(), 0);
        std::printf("ovel2html=%d\n", result);
    }
    std::fflush(stdout);
    FreeLibrary(module);
    return 0;
}
