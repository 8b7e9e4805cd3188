#include "winwizard/WinNodes.h"

#include <commctrl.h>

#include "support/Error.h"
#include "winwizard/WinDialogs.h"
#include "winwizard/WinWizard.h"

namespace qb::win {

namespace {

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

bool IsCombo(HWND w) { return lstrcmpiW(ClassOf(w).c_str(), WC_COMBOBOXW) == 0; }
bool IsListBox(HWND w) { return lstrcmpiW(ClassOf(w).c_str(), WC_LISTBOXW) == 0; }
bool IsEdit(HWND w) { return lstrcmpiW(ClassOf(w).c_str(), WC_EDITW) == 0; }
bool IsButton(HWND w) { return lstrcmpiW(ClassOf(w).c_str(), WC_BUTTONW) == 0; }

std::vector<std::string> ComboItems(HWND combo) {
    std::vector<std::string> items;
    const int n = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        const int len = static_cast<int>(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0));
        std::wstring text(static_cast<std::size_t>(len > 0 ? len : 0) + 1, L'\0');
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(len > 0 ? len : 0));
        items.push_back(Utf8(text));
    }
    return items;
}

std::vector<std::string> ListBoxItems(HWND list) {
    std::vector<std::string> items;
    const int n = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        const int len = static_cast<int>(SendMessageW(list, LB_GETTEXTLEN, i, 0));
        std::wstring text(static_cast<std::size_t>(len > 0 ? len : 0) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(len > 0 ? len : 0));
        items.push_back(Utf8(text));
    }
    return items;
}

std::vector<std::string> CheckListItems(HWND list) {
    std::vector<std::string> items;
    const int n = ListView_GetItemCount(list);
    for (int i = 0; i < n; ++i) {
        wchar_t text[512] = {};
        ListView_GetItemText(list, i, 0, text, 512);
        items.push_back(Utf8(text));
    }
    return items;
}

}  // namespace

bool IsCheckList(HWND window) { return lstrcmpiW(ClassOf(window).c_str(), WC_LISTVIEWW) == 0; }

void InitCheckList(HWND list, const std::vector<std::string>& items) {
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    if (Header_GetItemCount(ListView_GetHeader(list)) == 0) {
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH;
        RECT r;
        GetClientRect(list, &r);
        column.cx = r.right - r.left - GetSystemMetrics(SM_CXVSCROLL);
        ListView_InsertColumn(list, 0, &column);
    }
    ListView_DeleteAllItems(list);
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::wstring text = Wide(items[i]);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = text.data();
        ListView_InsertItem(list, &item);
    }
}

int RadioIndex(HWND group) {
    HWND parent = GetParent(group);
    const int id = GetDlgCtrlID(group);
    for (int i = 0;; ++i) {
        HWND b = GetDlgItem(parent, id + 1 + i);
        if (!b || !IsButton(b) || (GetWindowLongW(b, GWL_STYLE) & BS_TYPEMASK) != BS_AUTORADIOBUTTON) return -1;
        if (SendMessageW(b, BM_GETCHECK, 0, 0) == BST_CHECKED) return i;
    }
}

void SetRadioIndex(HWND group, int index) {
    HWND parent = GetParent(group);
    const int id = GetDlgCtrlID(group);
    for (int i = 0;; ++i) {
        HWND b = GetDlgItem(parent, id + 1 + i);
        if (!b || !IsButton(b) || (GetWindowLongW(b, GWL_STYLE) & BS_TYPEMASK) != BS_AUTORADIOBUTTON) return;
        SendMessageW(b, BM_SETCHECK, i == index ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

// --- Language nodes ---------------------------------------------------------------

std::string TWinNode::Caption() const {
    if (title_) return *title_;
    return window_ ? WindowText(window_) : "";
}

void TWinNode::SetCaption(const std::string& caption) {
    if (title_) {
        *title_ = caption;
        if (window_) InvalidateRect(window_, nullptr, TRUE);
        return;
    }
    if (window_) SetWindowText(window_, caption);
}

void TWinNode::SetHint(const std::string& hint) {
    hint_ = hint;
    // A radio group shows its hint over its buttons too.
    if (window_) wizard_.SetToolTip(window_, hint);
    for (HWND b : items_) wizard_.SetToolTip(b, hint);
}

std::vector<std::string> TWinNode::Items() const {
    if (!items_.empty()) {
        std::vector<std::string> texts;
        for (HWND b : items_) texts.push_back(WindowText(b));
        return texts;
    }
    if (!window_) return {};
    if (IsCombo(window_)) return ComboItems(window_);
    if (IsListBox(window_)) return ListBoxItems(window_);
    if (IsCheckList(window_)) return CheckListItems(window_);
    return {};
}

void TWinNode::SetItems(const std::vector<std::string>& items) {
    if (!items_.empty()) {
        // The group has as many buttons as its template; texts beyond them have no place.
        for (std::size_t i = 0; i < items_.size() && i < items.size(); ++i) SetWindowText(items_[i], items[i]);
        return;
    }
    if (!window_) return;
    if (IsCombo(window_)) {
        // The box keeps the text it shows.
        const std::string text = WindowText(window_);
        SendMessageW(window_, CB_RESETCONTENT, 0, 0);
        for (const std::string& s : items) SendMessageW(window_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(s).c_str()));
        SetWindowText(window_, text);
    } else if (IsListBox(window_)) {
        SendMessageW(window_, LB_RESETCONTENT, 0, 0);
        for (const std::string& s : items) SendMessageW(window_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(s).c_str()));
    } else if (IsCheckList(window_)) {
        InitCheckList(window_, items);
    }
}

TUiFont TWinNode::Font() const {
    TUiFont f = wizard_.Font();
    HFONT font = window_ ? reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0)) : nullptr;
    LOGFONTW lf{};
    if (font && GetObjectW(font, sizeof lf, &lf)) {
        f.name = Utf8(lf.lfFaceName);
        HDC dc = GetDC(window_);
        f.size = MulDiv(lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight, 72, GetDeviceCaps(dc, LOGPIXELSY));
        ReleaseDC(window_, dc);
        f.charset = lf.lfCharSet == DEFAULT_CHARSET ? 0 : lf.lfCharSet;
    }
    return f;
}

void TWinNode::SetFont(const TUiFont& font) {
    if (!window_ || font.name.empty()) return;
    HFONT current = reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    if (current) GetObjectW(current, sizeof lf, &lf);
    const TUiFont now = Font();
    // The same face and size: the control keeps its font and its style.
    if (now.name == font.name && (font.size <= 0 || now.size == font.size) && font.charset == now.charset) return;
    HFONT made = wizard_.MakeFont(font.name, font.size > 0 ? font.size : now.size, lf.lfWeight >= FW_BOLD,
                                  lf.lfItalic, lf.lfUnderline, lf.lfStrikeOut,
                                  font.charset > 0 ? font.charset : DEFAULT_CHARSET);
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(made), TRUE);
}

// --- Option binding -----------------------------------------------------------------

void TWinBinding::Custom(const std::string& control, std::function<TControlValue()> get,
                         std::function<void(const TControlValue&)> set) {
    custom_[control] = {std::move(get), std::move(set)};
}

void TWinBinding::AfterSet(const std::string& control, std::function<void()> handler) {
    after_[control] = std::move(handler);
}

HWND TWinBinding::Window(const std::string& control) const {
    HWND w = lookup_(control);
    if (!w) throw Error("The wizard has no control \"" + control + "\"");
    return w;
}

TControlValue TWinBinding::Get(const std::string& control, int item) const {
    if (auto it = custom_.find(control); it != custom_.end()) return it->second.get();
    const TControlDecl* decl = FindControl(control);
    if (!decl) throw Error("No control \"" + control + "\" in the option schema");
    HWND w = Window(control);
    switch (decl->kind) {
        case TControlKind::Check: return SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED;
        case TControlKind::Choice:
            if (IsCombo(w)) return static_cast<std::int32_t>(SendMessageW(w, CB_GETCURSEL, 0, 0));
            return static_cast<std::int32_t>(RadioIndex(w));
        case TControlKind::Text: return WindowText(w);
        case TControlKind::Entries: return ListBoxItems(w);
        case TControlKind::CheckList: return item >= 0 && item < ListView_GetItemCount(w) && ListView_GetCheckState(w, item) != 0;
        case TControlKind::Font: break;
    }
    throw Error("The wizard's control \"" + control + "\" is of no kind the binding knows");
}

void TWinBinding::Set(const std::string& control, int item, const TControlValue& value) {
    if (auto it = custom_.find(control); it != custom_.end()) {
        it->second.set(value);
    } else {
        const TControlDecl* decl = FindControl(control);
        if (!decl) throw Error("No control \"" + control + "\" in the option schema");
        HWND w = Window(control);
        switch (decl->kind) {
            case TControlKind::Check:
                SendMessageW(w, BM_SETCHECK, std::get<bool>(value) ? BST_CHECKED : BST_UNCHECKED, 0);
                break;
            case TControlKind::Choice: {
                const int index = std::get<std::int32_t>(value);
                if (IsCombo(w)) {
                    const int count = static_cast<int>(SendMessageW(w, CB_GETCOUNT, 0, 0));
                    if (index >= 0 && index < count) {
                        SendMessageW(w, CB_SETCURSEL, index, 0);
                    } else {
                        // No item chosen: the box keeps showing its text.
                        const std::string text = WindowText(w);
                        SendMessageW(w, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
                        SetWindowText(w, text);
                    }
                } else {
                    // An index outside the items leaves the choice alone.
                    const int count = [&] {
                        int n = 0;
                        while (HWND b = GetDlgItem(GetParent(w), GetDlgCtrlID(w) + 1 + n)) {
                            if ((GetWindowLongW(b, GWL_STYLE) & BS_TYPEMASK) != BS_AUTORADIOBUTTON) break;
                            ++n;
                        }
                        return n;
                    }();
                    if (index >= -1 && index < count) SetRadioIndex(w, index);
                }
                break;
            }
            case TControlKind::Text: {
                std::string text = std::get<std::string>(value);
                if (IsEdit(w) && (GetWindowLongW(w, GWL_STYLE) & ES_MULTILINE)) {
                    // The edit control breaks lines at CR LF only.
                    std::string crlf;
                    for (std::size_t i = 0; i < text.size(); ++i) {
                        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) crlf += '\r';
                        crlf += text[i];
                    }
                    text = crlf;
                }
                SetWindowText(w, text);
                break;
            }
            case TControlKind::Entries:
                SendMessageW(w, LB_RESETCONTENT, 0, 0);
                for (const std::string& s : std::get<std::vector<std::string>>(value))
                    SendMessageW(w, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(s).c_str()));
                break;
            case TControlKind::CheckList:
                if (item >= 0 && item < ListView_GetItemCount(w)) ListView_SetCheckState(w, item, std::get<bool>(value));
                break;
            case TControlKind::Font: throw Error("The wizard's control \"" + control + "\" needs its own binding");
        }
    }
    if (auto it = after_.find(control); it != after_.end() && it->second) it->second();
}

}  // namespace qb::win
