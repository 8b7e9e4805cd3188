// Automation servers through COM, late-bound: CLSIDFromProgID, then
// GetIDsOfNames and Invoke on IDispatch. Every call runs on a thread of its
// own that the caller waits for with a limit, so a server that hangs is ended
// (by the process ids it started with) instead of hanging the run.
#include "support/os/Win32Util.h"

#include <objbase.h>
#include <oleauto.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <cwctype>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "support/Automation.h"

namespace qb::os {

using namespace win;

namespace {

std::string HresultText(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    const std::string text = SystemMessage(static_cast<DWORD>(hr));
    return text.empty() ? std::string(code) : text + " (" + code + ")";
}

std::wstring LowerWide(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(towlower(c));
    return s;
}

// The file name of the program a class starts: LocalServer32's first word.
std::wstring ServerProgram(const CLSID& clsid) {
    LPOLESTR text = nullptr;
    if (FAILED(StringFromCLSID(clsid, &text))) return L"";
    const std::wstring key = L"CLSID\\" + std::wstring(text) + L"\\LocalServer32";
    CoTaskMemFree(text);
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return L"";
    wchar_t value[2048] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    const LONG read = RegQueryValueExW(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(handle);
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return L"";
    std::wstring line(value);
    std::wstring program;
    if (!line.empty() && line[0] == L'"')
        program = line.substr(1, line.find(L'"', 1) - 1);
    else
        program = line.substr(0, line.find(L' '));
    const std::size_t slash = program.find_last_of(L"\\/");
    return LowerWide(slash == std::wstring::npos ? program : program.substr(slash + 1));
}

// Running processes of that program file.
std::set<DWORD> ProcessesOf(const std::wstring& program) {
    std::set<DWORD> ids;
    if (program.empty()) return ids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry))
        if (LowerWide(entry.szExeFile) == program) ids.insert(entry.th32ProcessID);
    CloseHandle(snap);
    return ids;
}

VARIANT ToVariant(const AutomationArg& arg) {
    VARIANT v;
    VariantInit(&v);
    if (const bool* b = std::get_if<bool>(&arg)) {
        v.vt = VT_BOOL;
        v.boolVal = *b ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (const int* i = std::get_if<int>(&arg)) {
        v.vt = VT_I4;
        v.lVal = *i;
    } else {
        const std::wstring text = std::holds_alternative<std::string>(arg)
                                      ? ToWide(std::get<std::string>(arg))
                                      : ToWide(Utf8Path(WidePath(std::get<AutomationPath>(arg).path)));
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    return v;
}

// What the worker thread and its callers share; outlives a caller that gave up.
struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> tasks;
    bool stop = false;
    std::map<int, IDispatch*> objects;  // used on the worker thread only
    int nextHandle = 1;
    std::wstring program;     // the server's program file, lower case
    std::set<DWORD> before;   // its processes that ran before the creation
};

// One call's arguments and results, kept alive by the worker when the caller
// has given up waiting.
struct CallState {
    int object = 0;
    std::string name;
    WORD flags = 0;
    std::vector<AutomationArg> args;
    HRESULT hr = S_OK;
    std::string reason;
    int handle = -1;
};

void Work(std::shared_ptr<Shared> shared) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    while (true) {
        std::function<void()> task;
        {
            std::unique_lock lock(shared->mutex);
            shared->changed.wait(lock, [&] { return shared->stop || !shared->tasks.empty(); });
            if (shared->tasks.empty()) break;
            task = std::move(shared->tasks.front());
            shared->tasks.pop_front();
        }
        task();
    }
    for (auto& [handle, object] : shared->objects) object->Release();
    shared->objects.clear();
    CoUninitialize();
}

class ComServer : public IAutomationServer {
public:
    ComServer(const std::string& progId, double timeoutSeconds)
        : progId_(progId), timeout_(std::chrono::milliseconds(static_cast<long long>(timeoutSeconds * 1000))) {
        thread_ = std::thread(Work, shared_);
        auto state = std::make_shared<CallState>();
        try {
            Run("the creation", [state, progId, shared = shared_] {
                CLSID clsid{};
                state->hr = CLSIDFromProgID(ToWide(progId).c_str(), &clsid);
                if (FAILED(state->hr)) return;
                {
                    std::lock_guard lock(shared->mutex);
                    shared->program = ServerProgram(clsid);
                    shared->before = ProcessesOf(shared->program);
                }
                IDispatch* app = nullptr;
                state->hr =
                    CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(&app));
                if (SUCCEEDED(state->hr)) shared->objects[kApplication] = app;
            });
        } catch (...) {
            Close();
            throw;
        }
        const HRESULT hr = state->hr;
        if (FAILED(hr)) Close();
        if (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG || hr == REGDB_E_READREGDB)
            throw Error("\"" + progId + "\" is not registered on this system.");
        if (FAILED(hr)) throw Error("Cannot start \"" + progId + "\": " + HresultText(hr));
        HoldServerProcesses();
    }

    ~ComServer() override { Close(); }

    void Put(int object, const std::string& property, const AutomationArg& value) override {
        Invoke(object, property, DISPATCH_PROPERTYPUT, {value}, nullptr);
    }

    int GetObject(int object, const std::string& property) override {
        int handle = -1;
        Invoke(object, property, DISPATCH_PROPERTYGET, {}, &handle);
        if (handle < 0) throw Error(progId_ + ": " + property + " gave no object.");
        return handle;
    }

    int Call(int object, const std::string& method, const std::vector<AutomationArg>& args) override {
        int handle = -1;
        Invoke(object, method, DISPATCH_METHOD, args, &handle);
        return handle;
    }

    void Release(int object) override {
        if (dead_) return;
        try {
            Run("Release", [object, shared = shared_] {
                auto it = shared->objects.find(object);
                if (it == shared->objects.end()) return;
                it->second->Release();
                shared->objects.erase(it);
            });
        } catch (const Error&) {
        }
    }

    void Close() override {
        if (closed_) return;
        closed_ = true;
        if (!dead_) {
            try {
                Run("the release of its objects", [shared = shared_] {
                    for (auto& [handle, object] : shared->objects) object->Release();
                    shared->objects.clear();
                });
            } catch (const Error&) {
            }
        }
        {
            std::lock_guard lock(shared_->mutex);
            shared_->stop = true;
        }
        shared_->changed.notify_all();
        if (dead_) {
            // Its last call never returned: the thread goes when the process does.
            thread_.detach();
        } else {
            thread_.join();
        }
        // A server asked to quit ends by itself; one that does not within a while is ended.
        if (!handles_.empty()) {
            const DWORD waited =
                WaitForMultipleObjects(static_cast<DWORD>(handles_.size()), handles_.data(), TRUE, kQuitWaitMs);
            if (waited == WAIT_TIMEOUT || waited == WAIT_FAILED) EndServer();
        }
        for (HANDLE h : handles_) CloseHandle(h);
        handles_.clear();
    }

private:
    static constexpr DWORD kQuitWaitMs = 15000;

    // The processes the creation started, held open so their ids stay theirs.
    void HoldServerProcesses() {
        std::wstring program;
        std::set<DWORD> before;
        {
            std::lock_guard lock(shared_->mutex);
            program = shared_->program;
            before = shared_->before;
        }
        for (DWORD id : ProcessesOf(program)) {
            if (before.count(id)) continue;
            if (HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id)) handles_.push_back(h);
        }
    }

    void EndServer() {
        if (handles_.empty()) HoldServerProcesses();
        for (HANDLE h : handles_) TerminateProcess(h, 1);
        if (!handles_.empty())
            WaitForMultipleObjects(static_cast<DWORD>(handles_.size()), handles_.data(), TRUE, 5000);
    }

    // Runs task on the worker thread, waiting at most the call limit.
    void Run(const std::string& what, std::function<void()> task) {
        if (dead_) throw Error("\"" + progId_ + "\" was ended after a call that did not return.");
        auto done = std::make_shared<bool>(false);
        {
            std::lock_guard lock(shared_->mutex);
            shared_->tasks.push_back([task = std::move(task), done, shared = shared_] {
                task();
                std::lock_guard lock(shared->mutex);
                *done = true;
                shared->changed.notify_all();
            });
        }
        shared_->changed.notify_all();
        std::unique_lock lock(shared_->mutex);
        if (shared_->changed.wait_for(lock, timeout_, [&] { return *done; })) return;
        lock.unlock();
        dead_ = true;
        EndServer();
        throw AutomationTimeout("\"" + progId_ + "\" did not return from " + what + " within " +
                                std::to_string(timeout_.count() / 1000) + " s; it was ended.");
    }

    void Invoke(int object, const std::string& name, WORD flags, const std::vector<AutomationArg>& args,
                int* handle) {
        auto state = std::make_shared<CallState>();
        state->object = object;
        state->name = name;
        state->flags = flags;
        state->args = args;
        Run(name, [state, shared = shared_] { InvokeOnWorker(*state, *shared); });
        if (FAILED(state->hr))
            throw Error(progId_ + ": " + name + " failed: " + (state->reason.empty() ? HresultText(state->hr) : state->reason));
        if (handle) *handle = state->handle;
    }

    static void InvokeOnWorker(CallState& call, Shared& shared) {
        auto it = shared.objects.find(call.object);
        if (it == shared.objects.end()) {
            call.hr = E_HANDLE;
            return;
        }
        std::wstring wide = ToWide(call.name);
        LPOLESTR names[] = {wide.data()};
        DISPID id = 0;
        call.hr = it->second->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(call.hr)) return;
        // IDispatch takes its arguments last first.
        std::vector<VARIANT> values;
        for (auto a = call.args.rbegin(); a != call.args.rend(); ++a) values.push_back(ToVariant(*a));
        DISPID putId = DISPID_PROPERTYPUT;
        DISPPARAMS params{values.data(), nullptr, static_cast<UINT>(values.size()), 0};
        const bool put = call.flags == DISPATCH_PROPERTYPUT;
        if (put) {
            params.rgdispidNamedArgs = &putId;
            params.cNamedArgs = 1;
        }
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO error{};
        UINT badArg = 0;
        call.hr = it->second->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, call.flags, &params, put ? nullptr : &result,
                                     &error, &badArg);
        for (VARIANT& v : values) VariantClear(&v);
        if (call.hr == DISP_E_EXCEPTION) {
            if (error.bstrDescription) call.reason = FromWide(error.bstrDescription);
            SysFreeString(error.bstrSource);
            SysFreeString(error.bstrDescription);
            SysFreeString(error.bstrHelpFile);
        }
        if (SUCCEEDED(call.hr) && result.vt == VT_DISPATCH && result.pdispVal) {
            result.pdispVal->AddRef();
            call.handle = shared.nextHandle++;
            shared.objects[call.handle] = result.pdispVal;
        }
        VariantClear(&result);
    }

    std::string progId_;
    std::chrono::milliseconds timeout_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::thread thread_;
    std::vector<HANDLE> handles_;
    bool dead_ = false;
    bool closed_ = false;
};

}  // namespace

bool HasAutomation() { return true; }

std::unique_ptr<IAutomationServer> StartAutomationServer(const std::string& progId, double timeoutSeconds) {
    return std::make_unique<ComServer>(progId, timeoutSeconds);
}

}  // namespace qb::os
