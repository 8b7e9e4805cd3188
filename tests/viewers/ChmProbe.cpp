// Windows program run under Wine: opens a help file through the platform's
// own CHM components and prints what they see, one UTF-8 line per result.
//   probe files FILE.chm            every stored file through IStorage (itss.dll)
//   probe urls FILE.chm CODEPAGE    every Local of the stored contents and index
//                                   through the ms-its: protocol handler
//   probe tree FILE.chm             the help viewer's contents tree and index list
//                                   (hhctrl.ocx), then closes it
//   probe search FILE.chm WORD...   the help viewer's search tab: first the query
//                                   handed to HH_DISPLAY_SEARCH, then each word typed
//                                   into the tab; one HIT line per listed page
#include <windows.h>

#include <commctrl.h>
#include <htmlhelp.h>
#include <objbase.h>
#include <urlmon.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The storage interface of itss.dll, declared here as the SDK has no header for it.
const CLSID kClsidITStorage = {0x5d02926a, 0x212e, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};
const IID kIidITStorage = {0x88cc31de, 0x27ab, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};
struct IITStorage : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfile(const WCHAR*, DWORD, DWORD, IStorage**) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfileOnILockBytes(ILockBytes*, DWORD, DWORD, IStorage**) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageFile(const WCHAR*) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageILockBytes(ILockBytes*) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgOpenStorage(const WCHAR*, IStorage*, DWORD, SNB, DWORD, IStorage**) = 0;
};

// The ms-its: protocol handler of itss.dll, called directly with the least a
// browser gives it: bind information and a sink that ignores the reports.
const CLSID kClsidITSProtocol = {0x9d148291, 0xb9c8, 0x11d0, {0xa4, 0xcc, 0x00, 0x00, 0xf8, 0x01, 0x49, 0xf6}};

class Binding : public IInternetProtocolSink, public IInternetBindInfo {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IInternetProtocolSink) {
            *ppv = static_cast<IInternetProtocolSink*>(this);
        } else if (riid == IID_IInternetBindInfo) {
            *ppv = static_cast<IInternetBindInfo*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Switch(PROTOCOLDATA*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ReportProgress(ULONG, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ReportData(DWORD, ULONG, ULONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ReportResult(HRESULT hr, DWORD, LPCWSTR) override {
        result = hr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* info) override {
        *flags = 0;
        DWORD size = info->cbSize;
        memset(info, 0, size);
        info->cbSize = size;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBindString(ULONG, LPOLESTR*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT result = S_OK;
};

// Bytes of an ms-its: URL through the protocol handler.
HRESULT OpenUrl(const std::wstring& url, std::string& bytes) {
    IInternetProtocol* protocol = nullptr;
    HRESULT hr = CoCreateInstance(kClsidITSProtocol, nullptr, CLSCTX_INPROC_SERVER, IID_IInternetProtocol,
                                  reinterpret_cast<void**>(&protocol));
    if (FAILED(hr)) return hr;
    Binding binding;
    hr = protocol->Start(url.c_str(), &binding, &binding, 0, 0);
    if (SUCCEEDED(hr) && FAILED(binding.result)) hr = binding.result;
    if (SUCCEEDED(hr)) {
        char buf[8192];
        ULONG got = 0;
        while (protocol->Read(buf, sizeof buf, &got) == S_OK && got > 0) bytes.append(buf, got);
    }
    protocol->Terminate(0);
    protocol->Release();
    return hr;
}

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring Wide(const std::string& s, UINT codePage) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

void Line(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string Hex(HRESULT hr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(hr));
    return buf;
}

std::string ReadAll(IStream* stream) {
    std::string bytes;
    char buf[8192];
    ULONG got = 0;
    while (SUCCEEDED(stream->Read(buf, sizeof buf, &got)) && got > 0) bytes.append(buf, got);
    return bytes;
}

IStorage* OpenChm(const std::wstring& file) {
    IITStorage* its = nullptr;
    HRESULT hr =
        CoCreateInstance(kClsidITStorage, nullptr, CLSCTX_INPROC_SERVER, kIidITStorage, reinterpret_cast<void**>(&its));
    if (FAILED(hr)) {
        Line("ERROR create ITStorage " + Hex(hr));
        return nullptr;
    }
    IStorage* root = nullptr;
    hr = its->StgOpenStorage(file.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &root);
    its->Release();
    if (FAILED(hr)) Line("ERROR open storage " + Hex(hr));
    return root;
}

// Every stream below storage, read in full: "FILE <name> <size>".
void ListFiles(IStorage* storage, const std::wstring& folder) {
    IEnumSTATSTG* items = nullptr;
    if (FAILED(storage->EnumElements(0, nullptr, 0, &items))) {
        Line("ERROR enumerate " + Utf8(folder));
        return;
    }
    STATSTG st;
    ULONG got = 0;
    while (items->Next(1, &st, &got) == S_OK && got == 1) {
        std::wstring name = st.pwcsName;
        CoTaskMemFree(st.pwcsName);
        if (st.type == STGTY_STORAGE) {
            IStorage* sub = nullptr;
            HRESULT hr =
                storage->OpenStorage(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &sub);
            if (FAILED(hr)) {
                Line("FAIL " + Utf8(folder + name) + "/ " + Hex(hr));
                continue;
            }
            ListFiles(sub, folder + name + L"/");
            sub->Release();
        } else {
            IStream* stream = nullptr;
            HRESULT hr = storage->OpenStream(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
            if (FAILED(hr)) {
                Line("FAIL " + Utf8(folder + name) + " " + Hex(hr));
                continue;
            }
            std::string bytes = ReadAll(stream);
            stream->Release();
            Line("FILE " + Utf8(folder + name) + " " + std::to_string(bytes.size()));
        }
    }
    items->Release();
}

std::string StoredFile(IStorage* root, const std::wstring& name) {
    IStream* stream = nullptr;
    if (FAILED(root->OpenStream(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream))) return {};
    std::string bytes = ReadAll(stream);
    stream->Release();
    return bytes;
}

// Local values of a sitemap text, as the viewer takes them.
std::vector<std::string> Locals(const std::string& sitemap) {
    std::vector<std::string> out;
    std::string lower = sitemap;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string key = "name=\"local\"";
    for (std::size_t p = lower.find(key); p != std::string::npos; p = lower.find(key, p + 1)) {
        std::size_t v = lower.find("value=\"", p);
        std::size_t close = lower.find('>', p);
        if (v == std::string::npos || v > close) continue;
        v += 7;
        out.push_back(sitemap.substr(v, sitemap.find('"', v) - v));
    }
    return out;
}

// "CONTENTS/INDEX name" lines of #SYSTEM records 0 and 1.
std::vector<std::wstring> SitemapNames(IStorage* root) {
    std::string system = StoredFile(root, L"#SYSTEM");
    std::vector<std::wstring> names;
    for (std::size_t p = 4; p + 4 <= system.size();) {
        unsigned code = static_cast<unsigned char>(system[p]) | static_cast<unsigned char>(system[p + 1]) << 8;
        unsigned len = static_cast<unsigned char>(system[p + 2]) | static_cast<unsigned char>(system[p + 3]) << 8;
        if ((code == 0 || code == 1) && len > 0) names.push_back(Wide(std::string(system.c_str() + p + 4), CP_ACP));
        p += 4 + len;
    }
    return names;
}

int Urls(const std::wstring& file, UINT codePage) {
    IStorage* root = OpenChm(file);
    if (!root) return 2;
    for (const std::wstring& sitemap : SitemapNames(root)) {
        std::string text = StoredFile(root, sitemap);
        Line("SITEMAP " + Utf8(sitemap) + " " + std::to_string(text.size()));
        for (const std::string& local : Locals(text)) {
            std::wstring path = Wide(local, codePage);
            for (wchar_t& c : path)
                if (c == L'\\') c = L'/';
            while (path.rfind(L"./", 0) == 0) path.erase(0, 2);
            std::wstring url = L"ms-its:" + file + L"::/" + path;
            std::string bytes;
            HRESULT hr = OpenUrl(url, bytes);
            if (FAILED(hr) || bytes.empty()) {
                Line("FAIL " + local + " " + Hex(hr));
                continue;
            }
            Line("OPEN " + local + " " + std::to_string(bytes.size()));
        }
    }
    root->Release();
    return 0;
}

// First child of a class; visibleOnly because the panes of the viewer's tabs share classes.
HWND FindChild(HWND parent, const wchar_t* cls, bool visibleOnly = false) {
    struct Search {
        const wchar_t* cls;
        bool visibleOnly;
        HWND found;
    } s{cls, visibleOnly, nullptr};
    EnumChildWindows(
        parent,
        [](HWND h, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            wchar_t name[64];
            GetClassNameW(h, name, 64);
            if (lstrcmpiW(name, s->cls) == 0 && (!s->visibleOnly || IsWindowVisible(h))) {
                s->found = h;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

void TreeItems(HWND tree, HTREEITEM item, int depth) {
    for (; item; item = reinterpret_cast<HTREEITEM>(
                     SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
        wchar_t text[1024] = {};
        TVITEMW tv = {};
        tv.mask = TVIF_TEXT;
        tv.hItem = item;
        tv.pszText = text;
        tv.cchTextMax = 1023;
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
        Line("TOC " + std::to_string(depth) + " " + Utf8(text));
        TreeItems(tree,
                  reinterpret_cast<HTREEITEM>(
                      SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item))),
                  depth + 1);
    }
}

using HtmlHelpProc = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

int Tree(const std::wstring& file) {
    HMODULE hh = LoadLibraryW(L"hhctrl.ocx");
    auto htmlHelp = hh ? reinterpret_cast<HtmlHelpProc>(GetProcAddress(hh, "HtmlHelpW")) : nullptr;
    if (!htmlHelp) {
        Line("ERROR no HtmlHelpW");
        return 2;
    }
    // A new prefix sets its display up on first use; the viewer may refuse
    // to open until that is done.
    HWND window = nullptr;
    MSG msg;
    for (int attempt = 0; attempt < 40 && !window; ++attempt) {
        window = htmlHelp(nullptr, file.c_str(), 0 /* HH_DISPLAY_TOPIC */, 0);
        if (window) break;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(250);
    }
    if (!window) {
        Line("ERROR no help window");
        return 2;
    }
    // Let the viewer fill its panes.
    for (int i = 0; i < 20; ++i) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(25);
    }
    HWND tree = FindChild(window, L"SysTreeView32");
    if (!tree) {
        Line("ERROR no contents tree");
    } else {
        TreeItems(tree, reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)), 0);
    }
    HWND list = FindChild(window, L"SysListView32");
    if (list) {
        int n = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            wchar_t text[1024] = {};
            LVITEMW lv = {};
            lv.iSubItem = 0;
            lv.pszText = text;
            lv.cchTextMax = 1023;
            SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&lv));
            Line("INDEX " + Utf8(text));
        }
    }
    wchar_t title[512] = {};
    GetWindowTextW(window, title, 511);
    Line("TITLE " + Utf8(title));
    DestroyWindow(window);
    return 0;
}

void Pump(int rounds) {
    MSG msg;
    for (int i = 0; i < rounds; ++i) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(25);
    }
}

// "HIT <tag> <word> <title>" per entry of the search tab's result list.
void ListHits(HWND window, const std::string& tag, const std::string& word) {
    HWND list = FindChild(window, L"SysListView32", true);
    const int n = list ? static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : -1;
    Line("RESULTS " + tag + " " + word + " " + std::to_string(n));
    for (int i = 0; i < n; ++i) {
        wchar_t text[1024] = {};
        LVITEMW lv = {};
        lv.pszText = text;
        lv.cchTextMax = 1023;
        SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&lv));
        Line("HIT " + tag + " " + word + " " + Utf8(text));
    }
}

int Search(const std::wstring& file, const std::vector<std::wstring>& words) {
    HMODULE hh = LoadLibraryW(L"hhctrl.ocx");
    auto htmlHelp = hh ? reinterpret_cast<HtmlHelpProc>(GetProcAddress(hh, "HtmlHelpW")) : nullptr;
    if (!htmlHelp || words.empty()) {
        Line("ERROR no HtmlHelpW");
        return 2;
    }
    // The query as an application hands it over: run at once, all text.
    HH_FTS_QUERY query = {};
    query.cbStruct = sizeof query;
    query.fUniCodeStrings = TRUE;
    query.pszSearchQuery = reinterpret_cast<LPCTSTR>(words[0].c_str());
    query.iProximity = HH_FTS_DEFAULT_PROXIMITY;
    query.fExecute = TRUE;
    HWND window = nullptr;
    for (int attempt = 0; attempt < 40 && !window; ++attempt) {
        window = htmlHelp(nullptr, file.c_str(), HH_DISPLAY_SEARCH, reinterpret_cast<DWORD_PTR>(&query));
        if (!window) Pump(10);
    }
    if (!window) {
        Line("ERROR no help window");
        return 2;
    }
    Pump(20);
    ListHits(window, "query", Utf8(words[0]));
    // The tab's own search runs on Return in its text field.
    HWND edit = FindChild(window, L"Edit", true);
    if (!edit) {
        Line("ERROR no search field");
    } else {
        for (const std::wstring& word : words) {
            SetWindowTextW(edit, word.c_str());
            SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
            SendMessageW(edit, WM_KEYUP, VK_RETURN, 0xC0000001);
            Pump(10);
            ListHits(window, "typed", Utf8(word));
        }
    }
    DestroyWindow(window);
    return 0;
}

// Opens the index entry named keyword as a double click does; "ACTIVATED"
// once the viewer has handled it (a viewer that faults prints nothing more),
// then "WINDOW title" for each window the viewer shows.
int Keyword(const std::wstring& file, const std::wstring& keyword) {
    HMODULE hh = LoadLibraryW(L"hhctrl.ocx");
    auto htmlHelp = hh ? reinterpret_cast<HtmlHelpProc>(GetProcAddress(hh, "HtmlHelpW")) : nullptr;
    if (!htmlHelp) {
        Line("ERROR no HtmlHelpW");
        return 2;
    }
    HWND window = nullptr;
    for (int attempt = 0; attempt < 40 && !window; ++attempt) {
        window = htmlHelp(nullptr, file.c_str(), 0 /* HH_DISPLAY_TOPIC */, 0);
        if (!window) Pump(10);
    }
    if (!window) {
        Line("ERROR no help window");
        return 2;
    }
    Pump(20);
    HWND list = FindChild(window, L"SysListView32");
    if (!list) {
        Line("ERROR no index list");
        return 2;
    }
    const int n = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    int found = -1;
    for (int i = 0; i < n && found < 0; ++i) {
        wchar_t text[1024] = {};
        LVITEMW lv = {};
        lv.pszText = text;
        lv.cchTextMax = 1023;
        SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&lv));
        if (keyword == text) found = i;
    }
    if (found < 0) {
        Line("ERROR no index entry " + Utf8(keyword.c_str()));
        return 2;
    }
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, found, reinterpret_cast<LPARAM>(&state));
    NMITEMACTIVATE click = {};
    click.hdr.hwndFrom = list;
    click.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list));
    click.hdr.code = NM_DBLCLK;
    click.iItem = found;
    SendMessageW(GetParent(list), WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
    Pump(40);
    Line("ACTIVATED " + Utf8(keyword.c_str()));
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND h, LPARAM) -> BOOL {
            wchar_t title[512] = {};
            GetWindowTextW(h, title, 511);
            if (IsWindowVisible(h)) Line("WINDOW " + Utf8(title));
            return TRUE;
        },
        0);
    DestroyWindow(window);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        Line("usage: probe files|urls|tree|search|keyword FILE.chm [CODEPAGE|WORD...|KEYWORD]");
        return 2;
    }
    CoInitialize(nullptr);
    std::wstring mode = argv[1], file = argv[2];
    int rc = 2;
    if (mode == L"files") {
        if (IStorage* root = OpenChm(file)) {
            ListFiles(root, L"/");
            root->Release();
            rc = 0;
        }
    } else if (mode == L"open" && argc > 3) {
        // Each further argument: a stored name in UTF-8 (bytes given as Latin-1 by the caller).
        if (IStorage* root = OpenChm(file)) {
            for (int i = 3; i < argc; ++i) {
                std::wstring name = argv[i];
                IStream* stream = nullptr;
                HRESULT hr = root->OpenStream(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
                if (FAILED(hr)) {
                    Line("FAIL " + Utf8(name) + " " + Hex(hr));
                    continue;
                }
                Line("FILE " + Utf8(name) + " " + std::to_string(ReadAll(stream).size()));
                stream->Release();
            }
            root->Release();
            rc = 0;
        }
    } else if (mode == L"urls") {
        rc = Urls(file, argc > 3 ? static_cast<UINT>(_wtoi(argv[3])) : CP_ACP);
    } else if (mode == L"tree") {
        rc = Tree(file);
    } else if (mode == L"keyword" && argc > 3) {
        rc = Keyword(file, argv[3]);
    } else if (mode == L"search") {
        rc = Search(file, std::vector<std::wstring>(argv + 3, argv + argc));
    }
    Line("DONE");
    CoUninitialize();
    return rc;
}
