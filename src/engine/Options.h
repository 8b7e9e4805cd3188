#pragma once
// Options of one conversion run and the job state the stages share.
#include <cstdint>
#include <memory>
#include <string>

#include "StringList.h"
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
namespace site {
class IWalkObserver;
}
namespace fs {
class ScratchFile;
}

struct TParameters {
    TConvertOptions options;
    std::unique_ptr<IConverterEngine> ConverterObject;  // methods 1 and 3
    std::unique_ptr<IConverterEngine> RichEdit;         // methods 0, 2 and others
    // Where the built-in engines receive each note: one anonymous file reused for the run.
    std::unique_ptr<fs::ScratchFile> Scratch;
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

    TParameters();
    ~TParameters();
};

// (context, position 0..100 or -1, log text or null) -> stop requested.
using TProgressCallback = bool (*)(void* context, int position, const char* text);

// Run-wide progress state.
extern TProgressCallback ProgressCallback;
extern void* ProgressContext;
extern int StepTotal;
extern int StepCount;
// Message of the error that ended the last tree walk; empty when none did.
extern std::string LastWalkError;

// Calls ProgressCallback when set; returns its stop flag (false without one).
bool ReportProgress(int position, const char* text);
inline bool ReportProgress(int position, const std::string& text) { return ReportProgress(position, text.c_str()); }

// RGB value of a colour; system colour codes (0xFF0000xx) map to a light theme.
std::uint32_t SystemColorToRgb(std::uint32_t color);

}  // namespace qb
