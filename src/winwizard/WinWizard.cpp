#include "winwizard/WinWizard.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "Utils/Format.h"
#include "Utils/Platform.h"
#include "Utils/Utils.h"
#include "engine/Defaults.h"
#include "engine/Engine.h"
#include "engine/Storage.h"
#include "engine/WizardRules.h"
#include "settings/Colors.h"
#include "settings/Language.h"
#include "settings/MessageTable.h"
#include "settings/Settings.h"
#include "support/Error.h"
#include "support/Text.h"
#include "winwizard/WinDialogs.h"
#include "winwizard/WinNodes.h"
#include "winwizard/resource.h"

namespace qb::win {

namespace {

constexpr const char* kWebSite = "https://quillbook.example.org/";
constexpr const char* kMailAddress = "support@quillbook.example.org";
constexpr int kBandHeight = 57;  // the white title band, in pixels at 96 dpi

const char* const kPageNames[TWinWizard::kPageCount] = {"tsWelcome", "tsTypes",      "tsOptions",    "tsFrame",
                                                        "tsCHMOptions", "tsMiscOptions", "tsFinished"};
const char* const kPageTitles[TWinWizard::kPageCount] = {
    " Welcome to use Quillbook", " Range and method", "  Export options", " Custom header and footer",
    " CHM compile options",      " Misc options",     " Ready to Go"};

UINT DpiOf(HWND window) {
    using F = UINT(WINAPI*)(HWND);
    static const F getDpi =
        reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi && window) return getDpi(window);
    HDC dc = GetDC(window);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(window, dc);
    return static_cast<UINT>(dpi > 0 ? dpi : 96);
}

int Scale(HWND window, int pixels) { return MulDiv(pixels, static_cast<int>(DpiOf(window)), 96); }

}  // namespace

namespace {
std::atomic<HWND> activeWizard{nullptr};
}  // namespace

HWND ActiveWizardWindow() { return activeWizard.load(); }

TWinWizard::TWinWizard(HINSTANCE module) : module_(module) {}

TWinWizard::~TWinWizard() {
    JoinRun();
    for (HFONT f : fonts_) DeleteObject(f);
    if (white_) DeleteObject(white_);
    if (icon_) DestroyIcon(icon_);
    if (smallIcon_) DestroyIcon(smallIcon_);
}

HFONT TWinWizard::MakeFont(const std::string& face, int points, bool bold, bool italic, bool underline, bool strike,
                           int charset) {
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(points > 0 ? points : 9, static_cast<int>(DpiOf(hwnd_)), 72);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = italic;
    lf.lfUnderline = underline;
    lf.lfStrikeOut = strike;
    lf.lfCharSet = static_cast<BYTE>(charset);
    lstrcpynW(lf.lfFaceName, Wide(face).c_str(), LF_FACESIZE);
    HFONT f = CreateFontIndirectW(&lf);
    fonts_.push_back(f);
    return f;
}

HFONT TWinWizard::MakePixelFont(const std::string& face, int pixels, bool bold) {
    LOGFONTW lf{};
    lf.lfHeight = -Scale(hwnd_, pixels);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, Wide(face).c_str(), LF_FACESIZE);
    HFONT f = CreateFontIndirectW(&lf);
    fonts_.push_back(f);
    return f;
}

namespace {

bool IsGroupBox(HWND w) {
    wchar_t cls[32] = {};
    GetClassNameW(w, cls, 32);
    return lstrcmpiW(cls, WC_BUTTONW) == 0 && (GetWindowLongW(w, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

}  // namespace

void TWinWizard::SetToolTip(HWND control, const std::string& hint) {
    if (!control || !hwnd_) return;
    if (!tooltip_) {
        tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, module_,
                                   nullptr);
        if (!tooltip_) return;
        // Long hints wrap instead of running across the screen.
        SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scale(hwnd_, 360));
    }
    // Group boxes and plain labels let the mouse through to the page: a rectangle of
    // the page stands for a group, and a label with a hint takes the mouse itself.
    const bool group = IsGroupBox(control);
    wchar_t cls[32] = {};
    GetClassNameW(control, cls, 32);
    if (!hint.empty() && lstrcmpiW(cls, WC_STATICW) == 0)
        SetWindowLongW(control, GWL_STYLE, GetWindowLongW(control, GWL_STYLE) | SS_NOTIFY);
    std::vector<HWND> windows{control};
    // The edit part of an editable drop-down list takes the mouse over its text.
    if (lstrcmpiW(cls, WC_COMBOBOXW) == 0) {
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        if (GetComboBoxInfo(control, &info) && info.hwndItem && info.hwndItem != control) windows.push_back(info.hwndItem);
    }
    for (HWND w : windows) {
        TTTOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.hwnd = GetParent(w);
        ti.uId = reinterpret_cast<UINT_PTR>(w);
        ti.uFlags = TTF_SUBCLASS | (group ? 0 : TTF_IDISHWND);
        if (group) {
            GetWindowRect(w, &ti.rect);
            MapWindowPoints(nullptr, ti.hwnd, reinterpret_cast<POINT*>(&ti.rect), 2);
        }
        auto known = tips_.find(w);
        if (hint.empty()) {
            if (known != tips_.end()) {
                SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
                tips_.erase(known);
            }
            continue;
        }
        std::wstring& text = tips_[w];
        text = Wide(hint);
        ti.lpszText = text.data();
        SendMessageW(tooltip_, known != tips_.end() ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

HWND TWinWizard::Control(const std::string& name) const {
    for (int i = 0; i < kPageCount; ++i)
        if (name == kPageNames[i]) return pages_[i];
    const TWinControl* c = FindWinControl(name);
    if (!c) return nullptr;
    return GetDlgItem(c->page < 0 ? hwnd_ : pages_[c->page], c->id);
}

IControlValues& TWinWizard::Controls() { return *binding_; }

std::string TWinWizard::Text(const std::string& name) const { return WindowText(Control(name)); }
void TWinWizard::SetText(const std::string& name, const std::string& text) { SetWindowText(Control(name), text); }
bool TWinWizard::Checked(const std::string& name) const {
    return SendMessageW(Control(name), BM_GETCHECK, 0, 0) == BST_CHECKED;
}
void TWinWizard::Enable(const std::string& name, bool on) { EnableWindow(Control(name), on); }

std::string TWinWizard::Caption() const { return WindowText(hwnd_); }
void TWinWizard::SetCaption(const std::string& caption) { SetWindowText(hwnd_, caption); }
void TWinWizard::SetFont(const TUiFont& font) { font_ = font; }

std::vector<IUiComponent*> TWinWizard::Owned() const {
    std::vector<IUiComponent*> owned;
    for (const auto& n : nodes_) owned.push_back(n.get());
    return owned;
}

// --- Window ----------------------------------------------------------------------

namespace {

// The dialog template names its own class, so the wizard is found by it and
// told apart from message boxes.
void RegisterWizardClass(HINSTANCE module) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(module, L"QuillbookWizard", &wc)) return;
    GetClassInfoExW(nullptr, L"#32770", &wc);
    wc.cbSize = sizeof wc;
    wc.hInstance = module;
    wc.lpszClassName = L"QuillbookWizard";
    wc.style &= ~CS_GLOBALCLASS;
    RegisterClassExW(&wc);
}

}  // namespace

void TWinWizard::ShowModal() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    RegisterWizardClass(module_);
    const std::string hwndText = Trim(hostValues_.Value("MainWindow.HWND"));
    owner_ = nullptr;
    if (!hwndText.empty()) {
        try {
            owner_ = reinterpret_cast<HWND>(static_cast<INT_PTR>(WizardStrToInt(hwndText)));
        } catch (const std::exception&) {
            owner_ = nullptr;
        }
        if (owner_ && !IsWindow(owner_)) owner_ = nullptr;
    } else {
        owner_ = GetActiveWindow();
    }
    saveError_ = nullptr;
    const INT_PTR shown = DialogBoxParamW(module_, MAKEINTRESOURCEW(IDD_WIZARD), owner_, &TWinWizard::FrameProc,
                                          reinterpret_cast<LPARAM>(this));
    hwnd_ = nullptr;
    if (shown == -1) throw Error("The wizard window could not be created (error " + std::to_string(GetLastError()) + ")");
    if (saveError_) std::rethrow_exception(saveError_);
}

INT_PTR CALLBACK TWinWizard::FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    TWinWizard* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<TWinWizard*>(lp);
        SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        self->hwnd_ = hwnd;
        activeWizard = hwnd;
    } else {
        self = reinterpret_cast<TWinWizard*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    return self ? self->OnFrame(msg, wp, lp) : FALSE;
}

INT_PTR CALLBACK TWinWizard::PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        return FALSE;
    }
    auto* self = reinterpret_cast<TWinWizard*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return self ? self->OnPage(hwnd, msg, wp, lp) : FALSE;
}

INT_PTR TWinWizard::OnFrame(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG: {
            white_ = CreateSolidBrush(RGB(255, 255, 255));
            RECT area;
            GetWindowRect(GetDlgItem(hwnd_, IDC_pgcMain), &area);
            MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&area), 2);
            for (int i = 0; i < kPageCount; ++i) {
                titles_[i] = kPageTitles[i];
                pages_[i] = CreateDialogParamW(module_, MAKEINTRESOURCEW(IDD_PAGE0 + i), hwnd_, &TWinWizard::PageProc,
                                               reinterpret_cast<LPARAM>(this));
                SetWindowPos(pages_[i], HWND_BOTTOM, area.left, area.top, area.right - area.left,
                             area.bottom - area.top, SWP_NOACTIVATE);
            }
            PrepareControls();
            FormCreate();
            LoadFromHostAndSettings();
            SetFocus(GetDlgItem(hwnd_, IDC_btnNext));
            return FALSE;
        }
        case WM_COMMAND:
            return OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp)) ? TRUE : FALSE;
        case WM_CLOSE:
            RequestClose();
            return TRUE;
        case WM_DRAWITEM:
            OnDrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lp));
            return TRUE;
        case WM_SETCURSOR:
            if (runState_ && LOWORD(lp) == HTCLIENT) {
                SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
                SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_QB_PROGRESS:
            OnProgress();
            return TRUE;
        case WM_QB_FINISHED: {
            std::unique_ptr<std::string> error(reinterpret_cast<std::string*>(lp));
            OnProgress();  // the last reports before the end
            RunFinished(wp != 0, error ? *error : std::string());
            return TRUE;
        }
        case WM_DPICHANGED: {
            const RECT* r = reinterpret_cast<const RECT*>(lp);
            SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            ApplyFonts();
            return TRUE;
        }
        case WM_DESTROY: {
            activeWizard = nullptr;
            // The tooltip goes with the window it belongs to.
            tooltip_ = nullptr;
            tips_.clear();
            // The controls go with the window: the settings take them now; an error reaches the command.
            try {
                SaveToSettings();
            } catch (...) {
                saveError_ = std::current_exception();
            }
            // Reports the run posted after the window's last look are freed here.
            MSG m;
            while (PeekMessageW(&m, hwnd_, WM_QB_FINISHED, WM_QB_FINISHED, PM_REMOVE))
                delete reinterpret_cast<std::string*>(m.lParam);
            return FALSE;
        }
        default: return FALSE;
    }
}

INT_PTR TWinWizard::OnPage(HWND page, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND: return OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp)) ? TRUE : FALSE;
        case WM_NOTIFY: {
            // A check list's mark changed by the user: nothing to do but let it be drawn.
            return FALSE;
        }
        case WM_ERASEBKGND: {
            HDC dc = reinterpret_cast<HDC>(wp);
            RECT r;
            GetClientRect(page, &r);
            FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
            RECT band = r;
            band.bottom = Scale(page, kBandHeight);
            FillRect(dc, &band, white_);
            SetWindowLongPtrW(page, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        case WM_PAINT: PaintPage(page); return TRUE;
        case WM_CTLCOLORSTATIC: return OnCtlColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
        case WM_DRAWITEM: OnDrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lp)); return TRUE;
        case WM_SETCURSOR: {
            HWND over = reinterpret_cast<HWND>(wp);
            const int id = GetDlgCtrlID(over);
            if (runState_ && LOWORD(lp) == HTCLIENT) {
                SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
            } else if (id == IDC_lblWebSite || id == IDC_lblMailUs || id == IDC_lblFontPreview) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
            } else {
                return FALSE;
            }
            SetWindowLongPtrW(page, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        default: return FALSE;
    }
}

void TWinWizard::PaintPage(HWND page) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(page, &ps);
    int index = 0;
    while (index < kPageCount && pages_[index] != page) ++index;
    if (index < kPageCount) {
        RECT band;
        GetClientRect(page, &band);
        band.bottom = Scale(page, kBandHeight);
        band.left += Scale(page, 14);
        band.right -= Scale(page, 64);
        HGDIOBJ old = SelectObject(dc, titleFont_);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        const std::wstring title = Wide(titles_[index]);
        DrawTextW(dc, title.c_str(), -1, &band, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
        SelectObject(dc, old);
    }
    EndPaint(page, &ps);
}

INT_PTR TWinWizard::OnCtlColor(HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    if (id == IDC_lblWebSite || id == IDC_lblMailUs) {
        SetTextColor(dc, RGB(0, 0, 255));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    }
    if (id == IDC_lblFontPreview) {
        SetTextColor(dc, SystemColorToRgb(sampleFont_.color) & 0xFFFFFF);
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
    }
    return FALSE;
}

void TWinWizard::OnDrawItem(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const int id = static_cast<int>(item.CtlID);
    if (id == IDC_imgWizard) {
        // The welcome picture: a blue gradient with the name.
        const int h = r.bottom - r.top;
        for (int y = 0; y < h; ++y) {
            const int t = h > 1 ? y * 255 / (h - 1) : 0;
            HBRUSH b = CreateSolidBrush(RGB(0x2B + (0x9C - 0x2B) * t / 255, 0x57 + (0xC3 - 0x57) * t / 255,
                                            0x97 + (0xE6 - 0x97) * t / 255));
            RECT line{r.left, r.top + y, r.right, r.top + y + 1};
            FillRect(dc, &line, b);
            DeleteObject(b);
        }
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        HGDIOBJ old = SelectObject(dc, titleFont_);
        RECT text{r.left, r.top + Scale(item.hwndItem, 70), r.right, r.top + Scale(item.hwndItem, 96)};
        DrawTextW(dc, L"Quillbook", -1, &text, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
        text.top = text.bottom;
        text.bottom += Scale(item.hwndItem, 18);
        DrawTextW(dc, L"3.0.0", -1, &text, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
    } else if (id == IDC_imgLogo) {
        FillRect(dc, &r, white_);
        if (HBITMAP logo = static_cast<HBITMAP>(LoadImageW(module_, L"logo", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION))) {
            BITMAP info{};
            GetObjectW(logo, sizeof info, &info);
            HDC mem = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(mem, logo);
            // Scaled with the window's DPI, centred in its place.
            const int w = Scale(item.hwndItem, info.bmWidth), h = Scale(item.hwndItem, info.bmHeight);
            SetStretchBltMode(dc, HALFTONE);
            StretchBlt(dc, r.left + (r.right - r.left - w) / 2, r.top + (r.bottom - r.top - h) / 2, w, h, mem, 0, 0,
                       info.bmWidth, info.bmHeight, SRCCOPY);
            SelectObject(mem, old);
            DeleteDC(mem);
            DeleteObject(logo);
        }
    } else if (id == IDC_imgWeb || id == IDC_imgMail) {
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(0x1F, 0x4E, 0x9A));
        HBRUSH fill = CreateSolidBrush(id == IDC_imgMail ? RGB(0xFF, 0xF8, 0xDC) : RGB(0xDD, 0xEE, 0xFF));
        HGDIOBJ op = SelectObject(dc, pen), ob = SelectObject(dc, fill);
        const int s = std::min(r.right - r.left, r.bottom - r.top) - 1;
        if (id == IDC_imgMail) {
            Rectangle(dc, r.left, r.top + s / 5, r.left + s, r.top + s);
            MoveToEx(dc, r.left, r.top + s / 5, nullptr);
            LineTo(dc, r.left + s / 2, r.top + s * 3 / 5);
            LineTo(dc, r.left + s, r.top + s / 5);
        } else {
            Ellipse(dc, r.left, r.top, r.left + s, r.top + s);
            MoveToEx(dc, r.left, r.top + s / 2, nullptr);
            LineTo(dc, r.left + s, r.top + s / 2);
        }
        SelectObject(dc, op);
        SelectObject(dc, ob);
        DeleteObject(pen);
        DeleteObject(fill);
    }
}

void TWinWizard::ApplyFonts() {
    titleFont_ = MakePixelFont("Tahoma", 16, true);
    HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    GetObjectW(dialogFont, sizeof lf, &lf);
    lf.lfWeight = FW_BOLD;
    lf.lfUnderline = TRUE;
    HFONT link = CreateFontIndirectW(&lf);
    fonts_.push_back(link);
    SendMessageW(Control("lblWebSite"), WM_SETFONT, reinterpret_cast<WPARAM>(link), TRUE);
    SendMessageW(Control("lblMailUs"), WM_SETFONT, reinterpret_cast<WPARAM>(link), TRUE);
    SendMessageW(Control("btnRun"), WM_SETFONT, reinterpret_cast<WPARAM>(MakePixelFont("Times New Roman", 16, true)),
                 TRUE);
    SendMessageW(Control("mmoLogMsg"), WM_SETFONT, reinterpret_cast<WPARAM>(MakePixelFont("Courier New", 12, false)),
                 TRUE);
    SendMessageW(Control("lblFontPreview"), WM_SETFONT,
                 reinterpret_cast<WPARAM>(MakeFont(sampleFont_.name.empty() ? "Tahoma" : sampleFont_.name,
                                                   sampleFont_.size > 0 ? sampleFont_.size : 12, sampleStyle_ & 1,
                                                   sampleStyle_ & 2, sampleStyle_ & 4, sampleStyle_ & 8)),
                 TRUE);
    for (HWND p : pages_) InvalidateRect(p, nullptr, TRUE);
}

void TWinWizard::PrepareControls() {
    // Language nodes in creation order.
    for (const TWinControl& c : WizardControls()) {
        HWND w = Control(c.name);
        std::vector<HWND> items;
        std::string* title = nullptr;
        if (c.kind == TComponentKind::RadioGroup) {
            for (int i = 0;; ++i) {
                HWND b = GetDlgItem(GetParent(w), c.id + 1 + i);
                if (!b || (GetWindowLongW(b, GWL_STYLE) & BS_TYPEMASK) != BS_AUTORADIOBUTTON) break;
                items.push_back(b);
            }
        }
        for (int i = 0; i < kPageCount; ++i)
            if (std::string(c.name) == kPageNames[i]) title = &titles_[i];
        nodes_.push_back(std::make_unique<TWinNode>(*this, c.kind, c.name, w, items, title));
    }
    for (const char* dialog : {"dlgFont", "dlgSaveCHMFile", "dlgOpenDefaultPage", "dlgOpenAttachs"})
        nodes_.push_back(std::make_unique<TWinNode>(*this, TComponentKind::Component, dialog, nullptr));

    auto fill = [&](const char* name, std::initializer_list<const char*> items) {
        HWND combo = Control(name);
        for (const char* s : items) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(s).c_str()));
    };
    fill("cbbLanguage", {"Default(En) *"});
    fill("cbbEncoding", {"", "UTF-8", "GB2312", "BIG5"});
    fill("cbbCHMWinSize", {"[0,0,800,600]", "[0,0,1024,768]", "[0,0,1280,1024]"});
    fill("cbbDefaultTab", {"Content", "Search", "Bookmark", "Index"});
    SetText("cbbDefaultTab", "Content");
    SendMessageW(Control("cbbCHMLanguage"), CB_SETDROPPEDWIDTH, Scale(hwnd_, 320), 0);
    InitCheckList(Control("chklstTabStyles"),
                  {"Bookmarks", "Search", "Auto sync", "Closed when open ", "Auto show/hide"});
    InitCheckList(Control("chklstWinBtns"),
                  {"Menus", "Show/Hide", "Back", "Forward", "Stop", "Refresh", "Home", "Locator", "Options", "Print",
                   "Font", "Topic Next", "Topic Prev", "User Define", "About Quillbook"});
    {
        // Whole rows only in the toolbar list: a half row reads as a clipped control.
        HWND list = Control("chklstWinBtns");
        RECT row{}, box{}, client{};
        if (ListView_GetItemRect(list, 0, &row, LVIR_BOUNDS) && row.bottom > row.top) {
            GetWindowRect(list, &box);
            GetClientRect(list, &client);
            const int frame = (box.bottom - box.top) - client.bottom;
            const int rows = std::max(1, static_cast<int>(client.bottom / (row.bottom - row.top)));
            SetWindowPos(list, nullptr, 0, 0, box.right - box.left, rows * (row.bottom - row.top) + frame,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    SendMessageW(Control("mmoLogMsg"), EM_SETLIMITTEXT, 0, 0);
    SendMessageW(Control("pbPecent"), PBM_SETRANGE32, 0, 100);

    binding_ = std::make_unique<TWinBinding>([this](const std::string& name) { return Control(name); });
    binding_->Custom(
        "cbbLanguage", [this] { return TControlValue(Text("cbbLanguage")); },
        [this](const TControlValue& v) {
            // Start-up already selected this language; the text alone is restored.
            inLanguageChange_ = true;
            SetText("cbbLanguage", std::get<std::string>(v));
            inLanguageChange_ = false;
        });
    binding_->Custom(
        "lblFontPreview", [this] { return TControlValue(sampleFont_); },
        [this](const TControlValue& v) {
            sampleFont_ = std::get<TFontValue>(v);
            ApplyFonts();
        });
    binding_->Custom(
        "edtSiteFolder",
        [this] { return TControlValue(Checked("chkSite") ? Trim(Text("edtSiteFolder")) : std::string()); },
        [this](const TControlValue& v) {
            const std::string& text = std::get<std::string>(v);
            if (!text.empty()) SetText("edtSiteFolder", text);
            SendMessageW(Control("chkSite"), BM_SETCHECK, text.empty() ? BST_UNCHECKED : BST_CHECKED, 0);
            Enable("edtSiteFolder", !text.empty());
            Enable("btnSiteFolder", !text.empty());
        });
    binding_->AfterSet("rgDataSource", [this] {
        if (!quietRange_) rgDataSourceClick();
    });
    binding_->AfterSet("chkKeepDir", [this] { chkKeepDirClick(); });
    binding_->AfterSet("chkNavLink", [this] { chkNavLinkClick(); });
    ApplyFonts();
    ApplyControlDefaults();
}

void TWinWizard::ApplyControlDefaults() {
    // A new wizard has no range to name yet.
    quietRange_ = true;
    for (const TControlDecl& d : ControlTable()) {
        if (d.kind != TControlKind::CheckList) {
            binding_->Set(d.name, -1, ControlDefault(d.name));
            continue;
        }
        for (int i = 0; i < d.items; ++i) binding_->Set(d.name, i, ControlDefault(d.name, i));
    }
    quietRange_ = false;
}

void TWinWizard::SetHostIcon() {
    const std::string exe = hostValues_.Value("Application.ExeFile");
    if (!exe.empty()) ExtractIconExW(Wide(exe).c_str(), 0, &icon_, &smallIcon_, 1);
    if (icon_) SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    if (smallIcon_) SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
}

void TWinWizard::FormCreate() {
    ApplyLanguage(CurrentLanguage(), *this);
    pageIndex_ = 0;
    {
        // Names the language file already put into the list are not repeated.
        HWND combo = Control("cbbLanguage");
        inLanguageChange_ = true;
        const std::string text = Text("cbbLanguage");
        const std::vector<std::string> present = TWinNode(*this, TComponentKind::ComboBox, "", combo).Items();
        for (const std::string& name : LanguageNames()) {
            bool found = false;
            for (const std::string& p : present) found = found || EqualsNoCase(p, name);
            if (!found) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(name).c_str()));
        }
        SetText("cbbLanguage", text);
        inLanguageChange_ = false;
    }
    {
        HWND combo = Control("cbbCHMLanguage");
        const std::string text = Text("cbbCHMLanguage");
        for (const std::string& item : AvailableChmLanguages())
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
        SetText("cbbCHMLanguage", text);
    }
    ShowPage();
}

std::string TWinWizard::ItemCaption() const {
    return CurrentItemCaption(options_.DatabaseHandle, hostValues_.Value("TreeView.CurNode_DvoPath"));
}

std::string TWinWizard::RangeItem(int i) const { return RangeItemText(rangeCaption_[i], rangeHost_[i]); }

void TWinWizard::TakeRangeCaptions() {
    // An item text other than caption + host was put there by a language.
    const TWinNode* node = nullptr;
    for (const auto& n : nodes_)
        if (n->Name() == "rgDataSource") node = n.get();
    const std::vector<std::string> items = node->Items();
    for (int i = 0; i < 2 && i < static_cast<int>(items.size()); ++i)
        if (items[static_cast<std::size_t>(i)] != RangeItem(i)) rangeCaption_[i] = items[static_cast<std::size_t>(i)];
}

void TWinWizard::LoadFromHostAndSettings() {
    rangeCaption_[0] = "Current branch: ";
    rangeCaption_[1] = "Current database:";
    std::unique_ptr<TSettingsDocument> scratch;
    TSettingsDocument* doc = HeldSettings();
    if (!doc) {
        scratch = NewSettingsDocument();
        doc = scratch.get();
    }
    try {
        SetHostIcon();
        TSettingsEnvironment env = DefaultSettingsEnvironment();
        if (const std::int32_t lcid = ThreadLocale(); lcid > 0) {
            const std::string prefix = Format("0x%x ", {lcid});
            for (const std::string& item : TWinNode(*this, TComponentKind::ComboBox, "", Control("cbbCHMLanguage")).Items())
                if (env.defaultCHMLanguage.empty() && item.rfind(prefix, 0) == 0) env.defaultCHMLanguage = item;
        }
        if (env.defaultCHMLanguage.empty()) env.defaultCHMLanguage = DefaultChmLanguage();
        LoadStorePath(doc->Quillbook(), *binding_, env);

        const std::string handle = hostValues_.Value("Database.HANDLE");
        if (!handle.empty()) {
            options_.DatabaseHandle = WizardStrToInt(handle);
            noDatabase_ = false;
            TakeRangeCaptions();
            rangeHost_[0] = ItemCaption();
            rangeHost_[1] = ExtractFileName(hostValues_.Value("Database.FullPath"));
            const HWND group = Control("rgDataSource");
            for (int i = 0; i < 2; ++i) SetWindowText(GetDlgItem(GetParent(group), IDC_rgDataSource0 + i), RangeItem(i));
            if (hostValues_.Value("TreeView.CurNode_DvoPath").empty()) {
                SetRadioIndex(group, 1);
                EnableWindow(GetDlgItem(GetParent(group), IDC_rgDataSource0), FALSE);
            }
        } else {
            noDatabase_ = true;
            ShowInfo(Msg(21));
            Enable("btnNext", false);
        }
        LoadSettingsIntoControls(doc->Quillbook(), *binding_, env);
        rgDataSourceClick();
    } catch (const std::exception& e) {
        ShowError(Msg(22) + e.what());
    }
    ShowPage();
}

// --- Pages and rules --------------------------------------------------------------

void TWinWizard::ShowPage() {
    pageIndex_ = std::clamp(pageIndex_, 0, kPageCount - 1);
    HWND focus = GetFocus();
    for (int i = 0; i < kPageCount; ++i) ShowWindow(pages_[i], i == pageIndex_ ? SW_SHOWNA : SW_HIDE);
    Enable("btnBack", pageIndex_ > 0 && !engineActive_);
    Enable("btnNext", pageIndex_ < kPageCount - 1 && !noDatabase_);
    try {
        SetWindowText(hwnd_, Format(Msg(2), {"Quillbook", pageIndex_ + 1, kPageCount}));
    } catch (const std::exception&) {
        SetWindowText(hwnd_, "Quillbook");
    }
    // Focus on a control now hidden or disabled goes to the next button that works.
    if (!focus || !IsWindowVisible(focus) || !IsWindowEnabled(focus)) {
        HWND next = Control("btnNext");
        SetFocus(IsWindowEnabled(next) ? next : Control("btnClose"));
    }
}

void TWinWizard::btnBackClick() {
    if (engineActive_) return;
    --pageIndex_;
    ShowPage();
}

void TWinWizard::btnNextClick() {
    if (noDatabase_) return;
    ++pageIndex_;
    ShowPage();
}

void TWinWizard::rgDataSourceClick() {
    const std::string name =
        RangeName(RadioIndex(Control("rgDataSource")), ItemCaption(), hostValues_.Value("Database.FullPath"));
    SetText("edtCHMFileName", Text("edtRootPath") + name + ".chm");
    SetText("edtCHMTitle", name);
}

void TWinWizard::chkKeepDirClick() { Enable("chkNiceDirName", Checked("chkKeepDir")); }
void TWinWizard::chkNavLinkClick() { Enable("chkMakePopupMenu", Checked("chkNavLink")); }

void TWinWizard::cbbLanguageChange(const std::string& text) {
    if (inLanguageChange_) return;
    if (engineActive_) {
        inLanguageChange_ = true;
        SetText("cbbLanguage", languageBeforeRun_);
        inLanguageChange_ = false;
        return;
    }
    inLanguageChange_ = true;
    try {
        std::vector<bool> tabStyles, winBtns;
        for (int i = 0; i < 5; ++i) tabStyles.push_back(binding_->Check("chklstTabStyles", i));
        for (int i = 0; i < 15; ++i) winBtns.push_back(binding_->Check("chklstWinBtns", i));
        SelectLanguage(text);
        ApplyLanguage(CurrentLanguage(), *this);
        RestoreAfterLanguage();
        TSettingsDocument* doc = HeldSettings();
        if (!doc || !SettingsSaved(doc->Quillbook())) {
            for (int i = 0; i < 5; ++i) binding_->SetCheck("chklstTabStyles", i, tabStyles[static_cast<std::size_t>(i)]);
            for (int i = 0; i < 15; ++i) binding_->SetCheck("chklstWinBtns", i, winBtns[static_cast<std::size_t>(i)]);
        }
        ShowPage();
        for (HWND p : pages_) InvalidateRect(p, nullptr, TRUE);
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
    inLanguageChange_ = false;
}

void TWinWizard::RestoreAfterLanguage() {
    TakeRangeCaptions();
    const HWND group = Control("rgDataSource");
    for (int i = 0; i < 2; ++i) SetWindowText(GetDlgItem(GetParent(group), IDC_rgDataSource0 + i), RangeItem(i));
    if (TSettingsDocument* doc = HeldSettings()) RestoreCheckListsFromSettings(doc->Quillbook(), *binding_);
    if (runState_) SetText("btnRun", Msg(5));
}

// --- Handlers -----------------------------------------------------------------------

bool TWinWizard::OnCommand(int id, int code, HWND from) {
    switch (id) {
        case IDOK:
        case IDCANCEL:
        case IDC_btnClose: RequestClose(); return true;
        case IDC_btnBack: btnBackClick(); return true;
        case IDC_btnNext: btnNextClick(); return true;
        case IDC_btnAbout: btnAboutClick(); return true;
        case IDC_btnLang: btnLangClick(); return true;
        case IDC_btnRun:
            if (runState_)
                StopClick();
            else
                btnRunClick();
            return true;
        case IDC_rgDataSource0:
        case IDC_rgDataSource1:
            if (code == BN_CLICKED) rgDataSourceClick();
            return true;
        case IDC_chkKeepDir: chkKeepDirClick(); return true;
        case IDC_chkNavLink: chkNavLinkClick(); return true;
        case IDC_cbbLanguage:
            if (code == CBN_EDITCHANGE) {
                cbbLanguageChange(WindowText(from));
            } else if (code == CBN_SELCHANGE) {
                // The edit part takes the chosen item only after this notification.
                const int sel = static_cast<int>(SendMessageW(from, CB_GETCURSEL, 0, 0));
                if (sel >= 0) {
                    const std::vector<std::string> items = TWinNode(*this, TComponentKind::ComboBox, "", from).Items();
                    const std::string chosen = items[static_cast<std::size_t>(sel)];
                    cbbLanguageChange(chosen);
                    // The language may have replaced the items, and with them the selection.
                    if (!engineActive_) {
                        inLanguageChange_ = true;
                        SetWindowText(from, chosen);
                        inLanguageChange_ = false;
                    }
                }
            }
            return true;
        case IDC_lblFontPreview:
            if (code == STN_CLICKED) lblFontPreviewClick();
            return true;
        case IDC_lblWebSite:
            if (code == STN_CLICKED) ShellOpen(kWebSite);
            return true;
        case IDC_lblMailUs:
            if (code == STN_CLICKED) ShellOpen(std::string("mailto:") + kMailAddress + "?subject=Quillbook Feedback: ");
            return true;
        case IDC_btnBrowserPath: btnBrowserPathClick(); return true;
        case IDC_btnChmFileName: btnChmFileNameClick(); return true;
        case IDC_btnBrowseDefaultPage: btnBrowseDefaultPageClick(); return true;
        case IDC_btnBrowseJump1: btnBrowseJump1Click(); return true;
        case IDC_btnSiteFolder: btnSiteFolderClick(); return true;
        case IDC_btnAddAttachs: btnAddAttachsClick(); return true;
        case IDC_btnRemoveAttachs: btnRemoveAttachsClick(); return true;
        case IDC_chkSite: {
            const bool on = Checked("chkSite");
            Enable("edtSiteFolder", on);
            Enable("btnSiteFolder", on);
            return true;
        }
        default: return false;
    }
}

void TWinWizard::lblFontPreviewClick() {
    TFontValue font = sampleFont_;
    int style = sampleStyle_;
    if (!ChooseFontFor(hwnd_, font, style)) return;
    sampleFont_ = font;
    sampleStyle_ = style;
    ApplyFonts();
    InvalidateRect(Control("lblFontPreview"), nullptr, TRUE);
}

void TWinWizard::btnBrowserPathClick() {
    std::string path = Text("edtRootPath");
    if (BrowseForFolder(hwnd_, path, Msg(4), 89)) SetText("edtRootPath", path);
}

void TWinWizard::btnSiteFolderClick() {
    std::string path = Text("edtSiteFolder");
    if (BrowseForFolder(hwnd_, path, Msg(4), 89)) SetText("edtSiteFolder", path);
}

void TWinWizard::btnChmFileNameClick() {
    std::string name = Text("edtCHMFileName");
    if (ChooseSaveFile(hwnd_, "CHM Files(*.chm)|*.chm|Any files(*.*)|*.*", "chm", name)) SetText("edtCHMFileName", name);
}

void TWinWizard::btnBrowseDefaultPageClick() {
    std::string name = Text("edtDefaultPage");
    if (ChooseOpenFile(hwnd_, "HTML Files(*.HTM; *.HTML)|*.htm;*.html|All Files(*.*)|*.*", "html", name))
        SetText("edtDefaultPage", name);
    lastDefaultPageName_ = name;
}

void TWinWizard::btnBrowseJump1Click() {
    // The dialog starts from whatever it held last.
    std::string name = lastDefaultPageName_;
    if (ChooseOpenFile(hwnd_, "HTML Files(*.HTM; *.HTML)|*.htm;*.html|All Files(*.*)|*.*", "html", name)) {
        SetText("edtUserButtonURL", name);
        lastDefaultPageName_ = name;
    }
}

void TWinWizard::btnAddAttachsClick() {
    HWND list = Control("lstAttachFiles");
    for (const std::string& file : ChooseOpenFiles(hwnd_))
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(file).c_str()));
}

void TWinWizard::btnRemoveAttachsClick() {
    HWND list = Control("lstAttachFiles");
    for (int i = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0)) - 1; i >= 0; --i)
        if (SendMessageW(list, LB_GETSEL, i, 0) > 0) SendMessageW(list, LB_DELETESTRING, i, 0);
}

namespace {
INT_PTR CALLBACK AboutProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        EndDialog(hwnd, IDOK);
        return TRUE;
    }
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}
}  // namespace

void TWinWizard::btnAboutClick() { DialogBoxParamW(module_, MAKEINTRESOURCEW(IDD_ABOUT), hwnd_, &AboutProc, 0); }

namespace {

// A button's caption as a window title: its key marker is no letter of the title.
std::string WithoutKeyMarker(const std::string& caption) {
    std::string title;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] != '&') {
            title += caption[i];
        } else if (i + 1 < caption.size() && caption[i + 1] == '&') {
            title += '&';
            ++i;
        }
    }
    return title;
}

}  // namespace

void TWinWizard::btnLangClick() {
    std::string name;
    if (!InputText(hwnd_, WithoutKeyMarker(Text("btnLang")), Msg(20), name) || name.empty()) return;
    try {
        // The About box lives only while it is shown: there is none to capture here.
        WriteNewLanguage(name, *this, nullptr);
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

void TWinWizard::RequestClose() {
    if (engineActive_) {
        closePending_ = true;
        return;
    }
    EndDialog(hwnd_, IDOK);
}

// --- Running ---------------------------------------------------------------------------

void TWinWizard::SetRunServices(IStorage& storage, IHelpCompiler& compiler) {
    storage_ = &storage;
    compiler_ = &compiler;
}

void TWinWizard::BuildOptions() {
    RangeIntoOptions(hostValues_, RadioIndex(Control("rgDataSource")), options_);
    qb::BuildOptions(*binding_, options_);
}

void TWinWizard::SaveToSettings() {
    if (TSettingsDocument* doc = HeldSettings()) SaveControlsToSettings(doc->Quillbook(), *binding_);
}

void TWinWizard::SetRunState(bool running) {
    runState_ = running;
    SetText("btnRun", Msg(running ? 5 : 6));
    ShowWindow(Control("pbPecent"), running ? SW_SHOWNA : SW_HIDE);
    POINT p;
    GetCursorPos(&p);
    SetCursorPos(p.x, p.y);  // the cursor takes its new shape at once
}

void TWinWizard::LockDuringRun(bool locked) {
    if (locked) languageBeforeRun_ = Text("cbbLanguage");
    Enable("cbbLanguage", !locked);
    ShowPage();
}

void TWinWizard::AppendLog(const std::string& text) {
    // One line per report; the edit control breaks lines at CR LF only.
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) line += '\r';
        line += text[i];
    }
    HWND log = Control("mmoLogMsg");
    const int end = GetWindowTextLengthW(log);
    const std::wstring w = Wide((end > 0 ? "\r\n" : "") + line);
    SendMessageW(log, EM_SETSEL, end, end);
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(w.c_str()));
    // The view follows the new line from its start, not from the end of the longest one.
    const LRESULT last = SendMessageW(log, EM_LINEINDEX, SendMessageW(log, EM_GETLINECOUNT, 0, 0) - 1, 0);
    SendMessageW(log, EM_SETSEL, last, last);
    SendMessageW(log, EM_SCROLLCARET, 0, 0);
}

void TWinWizard::OnProgress() {
    std::vector<std::string> lines;
    int position = -1;
    {
        std::lock_guard lock(pendingMutex_);
        lines.swap(pendingLines_);
        position = pendingPosition_;
        pendingPosition_ = -1;
        progressPosted_ = false;
    }
    HWND bar = Control("pbPecent");
    if (position >= 0) {
        position = std::min(position, 100);
        if (position != static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0))) SendMessageW(bar, PBM_SETPOS, position, 0);
    }
    if (lines.empty()) return;
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + lines[i];
    AppendLog(text);
}

bool TWinWizard::WorkerProgress(void* context, int position, const char* text) {
    auto* self = static_cast<TWinWizard*>(context);
    // Reports gather until the window takes them: one message in its queue at most, so
    // a click on Stop never waits behind thousands of log lines.
    if (text || position >= 0) {
        bool post = false;
        {
            std::lock_guard lock(self->pendingMutex_);
            if (text) self->pendingLines_.emplace_back(text);
            if (position >= 0) self->pendingPosition_ = position;
            post = !std::exchange(self->progressPosted_, true);
        }
        if (post) PostMessageW(self->hwnd_, WM_QB_PROGRESS, 0, 0);
    }
    return self->stopRequested_;
}

void TWinWizard::btnRunClick() {
    // One run at a time: after a stop the engine may still be on its way out.
    if (engineActive_) return;
    HWND bar = Control("pbPecent");
    SendMessageW(bar, PBM_SETRANGE32, 0, 100);
    SendMessageW(bar, PBM_SETPOS, 0, 0);
    stopRequested_ = false;
    {
        std::lock_guard lock(pendingMutex_);
        pendingLines_.clear();
        pendingPosition_ = -1;
    }
    SetRunState(true);
    try {
        BuildOptions();
    } catch (const std::exception& e) {
        EndRun();
        ShowError(e.what());
        return;
    }
    SetText("mmoLogMsg", "");
    // Each compile loads and frees the help compiler on the run's thread; its unloading there
    // never returned (the library's threads end with it), so it stays loaded for the process.
    if (!compiler_) {
        const std::string library = FindHelpCompiler();
        HMODULE pinned = nullptr;
        if (!library.empty() && LoadLibraryW(Wide(library).c_str()))
            GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, Wide(library).c_str(), &pinned);
    }
    engineActive_ = true;
    LockDuringRun(true);
    JoinRun();
    run_ = std::make_unique<TRun>(options_, storage_ ? *storage_ : LibraryStorage(),
                                  compiler_ ? *compiler_ : LibraryHelpCompiler(), &TWinWizard::WorkerProgress, this);
    // The run goes on its own thread; its reports and its end come back as posted messages.
    worker_ = std::thread([this, run = run_.get()] {
        const std::optional<std::string> ended = run->ExecuteReportingError();
        const bool failed = ended.has_value();
        const std::string error = ended.value_or("");
        PostMessageW(hwnd_, WM_QB_FINISHED, failed ? 1 : 0,
                     reinterpret_cast<LPARAM>(error.empty() ? nullptr : new std::string(error)));
    });
}

void TWinWizard::RunFinished(bool failed, const std::string& error) {
    JoinRun();
    const bool completed = !failed && !stopRequested_;
    std::error_code ec;
    if (!failed && Checked("chkOpenCHMFile") && !options_.ChmFileName.empty() &&
        std::filesystem::is_regular_file(std::filesystem::path(Wide(options_.ChmFileName)), ec))
        ShellOpen(options_.ChmFileName);
    engineActive_ = false;
    LockDuringRun(false);
    EndRun();
    if (completed) {
        const bool compiled = !options_.ChmFileName.empty() &&
                              std::filesystem::is_regular_file(std::filesystem::path(Wide(options_.ChmFileName)), ec);
        AppendLog(compiled ? "Compiled help file: " + options_.ChmFileName : "Output folder: " + options_.RootPath);
        // A full bar stays as the sign that the run went to its end.
        SendMessageW(Control("pbPecent"), PBM_SETPOS, 100, 0);
        ShowWindow(Control("pbPecent"), SW_SHOWNA);
    }
    if (!error.empty()) ShowError(error);
    if (closePending_) {
        closePending_ = false;
        EndDialog(hwnd_, IDOK);
    }
}

void TWinWizard::JoinRun() {
    if (run_) run_->RequestStop();
    if (worker_.joinable()) worker_.join();
    run_.reset();
}

void TWinWizard::StopClick() {
    const std::wstring text = Wide(Msg(3));
    if (MessageBoxW(hwnd_, text.c_str(), L"Quillbook", MB_OKCANCEL | MB_ICONWARNING) == IDOK) EndRun();
}

void TWinWizard::EndRun() {
    stopRequested_ = true;
    if (run_) run_->RequestStop();
    SetRunState(false);
    // After a confirmed stop the engine is still on its way out.
    Enable("btnRun", !engineActive_);
}

}  // namespace qb::win
