// A stand-in for the word processor's automation server: a local COM server
// (LocalServer32) whose application, options, documents and document objects
// answer IDispatch by name. Every call is appended to a log file, SaveAs
// writes a page for the opened note, and a note whose path holds the --hang
// text never returns from Open.
//   wordstandin.exe --log FILE [--hang TEXT] [-Embedding]
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace {

// {6C2B4A0E-5B1D-4F6A-9C3E-2A7D8E9F0B14}; the tests register it as "Word.Application".
const CLSID kClsid = {0x6c2b4a0e, 0x5b1d, 0x4f6a, {0x9c, 0x3e, 0x2a, 0x7d, 0x8e, 0x9f, 0x0b, 0x14}};
constexpr DWORD kLifetimeMs = 180000;  // a stand-in left alone ends by itself

std::wstring gLog;
std::wstring gHang;
HANDLE gDone = nullptr;
std::mutex gLogMutex;

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return "";
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

void Log(const std::string& line) {
    std::lock_guard lock(gLogMutex);
    HANDLE h = CreateFileW(gLog.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
}

std::string Text(const VARIANT& v) {
    VARIANT copy;
    VariantInit(&copy);
    if (v.vt == VT_BOOL) return v.boolVal ? "true" : "false";
    if (FAILED(VariantChangeType(&copy, const_cast<VARIANT*>(&v), 0, VT_BSTR))) return "?";
    const std::string s = Utf8(copy.bstrVal ? copy.bstrVal : L"");
    VariantClear(&copy);
    return s;
}

enum class Kind { Application, Options, Documents, Document };

struct Member {
    const wchar_t* name;
    DISPID id;
};

const std::vector<Member>& MembersOf(Kind kind) {
    static const std::vector<Member> app = {{L"Visible", 1},  {L"DisplayAlerts", 2},           {L"ScreenUpdating", 3},
                                            {L"Options", 4},  {L"ChangeFileOpenDirectory", 5}, {L"Documents", 6},
                                            {L"Quit", 7}};
    static const std::vector<Member> options = {{L"AutoFormatReplaceHyperlinks", 1}};
    static const std::vector<Member> documents = {{L"Open", 1}};
    static const std::vector<Member> document = {{L"SaveAs", 1}, {L"Close", 2}};
    switch (kind) {
        case Kind::Application: return app;
        case Kind::Options: return options;
        case Kind::Documents: return documents;
        default: return document;
    }
}

class Object : public IDispatch {
public:
    Object(Kind kind, std::wstring path = L"") : kind_(kind), path_(std::move(path)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            // The client let go of the application: nothing more will come.
            if (kind_ == Kind::Application) SetEvent(gDone);
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (const Member& m : MembersOf(kind_))
                if (_wcsicmp(m.name, names[i]) == 0) ids[i] = m.id;
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* error, UINT*) override {
        std::wstring name;
        for (const Member& m : MembersOf(kind_))
            if (m.id == id) name = m.name;
        if (name.empty()) return DISP_E_MEMBERNOTFOUND;
        const char* how = (flags & DISPATCH_PROPERTYPUT) ? "put" : (flags & DISPATCH_METHOD) ? "call" : "get";
        std::vector<std::string> args;
        // Arguments come last first.
        for (UINT i = params ? params->cArgs : 0; i-- > 0;) args.push_back(Text(params->rgvarg[i]));
        std::string line = std::string(how) + " " + Utf8(name);
        for (const std::string& a : args) line += " " + a;
        Log(line);

        if (result) VariantInit(result);
        auto give = [&](Object* object) {
            if (!result) {
                object->Release();
                return;
            }
            result->vt = VT_DISPATCH;
            result->pdispVal = object;
        };
        if (kind_ == Kind::Application && name == L"Options") give(new Object(Kind::Options));
        if (kind_ == Kind::Application && name == L"Documents") give(new Object(Kind::Documents));
        if (kind_ == Kind::Application && name == L"Quit") SetEvent(gDone);
        if (kind_ == Kind::Documents && name == L"Open") {
            const std::wstring path = params->rgvarg[params->cArgs - 1].bstrVal;
            if (!gHang.empty() && path.find(gHang) != std::wstring::npos) {
                Log("hanging");
                Sleep(INFINITE);
            }
            if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
                if (error) {
                    *error = EXCEPINFO{};
                    error->bstrDescription = SysAllocString(L"This file could not be found.");
                }
                return DISP_E_EXCEPTION;
            }
            give(new Object(Kind::Document, path));
        }
        if (kind_ == Kind::Document && name == L"SaveAs") SaveAs(params->rgvarg[params->cArgs - 1].bstrVal);
        return S_OK;
    }

private:
    // A page in the shape the engine relies on, naming the note it came from,
    // and a parts folder beside it as the word processor writes one.
    void SaveAs(const std::wstring& page) {
        std::ifstream in(std::filesystem::path(path_), std::ios::binary);
        const std::string rtf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::wstring note = path_.substr(path_.find_last_of(L"\\/") + 1);
        const std::string html =
            "<html>\r\n<head>\r\n<title></title>\r\n</head>\r\n<body lang=EN-US>\r\n<div class=Section1>\r\n<p>" +
            Utf8(note) + ", " + std::to_string(rtf.size()) + " bytes</p>\r\n</div>\r\n</body>\r\n\r\n</html>\r\n";
        std::ofstream(std::filesystem::path(page), std::ios::binary) << html;
        const std::wstring parts = page.substr(0, page.size() - 5) + L"_files";
        CreateDirectoryW(parts.c_str(), nullptr);
        std::ofstream(std::filesystem::path(parts + L"\\filelist.xml"), std::ios::binary) << "<xml/>\r\n";
    }

    Kind kind_;
    std::wstring path_;
    std::atomic<ULONG> refs_{1};
};

class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        Log("create");
        auto* app = new Object(Kind::Application);
        const HRESULT hr = app->QueryInterface(iid, out);
        app->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::wstring(argv[i]) == L"--log") gLog = argv[i + 1];
        if (std::wstring(argv[i]) == L"--hang") gHang = argv[i + 1];
    }
    if (gLog.empty()) return 2;
    gDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    static Factory factory;
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(kClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie))) return 3;
    WaitForSingleObject(gDone, kLifetimeMs);
    // Lets the reply to the last call go out before the process ends.
    Sleep(300);
    CoRevokeClassObject(cookie);
    Log("exit");
    CoUninitialize();
    return 0;
}
