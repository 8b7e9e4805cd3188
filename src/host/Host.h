#pragma once
#include <cstddef>
#include <functional>
#include <string>

#include "Utils/StringList.h"

// The plug-in's side of the host protocol, behind the four C exports.
namespace qb {

// Capacity of the host's text buffers, terminating zero included.
constexpr std::size_t kHostBufferSize = 4096;

// Copies text and a terminating zero into buffer, at most kHostBufferSize bytes,
// cut at a UTF-8 character boundary. Returns the bytes written before the zero;
// nothing is written to a null buffer.
std::size_t WriteHostBuffer(char* buffer, const std::string& text);

// Host values: tabs removed from the whole text, then one entry per line
// (CR LF, LF or CR). A null text gives an empty list.
void ParseHostValues(const char* text, TStringList& values);

// The eight "menu[0]...." lines, each ended by LF.
std::string MenuDescription();

// The steps an export runs, replaceable so tests can make them fail.
struct THostSteps {
    std::function<void()> startUp;  // settings and language beside the module
    // Shows the wizard modally over the host values and writes its controls
    // into the held settings; raises on failure.
    std::function<void(const std::string& hostText)> showWizard;
    std::function<bool()> saveSettingsFile;
    // How an error that ends an export is reported.
    std::function<void(const std::string& text)> reportError;
};
THostSteps DefaultHostSteps();
// Installs steps; members left empty keep the defaults. Returns the previous ones.
THostSteps SetHostSteps(THostSteps steps);

// Bodies of the exports: never raise.
int ExportCheckDll(int a, int b);
int ExportDescription(char* buffer);
int ExportQueryInterface(char* buffer);
int ExportOvel2Html(const char* hostValues);

// The wizard over the host text, as the command shows it (creates the
// QApplication when the host has none; raises when there is no display).
void ShowWizard(const std::string& hostText);

}  // namespace qb
