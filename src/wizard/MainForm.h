#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QDialog>
#include <QStringList>

#include "Utils/StringList.h"
#include "engine/OptionSchema.h"
#include "engine/Options.h"
#include "settings/UiComponent.h"
#include "wizard/UiNodes.h"
#include "wizard/WidgetBinding.h"

class QComboBox;
class QFrame;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;

namespace qb {

class IHelpCompiler;
class IStorage;
class TRun;
class TRadioGroup;
class TWizardPage;
class TClickLabel;
class TFrmAbout;

// Font style bits of the sample font (not stored in the settings).
enum TFontStyle { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// The dialogs the wizard opens; replaceable so tests answer them without a window.
struct TWizardDialogs {
    // Font dialog preset with font and style; true on OK with the choice in both.
    std::function<bool(QWidget* owner, TFontValue& font, int& style)> font;
    // Save or open dialog for one file: filter in Qt form, default suffix,
    // name in (preset) and out (chosen); true on OK.
    std::function<bool(QWidget* owner, const QString& filter, const QString& suffix, QString& name)> saveFile;
    std::function<bool(QWidget* owner, const QString& filter, const QString& suffix, QString& name)> openFile;
    // Several existing files; empty when cancelled.
    std::function<QStringList(QWidget* owner)> openFiles;
    // Input box for a text; true on OK.
    std::function<bool(QWidget* owner, const QString& caption, const QString& prompt, QString& text)> inputText;
};
TWizardDialogs QtWizardDialogs();

// The seven-page wizard: language, range and method, export options, header
// and footer, help window options, files, run.
class TFrmMain : public QDialog, public IUiComponent {
public:
    static constexpr int kPageCount = 7;
    static constexpr const char* kWebSite = "https://quillbook.example.org/";
    static constexpr const char* kMailAddress = "support@quillbook.example.org";

    // owner null: the window active at this moment.
    explicit TFrmMain(QWidget* owner = nullptr);
    ~TFrmMain() override;

    // The host's key=value lines; filled before LoadFromHostAndSettings.
    TStringList& HostValues() { return hostValues_; }
    // Initialisation from the host values and the held settings document.
    void LoadFromHostAndSettings();

    int PageIndex() const { return pageIndex_; }
    void ShowPage();
    void RestoreAfterLanguage();

    // Options from the controls; raises qb::Error when the pane width is no integer.
    void BuildOptions();
    const TConvertOptions& Options() const { return options_; }
    // Shows one progress report on the window (UI thread); returns the stop flag.
    static bool RunProgress(void* context, int position, const char* text);
    void EndRun();
    // Where the next runs read and compile (by default the libraries); both outlive the wizard.
    void SetRunServices(IStorage& storage, IHelpCompiler& compiler);
    // Controls into the held settings document (nothing when none is held).
    void SaveToSettings();

    bool StopRequested() const { return stopRequested_; }
    // True from the start of a run until the engine has returned and the
    // window has taken its result.
    bool EngineActive() const { return engineActive_; }
    TWizardDialogs& Dialogs() { return dialogs_; }
    TFrmAbout* AboutBox() const { return about_.get(); }
    // The component of that name, as the language binding finds it.
    QWidget* Control(const std::string& name) const;
    // The controls of the option schema, by name.
    IControlValues& Controls() { return *binding_; }

    // Event handlers.
    void btnBackClick();
    void btnNextClick();
    void rgDataSourceClick();
    void chkKeepDirClick();
    void chkNavLinkClick();
    void cbbLanguageChange();
    void lblFontPreviewClick();
    void btnBrowserPathClick();
    void btnChmFileNameClick();
    void btnBrowseDefaultPageClick();
    void btnSiteFolderClick();
    void btnBrowseJump1Click();
    void btnAddAttachsClick();
    void btnRemoveAttachsClick();
    void btnAboutClick();
    void lblWebSiteClick();
    void lblMailUsClick();
    void btnLangClick();
    void btnRunClick();
    void StopClick();

    // IUiComponent
    TComponentKind Kind() const override { return TComponentKind::Window; }
    std::string Name() const override { return "FrmMain"; }
    std::string ClassName() const override { return "TFrmMain"; }
    std::string Caption() const override;
    void SetCaption(const std::string& caption) override;
    TUiFont Font() const override;
    void SetFont(const TUiFont& font) override;
    std::vector<IUiComponent*> Owned() const override { return tree_.Components(); }

    // Close, Enter, Escape and the close box: at once when idle, after the run otherwise.
    void RequestClose();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Texts set quietly since the last fit (settings, host) get their room before the window shows.
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void FormCreate();
    void BuildPages();
    void BuildWelcomePage(TWizardPage* page);
    void BuildTypesPage(TWizardPage* page);
    void BuildOptionsPage(TWizardPage* page);
    void BuildFramePage(TWizardPage* page);
    void BuildCHMOptionsPage(TWizardPage* page);
    void BuildMiscPage(TWizardPage* page);
    void BuildFinishedPage(TWizardPage* page);
    TWizardPage* AddPage(const std::string& name, const char* title);
    void SetHostIcon();
    void ApplyFontPreview();
    std::string CurrentItemCaption() const;
    std::string RangeName() const;
    void SetRunState(bool running);
    // The worker thread's TProgressCallback: queues the report for the window.
    static bool WorkerProgress(void* context, int position, const char* text);
    // On the UI thread once the worker's run has returned (error: its text, or empty).
    void RunFinished(bool failed, const std::string& error);
    // The language box and Back while the engine runs: changing either would
    // pull the message table or the log away from the run.
    void LockDuringRun(bool locked);
    // Asks a run still going to stop and waits for its thread.
    void JoinRun();
    TSettingsEnvironment SettingsEnvironment() const;
    void BindControls();
    // A check box named for the language files; its mark comes from the option rows.
    QCheckBox* Check(QWidget* parent, const char* name, const char* caption);
    // Every control of the option rows as a new wizard shows it.
    void ApplyControlDefaults();

    TUiTree tree_;
    TStringList hostValues_;
    TConvertOptions options_;
    TWizardDialogs dialogs_;
    std::unique_ptr<TWidgetBinding> binding_;
    std::unique_ptr<TFrmAbout> about_;
    // Read by the run's thread in every progress report.
    std::atomic<bool> stopRequested_{true};
    bool engineActive_ = false;
    IStorage* storage_ = nullptr;
    IHelpCompiler* compiler_ = nullptr;
    std::unique_ptr<TRun> run_;
    std::thread worker_;
    bool runState_ = false;  // the Run button reads Stop
    bool cursorBusy_ = false;
    bool closePending_ = false;
    bool inLanguageChange_ = false;
    QString languageBeforeRun_;
    bool noDatabase_ = false;
    int pageIndex_ = 0;
    // Item texts of rgDataSource without the host's text, and the host's texts.
    QString rangeCaption_[2];
    QString rangeHost_[2];
    // Item i of rgDataSource: caption, then the host's text.
    QString RangeItemText(int i) const;
    // Keeps the captions a language put into rgDataSource.
    void TakeRangeCaptions();
    // Lays out pages, logo, bevel and buttons for a client area of that size.
    void PlaceFrame(int width, int pagesHeight);
    // Grows the window until no control is squeezed (never below the designed client area).
    void FitToContents();
    // After a run that went to its end: a log line naming what it made, the bar kept full.
    void ShowRunResult();
    TFontValue sampleFont_;
    int sampleStyle_ = 0;
    QString lastDefaultPageDialogName_;
    QWidget* owner_ = nullptr;

    QStackedWidget* pages_ = nullptr;
    std::vector<TWizardPage*> pageList_;
    QLabel* imgLogo_ = nullptr;
    QFrame* bevel_ = nullptr;
    // Page 0
    QLabel* imgWizard_ = nullptr;
    QLabel* lblWelMessage_ = nullptr;
    QLabel* lblLanguage_ = nullptr;
    QComboBox* cbbLanguage_ = nullptr;
    TClickLabel* lblWebSite_ = nullptr;
    TClickLabel* lblMailUs_ = nullptr;
    // Page 1
    TRadioGroup* rgDataSource_ = nullptr;
    TRadioGroup* rgConverter_ = nullptr;
    // Page 2
    QCheckBox* chkKeepDir_ = nullptr;
    QCheckBox* chkNiceDirName_ = nullptr;
    QCheckBox* chkNavLink_ = nullptr;
    QCheckBox* chkMakePopupMenu_ = nullptr;
    TClickLabel* lblFontPreview_ = nullptr;
    // Page 4
    QComboBox* cbbCHMLanguage_ = nullptr;
    QLineEdit* edtCHMTitle_ = nullptr;
    QListWidget* chklstTabStyles_ = nullptr;
    QListWidget* chklstWinBtns_ = nullptr;
    QLineEdit* edtUserButtonURL_ = nullptr;
    // Page 5
    QLineEdit* edtDefaultPage_ = nullptr;
    QLineEdit* edtRootPath_ = nullptr;
    QListWidget* lstAttachFiles_ = nullptr;
    QLineEdit* edtCHMFileName_ = nullptr;
    QCheckBox* chkOpenCHMFile_ = nullptr;
    QCheckBox* chkSite_ = nullptr;
    QLineEdit* edtSiteFolder_ = nullptr;
    // Page 6
    QPushButton* btnRun_ = nullptr;
    QProgressBar* pbPecent_ = nullptr;
    QPlainTextEdit* mmoLogMsg_ = nullptr;
    // Buttons
    QPushButton* btnAbout_ = nullptr;
    QPushButton* btnLang_ = nullptr;
    QPushButton* btnBack_ = nullptr;
    QPushButton* btnNext_ = nullptr;
    QPushButton* btnClose_ = nullptr;
};

}  // namespace qb
