#pragma once
// Options of one conversion run and the job state the stages share.
#include <atomic>
#include <cstddef>
#include <functional>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Utils/StringList.h"
#include "support/Color.h"

namespace qb {

namespace fs {
class FileSystem;
class OutputFolder;
}

// Window-text system colour code; resolved through SystemColorToRgb.
constexpr std::uint32_t clWindowText = kAutoColor;

// The defaults are those of a new wizard, from the option rows (OptionSchema.cpp).
struct TConvertOptions {
    TConvertOptions();
    // Every field zero or empty.
    struct TNoDefaults {};
    explicit TConvertOptions(TNoDefaults) {}

    std::int32_t DatabaseHandle = 0;
    std::string StartPath;
    std::string DatabaseFileName;
    bool WholeDatabase = false;
    std::string RootPath;
    std::uint8_t ConvertMethod = 0;
    bool KeepFolderTree = false;
    std::string ChmFileName;
    bool ExportAttachments = false;
    std::string Encoding;
    std::string DefaultPage;
    std::string Header;
    std::string Footer;
    bool RemoveTempFiles = false;
    std::string FontName;
    std::int32_t FontSize = 0;
    std::uint32_t FontColor = 0;
    bool Overwrite = false;
    bool TopNodeNotFolder = false;
    bool IgnoreEmptyItems = false;
    bool ReadableFolderNames = false;
    bool IncludeSubItems = false;
    std::string ChmLanguage;
    bool FullTextSearch = false;
    std::string WindowTitle;
    std::string WindowRect;
    std::int32_t WindowExStyle = 0;
    std::int32_t WindowButtons = 0;
    std::int32_t NavPaneFlags = 0;
    std::int32_t NavPaneWidth = 0;
    bool NavPaneClosed = false;
    std::int32_t DefaultTab = 0;
    std::string UserButtonCaption;
    std::string UserButtonUrl;
    bool MakeIndex = false;
    bool NavLinks = false;
    std::string ExtraFiles;
    bool RolloverMenus = false;
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
    // Name kept for the generated default page (no page or attachment takes it).
    std::string DefaultPageFile;

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
    // The walk reached every item (not stopped, no error).
    bool WalkComplete = false;
    // Pages given out before the walk, and the record of the run's files.
    std::unique_ptr<TPagePlan> Plan;
    std::unique_ptr<TRunRecord> Record;
    // Identities of the items being exported, start item first.
    std::vector<std::uintptr_t> WalkStack;
    // Every file of the job goes through this: while its run executes, the
    // run's files below the output folder; else files of the current directory.
    fs::FileSystem* FileLayer = nullptr;
    std::unique_ptr<fs::FileSystem> OwnFiles;
    // Bytes of pages at most that stay in memory for a compiler that reads
    // them there; the rest go to disk.
    std::size_t KeptPagesBudget = std::size_t{64} << 20;
    // Makes the run's files over its output folder; empty: files on disk (fs::FileContext).
    std::function<std::unique_ptr<fs::FileSystem>(const fs::OutputFolder&)> MakeFiles;

    TParameters();
    ~TParameters();
    TParameters(const TParameters&) = delete;
    TParameters& operator=(const TParameters&) = delete;
};

// The job's files (TParameters::FileLayer).
fs::FileSystem& Files(const TParameters& job);

// The text as one log line: "\r\n" as "\n", no line breaks before or after it.
std::string LogLineText(const char* text);
// Calls the job's progress callback with the text as one log line when set;
// returns its stop flag or the job's stop request.
bool ReportProgress(const TParameters& job, int position, const char* text);
inline bool ReportProgress(const TParameters& job, int position, const std::string& text) {
    return ReportProgress(job, position, text.c_str());
}

// RGB value of a colour; system colour codes (0xFF0000xx) map to a light theme.
std::uint32_t SystemColorToRgb(std::uint32_t color);

}  // namespace qb
