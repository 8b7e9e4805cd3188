#include "winwizard/WinDialogs.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "settings/Colors.h"
#include "support/Utf.h"
#include "winwizard/resource.h"

namespace qb::win {

std::wstring Wide(const std::string& text) {
    const std::u16string w = ToUtf16(text);
    return std::wstring(w.begin(), w.end());
}

std::string Utf8(const std::wstring& text) { return ToUtf8(std::u16string(text.begin(), text.end())); }

std::string WindowText(HWND window) {
    const int n = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return Utf8(text);
}

void SetWindowText(HWND window, const std::string& text) { SetWindowTextW(window, Wide(text).c_str()); }

namespace {

int Box(HWND owner, const std::string& text, const wchar_t* caption, UINT type) {
    return MessageBoxW(owner, Wide(text).c_str(), caption, type);
}

// COM for the shell's dialogs on this thread, as long as the scope lasts.
class TComScope {
public:
    TComScope() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~TComScope() {
        if (ok_) CoUninitialize();
    }

private:
    bool ok_;
};

template <class T>
struct TRelease {
    T* p = nullptr;
    ~TRelease() {
        if (p) p->Release();
    }
};

std::vector<COMDLG_FILTERSPEC> Specs(const std::vector<std::wstring>& parts) {
    std::vector<COMDLG_FILTERSPEC> specs;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) specs.push_back({parts[i].c_str(), parts[i + 1].c_str()});
    return specs;
}

std::vector<std::wstring> SplitFilter(const std::string& filter) {
    std::vector<std::wstring> parts;
    std::string part;
    for (char c : filter) {
        if (c == '|') {
            parts.push_back(Wide(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!filter.empty()) parts.push_back(Wide(part));
    return parts;
}

std::string ItemPath(IShellItem* item) {
    PWSTR path = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)) || !path) return "";
    std::string result = Utf8(path);
    CoTaskMemFree(path);
    return result;
}

// Splits a preset name into the folder the dialog opens and the name it shows.
void Preset(IFileDialog* dialog, const std::string& name) {
    if (name.empty()) return;
    std::wstring w = Wide(name);
    const std::size_t slash = w.find_last_of(L"\\/");
    if (slash != std::wstring::npos) {
        IShellItem* folder = nullptr;
        if (SUCCEEDED(SHCreateItemFromParsingName(w.substr(0, slash).c_str(), nullptr, IID_PPV_ARGS(&folder)))) {
            dialog->SetFolder(folder);
            folder->Release();
        }
        w = w.substr(slash + 1);
    }
    dialog->SetFileName(w.c_str());
}

bool ShellFileDialog(HWND owner, bool save, const std::string& filter, const std::string& ext, std::string& name) {
    TComScope com;
    TRelease<IFileDialog> dialog;
    if (FAILED(CoCreateInstance(save ? CLSID_FileSaveDialog : CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&dialog.p))))
        return false;
    const std::vector<std::wstring> parts = SplitFilter(filter);
    const std::vector<COMDLG_FILTERSPEC> specs = Specs(parts);
    if (!specs.empty()) dialog.p->SetFileTypes(static_cast<UINT>(specs.size()), specs.data());
    const std::wstring wext = Wide(ext);
    if (!wext.empty()) dialog.p->SetDefaultExtension(wext.c_str());
    Preset(dialog.p, name);
    if (dialog.p->Show(owner) != S_OK) return false;
    TRelease<IShellItem> item;
    if (FAILED(dialog.p->GetResult(&item.p))) return false;
    name = ItemPath(item.p);
    return !name.empty();
}

}  // namespace

PlatformServices Win32DialogServices(HWND (*owner)()) {
    PlatformServices s;
    auto who = [owner] {
        HWND w = owner ? owner() : nullptr;
        return w ? w : GetActiveWindow();
    };
    s.showInfo = [who](const std::string& text) { Box(who(), text, L"Info", MB_OK | MB_ICONINFORMATION); };
    s.showError = [who](const std::string& text) { Box(who(), text, L"Error", MB_OK | MB_ICONERROR); };
    s.askConfirm = [who](const std::string& text) {
        return Box(who(), text, L"Confirm", MB_YESNO | MB_ICONQUESTION) == IDYES;
    };
    s.shellOpen = [who](const std::string& target) {
        ShellExecuteW(who(), L"open", Wide(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    };
    s.browseForFolder = [who](void* ownerWindow, std::string& path, const std::string& title, int flags,
                              const std::string&) {
        return ChooseFolder(ownerWindow ? static_cast<HWND>(ownerWindow) : who(), path, title, flags);
    };
    return s;
}

bool ChooseSaveFile(HWND owner, const std::string& filter, const std::string& ext, std::string& name) {
    return ShellFileDialog(owner, true, filter, ext, name);
}

bool ChooseOpenFile(HWND owner, const std::string& filter, const std::string& ext, std::string& name) {
    return ShellFileDialog(owner, false, filter, ext, name);
}

std::vector<std::string> ChooseOpenFiles(HWND owner) {
    std::vector<std::string> files;
    TComScope com;
    TRelease<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog.p))))
        return files;
    DWORD options = 0;
    dialog.p->GetOptions(&options);
    dialog.p->SetOptions(options | FOS_ALLOWMULTISELECT | FOS_FILEMUSTEXIST | FOS_FORCEFILESYSTEM);
    if (dialog.p->Show(owner) != S_OK) return files;
    TRelease<IShellItemArray> items;
    if (FAILED(dialog.p->GetResults(&items.p))) return files;
    DWORD count = 0;
    items.p->GetCount(&count);
    for (DWORD i = 0; i < count; ++i) {
        TRelease<IShellItem> item;
        if (SUCCEEDED(items.p->GetItemAt(i, &item.p))) files.push_back(ItemPath(item.p));
    }
    return files;
}

namespace {

int CALLBACK BrowseCallback(HWND window, UINT msg, LPARAM, LPARAM data) {
    if (msg == BFFM_INITIALIZED && data) SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

}  // namespace

bool ChooseFolder(HWND owner, std::string& path, const std::string& title, int flags) {
    TComScope com;
    std::string chosen;
    TRelease<IFileOpenDialog> dialog;
    if (SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog.p)))) {
        DWORD options = 0;
        dialog.p->GetOptions(&options);
        dialog.p->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
        dialog.p->SetTitle(Wide(title).c_str());
        if (!path.empty()) {
            IShellItem* start = nullptr;
            if (SUCCEEDED(SHCreateItemFromParsingName(Wide(path).c_str(), nullptr, IID_PPV_ARGS(&start)))) {
                dialog.p->SetFolder(start);
                start->Release();
            }
        }
        if (dialog.p->Show(owner) != S_OK) return false;
        TRelease<IShellItem> item;
        if (FAILED(dialog.p->GetResult(&item.p))) return false;
        chosen = ItemPath(item.p);
    } else {
        const std::wstring wtitle = Wide(title), start = Wide(path);
        BROWSEINFOW info{};
        info.hwndOwner = owner;
        info.lpszTitle = wtitle.c_str();
        info.ulFlags = static_cast<UINT>(flags);
        info.lpfn = &BrowseCallback;
        info.lParam = reinterpret_cast<LPARAM>(start.empty() ? nullptr : start.c_str());
        PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
        if (!list) return false;
        wchar_t buffer[MAX_PATH * 4] = {};
        if (SHGetPathFromIDListEx(list, buffer, MAX_PATH * 4, GPFIDL_DEFAULT)) chosen = Utf8(buffer);
        CoTaskMemFree(list);
    }
    if (chosen.empty()) return false;
    if (chosen.back() != '\\') chosen += '\\';
    path = chosen;
    return true;
}

bool ChooseFontFor(HWND owner, TFontValue& font, int& style) {
    LOGFONTW lf{};
    HDC dc = GetDC(owner);
    lf.lfHeight = -MulDiv(font.size > 0 ? font.size : 12, GetDeviceCaps(dc, LOGPIXELSY), 72);
    ReleaseDC(owner, dc);
    lf.lfWeight = (style & 1) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (style & 2) ? TRUE : FALSE;
    lf.lfUnderline = (style & 4) ? TRUE : FALSE;
    lf.lfStrikeOut = (style & 8) ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    const std::wstring face = Wide(font.name);
    lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
    CHOOSEFONTW cf{};
    cf.lStructSize = sizeof cf;
    cf.hwndOwner = owner;
    cf.lpLogFont = &lf;
    cf.Flags = CF_INITTOLOGFONTSTRUCT | CF_EFFECTS | CF_SCREENFONTS;
    cf.rgbColors = SystemColorToRgb(font.color);
    if (!ChooseFontW(&cf)) return false;
    font.name = Utf8(lf.lfFaceName);
    font.size = cf.iPointSize / 10;
    font.color = cf.rgbColors;
    style = (lf.lfWeight >= FW_BOLD ? 1 : 0) | (lf.lfItalic ? 2 : 0) | (lf.lfUnderline ? 4 : 0) | (lf.lfStrikeOut ? 8 : 0);
    return true;
}

}  // namespace qb::win

namespace qb::win {

namespace {

struct TInput {
    std::wstring caption, prompt, text;
};

INT_PTR CALLBACK InputProc(HWND box, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        auto* input = reinterpret_cast<TInput*>(lp);
        SetWindowLongPtrW(box, DWLP_USER, lp);
        SetWindowTextW(box, input->caption.c_str());
        SetDlgItemTextW(box, IDC_inputPrompt, input->prompt.c_str());
        SetDlgItemTextW(box, IDC_inputText, input->text.c_str());
        return TRUE;  // the focus goes to the text field
    }
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        if (LOWORD(wp) == IDOK) {
            auto* input = reinterpret_cast<TInput*>(GetWindowLongPtrW(box, DWLP_USER));
            HWND field = GetDlgItem(box, IDC_inputText);
            std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
            text.resize(static_cast<std::size_t>(GetWindowTextW(field, text.data(), static_cast<int>(text.size()))));
            input->text = text;
        }
        EndDialog(box, LOWORD(wp));
        return TRUE;
    }
    return FALSE;
}

HMODULE DialogModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&InputProc), &module);
    return module;
}

}  // namespace

bool InputText(HWND owner, const std::string& caption, const std::string& prompt, std::string& text) {
    TInput input{Wide(caption), Wide(prompt), Wide(text)};
    const INT_PTR answer = DialogBoxParamW(DialogModule(), MAKEINTRESOURCEW(IDD_INPUT), owner, &InputProc,
                                           reinterpret_cast<LPARAM>(&input));
    if (answer != IDOK) return false;
    text = Utf8(input.text);
    return true;
}

}  // namespace qb::win
