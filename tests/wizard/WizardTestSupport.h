// Shared by the wizard and host tests: a QApplication, recording message
// boxes and a small database built from a folder tree.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "Utils/Platform.h"
#include "tests/support/TestSupport.h"

class QWidget;

namespace wiztest {

// The process's QApplication (offscreen), created on first use.
void EnsureApp();

// Message boxes and shell calls, recorded instead of shown.
struct Recorded {
    std::vector<std::string> infos, errors, confirms, opened;
    bool confirmAnswer = true;
};
class RecordingServices {
public:
    RecordingServices();
    ~RecordingServices();
    Recorded& r() { return *rec_; }

private:
    std::shared_ptr<Recorded> rec_;
    qb::PlatformServices previous_;
};

// Writes a small item tree below dir and imports it into dir + "travel.db".
// Items: "Trip: Rome?" (\Organizer\data\Trip\) with a note, an attachment and
// the sub-item "Day 1"; "Notes" (\Organizer\data\Notes\).
std::string MakeTravelDatabase(const qbtest::TempDir& dir);

// Folder for screenshots in the build tree, created on demand.
std::string ScreenshotDir();
void SaveScreenshot(QWidget* w, const std::string& name);

}  // namespace wiztest
