#include "host/Host.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "Utils/Format.h"
#include "Utils/Platform.h"
#include "Utils/Utils.h"
#include "engine/Engine.h"
#include "support/Os.h"
#include "settings/MessageTable.h"
#include "settings/Settings.h"
#include "settings/StartUp.h"

namespace qb {

namespace {

THostSteps& Steps() {
    static THostSteps steps = DefaultHostSteps();
    return steps;
}

// Runs an export's body; whatever it raises is reported and turned into fallback.
template <class Body>
int Guarded(Body&& body, int fallback) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        try {
            Steps().reportError(Msg(22) + e.what());
        } catch (...) {}
    } catch (...) {
        try {
            Steps().reportError(Msg(22));
        } catch (...) {}
    }
    return fallback;
}

// Library unload: the locale recorded at start-up comes back, documents go.
// Made after the first start-up, so it goes before the state it releases.
struct TShutDownOnUnload {
    ~TShutDownOnUnload() {
        try {
            ShutDownSettingsAndLanguage();
        } catch (...) {}
    }
};

void ReportToStderr(const std::string& text) { std::fprintf(stderr, "Quillbook: %s\n", text.c_str()); }

}  // namespace

std::size_t WriteHostBuffer(char* buffer, const std::string& text) {
    if (!buffer) return 0;
    std::size_t n = std::min(text.size(), kHostBufferSize - 1);
    // Never leave half a character at the end.
    if (n < text.size())
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    // The host reads its ANSI code page; a UTF-8 text never gets longer in it.
    const std::string ansi = os::ToAnsi(text.substr(0, n));
    n = std::min(ansi.size(), kHostBufferSize - 1);
    std::memcpy(buffer, ansi.data(), n);
    buffer[n] = '\0';
    return n;
}

void ParseHostValues(const char* text, TStringList& values) {
    std::string s = text ? os::FromAnsi(text) : "";
    s.erase(std::remove(s.begin(), s.end(), '\t'), s.end());
    values.SetText(s);
}

std::string MenuDescription() {
    std::string shortCut;
    if (TSettingsDocument* doc = HeldSettings()) shortCut = SettingText(doc->Quillbook().Config(), "ShortCut");
    if (shortCut.empty()) shortCut = "Ctrl+Shift+K";
    std::string text;
    text += Format("menu[%d].PopupMenu=%s\n", {0, "MAINMENU.SHARE"});
    text += Format("menu[%d].popmenu=%d\n", {0, 12});
    text += Format("menu[%d].caption=%s\n", {0, Msg(0)});
    text += Format("menu[%d].hint=%s\n", {0, Msg(1)});
    text += Format("menu[%d].procname=%s\n", {0, "_kvn_addon_ovel2html"});
    text += Format("menu[%d].localeid=%s\n", {0, "Menu_Tools_Ovel2Html"});
    text += Format("menu[%d].shortcut=%s\n", {0, shortCut});
    text += Format("menu[%d].menupos=%d\n", {0, -1});
    return text;
}

THostSteps DefaultHostSteps() {
    THostSteps s;
    s.startUp = [] {
        StartUpSettingsAndLanguage(ModuleFileName());
        static TShutDownOnUnload shutDown;
    };
    s.showWizard = [](const std::string& hostText) { ShowWizard(hostText); };
    s.saveSettingsFile = [] { return SaveSettingsFile(); };
    s.reportError = [](const std::string& text) {
        // Through the installed services when they work; stderr at least.
        try {
            ShowError(text);
        } catch (...) {
            ReportToStderr(text);
        }
    };
    return s;
}

THostSteps SetHostSteps(THostSteps steps) {
    const THostSteps defaults = DefaultHostSteps();
    if (!steps.startUp) steps.startUp = defaults.startUp;
    if (!steps.showWizard) steps.showWizard = defaults.showWizard;
    if (!steps.saveSettingsFile) steps.saveSettingsFile = defaults.saveSettingsFile;
    if (!steps.reportError) steps.reportError = defaults.reportError;
    THostSteps previous = Steps();
    Steps() = std::move(steps);
    return previous;
}

int ExportCheckDll(int a, int b) {
    return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

int ExportDescription(char* buffer) {
    return Guarded(
        [&] {
            Steps().startUp();
            WriteHostBuffer(buffer, Msg(19));
            return 0;
        },
        0);
}

int ExportQueryInterface(char* buffer) {
    return Guarded(
        [&] {
            Steps().startUp();
            WriteHostBuffer(buffer, MenuDescription());
            return 1;
        },
        1);
}

int ExportOvel2Html(const char* hostValues) {
    return Guarded(
        [&] {
            Steps().startUp();
            // An error inside the wizard ends the command before the file is written.
            Steps().showWizard(hostValues ? hostValues : "");
            Steps().saveSettingsFile();
            return 0;
        },
        0);
}

}  // namespace qb
