#include "support/os/Win32Util.h"

#include <algorithm>
#include <cerrno>

#include "support/Error.h"
#include "support/Os.h"

namespace qb::os {

using namespace win;

namespace {

void (*gOnStop)() = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            if (gOnStop) gOnStop();
            return TRUE;
        default: return FALSE;
    }
}

// One argument as the C runtime's parser reads it back.
std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}

void CloseH(HANDLE& h) {
    if (h && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    h = nullptr;
}

// Anonymous pipes have no timed read: look for bytes until the deadline.
long long ReadPipe(HANDLE h, char* buffer, std::size_t size, int timeoutMs) {
    if (!h) return 0;
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        DWORD avail = 0;
        if (!::PeekNamedPipe(h, nullptr, 0, nullptr, &avail, nullptr))
            return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
        if (avail > 0) {
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>({size, avail, 1u << 20}));
            if (!::ReadFile(h, buffer, want, &got, nullptr)) return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
            return got;
        }
        if (timeoutMs >= 0 && ::GetTickCount64() >= deadline) return -2;
        ::Sleep(5);
    }
}

}  // namespace

struct StopRequests::Saved {
    void (*previous)();
};

StopRequests::StopRequests(void (*onStop)()) : saved_(new Saved{gOnStop}) {
    gOnStop = onStop;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopRequests::~StopRequests() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    gOnStop = saved_->previous;
}

struct Process::Impl {
    HANDLE process = nullptr;
    HANDLE job = nullptr;      // the program and its children, killed together
    HANDLE toChild = nullptr;  // the program's stdin
    HANDLE fromChild = nullptr;
    HANDLE output = nullptr;
    DWORD id = 0;
    int status = 0;
};

Process::Process(const std::string& program, const std::vector<std::string>& args, const Options& options)
    : impl_(new Impl) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr, childErr = nullptr;
    auto fail = [&](DWORD err) {
        CloseH(childIn);
        CloseH(childOut);
        CloseH(childErr);
        CloseH(impl_->toChild);
        CloseH(impl_->fromChild);
        CloseH(impl_->output);
        CloseH(impl_->job);
        throw Error(SystemMessage(err));
    };
    if (options.duplexChannel) {
        if (!::CreatePipe(&childIn, &impl_->toChild, &inherit, 0) ||
            !::CreatePipe(&impl_->fromChild, &childOut, &inherit, 0))
            fail(::GetLastError());
        ::SetHandleInformation(impl_->toChild, HANDLE_FLAG_INHERIT, 0);
        ::SetHandleInformation(impl_->fromChild, HANDLE_FLAG_INHERIT, 0);
    } else {
        childIn = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                nullptr);
    }
    if (options.captureOutput) {
        if (!::CreatePipe(&impl_->output, &childOut, &inherit, 0)) fail(::GetLastError());
        ::SetHandleInformation(impl_->output, HANDLE_FLAG_INHERIT, 0);
        ::DuplicateHandle(::GetCurrentProcess(), childOut, ::GetCurrentProcess(), &childErr, 0, TRUE,
                          DUPLICATE_SAME_ACCESS);
    } else if (!options.errorLog.empty()) {
        childErr = ::CreateFileW(WidePath(options.errorLog).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (!childOut) childOut = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    if (!childErr) childErr = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);

    std::wstring commandLine;
    for (const std::string& a : args) commandLine += (commandLine.empty() ? L"" : L" ") + Quote(ToWide(a));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = childIn;
    si.hStdOutput = childOut;
    si.hStdError = childErr;
    PROCESS_INFORMATION pi{};
    const bool search = program.find_first_of("/\\") == std::string::npos;
    const std::wstring wideProgram = search ? std::wstring() : WidePath(program);
    const std::wstring folder = options.folder.empty() ? std::wstring() : WidePath(options.folder);
    if (options.ownGroup) {
        impl_->job = ::CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (impl_->job)
            ::SetInformationJobObject(impl_->job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    // With no program path the system searches PATH for the command line's first word.
    if (!::CreateProcessW(search ? nullptr : wideProgram.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                          CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &si, &pi))
        fail(::GetLastError());
    if (impl_->job) ::AssignProcessToJobObject(impl_->job, pi.hProcess);
    ::ResumeThread(pi.hThread);
    ::CloseHandle(pi.hThread);
    CloseH(childIn);
    CloseH(childOut);
    CloseH(childErr);
    impl_->process = pi.hProcess;
    impl_->id = pi.dwProcessId;
}

Process::~Process() {
    if (impl_->process) {
        Kill();
        Wait();
    }
    CloseH(impl_->toChild);
    CloseH(impl_->fromChild);
    CloseH(impl_->output);
    CloseH(impl_->job);
}

bool Process::Send(const std::string& bytes) {
    std::size_t done = 0;
    while (impl_->toChild && done < bytes.size()) {
        DWORD put = 0;
        if (!::WriteFile(impl_->toChild, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &put, nullptr))
            return false;
        done += put;
    }
    return done == bytes.size();
}

long long Process::Receive(char* buffer, std::size_t size, int timeoutMs) {
    return ReadPipe(impl_->fromChild, buffer, size, timeoutMs);
}

long long Process::ReadOutput(char* buffer, std::size_t size, int timeoutMs) {
    return ReadPipe(impl_->output, buffer, size, timeoutMs);
}

bool Process::Running() {
    if (!impl_->process) return false;
    if (::WaitForSingleObject(impl_->process, 0) == WAIT_TIMEOUT) return true;
    Wait();
    return false;
}

int Process::Wait() {
    if (impl_->process) {
        ::WaitForSingleObject(impl_->process, INFINITE);
        DWORD code = 0;
        ::GetExitCodeProcess(impl_->process, &code);
        impl_->status = static_cast<int>(code);
        CloseH(impl_->process);
    }
    return impl_->status;
}

void Process::Kill() {
    if (!impl_->process) return;
    if (impl_->job)
        ::TerminateJobObject(impl_->job, 1);
    else
        ::TerminateProcess(impl_->process, 1);
}

int Process::Id() const { return static_cast<int>(impl_->id); }

void Process::KillGroup(int id) {
    if (id <= 0) return;
    HANDLE h = ::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(id));
    if (!h) return;
    ::TerminateProcess(h, 1);
    ::CloseHandle(h);
}

}  // namespace qb::os
