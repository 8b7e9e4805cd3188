#include "tests/wizard/WizardTestSupport.h"

#include <filesystem>
#include <memory>

#include <gtest/gtest.h>
#include <QApplication>
#include <QPixmap>
#include <QWidget>

#include "dvo/dvo.h"

namespace wiztest {

namespace {

std::unique_ptr<QApplication>& App() {
    static std::unique_ptr<QApplication> app;
    return app;
}

// Qt must go before the exit handlers run, or its own globals are gone first.
class AppEnvironment : public ::testing::Environment {
public:
    void TearDown() override { App().reset(); }
};

// gtest owns registered environments.
[[maybe_unused]] ::testing::Environment* const kAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace

void EnsureApp() {
    static int argc = 1;
    static char name[] = "wizard_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) App() = std::make_unique<QApplication>(argc, argv);
}

RecordingServices::RecordingServices() : rec_(std::make_shared<Recorded>()) {
    // Shared so the lambdas stay valid whatever order things are torn down in.
    std::shared_ptr<Recorded> keep = rec_;
    qb::PlatformServices s;
    s.showInfo = [keep](const std::string& t) { keep->infos.push_back(t); };
    s.showError = [keep](const std::string& t) { keep->errors.push_back(t); };
    s.askConfirm = [keep](const std::string& t) {
        keep->confirms.push_back(t);
        return keep->confirmAnswer;
    };
    s.shellOpen = [keep](const std::string& t) { keep->opened.push_back(t); };
    s.browseForFolder = [](void*, std::string&, const std::string&, int, const std::string&) { return false; };
    previous_ = qb::SetPlatformServices(s);
}

RecordingServices::~RecordingServices() { qb::SetPlatformServices(previous_); }

std::string MakeTravelDatabase(const qbtest::TempDir& dir) {
    namespace fs = std::filesystem;
    const std::string src = dir / "travel-src/";
    fs::create_directories(src + "Trip/Day1");
    fs::create_directories(src + "Notes");
    qbtest::WriteFile(src + "Trip/.caption", "Trip: Rome?\n");
    qbtest::WriteFile(src + "Trip/_~_~_notes.rtf", "{\\rtf1\\ansi {\\b Rome} in spring.\\par}");
    qbtest::WriteFile(src + "Trip/tickets.txt", "Train 9:40\n");
    qbtest::WriteFile(src + "Trip/Day1/.caption", "Day 1\n");
    qbtest::WriteFile(src + "Trip/Day1/_~_~_notes.rtf", "{\\rtf1\\ansi Colosseum.\\par}");
    qbtest::WriteFile(src + "Notes/.caption", "Notes\n");
    qbtest::WriteFile(src + "Notes/_~_~_notes.rtf", "{\\rtf1\\ansi Pack light.\\par}");
    qbtest::WriteFile(src + ".order", "Trip\nNotes\n");
    const std::string db = dir / "travel.db";
    if (!dvo_import(src.c_str(), db.c_str())) ADD_FAILURE() << "import failed: " << dvo_last_error();
    return db;
}

std::string ScreenshotDir() {
    const std::string dir = std::string(QB_OUT_DIR) + "/../screenshots/";
    std::filesystem::create_directories(dir);
    return dir;
}

void SaveScreenshot(QWidget* w, const std::string& name) {
    const QPixmap shot = w->grab();
    EXPECT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromStdString(ScreenshotDir() + name), "PNG")) << name;
}

}  // namespace wiztest
