#pragma once
// Options of one conversion run and the job state the stages share.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Utils/StringList.h"
#include "support/Color.h"

namespace qb {

// Window-text system colour code; resolved through SystemColorToRgb.
constexpr std::uint32_t clWindowText = kAutoColor;

struct TConvertOptions {
    std::int32_t DatabaseHandle = 0;
    std::string StartPath;
    std::string DatabaseFileName;
    bool WholeDatabase = false;
    std::string RootPath;
    std::uint8_t ConvertMethod = 1;
    bool KeepFolderTree = true;
    std::string ChmFileName;
    bool ExportAttachments = true;
    std::string Encoding = "UTF-8";
    std::string DefaultPage;
    std::string Header;
    std::string Footer;
    bool RemoveTempFiles = true;
    std::string FontName = "Tahoma";
    std::int32_t FontSize = 12;
    std::uint32_t FontColor = clWindowText;
    bool Overwrite = false;
    bool TopNodeNotFolder = true;
    bool IgnoreEmptyItems = false;
    bool ReadableFolderNames = false;
    bool IncludeSubItems = true;
    std::string ChmLanguage;
    bool FullTextSearch = true;
    std::string WindowTitle;
    std::string WindowRect = "[0,0,800,600]";
    std::int32_t WindowExStyle = 0;
    std::int32_t WindowButtons = 0x78387E;
    std::int32_t NavPaneFlags = 0x20 | 0x1000 | 0x20400;
    std::int32_t NavPaneWidth = 300;
    bool NavPaneClosed = false;
    std::int32_t DefaultTab = -1;
    std::string UserButtonCaption;
    std::string UserButtonUrl;
    bool MakeIndex = true;
    bool NavLinks = true;
    std::string ExtraFiles;
    bool RolloverMenus = true;
    std::string SiteFolder;  // also write a website there; empty: none
};

class IConverterEngine;  // engine objects of methods 0..3 (Converters.h)
class IStorage;          // Storage.h
class IHelpCompiler;     // Engine.h
struct TPagePlan;        // Engine.h
class TRunRecord;        // Engine.h
namespace site {
class IWalkObserver;
}

// (context, position 0..100 or -1, log text or null) -> stop requested.
using TProgressCallback = bool (*)(void* context, int position, const char* text);

struct TParameters {
    TConvertOptions options;
    std::unique_ptr<IConverterEngine> ConverterObject;  // methods 1 and 3
    std::unique_ptr<IConverterEngine> RichEdit;         // methods 0, 2 and others
    std::unique_ptr<TStringList> ProjectLines;
    std::unique_ptr<TStringList> ContentsLines;
    std::unique_ptr<TStringList> FileList;
    std::unique_ptr<TStringList> ExistingFiles;
    std::unique_ptr<TStringList> LabelLines;
    std::unique_ptr<TStringList> LinkTable;
    std::int32_t NameCounter = 0;
    // Pages written by this run (native absolute paths, case-insensitive), so a
    // page another item wrote earlier is never overwritten or finished twice.
    std::unique_ptr<TStringList> WrittenPages;
    // The website writer of this run, when SiteFolder names one.
    std::unique_ptr<site::IWalkObserver> Site;
    // First page the walk gives a contents entry: the help file's home page
    // when no DefaultPage is given.
    std::string StartPage;

    // State of the run this job belongs to; nothing of it is shared between runs.
    // No help project and no help file: the run is for its website.
    bool WithoutHelpFile = false;
    // Where the job reads and compiles; null: the libraries the plug-in uses.
    IStorage* Store = nullptr;
    IHelpCompiler* Compiler = nullptr;
    TProgressCallback ProgressCallback = nullptr;
    void* ProgressContext = nullptr;
    // Set from any thread; every progress report after it answers "stop".
    std::atomic<bool> StopRequested{false};
    // Steps of the current phase and steps done.
    int StepTotal = 0;
    int StepCount = 0;
    // Message of the error that ended the tree walk; empty when none did.
    std::string WalkError;
    // Pages given out before the walk, and the record of the run's files.
    std::unique_ptr<TPagePlan> Plan;
    std::unique_ptr<TRunRecord> Record;
    // Identities of the items being exported, start item first.
    std::vector<std::uintptr_t> WalkStack;

    TParameters();
    ~TParameters();
    TParameters(const TParameters&) = delete;
    TParameters& operator=(const TParameters&) = delete;
};

// Calls the job's progress callback when set; returns its stop flag or the
// job's stop request.
bool ReportProgress(const TParameters& job, int position, const char* text);
inline bool ReportProgress(const TParameters& job, int position, const std::string& text) {
    return ReportProgress(job, position, text.c_str());
}

// RGB value of a colour; system colour codes (0xFF0000xx) map to a light theme.
std::uint32_t SystemColorToRgb(std::uint32_t color);

}  // namespace qb
