// The wizard's behaviour: initialisation, page and language changes, the
// handlers, the run and the settings binding.
#include <filesystem>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QStandardPaths>

#include "Utils/Format.h"
#include "Utils/Platform.h"
#include "Utils/Utils.h"
#include "dvo/dvo.h"
#include "engine/Defaults.h"
#include "engine/Engine.h"
#include "engine/WizardRules.h"
#include "settings/Colors.h"
#include "settings/Language.h"
#include "settings/MessageTable.h"
#include "settings/Settings.h"
#include "support/Error.h"
#include "support/Numbers.h"
#include "wizard/AboutBox.h"
#include "wizard/MainForm.h"
#include "wizard/Widgets.h"

namespace qb {

namespace {

// Log lines may hold CR LF; Qt's text widgets take LF.
QString ToWidgetText(const std::string& text) { return ToQ(text).replace("\r\n", "\n").replace('\r', '\n'); }

std::int32_t StrToInt(const std::string& text) { return WizardStrToInt(text); }

bool Checked(const QListWidget* list, int item) {
    const QListWidgetItem* it = list->item(item);
    return it && it->checkState() == Qt::Checked;
}

void SetChecked(QListWidget* list, int item, bool checked) {
    if (QListWidgetItem* it = list->item(item)) it->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

std::vector<bool> CheckMarks(const QListWidget* list) {
    std::vector<bool> marks;
    for (int i = 0; i < list->count(); ++i) marks.push_back(Checked(list, i));
    return marks;
}

// The icon the desktop shows for a program: from the .desktop entry that starts it.
QIcon DesktopIconOf(const std::string& exeFile) {
    if (exeFile.empty()) return {};
    const QString exeName = ToQ(ExtractFileName(exeFile));
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        QDirIterator it(dir, {"*.desktop"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QSettings entry(it.next(), QSettings::IniFormat);
            entry.beginGroup("Desktop Entry");
            const QString exec = entry.value("Exec").toString().section(' ', 0, 0);
            if (exec.isEmpty() || (exec != ToQ(exeFile) && exec.section('/', -1) != exeName)) continue;
            const QString icon = entry.value("Icon").toString();
            QIcon result = QDir::isAbsolutePath(icon) ? QIcon(icon) : QIcon::fromTheme(icon);
            if (!result.isNull()) return result;
        }
    }
    return {};
}

}  // namespace

// --- Initialisation ----------------------------------------------------------

void TFrmMain::SetHostIcon() {
    QIcon icon = DesktopIconOf(hostValues_.Value("Application.ExeFile"));
    if (icon.isNull()) icon = QIcon(LogoPixmap());
    setWindowIcon(icon);
}

TSettingsEnvironment TFrmMain::SettingsEnvironment() const {
    TSettingsEnvironment env = DefaultSettingsEnvironment();
    // The locale a UI language asked for, else the user's own.
    if (const std::int32_t lcid = ThreadLocale(); lcid > 0) {
        const QString prefix = QString("0x%1 ").arg(lcid, 0, 16);
        for (int i = 0; i < cbbCHMLanguage_->count() && env.defaultCHMLanguage.empty(); ++i)
            if (cbbCHMLanguage_->itemText(i).startsWith(prefix))
                env.defaultCHMLanguage = FromQ(cbbCHMLanguage_->itemText(i));
    }
    if (env.defaultCHMLanguage.empty()) env.defaultCHMLanguage = DefaultChmLanguage();
    return env;
}

std::string TFrmMain::CurrentItemCaption() const {
    return qb::CurrentItemCaption(options_.DatabaseHandle, hostValues_.Value("TreeView.CurNode_DvoPath"));
}

void TFrmMain::LoadFromHostAndSettings() {
    std::unique_ptr<TSettingsDocument> scratch;
    TSettingsDocument* doc = HeldSettings();
    if (!doc) {
        scratch = NewSettingsDocument();
        doc = scratch.get();
    }
    try {
        SetHostIcon();
        const TSettingsEnvironment env = SettingsEnvironment();
        LoadStorePath(doc->Quillbook(), *binding_, env);

        const std::string hwnd = Trim(hostValues_.Value("MainWindow.HWND"));
        QWidget* owner = nullptr;
        if (hwnd.empty())
            owner = QApplication::activeWindow();
        else if (const std::int64_t id = StrToInt(hwnd); id != 0)
            owner = QWidget::find(static_cast<WId>(id));
        if (owner && owner != this && owner->window() != this && owner != parentWidget()) {
            setParent(owner, windowFlags());
            owner_ = owner;
        }

        const std::string handle = hostValues_.Value("Database.HANDLE");
        if (!handle.empty()) {
            options_.DatabaseHandle = StrToInt(handle);
            noDatabase_ = false;
            // The captions of the language applied at start-up, not the built-in ones.
            TakeRangeCaptions();
            rangeHost_[0] = ToQ(CurrentItemCaption());
            rangeHost_[1] = ToQ(ExtractFileName(hostValues_.Value("Database.FullPath")));
            for (int i = 0; i < 2; ++i) rgDataSource_->SetItemText(i, RangeItemText(i));
            if (hostValues_.Value("TreeView.CurNode_DvoPath").empty()) {
                rgDataSource_->SetItemIndex(1);
                rgDataSource_->SetItemEnabled(0, false);
            }
        } else {
            noDatabase_ = true;
            ShowInfo(Msg(21));
            btnNext_->setEnabled(false);
        }

        LoadSettingsIntoControls(doc->Quillbook(), *binding_, env);
        rgDataSourceClick();
        FitToContents();
    } catch (const std::exception& e) {
        ShowError(Msg(22) + e.what());
    }
}

// --- Pages and rules -----------------------------------------------------------

void TFrmMain::ShowPage() {
    pageIndex_ = std::clamp(pageIndex_, 0, kPageCount - 1);
    pages_->setCurrentIndex(pageIndex_);
    // The run's page stays in front until the engine has returned.
    btnBack_->setEnabled(pageIndex_ > 0 && !engineActive_);
    // Without a database the first page is as far as the wizard goes.
    btnNext_->setEnabled(pageIndex_ < kPageCount - 1 && !noDatabase_);
    try {
        setWindowTitle(ToQ(Format(Msg(2), {"Quillbook", pageIndex_ + 1, kPageCount})));
    } catch (const std::exception&) {
        // A translated caption format with the wrong places: the plain name.
        setWindowTitle("Quillbook");
    }
}

void TFrmMain::btnBackClick() {
    if (engineActive_) return;
    --pageIndex_;
    ShowPage();
}

void TFrmMain::btnNextClick() {
    ++pageIndex_;
    ShowPage();
}

std::string TFrmMain::RangeName() const {
    return qb::RangeName(rgDataSource_->ItemIndex(), CurrentItemCaption(), hostValues_.Value("Database.FullPath"));
}

void TFrmMain::rgDataSourceClick() {
    const std::string name = RangeName();
    edtCHMFileName_->setText(edtRootPath_->text() + ToQ(name) + ".chm");
    edtCHMTitle_->setText(ToQ(name));
}

void TFrmMain::chkKeepDirClick() { chkNiceDirName_->setEnabled(chkKeepDir_->isChecked()); }
void TFrmMain::chkNavLinkClick() { chkMakePopupMenu_->setEnabled(chkNavLink_->isChecked()); }

void TFrmMain::cbbLanguageChange() {
    if (inLanguageChange_) return;
    if (engineActive_) {
        // The run's thread reads the message table a language would rewrite.
        QSignalBlocker block(cbbLanguage_);
        cbbLanguage_->setEditText(languageBeforeRun_);
        return;
    }
    inLanguageChange_ = true;
    try {
        // Check marks the new item lists would drop, for settings never saved.
        const std::vector<bool> tabStyles = CheckMarks(chklstTabStyles_);
        const std::vector<bool> winBtns = CheckMarks(chklstWinBtns_);
        SelectLanguage(FromQ(cbbLanguage_->currentText()));
        ApplyLanguage(CurrentLanguage(), *this);
        RestoreAfterLanguage();
        FitToContents();
        TSettingsDocument* doc = HeldSettings();
        if (!doc || !SettingsSaved(doc->Quillbook())) {
            for (int i = 0; i < static_cast<int>(tabStyles.size()); ++i)
                SetChecked(chklstTabStyles_, i, tabStyles[static_cast<std::size_t>(i)]);
            for (int i = 0; i < static_cast<int>(winBtns.size()); ++i)
                SetChecked(chklstWinBtns_, i, winBtns[static_cast<std::size_t>(i)]);
        }
        ShowPage();
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
    inLanguageChange_ = false;
}

QString TFrmMain::RangeItemText(int i) const {
    return ToQ(qb::RangeItemText(FromQ(rangeCaption_[i]), FromQ(rangeHost_[i])));
}

void TFrmMain::TakeRangeCaptions() {
    // An item text other than caption + host was put there by a language.
    const std::vector<QString> items = rgDataSource_->Items();
    for (int i = 0; i < 2 && i < static_cast<int>(items.size()); ++i)
        if (items[static_cast<std::size_t>(i)] != RangeItemText(i))
            rangeCaption_[i] = items[static_cast<std::size_t>(i)];
}

void TFrmMain::RestoreAfterLanguage() {
    TakeRangeCaptions();
    for (int i = 0; i < 2; ++i) rgDataSource_->SetItemText(i, RangeItemText(i));
    if (TSettingsDocument* doc = HeldSettings()) RestoreCheckListsFromSettings(doc->Quillbook(), *binding_);
    // A language may name the Run button; during a run it stays the Stop button.
    if (runState_) btnRun_->setText(ToQ(Msg(5)));
}

// --- Handlers --------------------------------------------------------------------

void TFrmMain::ApplyFontPreview() {
    QFont f(ToQ(sampleFont_.name));
    f.setPixelSize(PointsToPixels(sampleFont_.size > 0 ? sampleFont_.size : 12));
    f.setBold(sampleStyle_ & fsBold);
    f.setItalic(sampleStyle_ & fsItalic);
    f.setUnderline(sampleStyle_ & fsUnderline);
    f.setStrikeOut(sampleStyle_ & fsStrikeOut);
    lblFontPreview_->setFont(f);
    const std::uint32_t rgb = SystemColorToRgb(sampleFont_.color);
    QPalette pal = lblFontPreview_->palette();
    pal.setColor(QPalette::WindowText, QColor(static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                                              static_cast<int>((rgb >> 16) & 0xFF)));
    lblFontPreview_->setPalette(pal);
    FitToContents();
}

void TFrmMain::lblFontPreviewClick() {
    TFontValue font = sampleFont_;
    int style = sampleStyle_;
    if (!dialogs_.font || !dialogs_.font(this, font, style)) return;
    sampleFont_ = font;
    sampleStyle_ = style;
    ApplyFontPreview();
}

void TFrmMain::btnBrowserPathClick() {
    std::string path = FromQ(edtRootPath_->text());
    if (BrowseForFolder(this, path, Msg(4), 89)) edtRootPath_->setText(ToQ(path));
}

void TFrmMain::btnSiteFolderClick() {
    std::string path = FromQ(edtSiteFolder_->text());
    if (BrowseForFolder(this, path, Msg(4), 89)) edtSiteFolder_->setText(ToQ(path));
}

void TFrmMain::btnChmFileNameClick() {
    QString name = edtCHMFileName_->text();
    if (dialogs_.saveFile && dialogs_.saveFile(this, "CHM Files (*.chm);;Any files (*)", "chm", name))
        edtCHMFileName_->setText(name);
}

void TFrmMain::btnBrowseDefaultPageClick() {
    QString name = edtDefaultPage_->text();
    if (dialogs_.openFile && dialogs_.openFile(this, "HTML Files (*.htm *.html);;All Files (*)", "html", name)) {
        edtDefaultPage_->setText(name);
    }
    lastDefaultPageDialogName_ = name;
}

void TFrmMain::btnBrowseJump1Click() {
    // The dialog starts from whatever it held last.
    QString name = lastDefaultPageDialogName_;
    if (dialogs_.openFile && dialogs_.openFile(this, "HTML Files (*.htm *.html);;All Files (*)", "html", name)) {
        edtUserButtonURL_->setText(name);
        lastDefaultPageDialogName_ = name;
    }
}

void TFrmMain::btnAddAttachsClick() {
    if (!dialogs_.openFiles) return;
    for (const QString& file : dialogs_.openFiles(this)) lstAttachFiles_->addItem(file);
}

void TFrmMain::btnRemoveAttachsClick() {
    for (int i = lstAttachFiles_->count() - 1; i >= 0; --i)
        if (lstAttachFiles_->item(i)->isSelected()) delete lstAttachFiles_->takeItem(i);
}

void TFrmMain::btnAboutClick() {
    if (!about_) about_ = std::make_unique<TFrmAbout>(this);
    ApplyLanguage(CurrentLanguage(), *about_);
    about_->exec();
}

void TFrmMain::lblWebSiteClick() { ShellOpen(kWebSite); }
void TFrmMain::lblMailUsClick() { ShellOpen(std::string("mailto:") + kMailAddress + "?subject=Quillbook Feedback: "); }

void TFrmMain::btnLangClick() {
    QString name;
    if (!dialogs_.inputText || !dialogs_.inputText(this, btnLang_->text(), ToQ(Msg(20)), name) || name.isEmpty())
        return;
    try {
        WriteNewLanguage(FromQ(name), *this, about_.get());
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

// --- Running -------------------------------------------------------------------

void TFrmMain::BuildOptions() {
    RangeIntoOptions(hostValues_, rgDataSource_->ItemIndex(), options_);
    qb::BuildOptions(*binding_, options_);
}

bool TFrmMain::RunProgress(void* context, int position, const char* text) {
    auto* form = static_cast<TFrmMain*>(context);
    if (position >= 0) {
        position = std::min(position, 100);
        if (position != form->pbPecent_->value()) form->pbPecent_->setValue(position);
    }
    if (text) form->mmoLogMsg_->appendPlainText(ToWidgetText(text));
    return form->stopRequested_;
}

bool TFrmMain::WorkerProgress(void* context, int position, const char* text) {
    auto* form = static_cast<TFrmMain*>(context);
    const bool hasText = text != nullptr;
    std::string line = hasText ? text : "";
    QMetaObject::invokeMethod(
        form, [form, position, hasText, line] { RunProgress(form, position, hasText ? line.c_str() : nullptr); },
        Qt::QueuedConnection);
    return form->stopRequested_;
}

void TFrmMain::SetRunServices(IStorage& storage, IHelpCompiler& compiler) {
    storage_ = &storage;
    compiler_ = &compiler;
}

void TFrmMain::SetRunState(bool running) {
    runState_ = running;
    btnRun_->setText(ToQ(Msg(running ? 5 : 6)));
    pbPecent_->setVisible(running);
    if (running && !cursorBusy_) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        cursorBusy_ = true;
    } else if (!running && cursorBusy_) {
        QApplication::restoreOverrideCursor();
        cursorBusy_ = false;
    }
}

void TFrmMain::btnRunClick() {
    // One run at a time: after a stop the engine may still be on its way out.
    if (engineActive_) return;
    pbPecent_->setRange(0, 100);
    pbPecent_->setValue(0);
    stopRequested_ = false;
    SetRunState(true);
    try {
        BuildOptions();
    } catch (const std::exception& e) {
        EndRun();
        ShowError(e.what());
        return;
    }
    mmoLogMsg_->clear();
    engineActive_ = true;
    LockDuringRun(true);
    JoinRun();
    run_ = std::make_unique<TRun>(options_, storage_ ? *storage_ : LibraryStorage(),
                                  compiler_ ? *compiler_ : LibraryHelpCompiler(), &TFrmMain::WorkerProgress, this);
    // The run goes on its own thread, so the window repaints and answers
    // throughout, also while an office starts; its result comes back queued.
    worker_ = std::thread([this, run = run_.get()] {
        const std::optional<std::string> ended = run->ExecuteReportingError();
        const bool failed = ended.has_value();
        const std::string error = ended.value_or("");
        QMetaObject::invokeMethod(
            this, [this, failed, error] { RunFinished(failed, error); }, Qt::QueuedConnection);
    });
}

void TFrmMain::RunFinished(bool failed, const std::string& error) {
    JoinRun();
    const bool completed = !failed && !stopRequested_;
    if (!failed && chkOpenCHMFile_->isChecked() && !options_.ChmFileName.empty() &&
        std::filesystem::is_regular_file(std::filesystem::path(options_.ChmFileName)))
        ShellOpen(options_.ChmFileName);
    engineActive_ = false;
    LockDuringRun(false);
    EndRun();
    if (completed) ShowRunResult();
    if (!error.empty()) ShowError(error);
    if (closePending_) {
        closePending_ = false;
        done(QDialog::Accepted);
    }
}

void TFrmMain::LockDuringRun(bool locked) {
    if (locked) languageBeforeRun_ = cbbLanguage_->currentText();
    cbbLanguage_->setEnabled(!locked);
    ShowPage();
}

void TFrmMain::JoinRun() {
    if (run_) run_->RequestStop();
    if (worker_.joinable()) worker_.join();
    run_.reset();
}

void TFrmMain::ShowRunResult() {
    std::error_code ec;
    const bool compiled = !options_.ChmFileName.empty() && std::filesystem::is_regular_file(options_.ChmFileName, ec);
    const std::string line =
        compiled ? "Compiled help file: " + options_.ChmFileName : "Output folder: " + options_.RootPath;
    mmoLogMsg_->appendPlainText(ToWidgetText(line.c_str()));
    // A full bar stays as the sign that the run went to its end.
    pbPecent_->setValue(100);
    pbPecent_->show();
}

void TFrmMain::StopClick() {
    if (AskConfirm(Msg(3))) EndRun();
}

void TFrmMain::EndRun() {
    stopRequested_ = true;
    if (run_) run_->RequestStop();
    SetRunState(false);
    // After a confirmed stop the engine is still on its way out.
    btnRun_->setEnabled(!engineActive_);
}

void TFrmMain::SaveToSettings() {
    if (TSettingsDocument* doc = HeldSettings()) SaveControlsToSettings(doc->Quillbook(), *binding_);
}

void TFrmMain::RequestClose() {
    if (engineActive_) {
        closePending_ = true;
        return;
    }
    done(QDialog::Accepted);
}

void TFrmMain::reject() { RequestClose(); }

void TFrmMain::showEvent(QShowEvent* event) {
    FitToContents();
    QDialog::showEvent(event);
}

void TFrmMain::closeEvent(QCloseEvent* event) {
    if (engineActive_) {
        closePending_ = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

// --- Controls without a widget of their own ---------------------------------------

void TFrmMain::BindControls() {
    binding_ = std::make_unique<TWidgetBinding>([this](const std::string& name) { return Control(name); });
    binding_->Custom(
        "cbbLanguage", [this] { return TControlValue(FromQ(cbbLanguage_->currentText())); },
        [this](const TControlValue& v) {
            // Start-up already selected this language; the text alone is restored.
            QSignalBlocker block(cbbLanguage_);
            cbbLanguage_->setEditText(ToQ(std::get<std::string>(v)));
        });
    binding_->Custom(
        "lblFontPreview", [this] { return TControlValue(sampleFont_); },
        [this](const TControlValue& v) {
            sampleFont_ = std::get<TFontValue>(v);
            ApplyFontPreview();
        });
    // The folder when "Also write a website" is checked, else empty.
    binding_->Custom(
        "edtSiteFolder",
        [this] { return TControlValue(chkSite_->isChecked() ? Trim(FromQ(edtSiteFolder_->text())) : std::string()); },
        [this](const TControlValue& v) {
            const std::string& text = std::get<std::string>(v);
            if (!text.empty()) edtSiteFolder_->setText(ToQ(text));
            chkSite_->setChecked(!text.empty());
        });
}

}  // namespace qb
