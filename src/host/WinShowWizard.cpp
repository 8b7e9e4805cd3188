// The command on Windows: the help compiler's components are checked, then the
// wizard of the system's dialogs is shown with common controls 6 and per-monitor DPI.
#include <windows.h>

#include "Utils/Platform.h"
#include "Utils/Utils.h"
#include "host/Host.h"
#include "settings/MessageTable.h"
#include "support/Error.h"
#include "winwizard/WinDialogs.h"
#include "winwizard/WinWizard.h"
#include "winwizard/resource.h"

namespace qb {

namespace {

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

// The manifest inside the module (common controls 6) while the wizard is up.
class TActivationScope {
public:
    TActivationScope() {
        ACTCTXW ctx{};
        ctx.cbSize = sizeof ctx;
        ctx.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
        ctx.hModule = ThisModule();
        ctx.lpResourceName = MAKEINTRESOURCEW(IDR_WIZARD_MANIFEST);
        handle_ = CreateActCtxW(&ctx);
        if (handle_ != INVALID_HANDLE_VALUE && !ActivateActCtx(handle_, &cookie_)) cookie_ = 0;
    }
    ~TActivationScope() {
        if (cookie_) DeactivateActCtx(0, cookie_);
        if (handle_ != INVALID_HANDLE_VALUE) ReleaseActCtx(handle_);
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    ULONG_PTR cookie_ = 0;
};

// Windows made on this thread follow each monitor's DPI (where the system knows how), the host's afterwards.
class TDpiScope {
public:
    TDpiScope() {
        HMODULE user = GetModuleHandleW(L"user32.dll");
        set_ = reinterpret_cast<Set>(reinterpret_cast<void*>(GetProcAddress(user, "SetThreadDpiAwarenessContext")));
        if (set_) previous_ = set_(reinterpret_cast<HANDLE>(-4));  // per monitor, version 2
    }
    ~TDpiScope() {
        if (set_ && previous_) set_(previous_);
    }

private:
    using Set = HANDLE(WINAPI*)(HANDLE);
    Set set_ = nullptr;
    HANDLE previous_ = nullptr;
};

class TServicesScope {
public:
    TServicesScope() : previous_(SetPlatformServices(win::Win32DialogServices(&win::ActiveWizardWindow))) {}
    ~TServicesScope() { SetPlatformServices(previous_); }

private:
    PlatformServices previous_;
};

// The default value below HKEY_CLASSES_ROOT, empty unless it is a plain string.
std::string ReadClassesString(const wchar_t* key) {
    wchar_t value[1024] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key, nullptr, RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, value, &size) !=
        ERROR_SUCCESS)
        return "";
    return win::Utf8(value);
}

std::string SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string message = text ? win::Utf8(text) : "Error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

void RegisterComLibrary(const std::string& file) {
    const UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryW(win::Wide(file).c_str());
    const DWORD loadError = GetLastError();
    SetErrorMode(mode);
    if (!library) throw Error(SystemMessage(loadError) + ": " + file);
    struct TFree {
        HMODULE m;
        ~TFree() { FreeLibrary(m); }
    } unload{library};
    using Register = HRESULT(WINAPI*)();
    auto reg = reinterpret_cast<Register>(reinterpret_cast<void*>(GetProcAddress(library, "DllRegisterServer")));
    if (!reg) throw Error(SystemMessage(GetLastError()));
    if (FAILED(reg())) throw Error("DllRegisterServer failed: " + file);
}

// The help compiler's COM components, offered for registration when missing.
void CheckHelpComponents() {
    if (!ReadClassesString(L"CLSID\\{4662DAA3-D393-11D0-9A56-00C04FB68BF7}\\InprocServer32").empty()) return;
    if (!AskConfirm(Msg(27))) return;
    try {
        RegisterComLibrary(ModuleDirectory() + "itcc.dll");
        RegisterComLibrary("itircl.dll");
        RegisterComLibrary("itss.dll");
    } catch (const std::exception&) {
        ShowError(Msg(28));
    }
}

}  // namespace

void ShowWizard(const std::string& hostText) {
    TServicesScope services;
    TDpiScope dpi;
    TActivationScope manifest;
    CheckHelpComponents();
    win::TWinWizard wizard(ThisModule());
    ParseHostValues(hostText.c_str(), wizard.HostValues());
    wizard.ShowModal();
}

}  // namespace qb
