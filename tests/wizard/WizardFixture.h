#pragma once
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>
#include <QWidget>

#include "dvo/dvo.h"
#include "settings/Language.h"
#include "settings/MessageTable.h"
#include "settings/Settings.h"
#include "settings/StartUp.h"
#include "tests/wizard/WizardTestSupport.h"
#include "wizard/MainForm.h"

namespace wiztest {

inline const std::string kTrip = "\\Organizer\\data\\Trip\\";

// One wizard over the shared travel database, with settings and language
// files beside a module path in the test's own folder.
class WizardTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        EnsureApp();
        dbDir_ = std::make_unique<qbtest::TempDir>();
        dbFile_ = MakeTravelDatabase(*dbDir_);
        db_ = dvo_open(dbFile_.c_str());
        ASSERT_GT(db_, 0);
    }
    static void TearDownTestSuite() {
        dvo_close(db_);
        dbDir_.reset();
    }
    void SetUp() override {
        qb::ResetMessageTable();
        qb::ReleaseLanguages();
        qb::ReleaseSettings();
        module_ = tmp_ / "Quillbook.so";
    }
    void TearDown() override {
        form_.reset();
        qb::ReleaseLanguages();
        qb::ReleaseSettings();
        qb::ResetMessageTable();
    }

    // The shipped German language file beside the module.
    void UseShippedLanguages() {
        std::filesystem::copy_file(std::string(QB_SOURCE_DIR) + "/src/settings/Quillbook.lng", tmp_ / "Quillbook.lng",
                                   std::filesystem::copy_options::overwrite_existing);
    }

    static std::string HostText(const std::string& current, bool withDatabase = true) {
        std::string t = "TreeView.CurNode_DvoPath=" + current + "\r\nDatabase.FullPath=" + dbFile_ +
                        "\r\nDatabase.RootLocation=\\Organizer\\data\\\r\nApplication.ExeFile=/usr/bin/kelvane\r\n"
                        "MainWindow.HWND=0\r\n";
        if (withDatabase) t += "Database.HANDLE=" + std::to_string(db_) + "\r\n";
        return t;
    }

    // Start-up as the plug-in runs it, then a wizard initialised from the host text.
    qb::TFrmMain& Open(const std::string& hostText) {
        qb::StartUpSettingsAndLanguage(module_);
        form_ = std::make_unique<qb::TFrmMain>();
        form_->HostValues().SetText(hostText);
        form_->LoadFromHostAndSettings();
        return *form_;
    }

    template <class T>
    T* C(const char* name) {
        T* w = form_->findChild<T*>(name);
        if (!w) throw std::runtime_error(std::string("no control ") + name);
        return w;
    }

    static inline std::unique_ptr<qbtest::TempDir> dbDir_;
    static inline std::string dbFile_;
    static inline int db_ = 0;
    qbtest::TempDir tmp_;
    std::string module_;
    RecordingServices services_;
    std::unique_ptr<qb::TFrmMain> form_;
};

}  // namespace wiztest
