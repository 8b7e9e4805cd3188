// Running from the wizard: options, progress, stop, close and the settings write-back.
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QtTest/QTest>

#include <thread>

#include "engine/Engine.h"
#include "engine/Storage.h"
#include "tests/wizard/WizardFixture.h"
#include "wizard/QtPlatform.h"
#include "wizard/Widgets.h"

namespace wiztest {
namespace {

using qb::TFrmMain;

// The storage library, except that every file export waits until the test
// opens the gate: a run held in the middle of its walk.
class GatedStorage : public qb::IStorage {
public:
    ~GatedStorage() override { Open(); }
    void Open() {
        std::lock_guard<std::mutex> lock(m_);
        open_ = true;
        cv_.notify_all();
    }
    bool Waiting() {
        std::lock_guard<std::mutex> lock(m_);
        return waiting_;
    }
    std::string GetHint(int db, const std::string& path) override { return real_.GetHint(db, path); }
    int GetFolderCount(int db, const std::string& path, int depth) override {
        return real_.GetFolderCount(db, path, depth);
    }
    int CountAllSubItems(int db, const std::string& path) override { return real_.CountAllSubItems(db, path); }
    void EnumEntries(int db, const std::string& path, std::vector<qb::TDVO_ENUM_DATA>& entries) override {
        real_.EnumEntries(db, path, entries);
    }
    bool PathExists(int db, const std::string& path) override { return real_.PathExists(db, path); }
    std::uintptr_t ItemKey(int db, const std::string& path) override { return real_.ItemKey(db, path); }
    bool ExportFile(int db, const std::string& path, const std::string& destFile) override {
        {
            std::unique_lock<std::mutex> lock(m_);
            waiting_ = true;
            // Never holds a broken test forever.
            cv_.wait_for(lock, std::chrono::seconds(60), [&] { return open_; });
            waiting_ = false;
        }
        return real_.ExportFile(db, path, destFile);
    }

private:
    qb::IStorage& real_ = qb::LibraryStorage();
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
    bool waiting_ = false;
};

// Spins the window's event loop until cond holds; false after the time is up.
template <class Cond>
bool Within(int ms, Cond cond) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(5);
    }
    return true;
}

class RunTest : public WizardTest {
protected:
    // A wizard ready to export the Trip branch with the built-in converter.
    TFrmMain& OpenForRun() {
        Open(HostText(kTrip));
        form_->Controls().SetChoice("rgConverter", 0);
        form_->Controls().SetCheck("chkClearTempFile", false);
        C<QLineEdit>("edtRootPath")->setText(QString::fromStdString(tmp_ / "out/"));
        form_->rgDataSourceClick();
        form_->show();
        for (int i = 0; i < 6; ++i) form_->btnNextClick();
        return *form_;
    }
    std::string Log() { return C<QPlainTextEdit>("mmoLogMsg")->toPlainText().toStdString(); }
    // The run goes on its own thread: waits until the window has its result.
    void WaitForRun() {
        ASSERT_TRUE(Within(120000, [&] { return !form_->EngineActive(); })) << Log();
    }
    std::string Chm() { return tmp_ / "out/Trip__Rome_.chm"; }
};

TEST_F(RunTest, RunButtonExportsAndCompilesTheBranch) {
    OpenForRun();
    auto* run = C<QPushButton>("btnRun");
    bool barSeen = false;
    QString captionDuringRun;
    QTimer::singleShot(0, form_.get(), [&] {
        barSeen = C<QProgressBar>("pbPecent")->isVisible();
        captionDuringRun = run->text();
        SaveScreenshot(form_.get(), "page-6-running.png");
    });
    QTest::mouseClick(run, Qt::LeftButton);
    WaitForRun();
    EXPECT_TRUE(barSeen);
    EXPECT_EQ(captionDuringRun, "&Stop");
    EXPECT_TRUE(std::filesystem::is_regular_file(Chm())) << Log();
    EXPECT_NE(Log().find("Export finished."), std::string::npos) << Log();
    EXPECT_NE(Log().find("|--Trip: Rome?"), std::string::npos) << Log();
    EXPECT_EQ(run->text(), "&Run");
    EXPECT_TRUE(run->isEnabled());
    // The run ends saying what it made, with the bar kept full.
    EXPECT_TRUE(C<QProgressBar>("pbPecent")->isVisible());
    EXPECT_EQ(C<QProgressBar>("pbPecent")->value(), 100);
    const std::string log = Log();
    EXPECT_EQ(log.substr(log.rfind('\n') + 1), "Compiled help file: " + Chm()) << log;
    EXPECT_FALSE(form_->EngineActive());
    ASSERT_EQ(services_.r().opened.size(), 1u);
    EXPECT_EQ(services_.r().opened[0], Chm());
    EXPECT_TRUE(services_.r().errors.empty());
    SaveScreenshot(form_.get(), "page-6-after-run.png");
}

TEST_F(RunTest, ConfirmedStopIsIdleAtOnceAndNoSecondRunStartsBeforeTheEngineReturns) {
    OpenForRun();
    GatedStorage gate;
    form_->SetRunServices(gate, qb::LibraryHelpCompiler());
    form_->Controls().SetCheck("chkOpenCHMFile", false);
    auto* run = C<QPushButton>("btnRun");
    bool checked = false;
    QTimer::singleShot(0, form_.get(), [&] {
        QTest::mouseClick(run, Qt::LeftButton);  // Stop
        ASSERT_EQ(services_.r().confirms.size(), 1u);
        EXPECT_EQ(services_.r().confirms[0], "Do you really want to stop exporting and compiling?");
        EXPECT_EQ(run->text(), "&Run");
        EXPECT_FALSE(C<QProgressBar>("pbPecent")->isVisible());
        EXPECT_TRUE(form_->StopRequested());
        // The engine is still on its way out: the button must not start a run.
        EXPECT_FALSE(run->isEnabled());
        const std::string before = Log();
        form_->btnRunClick();
        EXPECT_EQ(Log(), before);
        EXPECT_TRUE(TFrmMain::RunProgress(form_.get(), -1, nullptr));
        checked = true;
        gate.Open();
    });
    QTest::mouseClick(run, Qt::LeftButton);
    WaitForRun();
    EXPECT_TRUE(checked);
    EXPECT_NE(Log().find("User cancelled."), std::string::npos) << Log();
    EXPECT_TRUE(run->isEnabled());
    EXPECT_EQ(services_.r().confirms.size(), 1u);
    // A stopped run made nothing to name, and no full bar pretends it did.
    EXPECT_EQ(Log().find("Compiled help file:"), std::string::npos) << Log();
    EXPECT_FALSE(C<QProgressBar>("pbPecent")->isVisible());
}

TEST_F(RunTest, CancelledStopLetsTheRunFinish) {
    OpenForRun();
    services_.r().confirmAnswer = false;
    auto* run = C<QPushButton>("btnRun");
    QString caption;
    QTimer::singleShot(0, form_.get(), [&] {
        QTest::mouseClick(run, Qt::LeftButton);
        caption = run->text();
        EXPECT_FALSE(form_->StopRequested());
    });
    QTest::mouseClick(run, Qt::LeftButton);
    WaitForRun();
    EXPECT_EQ(caption, "&Stop");
    EXPECT_EQ(services_.r().confirms.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_regular_file(Chm()));
    EXPECT_EQ(Log().find("User cancelled."), std::string::npos);
}

TEST_F(RunTest, CloseDuringARunWaitsForTheRun) {
    OpenForRun();
    auto* run = C<QPushButton>("btnRun");
    bool stillOpen = false;
    QTimer::singleShot(0, form_.get(), [&] {
        QTest::mouseClick(C<QPushButton>("btnClose"), Qt::LeftButton);
        QTest::keyClick(form_.get(), Qt::Key_Escape);
        form_->close();
        stillOpen = form_->isVisible();
    });
    QTest::mouseClick(run, Qt::LeftButton);
    WaitForRun();
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(std::filesystem::is_regular_file(Chm()));
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(form_->result(), QDialog::Accepted);
}

TEST_F(RunTest, PaneWidthThatIsNoIntegerEndsTheAttemptBeforeTheEngine) {
    OpenForRun();
    auto* log = C<QPlainTextEdit>("mmoLogMsg");
    log->setPlainText("line of the last run");
    C<QLineEdit>("edtCHMTabWidth")->setText("3x0");
    QTest::mouseClick(C<QPushButton>("btnRun"), Qt::LeftButton);
    ASSERT_EQ(services_.r().errors.size(), 1u);
    EXPECT_NE(services_.r().errors[0].find("3x0"), std::string::npos);
    EXPECT_EQ(log->toPlainText(), "line of the last run");
    EXPECT_EQ(C<QPushButton>("btnRun")->text(), "&Run");
    EXPECT_TRUE(C<QPushButton>("btnRun")->isEnabled());
    EXPECT_FALSE(std::filesystem::exists(tmp_ / "out"));
}

TEST_F(RunTest, EngineErrorIsShownAndTheHelpFileIsNotOpened) {
    OpenForRun();
    qbtest::WriteFile(tmp_ / "blocker", "a file where the folder should be");
    C<QLineEdit>("edtRootPath")->setText(QString::fromStdString(tmp_ / "blocker/out/"));
    QTest::mouseClick(C<QPushButton>("btnRun"), Qt::LeftButton);
    WaitForRun();
    EXPECT_EQ(services_.r().errors.size(), 1u);
    EXPECT_TRUE(services_.r().opened.empty());
    EXPECT_EQ(C<QPushButton>("btnRun")->text(), "&Run");
    EXPECT_FALSE(form_->EngineActive());
}

TEST_F(RunTest, TheWindowAnswersWhileTheEngineWorksAndStopEndsTheRunCleanly) {
    OpenForRun();
    form_->Controls().SetCheck("chkOpenCHMFile", false);
    GatedStorage gate;
    form_->SetRunServices(gate, qb::LibraryHelpCompiler());
    auto* run = C<QPushButton>("btnRun");
    QTest::mouseClick(run, Qt::LeftButton);
    // The click returns while the engine is held in its walk.
    ASSERT_TRUE(form_->EngineActive());
    ASSERT_TRUE(Within(30000, [&] { return gate.Waiting(); }));
    // Progress made before the hold has reached the window.
    EXPECT_TRUE(Within(5000, [&] { return Log().find("|--Trip: Rome?") != std::string::npos; })) << Log();
    EXPECT_GT(C<QProgressBar>("pbPecent")->value(), 0);
    // The window handles input, but the run's page stays: Back is off until the run ends.
    EXPECT_FALSE(C<QPushButton>("btnBack")->isEnabled());
    form_->btnBackClick();
    EXPECT_EQ(form_->PageIndex(), 6);
    bool timerRan = false;
    QTimer::singleShot(0, form_.get(), [&] { timerRan = true; });
    EXPECT_TRUE(Within(5000, [&] { return timerRan; }));
    // Stop answers at once, though the engine is still held.
    QTest::mouseClick(run, Qt::LeftButton);
    EXPECT_EQ(run->text(), "&Run");
    EXPECT_FALSE(run->isEnabled());
    EXPECT_TRUE(gate.Waiting());
    gate.Open();
    WaitForRun();
    EXPECT_NE(Log().find("User cancelled."), std::string::npos) << Log();
    // Stopped before the compile: no help file.
    EXPECT_FALSE(std::filesystem::exists(Chm())) << Log();
    EXPECT_TRUE(run->isEnabled());
    EXPECT_TRUE(services_.r().errors.empty());
    // The stopped run let go of the folder: the next run goes through to the help file.
    EXPECT_FALSE(std::filesystem::exists(tmp_ / "out/.quillbook.lock"));
    form_->SetRunServices(qb::LibraryStorage(), qb::LibraryHelpCompiler());
    QTest::mouseClick(run, Qt::LeftButton);
    WaitForRun();
    EXPECT_TRUE(std::filesystem::is_regular_file(Chm())) << Log();
    EXPECT_NE(Log().find("Export finished."), std::string::npos) << Log();
}

// The run's thread reads the message table for its log lines; a language chosen
// during the run would rewrite the table under it.
TEST_F(RunTest, LanguageCannotChangeWhileARunReadsTheMessages) {
    UseShippedLanguages();
    OpenForRun();
    form_->Controls().SetCheck("chkOpenCHMFile", false);
    GatedStorage gate;
    form_->SetRunServices(gate, qb::LibraryHelpCompiler());
    auto* language = C<QComboBox>("cbbLanguage");
    auto* back = C<QPushButton>("btnBack");
    EXPECT_TRUE(language->isEnabled());
    EXPECT_TRUE(back->isEnabled());
    QTest::mouseClick(C<QPushButton>("btnRun"), Qt::LeftButton);
    ASSERT_TRUE(Within(30000, [&] { return gate.Waiting(); }));
    EXPECT_FALSE(language->isEnabled());
    EXPECT_FALSE(back->isEnabled());
    // A text put into the box by other means reaches no table either.
    language->setEditText("Deutsch");
    EXPECT_EQ(qb::Msg(13), qb::BuiltInMsg(13));
    // Keep trying while the run writes its last lines.
    QTimer flip;
    bool german = false;
    QObject::connect(&flip, &QTimer::timeout, form_.get(), [&] {
        // After the run a change is the user's to make.
        if (!form_->EngineActive()) return flip.stop();
        german = !german;
        language->setEditText(german ? "Deutsch" : "Default(En) *");
    });
    flip.start(0);
    gate.Open();
    WaitForRun();
    flip.stop();
    EXPECT_NE(Log().find("Compile finished."), std::string::npos) << Log();
    EXPECT_EQ(Log().find("abgeschlossen"), std::string::npos) << Log();
    EXPECT_EQ(qb::Msg(13), qb::BuiltInMsg(13));
    // After the run the box works again and keeps the language the user sees named.
    EXPECT_TRUE(language->isEnabled());
    EXPECT_TRUE(back->isEnabled());
    language->setEditText("Deutsch");
    EXPECT_EQ(qb::Msg(6), "&Ausf\xC3\xBChren");
}

TEST_F(RunTest, MessageBoxesAskedForFromARunsThreadAreShownOnTheWindowsThread) {
    EnsureApp();
    QThread* shownOn = nullptr;
    bool done = false;
    std::thread worker([&] {
        const int answer = qb::OnUiThread([&] {
            shownOn = QThread::currentThread();
            return 42;
        });
        EXPECT_EQ(42, answer);
        done = true;
    });
    // The asking thread waits until the window's thread has run the box.
    EXPECT_TRUE(Within(10000, [&] { return shownOn != nullptr; }));
    worker.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(QCoreApplication::instance()->thread(), shownOn);
}

TEST_F(RunTest, ProgressMovesTheBarAndAddsLinesOnlyWhenGiven) {
    OpenForRun();
    auto* bar = C<QProgressBar>("pbPecent");
    auto* log = C<QPlainTextEdit>("mmoLogMsg");
    // Outside a run the engine is always told to stop.
    EXPECT_TRUE(TFrmMain::RunProgress(form_.get(), 0, nullptr));
    EXPECT_TRUE(TFrmMain::RunProgress(form_.get(), 55, nullptr));
    EXPECT_EQ(bar->value(), 55);
    EXPECT_EQ(log->blockCount(), 1);
    EXPECT_TRUE(log->toPlainText().isEmpty());
    TFrmMain::RunProgress(form_.get(), -1, "a line");
    EXPECT_EQ(bar->value(), 55);
    EXPECT_EQ(log->toPlainText(), "a line");
    TFrmMain::RunProgress(form_.get(), 55, "\r\nExport finished.");
    EXPECT_EQ(log->toPlainText(), "a line\n\nExport finished.");
}

TEST_F(RunTest, OptionsComeFromTheControlsAndTheSettingsGetTheirUntrimmedState) {
    Open(HostText(kTrip));
    C<QLineEdit>("edtRootPath")->setText("  /tmp/out ");
    C<QCheckBox>("chkNavLink")->setChecked(false);
    C<QCheckBox>("chkMakePopupMenu")->setChecked(true);
    form_->Controls().SetText("mmoHeader", "  <b>top</b>\r\nsecond  ");
    C<QComboBox>("cbbEncoding")->setEditText(" GB2312 ");
    form_->Controls().SetCheck("chklstTabStyles", 2, true);
    form_->Controls().SetCheck("chklstTabStyles", 3, true);
    form_->Controls().SetCheck("chklstTabStyles", 4, true);
    form_->Controls().SetCheck("chklstWinBtns", 0, true);
    C<QCheckBox>("chkOnTop")->setChecked(true);
    form_->Controls().SetChoice("cbbDefaultTab", 3);
    form_->Controls().SetEntries("lstAttachFiles", {"/a.txt", "/b.txt"});
    form_->BuildOptions();
    const qb::TConvertOptions& o = form_->Options();
    EXPECT_EQ(o.RootPath, "/tmp/out/");
    EXPECT_FALSE(o.RolloverMenus);
    EXPECT_EQ(o.Header, "<b>top</b>\r\nsecond");
    EXPECT_EQ(o.Encoding, "GB2312");
    EXPECT_EQ(o.NavPaneFlags, 0x20 | 0x1000 | 0x20400 | 0x100 | 0x1 | 0x10000);
    EXPECT_TRUE(o.NavPaneClosed);
    EXPECT_EQ(o.WindowExStyle, 8);
    EXPECT_EQ(o.DefaultTab, 3);
    EXPECT_EQ(o.WindowButtons, qb::kDefaultToolButtons);
    EXPECT_EQ(o.ExtraFiles, "/a.txt\r\n/b.txt\r\n");
    EXPECT_EQ(o.StartPath, kTrip);
    EXPECT_EQ(o.DatabaseHandle, db_);

    form_->SaveToSettings();
    const pugi::xml_node config = qb::HeldSettings()->Quillbook().Config();
    EXPECT_EQ(qb::SettingText(config, "RolloverMenu"), "true");
    EXPECT_EQ(qb::SettingText(config, "NavigatorLink"), "false");
    EXPECT_EQ(qb::SettingText(config, "StorePath"), "  /tmp/out ");
    EXPECT_EQ(qb::SettingText(config, "HeaderText"), "  <b>top</b>\r\nsecond  ");
    EXPECT_EQ(qb::SettingText(config, "Encoding"), " GB2312 ");
    EXPECT_EQ(qb::SettingText(config, "AttachFiles"), "/a.txt\r\n/b.txt\r\n");
    EXPECT_EQ(qb::SettingText(config, "CHM/DefaultTab"), "3");
}

TEST_F(RunTest, SettingsRoundTripThroughTheFileBesideTheModule) {
    Open(HostText(kTrip));
    form_->Controls().SetChoice("rgConverter", 2);
    form_->Controls().SetText("mmoFooter", "left\r\n  right  ");
    form_->Controls().SetFont("lblFontPreview", {"Courier New", 10, 0x00FF0000});
    C<QLineEdit>("edtCHMTabWidth")->setText("250");
    form_->Controls().SetCheck("chkIgnoreEmptyNode", true);
    form_->SaveToSettings();
    form_.reset();
    ASSERT_TRUE(qb::SaveSettingsFile());
    ASSERT_TRUE(std::filesystem::exists(tmp_ / "Quillbook.xml"));

    qb::ReleaseSettings();
    Open(HostText(kTrip));
    EXPECT_EQ(form_->Controls().Choice("rgConverter"), 2);
    EXPECT_EQ(form_->Controls().Text("mmoFooter"), "left\r\n  right  ");
    EXPECT_EQ(form_->Controls().Font("lblFontPreview").name, "Courier New");
    EXPECT_EQ(form_->Controls().Font("lblFontPreview").size, 10);
    EXPECT_EQ(form_->Controls().Font("lblFontPreview").color, 0x00FF0000u);
    EXPECT_EQ(form_->Controls().Text("edtCHMTabWidth"), "250");
    EXPECT_TRUE(form_->Controls().Check("chkIgnoreEmptyNode"));
    EXPECT_TRUE(services_.r().errors.empty());
}

TEST_F(RunTest, DialogHandlersFillTheirFieldsOnlyOnOk) {
    Open(HostText(kTrip));
    qb::TWizardDialogs& d = form_->Dialogs();
    QString presetSeen;
    bool answer = false;
    d.saveFile = [&](QWidget*, const QString&, const QString& suffix, QString& name) {
        presetSeen = name;
        EXPECT_EQ(suffix, "chm");
        name = "/x/chosen.chm";
        return answer;
    };
    const QString before = C<QLineEdit>("edtCHMFileName")->text();
    form_->btnChmFileNameClick();
    EXPECT_EQ(presetSeen, before);
    EXPECT_EQ(C<QLineEdit>("edtCHMFileName")->text(), before);
    answer = true;
    form_->btnChmFileNameClick();
    EXPECT_EQ(C<QLineEdit>("edtCHMFileName")->text(), "/x/chosen.chm");

    QStringList chosen{"/f/a.txt", "/f/b.txt", "/f/a.txt"};
    d.openFiles = [&](QWidget*) { return chosen; };
    form_->btnAddAttachsClick();
    form_->btnAddAttachsClick();
    ASSERT_EQ(form_->Controls().Entries("lstAttachFiles").size(), 6u);
    EXPECT_EQ(form_->Controls().Entries("lstAttachFiles")[2], "/f/a.txt");
    auto* list = C<QListWidget>("lstAttachFiles");
    list->item(0)->setSelected(true);
    list->item(4)->setSelected(true);
    form_->btnRemoveAttachsClick();
    EXPECT_EQ(form_->Controls().Entries("lstAttachFiles"),
              (std::vector<std::string>{"/f/b.txt", "/f/a.txt", "/f/a.txt", "/f/a.txt"}));

    // The URL button opens the home-page dialog where it was left.
    std::vector<QString> presets;
    d.openFile = [&](QWidget*, const QString&, const QString&, QString& name) {
        presets.push_back(name);
        name = "/site/home.html";
        return true;
    };
    form_->Controls().SetText("edtDefaultPage", "/site/start.htm");
    form_->btnBrowseDefaultPageClick();
    form_->btnBrowseJump1Click();
    ASSERT_EQ(presets.size(), 2u);
    EXPECT_EQ(presets[0], "/site/start.htm");
    EXPECT_EQ(presets[1], "/site/home.html");
    EXPECT_EQ(form_->Controls().Text("edtUserButtonURL"), "/site/home.html");

    d.font = [](QWidget*, qb::TFontValue& font, int& style) {
        font = {"Times New Roman", 14, 0x000000FF};
        style = qb::fsBold;
        return true;
    };
    form_->lblFontPreviewClick();
    EXPECT_EQ(form_->Controls().Font("lblFontPreview").name, "Times New Roman");
    EXPECT_TRUE(C<QWidget>("lblFontPreview")->font().bold());
    form_->BuildOptions();
    EXPECT_EQ(form_->Options().FontSize, 14);
    EXPECT_EQ(form_->Options().FontColor, 0x000000FFu);
}

TEST_F(RunTest, LinkLabelsOpenTheSiteAndAMailWithSubject) {
    Open(HostText(kTrip));
    QTest::mouseClick(C<QWidget>("lblWebSite"), Qt::LeftButton);
    QTest::mouseClick(C<QWidget>("lblMailUs"), Qt::LeftButton);
    ASSERT_EQ(services_.r().opened.size(), 2u);
    EXPECT_EQ(services_.r().opened[0], TFrmMain::kWebSite);
    EXPECT_EQ(services_.r().opened[1].rfind("mailto:", 0), 0u);
    EXPECT_NE(services_.r().opened[1].find("subject=Quillbook Feedback: "), std::string::npos);
}

}  // namespace
}  // namespace wiztest
