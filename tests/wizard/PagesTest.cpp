// Creation, pages, the range rule, the enabling rules and the language change.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QtTest/QTest>

#include "tests/wizard/WizardFixture.h"
#include "wizard/Widgets.h"

namespace wiztest {
namespace {

using qb::TFrmMain;

TEST_F(WizardTest, EveryControlOfThePagesCarriesItsName) {
    Open(HostText(kTrip));
    const char* names[] = {"tsWelcome",
                           "imgWizard",
                           "lblWelMessage",
                           "lblLanguage",
                           "cbbLanguage",
                           "lblWebSite",
                           "imgWeb",
                           "lblMailUs",
                           "imgMail",
                           "tsTypes",
                           "rgDataSource",
                           "rgConverter",
                           "tsOptions",
                           "chkAttachments",
                           "chkOverWrite",
                           "chkClearTempFile",
                           "chkKeepDir",
                           "chkNiceDirName",
                           "chkIgnoreTopNode",
                           "chkIgnoreEmptyNode",
                           "chkSubItems",
                           "chkNavLink",
                           "chkMakePopupMenu",
                           "cbbEncoding",
                           "lblFont",
                           "lblFontPreview",
                           "tsFrame",
                           "lblHeader",
                           "mmoHeader",
                           "lblFooter",
                           "mmoFooter",
                           "tsCHMOptions",
                           "lblCHMLanguage",
                           "cbbCHMLanguage",
                           "chkFullSearch",
                           "lblCHMWinSize",
                           "cbbCHMWinSize",
                           "chkOnTop",
                           "lblCHMTitle",
                           "edtCHMTitle",
                           "chkMakeIndex",
                           "grpCHMTab",
                           "chkCHMTab",
                           "edtCHMTabWidth",
                           "lblDefaultTab",
                           "cbbDefaultTab",
                           "chklstTabStyles",
                           "grpWinBtns",
                           "chklstWinBtns",
                           "grpUserButton",
                           "lblUserDefBtnCaption",
                           "edtUserButtonCaption",
                           "lblUserDefBtnURL",
                           "edtUserButtonURL",
                           "btnBrowseJump1",
                           "tsMiscOptions",
                           "lblDefaultPage",
                           "edtDefaultPage",
                           "btnBrowseDefaultPage",
                           "lblRootPath",
                           "edtRootPath",
                           "btnBrowserPath",
                           "lblAttachFiles",
                           "lstAttachFiles",
                           "btnAddAttachs",
                           "btnRemoveAttachs",
                           "lblCHMFilename",
                           "edtCHMFileName",
                           "btnChmFileName",
                           "chkOpenCHMFile",
                           "tsFinished",
                           "lblStart",
                           "btnRun",
                           "pbPecent",
                           "mmoLogMsg",
                           "btnAbout",
                           "btnLang",
                           "btnBack",
                           "btnNext",
                           "btnClose"};
    for (const char* name : names) {
        EXPECT_NE(form_->findChild<QWidget*>(name), nullptr) << name;
        // The language binding reaches the same control by name, in any letter case.
        EXPECT_NE(qb::FindControlByName(*form_, qb::LowerAscii(name)), nullptr) << name;
    }
    for (const char* dialog : {"dlgFont", "dlgSaveCHMFile", "dlgOpenDefaultPage", "dlgOpenAttachs"})
        EXPECT_NE(qb::FindControlByName(*form_, dialog), nullptr) << dialog;
}

TEST_F(WizardTest, DefaultsBeforeAnySettingsWereSaved) {
    Open(HostText(kTrip));
    // The designed client area at least; this platform's fonts may need more.
    EXPECT_GE(form_->width(), 492);
    EXPECT_GE(form_->height(), 373);
    EXPECT_EQ(C<QComboBox>("cbbLanguage")->currentText(), "Default(En) *");
    EXPECT_EQ(form_->Controls().Choice("rgConverter"), 1);
    EXPECT_EQ(form_->Controls().Choice("rgDataSource"), 0);
    EXPECT_TRUE(form_->Controls().Check("chkAttachments"));
    EXPECT_FALSE(form_->Controls().Check("chkOverWrite"));
    EXPECT_TRUE(form_->Controls().Check("chkClearTempFile"));
    EXPECT_TRUE(form_->Controls().Check("chkKeepDir"));
    EXPECT_FALSE(form_->Controls().Check("chkNiceDirName"));
    EXPECT_TRUE(form_->Controls().Check("chkIgnoreTopNode"));
    EXPECT_FALSE(form_->Controls().Check("chkIgnoreEmptyNode"));
    EXPECT_TRUE(form_->Controls().Check("chkSubItems"));
    EXPECT_TRUE(form_->Controls().Check("chkNavLink"));
    EXPECT_TRUE(form_->Controls().Check("chkMakePopupMenu"));
    EXPECT_EQ(form_->Controls().Text("cbbEncoding"), "UTF-8");
    EXPECT_EQ(C<QComboBox>("cbbEncoding")->count(), 4);
    EXPECT_EQ(form_->Controls().Text("cbbCHMWinSize"), "[0,0,800,600]");
    EXPECT_EQ(form_->Controls().Text("edtCHMTabWidth"), "300");
    // "Content" shown, but no item chosen.
    EXPECT_EQ(C<QComboBox>("cbbDefaultTab")->currentText(), "Content");
    EXPECT_EQ(form_->Controls().Choice("cbbDefaultTab"), -1);
    // Defaults of never-saved settings: the toolbar mask and two navigator styles.
    EXPECT_EQ(qb::ToolbarFlagsFromList(form_->Controls()), qb::kDefaultToolButtons);
    EXPECT_FALSE(form_->Controls().Check("chklstWinBtns", 0));
    EXPECT_TRUE(form_->Controls().Check("chklstTabStyles", 0));
    EXPECT_TRUE(form_->Controls().Check("chklstTabStyles", 1));
    EXPECT_FALSE(form_->Controls().Check("chklstTabStyles", 3));
    EXPECT_EQ(C<QListWidget>("chklstTabStyles")->item(3)->text(), "Closed when open ");
    EXPECT_EQ(C<QListWidget>("chklstWinBtns")->count(), 15);
    EXPECT_FALSE(form_->Controls().Text("cbbCHMLanguage").empty());
    EXPECT_TRUE(QString::fromStdString(form_->Controls().Text("cbbCHMLanguage")).startsWith("0x"));
    EXPECT_GT(C<QComboBox>("cbbCHMLanguage")->count(), 50);
    EXPECT_TRUE(C<QProgressBar>("pbPecent")->isHidden());
    EXPECT_TRUE(C<QPushButton>("btnLang")->isHidden());
    EXPECT_FALSE(C<QPushButton>("btnLang")->isEnabled());
    EXPECT_TRUE(C<QPushButton>("btnClose")->isDefault());
    EXPECT_EQ(form_->Controls().Font("lblFontPreview").name, "Tahoma");
    EXPECT_EQ(form_->Controls().Font("lblFontPreview").size, 12);
    // The documents folder default for the output folder.
    EXPECT_TRUE(QString::fromStdString(form_->Controls().Text("edtRootPath")).endsWith("My Quillbook Files/"));
}

TEST_F(WizardTest, BackAndNextWalkTheSevenPagesAndSetTheCaption) {
    Open(HostText(kTrip));
    auto* back = C<QPushButton>("btnBack");
    auto* next = C<QPushButton>("btnNext");
    auto* pages = form_->findChild<QStackedWidget*>("pgcMain");
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(form_->windowTitle(), "Quillbook - 1 of 7 steps");
    EXPECT_FALSE(back->isEnabled());
    EXPECT_TRUE(next->isEnabled());
    for (int i = 1; i < 7; ++i) QTest::mouseClick(next, Qt::LeftButton);
    EXPECT_EQ(form_->PageIndex(), 6);
    EXPECT_EQ(pages->currentWidget()->objectName(), "tsFinished");
    EXPECT_EQ(form_->windowTitle(), "Quillbook - 7 of 7 steps");
    EXPECT_FALSE(next->isEnabled());
    EXPECT_TRUE(back->isEnabled());
    QTest::mouseClick(back, Qt::LeftButton);
    EXPECT_EQ(form_->windowTitle(), "Quillbook - 6 of 7 steps");
    EXPECT_TRUE(next->isEnabled());
}

TEST_F(WizardTest, RangeRuleMakesTheFileNameSafeAndReplacesTypedNames) {
    Open(HostText(kTrip));
    auto* range = form_->findChild<qb::TRadioGroup*>("rgDataSource");
    EXPECT_EQ(range->Items()[0], "Current branch: Trip: Rome?");
    EXPECT_EQ(range->Items()[1], "Current database: travel.db");
    C<QLineEdit>("edtCHMTitle")->setText("typed by the user");
    C<QLineEdit>("edtRootPath")->setText("C:\\out\\");
    form_->rgDataSourceClick();
    EXPECT_EQ(C<QLineEdit>("edtCHMFileName")->text(), "C:\\out\\Trip__Rome_.chm");
    EXPECT_EQ(C<QLineEdit>("edtCHMTitle")->text(), "Trip__Rome_");
    // Choosing the whole database runs the rule through the click.
    QTest::mouseClick(range->Button(1), Qt::LeftButton);
    EXPECT_EQ(C<QLineEdit>("edtCHMFileName")->text(), "C:\\out\\travel.chm");
    EXPECT_EQ(C<QLineEdit>("edtCHMTitle")->text(), "travel");
    EXPECT_TRUE(C<QCheckBox>("chkSubItems")->isEnabled());
}

TEST_F(WizardTest, FolderWithoutSeparatorRunsIntoTheNameButTheRunGetsOne) {
    Open(HostText(kTrip));
    C<QLineEdit>("edtRootPath")->setText("  /tmp/out  ");
    form_->rgDataSourceClick();
    EXPECT_EQ(C<QLineEdit>("edtCHMFileName")->text(), "  /tmp/out  Trip__Rome_.chm");
    form_->BuildOptions();
    EXPECT_EQ(form_->Options().RootPath, "/tmp/out/");
    EXPECT_EQ(form_->Options().ChmFileName, "/tmp/out  Trip__Rome_.chm");
}

TEST_F(WizardTest, WithoutCurrentItemTheWholeDatabaseIsTheOnlyRange) {
    Open(HostText(""));
    auto* range = form_->findChild<qb::TRadioGroup*>("rgDataSource");
    EXPECT_EQ(form_->Controls().Choice("rgDataSource"), 1);
    EXPECT_FALSE(range->Button(0)->isEnabled());
    EXPECT_EQ(C<QLineEdit>("edtCHMFileName")->text(),
              QString::fromStdString(form_->Controls().Text("edtRootPath")) + "travel.chm");
    form_->BuildOptions();
    EXPECT_TRUE(form_->Options().WholeDatabase);
    EXPECT_EQ(form_->Options().StartPath, "\\Organizer\\data\\");
    EXPECT_EQ(form_->Options().DatabaseFileName, "travel.db");
}

TEST_F(WizardTest, WithoutDatabaseTheUserCannotLeaveTheFirstPage) {
    Open(HostText(kTrip, false));
    ASSERT_EQ(services_.r().infos.size(), 1u);
    EXPECT_EQ(services_.r().infos[0], "No data file opened at this time.");
    EXPECT_TRUE(services_.r().errors.empty());
    EXPECT_FALSE(C<QPushButton>("btnNext")->isEnabled());
    // Changing the language re-enables nothing.
    UseShippedLanguages();
    qb::StartUpSettingsAndLanguage(module_);
    C<QComboBox>("cbbLanguage")->setEditText("Deutsch");
    EXPECT_FALSE(C<QPushButton>("btnNext")->isEnabled());
    EXPECT_TRUE(C<QPushButton>("btnAbout")->isEnabled());
}

TEST_F(WizardTest, UncheckingAParentDisablesItsChildWithoutTouchingItsMark) {
    Open(HostText(kTrip));
    auto* keep = C<QCheckBox>("chkKeepDir");
    auto* nice = C<QCheckBox>("chkNiceDirName");
    nice->setChecked(true);
    keep->setChecked(false);
    EXPECT_FALSE(nice->isEnabled());
    EXPECT_TRUE(nice->isChecked());
    keep->setChecked(true);
    EXPECT_TRUE(nice->isEnabled());

    auto* nav = C<QCheckBox>("chkNavLink");
    auto* popup = C<QCheckBox>("chkMakePopupMenu");
    QTest::mouseClick(nav, Qt::LeftButton);
    EXPECT_FALSE(nav->isChecked());
    EXPECT_FALSE(popup->isEnabled());
    EXPECT_TRUE(popup->isChecked());
}

TEST_F(WizardTest, ChoosingTheLanguageTwiceKeepsOneCopyOfTheHostText) {
    UseShippedLanguages();
    Open(HostText(""));
    auto* combo = C<QComboBox>("cbbLanguage");
    // The file's own list already names Deutsch: it is not repeated.
    EXPECT_EQ(combo->findText("Deutsch"), combo->findText("Deutsch", Qt::MatchFixedString | Qt::MatchCaseSensitive));
    int deutsch = 0;
    for (int i = 0; i < combo->count(); ++i) deutsch += combo->itemText(i) == "Deutsch";
    EXPECT_EQ(deutsch, 1);

    auto* range = form_->findChild<qb::TRadioGroup*>("rgDataSource");
    combo->setEditText("Deutsch");
    combo->setEditText("Default(En) *");  // names no language: German stays
    combo->setEditText("Deutsch");
    EXPECT_EQ(range->Items()[0], "Aktueller Zweig: ");
    EXPECT_EQ(range->Items()[1], "Aktuelle Datenbank: travel.db");
    EXPECT_EQ(form_->windowTitle(), "Quillbook - Schritt 1 von 7");
    EXPECT_EQ(C<QPushButton>("btnRun")->text(), QString::fromUtf8("&Ausführen"));
    // The disabled range stays disabled and chosen.
    EXPECT_FALSE(range->Button(0)->isEnabled());
    EXPECT_EQ(form_->Controls().Choice("rgDataSource"), 1);
    EXPECT_EQ(qb::Msg(21), "Zurzeit ist keine Datendatei geöffnet.");
}

TEST_F(WizardTest, LanguageChangeKeepsTheCurrentItemCaptionAndTheChoices) {
    UseShippedLanguages();
    Open(HostText(kTrip));
    form_->Controls().SetChoice("cbbDefaultTab", 2);
    auto* range = form_->findChild<qb::TRadioGroup*>("rgDataSource");
    C<QComboBox>("cbbLanguage")->setEditText("deutsch");
    C<QComboBox>("cbbLanguage")->setEditText("Deutsch");
    EXPECT_EQ(range->Items()[0], "Aktueller Zweig: Trip: Rome?");
    // Never-saved settings: the marks the user sees survive the new item texts.
    EXPECT_EQ(qb::ToolbarFlagsFromList(form_->Controls()), qb::kDefaultToolButtons);
    EXPECT_TRUE(form_->Controls().Check("chklstTabStyles", 0));
    EXPECT_TRUE(form_->Controls().Check("chklstTabStyles", 1));
    EXPECT_EQ(form_->Controls().Choice("cbbDefaultTab"), 2);
}

TEST_F(WizardTest, LanguageChangeRestoresCheckListsFromSavedSettings) {
    UseShippedLanguages();
    Open(HostText(kTrip));
    form_->Controls().SetCheck("chklstWinBtns", 0, true);
    ToolbarFlagsToList(form_->Controls(), 0x6);
    form_->SaveToSettings();
    // Unsaved edits after the save give way to the saved marks.
    form_->Controls().SetCheck("chklstWinBtns", 0, false);
    ToolbarFlagsToList(form_->Controls(), 0x78387E);
    C<QComboBox>("cbbLanguage")->setEditText("Deutsch");
    EXPECT_TRUE(form_->Controls().Check("chklstWinBtns", 0));
    EXPECT_EQ(qb::ToolbarFlagsFromList(form_->Controls()), 0x6);
    EXPECT_EQ(C<QListWidget>("chklstWinBtns")->item(2)->text(), QString::fromUtf8("Zurück"));
}

TEST_F(WizardTest, InitialisationErrorShowsMessage22AndKeepsTheWindowUsable) {
    Open("Database.HANDLE=abc\r\nDatabase.FullPath=/x/y.db\r\n");
    ASSERT_EQ(services_.r().errors.size(), 1u);
    EXPECT_EQ(services_.r().errors[0].rfind("Quillbook maybe not run correctly. Unknown error: ", 0), 0u);
    EXPECT_NE(services_.r().errors[0].find("abc"), std::string::npos);
    EXPECT_TRUE(C<QPushButton>("btnClose")->isEnabled());
}

TEST_F(WizardTest, ScreenshotsOfEveryPage) {
    Open(HostText(kTrip));
    form_->show();
    for (int page = 0; page < 7; ++page) {
        SaveScreenshot(form_.get(), "page-" + std::to_string(page) + ".png");
        form_->btnNextClick();
    }
    form_->hide();
    UseShippedLanguages();
    qb::StartUpSettingsAndLanguage(module_);
    C<QComboBox>("cbbLanguage")->setEditText("Deutsch");
    form_->show();
    for (int page = 6; page >= 0; --page) {
        SaveScreenshot(form_.get(), "page-" + std::to_string(page) + "-de.png");
        form_->btnBackClick();
    }
}

}  // namespace
}  // namespace wiztest
