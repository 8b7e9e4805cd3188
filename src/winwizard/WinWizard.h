#pragma once
#include <windows.h>

#include <atomic>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Utils/StringList.h"
#include "engine/OptionSchema.h"
#include "engine/Options.h"
#include "settings/UiComponent.h"

// The seven-page wizard drawn with the system's dialogs and common controls.
namespace qb {

class TRun;
class IStorage;
class IHelpCompiler;

namespace win {

// One named control of the wizard: its dialog id and the page that holds it (-1: the frame).
struct TWinControl {
    const char* name;
    int id;
    int page;
    TComponentKind kind;
};
// Every named control in creation order.
const std::vector<TWinControl>& WizardControls();
const TWinControl* FindWinControl(const std::string& name);

// Posted by the run's thread to the wizard window.
constexpr UINT WM_QB_PROGRESS = WM_APP + 1;  // reports wait in the wizard
constexpr UINT WM_QB_FINISHED = WM_APP + 2;  // wParam failed, lParam std::string* error or 0

class TWinNode;
class TWinBinding;

// The wizard window while one is shown on any thread, else null (owner of message boxes).
HWND ActiveWizardWindow();

class TWinWizard : public IUiComponent {
public:
    static constexpr int kPageCount = 7;
    explicit TWinWizard(HINSTANCE module);
    ~TWinWizard() override;

    TStringList& HostValues() { return hostValues_; }
    // Creates the window owned by the host's window (from the host values, else the active one),
    // initialises it and returns when it has closed and its controls are in the held settings;
    // raises what writing them raised.
    void ShowModal();
    void SetRunServices(IStorage& storage, IHelpCompiler& compiler);

    HWND Window() const { return hwnd_; }
    HWND Control(const std::string& name) const;
    IControlValues& Controls();

    // IUiComponent
    TComponentKind Kind() const override { return TComponentKind::Window; }
    std::string Name() const override { return "FrmMain"; }
    std::string ClassName() const override { return "TFrmMain"; }
    std::string Caption() const override;
    void SetCaption(const std::string& caption) override;
    TUiFont Font() const override { return font_; }
    void SetFont(const TUiFont& font) override;
    std::vector<IUiComponent*> Owned() const override;

    // A font of that face, size in points and style at the window's DPI, kept until the window goes.
    HFONT MakeFont(const std::string& face, int points, bool bold, bool italic, bool underline, bool strike,
                   int charset = DEFAULT_CHARSET);
    HFONT MakePixelFont(const std::string& face, int pixels, bool bold);
    // Shows hint as the control's tooltip; an empty hint removes it.
    void SetToolTip(HWND control, const std::string& hint);

private:
    friend class TWinBinding;
    static INT_PTR CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static INT_PTR CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR OnFrame(UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR OnPage(HWND page, UINT msg, WPARAM wp, LPARAM lp);
    bool OnCommand(int id, int code, HWND from);
    INT_PTR OnCtlColor(HDC dc, HWND control);
    void OnDrawItem(const DRAWITEMSTRUCT& item);
    void PaintPage(HWND page);

    void FormCreate();
    void PrepareControls();
    void ApplyControlDefaults();
    void LoadFromHostAndSettings();
    void ShowPage();
    void ApplyFonts();
    void SetHostIcon();
    std::string ItemCaption() const;
    std::string RangeItem(int i) const;
    void TakeRangeCaptions();
    void RestoreAfterLanguage();

    void btnBackClick();
    void btnNextClick();
    void rgDataSourceClick();
    void chkKeepDirClick();
    void chkNavLinkClick();
    void cbbLanguageChange(const std::string& text);
    void lblFontPreviewClick();
    void btnBrowserPathClick();
    void btnChmFileNameClick();
    void btnBrowseDefaultPageClick();
    void btnBrowseJump1Click();
    void btnSiteFolderClick();
    void btnAddAttachsClick();
    void btnRemoveAttachsClick();
    void btnAboutClick();
    void btnLangClick();
    void btnRunClick();
    void StopClick();
    void RequestClose();

    void BuildOptions();
    void SaveToSettings();
    void SetRunState(bool running);
    void EndRun();
    void LockDuringRun(bool locked);
    // Shows the reports the run's thread gathered since the last call.
    void OnProgress();
    void RunFinished(bool failed, const std::string& error);
    void JoinRun();
    void AppendLog(const std::string& text);
    static bool WorkerProgress(void* context, int position, const char* text);

    std::string Text(const std::string& name) const;
    void SetText(const std::string& name, const std::string& text);
    bool Checked(const std::string& name) const;
    void Enable(const std::string& name, bool on);

    HINSTANCE module_;
    HWND hwnd_ = nullptr;
    HWND owner_ = nullptr;
    HWND pages_[kPageCount] = {};
    std::string titles_[kPageCount];
    std::vector<std::unique_ptr<TWinNode>> nodes_;
    std::unique_ptr<TWinBinding> binding_;
    TStringList hostValues_;
    TConvertOptions options_;
    TUiFont font_{"Tahoma", 9, 0};
    std::vector<HFONT> fonts_;
    HFONT titleFont_ = nullptr;
    HWND tooltip_ = nullptr;
    std::map<HWND, std::wstring> tips_;  // the text each tool shows, kept while it does
    HICON icon_ = nullptr, smallIcon_ = nullptr;
    HBRUSH white_ = nullptr;
    TFontValue sampleFont_;
    int sampleStyle_ = 0;
    std::string rangeCaption_[2], rangeHost_[2];
    std::string lastDefaultPageName_;
    std::string languageBeforeRun_;
    int pageIndex_ = 0;
    bool noDatabase_ = false;
    bool inLanguageChange_ = false;
    bool quietRange_ = false;

    IStorage* storage_ = nullptr;
    IHelpCompiler* compiler_ = nullptr;
    std::unique_ptr<TRun> run_;
    std::thread worker_;
    std::atomic<bool> stopRequested_{true};
    std::mutex pendingMutex_;
    std::vector<std::string> pendingLines_;
    int pendingPosition_ = -1;
    bool progressPosted_ = false;
    bool engineActive_ = false;
    bool runState_ = false;
    bool closePending_ = false;
    std::exception_ptr saveError_;
};

}  // namespace win
}  // namespace qb
