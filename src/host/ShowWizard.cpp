#include <cstdlib>
#include <memory>

#include <QApplication>

#include "Utils/Platform.h"
#include "host/Host.h"
#include "support/Error.h"
#include "wizard/MainForm.h"
#include "wizard/QtPlatform.h"

namespace qb {

namespace {

// A QApplication for the command when the host runs without one.
class TApplicationScope {
public:
    TApplicationScope() {
        if (QCoreApplication::instance()) {
            if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
                throw Error("The host runs no widget application; the wizard cannot be shown.");
            return;
        }
        // Without a display Qt would end the whole host process.
        auto set = [](const char* name) {
            const char* v = std::getenv(name);
            return v && *v;
        };
        if (!set("DISPLAY") && !set("WAYLAND_DISPLAY") && !set("QT_QPA_PLATFORM"))
            throw Error("No display to show the wizard on (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are unset).");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    ~TApplicationScope() = default;

private:
    int argc_ = 1;
    char name_[10] = "quillbook";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

// Qt message boxes and dialogs while the wizard is up; the previous services after.
class TServicesScope {
public:
    TServicesScope() : previous_(SetPlatformServices(QtPlatformServices())) {}
    ~TServicesScope() { SetPlatformServices(previous_); }

private:
    PlatformServices previous_;
};

}  // namespace

void ShowWizard(const std::string& hostText) {
    TApplicationScope app;
    TServicesScope services;
    InstallFontSubstitutes();
    // Freed on every way out, before the settings file is written.
    auto form = std::make_unique<TFrmMain>(nullptr);
    ParseHostValues(hostText.c_str(), form->HostValues());
    form->LoadFromHostAndSettings();
    form->exec();
    form->SaveToSettings();
}

}  // namespace qb
