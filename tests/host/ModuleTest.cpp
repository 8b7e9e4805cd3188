// Quillbook.so loaded with dlopen from a copy in the test's folder, as the host does.
#include <dlfcn.h>

#include <filesystem>
#include <functional>

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest/QTest>

#include "host/Exports.h"
#include "quillbook/ExportCommand.h"
#include "tests/wizard/WizardTestSupport.h"

namespace {

namespace fs = std::filesystem;

// Answers every message box and hands the wizard to the test once it is up.
class HostDriver {
public:
    explicit HostDriver(std::function<void(QDialog&)> onWizard) : onWizard_(std::move(onWizard)) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    std::vector<std::string> boxes;
    bool wizardSeen = false;

private:
    void Poll() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible()) continue;
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                boxes.push_back(box->text().toStdString());
                box->accept();
                return;
            }
            if (w->objectName() == "FrmMain" && !wizardSeen) {
                wizardSeen = true;
                onWizard_(*static_cast<QDialog*>(w));
                return;
            }
        }
    }
    std::function<void(QDialog&)> onWizard_;
    QTimer timer_;
};

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        wiztest::EnsureApp();
        const std::string out = QB_OUT_DIR;
        plugin_ = dir_ / "Quillbook.so";
        fs::copy_file(out + "/Quillbook.so", plugin_);
        fs::create_symlink(out + "/libhha.so", dir_ / "libhha.so");
        db_ = wiztest::MakeTravelDatabase(data_);
    }
    static void Click(QDialog& w, const char* name) {
        auto* b = w.findChild<QPushButton*>(name);
        ASSERT_NE(b, nullptr) << name;
        QTest::mouseClick(b, Qt::LeftButton);
    }
    qbtest::TempDir dir_, data_;
    std::string plugin_, db_;
};

TEST_F(ModuleTest, HostCommandRunsTheWizardFromTheModuleAndSavesBesideIt) {
    const std::string outDir = data_ / "out/";
    bool chmWritten = false;
    HostDriver driver([&](QDialog& w) {
        auto* root = w.findChild<QLineEdit*>("edtRootPath");
        ASSERT_NE(root, nullptr);
        root->setText(QString::fromStdString(outDir));
        auto* converter = w.findChild<QWidget*>("rgConverter");
        converter->findChildren<QRadioButton*>().at(0)->click();
        // The range rule again, for the new folder.
        auto ranges = w.findChild<QWidget*>("rgDataSource")->findChildren<QRadioButton*>();
        ranges.at(1)->click();
        ranges.at(0)->click();
        for (int i = 0; i < 6; ++i) Click(w, "btnNext");
        w.findChild<QCheckBox*>("chkOpenCHMFile")->setChecked(false);
        Click(w, "btnRun");
        // The run goes on its own thread; the button is Run again once the window has its result.
        auto* run = w.findChild<QPushButton*>("btnRun");
        QElapsedTimer waited;
        waited.start();
        QTest::qWait(5);
        while (!(run->text() == "&Run" && run->isEnabled()) && waited.elapsed() < 120000) QTest::qWait(5);
        chmWritten = fs::is_regular_file(outDir + "Trip__Rome_.chm");
        root->setText(QString::fromStdString("  " + outDir + " "));
        Click(w, "btnClose");
    });
    qbcli::HostArgs args;
    args.db = db_;
    args.item = "Trip";
    args.plugin = plugin_;
    testing::internal::CaptureStdout();
    const int status = qbcli::RunHost(args);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(driver.wizardSeen);
    EXPECT_TRUE(chmWritten);
    EXPECT_TRUE(driver.boxes.empty()) << driver.boxes.front();
    EXPECT_NE(printed.find("checkdll(2,3)=5\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("Quillbook 3.0.0"), std::string::npos) << printed;
    EXPECT_NE(printed.find("menu[0].procname=_kvn_addon_ovel2html\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("ovel2html=0"), std::string::npos) << printed;
    const std::string settings = qbtest::ReadFile(dir_ / "Quillbook.xml");
    EXPECT_NE(settings.find("<KeepDir>true</KeepDir>"), std::string::npos) << settings;
    EXPECT_NE(settings.find("<StorePath>  " + outDir + " </StorePath>"), std::string::npos) << settings;
    EXPECT_NE(settings.find("<Converter>0</Converter>"), std::string::npos) << settings;
}

TEST_F(ModuleTest, ExportsOfTheLoadedModuleNeverFailIntoTheHost) {
    void* module = dlopen(plugin_.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto checkdll = reinterpret_cast<kvn_checkdll_proc>(dlsym(module, "_kvn_addon_checkdll"));
    auto description = reinterpret_cast<kvn_buffer_proc>(dlsym(module, "_kvn_addon_description"));
    auto query = reinterpret_cast<kvn_buffer_proc>(dlsym(module, "_kvn_addon_queryinterface"));
    auto command = reinterpret_cast<kvn_command_proc>(dlsym(module, "_kvn_addon_ovel2html"));
    ASSERT_TRUE(checkdll && description && query && command);
    // Nothing of the static code inside is visible to the host.
    EXPECT_EQ(dlsym(module, "_ZN2qb3MsgEi"), nullptr);
    EXPECT_EQ(checkdll(2, 3), 5);
    EXPECT_EQ(description(nullptr, 0), 0);
    EXPECT_EQ(query(nullptr, 0), 1);

    // No database and a tab in a value: the wizard opens, says so, and the
    // user cannot leave the first page.
    bool nextEnabled = true;
    QString caption;
    {
        HostDriver driver([&](QDialog& w) {
            nextEnabled = w.findChild<QPushButton*>("btnNext")->isEnabled();
            caption = w.findChild<QWidget*>("rgDataSource")->findChildren<QRadioButton*>().at(1)->text();
            QTest::keyClick(&w, Qt::Key_Escape);
        });
        EXPECT_EQ(command("Database.FullPath=/data/trav\tel.db\r\nTreeView.CurNode_DvoPath=\r\n", 0), 0);
        EXPECT_TRUE(driver.wizardSeen);
        EXPECT_FALSE(nextEnabled);
        ASSERT_EQ(driver.boxes.size(), 1u);
        EXPECT_EQ(driver.boxes[0], "No data file opened at this time.");
    }
    EXPECT_TRUE(fs::exists(dir_ / "Quillbook.xml"));
    // A bad handle is reported inside the wizard, not raised into the host.
    HostDriver second([&](QDialog& w) { QTest::keyClick(&w, Qt::Key_Escape); });
    EXPECT_EQ(command("Database.HANDLE=x\r\n", 0), 0);
    ASSERT_EQ(second.boxes.size(), 1u);
    EXPECT_NE(second.boxes[0].find("Unknown error: "), std::string::npos);
}

}  // namespace
