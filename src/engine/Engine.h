#pragma once
// Stages of a conversion run. Each stage takes the job state.
#include "support/Os.h"
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/Converters.h"
#include "engine/Options.h"
#include "engine/Storage.h"
#include "support/NameSet.h"

namespace qb {

class IHelpCompiler;

// One conversion run. It owns its job: options, progress state, stop request,
// walk error, page plan and run record; it reads through storage and compiles
// through compiler, both given to it and outliving it. Relative paths of the
// run are resolved against its output folder, never against the process's
// current directory, so runs on different threads share nothing.
class TRun {
public:
    TRun(const TConvertOptions& options, IStorage& storage, IHelpCompiler& compiler,
         TProgressCallback callback = nullptr, void* context = nullptr);
    ~TRun();
    TRun(const TRun&) = delete;
    TRun& operator=(const TRun&) = delete;
    // Runs the stages in their fixed order on the calling thread; errors of
    // stages other than the walk propagate after the job has been cleaned up.
    void Execute();
    // Execute for a worker thread: the error it ended with, or nullopt when it completed.
    std::optional<std::string> ExecuteReportingError();
    // Before Execute: the run writes its pages and website but no help project
    // and no help file (a website alone).
    void WithoutHelpFile();
    // Before Execute: the run's files go through what make returns for its
    // output folder instead of the files on disk of that folder.
    void WithFiles(std::function<std::unique_ptr<fs::FileSystem>(const fs::OutputFolder&)> make);
    // From any thread: the walk and the compiler stop at their next check.
    void RequestStop();
    // Message of the error that ended the tree walk; empty when none did.
    const std::string& WalkError() const;
    // From the progress callback: text is the help compiler's line for a file
    // the run listed, which a terse log leaves out.
    bool NamesListedFile(const char* text) const;
    // From the progress callback: items the walk has done and will do (0, 0 before it counts).
    std::pair<int, int> WalkSteps() const;

private:
    std::unique_ptr<TParameters> job_;
};

// A TRun over the storage and help compiler libraries; returns true.
bool RunConversion(const TConvertOptions& options, TProgressCallback callback, void* context);

// Export driver: label pages, the walk, the support files.
void ExportTree(TParameters& job);

// Recursive per-item export.
void ExportItem(TParameters& job, const std::string& itemPath, const std::string& logPrefix, const std::string& navText,
                bool& stop, int level, const std::string& relFolder);

// Deepest level the walk descends to; deeper items end the walk with an error.
inline constexpr int kMaxTreeDepth = 1000;

// Name of the entry that holds an item's note (compared without regard to case).
inline constexpr const char* kNotesName = "_~_~_notes.rtf";

// --- Names -----------------------------------------------------------------
// SafeFileName of a caption, shortened at a character boundary so that it plus
// reserve bytes stays within 240 bytes.
std::string FileSafeCaption(const std::string& caption, std::size_t reserve = 5);
// A storage name made safe as one path component: no separators, never "." or "..".
std::string SafeComponent(const std::string& name);

// --- Pages of the current run -------------------------------------------------
// Every page name the run gives out, planned before the walk so that links can
// name pages the walk has not reached yet (see-also, labels, menus), including
// numbered and shortened names. Filled by PlanPages, used while its job runs
// ExportTree, then cleared; lookups for any other job find nothing.
struct TPagePlan {
    const TParameters* job = nullptr;
    std::map<std::string, std::string> itemPages;  // lower-case storage path -> page file
    NameSet claimed;                               // RootLink of every page name given out
    NameSet finished;                              // RootLink of every page already finished
    std::map<int, std::string> labelPages;         // label header line -> label page file
    // (item path, storage path of its note) of every note, in walk order.
    std::vector<std::pair<std::string, std::string>> notes;
};
// The job's page plan.
TPagePlan& PagePlan(const TParameters& job);
// Plans label pages, then every item the walk will reach, in walk order.
void PlanPages(TParameters& job);
// Forgets the plan (the end of ExportTree).
void ClearPagePlan(TParameters& job);
// Page file planned for the item in this job's run, or nullptr.
const std::string* PlannedPage(const TParameters& job, const std::string& itemPath);
// A free page name in folder for the caption ("_N" added when taken); claims it.
// menuData: the item's menu data file (MenuDataFile) must be free as well.
std::string ClaimPage(TParameters& job, const std::string& folder, const std::string& caption, bool menuData = false);
// The data file beside an item's page that holds its bar entry and rollover menu.
std::string MenuDataFile(const std::string& pageFile);
// Walk step 2: the item's caption.
std::string ItemCaption(TParameters& job, const std::string& itemPath, int level);
// Walk step 11: the folder of a sub-item below relFolder.
std::string ChildFolder(TParameters& job, const std::string& relFolder, const std::string& childPath,
                        const std::string& entryName, bool childHasSubFolders);
// A file the walk names (".\9\C.html", RootPath + "C.html", "C.html") as a link
// from the output folder's root: "/9/C.html".
std::string RootLink(const TParameters& job, const std::string& file);
// Link as written into a page: "%" and "#" escaped so they stay part of the path.
std::string UrlPath(const std::string& link);

// --- The run record -------------------------------------------------------
// A file in the output folder naming every file that runs into the folder
// generated, and whether the last run finished. A file it does not name is the
// user's: the run never replaces or deletes it.
class TRunRecord {
public:
    TRunRecord() = default;
    ~TRunRecord();
    TRunRecord(const TRunRecord&) = delete;
    TRunRecord& operator=(const TRunRecord&) = delete;
    TRunRecord& operator=(TRunRecord&& other) noexcept {
        job_ = other.job_;
        fd_ = other.fd_;
        other.fd_ = -1;
        unfinished_ = other.unfinished_;
        knowsFolder_ = other.knowsFolder_;
        ours_ = std::move(other.ours_);
        earlierUnfinished_ = std::move(other.earlierUnfinished_);
        removable_ = std::move(other.removable_);
        return *this;
    }
    // Reads the earlier record from the output folder and starts this run's;
    // raises qb::Error when it cannot be written.
    void Begin(const TParameters& job);
    // Names file (as the walk names it) as generated by this run, before it is written.
    void Add(const TParameters& job, const std::string& file);
    // Add for many files, written to the record at once.
    void AddAll(const TParameters& job, const std::vector<std::string>& files);
    // Names files that stood in the folder before this run as ours from now on;
    // this run's clean-up leaves them.
    void Adopt(const TParameters& job, const std::vector<std::string>& files);
    // Files the clean-up may delete, as links from the output folder's root:
    // those this run added that no earlier run had, and those of an unfinished earlier run.
    const std::vector<std::string>& Removable() const { return removable_; }
    // file was generated by this run or by an earlier one.
    bool IsOurs(const TParameters& job, const std::string& file) const;
    // An earlier run stopped before it finished.
    bool EarlierRunUnfinished() const { return unfinished_; }
    // An earlier run left a record here, so a file it does not name is the user's.
    bool KnowsFolder() const { return knowsFolder_; }
    // file was generated by that unfinished run.
    bool FromUnfinishedRun(const TParameters& job, const std::string& file) const;
    // Marks the run complete (its help file compiled); files may still be added until End.
    void Finish();
    // Closes the record; an unfinished run stays marked as running.
    void End();

private:
    void Record(const TParameters& job, const std::vector<std::string>& files, bool removable);
    const TParameters* job_ = nullptr;
    os::Fd fd_ = os::kNoFd;
    bool unfinished_ = false;
    bool knowsFolder_ = false;
    NameSet ours_;               // RootLinks
    NameSet earlierUnfinished_;  // RootLinks
    std::vector<std::string> removable_;  // RootLinks
};
// The job's run record.
TRunRecord& RunRecord(const TParameters& job);
// The record file (and anything else of ours named ".quillbook...") in the output folder.
bool IsRecordName(const TParameters& job, const std::string& file);
// A name the run writes besides pages and attachments (support, project and
// record files, the help file, the generated default page); no page or attachment takes one.
bool IsGeneratedName(const TParameters& job, const std::string& file);
// Raises an error when a user's file stands where the run writes a file of a
// fixed name (support files, project files), before anything is written.
void RefuseUsersFilesAtFixedNames(const TParameters& job);
// Walk step 5: a notes file stands where the run would put the note.
bool NotesFileInTheWay(const TParameters& job, const std::string& notesFile);

// --- Pages and navigation ----------------------------------------------------
std::string BranchStrip(const TParameters& job, const std::string& relPath);
std::string ItemLink(TParameters& job, const std::string& path);
std::string ChildLink(TParameters& job, const std::string& parentPath, const std::string& entryName,
                      const std::string& caption, const std::string& relFolder);
// link when it reaches the item's planned page, else that page as a RootLink:
// numbered, shortened or renamed pages stay reachable.
std::string ResolvedLink(const TParameters& job, const std::string& link, const std::string& itemPath);
// ChildLink, or the sub-item's planned page when that link would not reach it.
std::string ResolvedChildLink(TParameters& job, const std::string& parentPath, const std::string& entryName,
                              const std::string& caption, const std::string& relFolder);
// Walk step 10: the bar of the item's page, plain links in every page. With
// rollover menus, parentNav and childNav also load the menu data of the
// ancestors and of this item (an item with sub-items has its data written here).
// Returns "" where the bar is childNav itself: a deep chain's bars grow with
// the square of the depth, and each level holds its own while below it.
std::string BuildNavigationText(TParameters& job, const std::string& itemPath, const std::string& parentNav,
                                const std::string& pageFile, int level, const std::string& caption,
                                const std::vector<TDVO_ENUM_DATA>& entries, const std::string& relFolder,
                                std::string& childNav);
// Walk step 11: one line of the sub-item list, linking the sub-item's own page.
std::string SubItemLine(TParameters& job, const std::string& childPath, const std::string& childFolder,
                        const std::string& entryCaption, bool childHasSubFolders);
// Walk step 12: the "See also" links of the item.
std::string SeeAlsoText(TParameters& job, const std::string& itemPath);
// Walk step 13: empty-item page and finishing.
void FinishPage(TParameters& job, const std::string& pageFile, const std::string& subItemList,
                const std::string& seeAlso, const std::string& navText);

// --- Contents and keyword index --------------------------------------------
void AddContentsEntry(TParameters& job, const std::optional<std::string>& page, const std::string& caption,
                      bool newPage, const std::string& indent);
void MakeLabelPages(TParameters& job);
// Label named by a labels-file header line; empty for other lines and for a
// header with fewer than four tab-separated fields.
std::string LabelName(const std::string& line);

// --- Attachments ------------------------------------------------------------
// Writes the file list and frame into a note's page, or the attachment page
// (none with keepPage: an earlier one stays); returns the item page override.
std::string WriteAttachmentsPage(TParameters& job, const std::vector<std::string>& attachments,
                                 const std::string& pageFile, const std::string& title, bool keepPage = false);

// --- Website ------------------------------------------------------------------
// Starts the run's website writer when SiteFolder is set (after the label lines are read).
void StartSite(TParameters& job);
// Walk hooks; nothing without a website writer.
void SiteItemEntered(TParameters& job, const std::string& itemPath, const std::string& caption, int level);
void SiteItemWritten(TParameters& job, const std::string& itemPath, int level, const std::string& pageFile,
                     bool hasNotes, bool hasSubItems, const std::vector<std::string>& attachments,
                     const std::vector<std::string>& attachmentNames);
// Writes the website from a complete walk (an incomplete one writes none) and drops the writer.
void FinishSite(TParameters& job, bool complete);

// --- Help project -------------------------------------------------------------
void StartProject(TParameters& job);
void FinishProject(TParameters& job);
void ReadHostTextFile(TParameters& job, const std::string& folderPath, const std::string& fileName, TStringList& list);
// File name of ChmFileName without folder and extension.
std::string ProjectBaseName(const TParameters& job);
std::string WindowDefinition(const TParameters& job, const std::string& defaultTopic, const std::string& homePage);

// --- Compilation and clean-up -------------------------------------------------
// True when this run's help file was written (and the clean-up, if asked for, done).
bool CompileAndCleanUp(TParameters& job);
using THHALog = void (*)(const char* text);
using THHAContinue = int (*)(long arg);
// With kept, the files it keeps in memory are read from there (written first
// when the library cannot).
bool CallHelpCompiler(const std::string& libraryPath, const std::string& projectFile, THHALog log, THHAContinue cont,
                      fs::FileSystem* kept = nullptr);
void CompilerLog(const char* text);
int CompilerContinue(long arg);
// Where the compiler library is looked for: beside the module, then the search path.
std::string FindHelpCompiler();

// The help compiler as the compile stage reaches it; tests install a double.
class IHelpCompiler {
public:
    virtual ~IHelpCompiler() = default;
    // Library path, or empty when no compiler is installed.
    virtual std::string Find() = 0;
    virtual bool Compile(const std::string& library, const std::string& projectFile, THHALog log,
                         THHAContinue cont) = 0;
    // Whether CompileKept reads the files a run keeps in memory from there.
    virtual bool ReadsKeptFiles(const std::string& library);
    // Compile, reading what files keeps in memory; by default it is written first.
    virtual bool CompileKept(const std::string& library, const std::string& projectFile, THHALog log,
                             THHAContinue cont, fs::FileSystem& files);
};
// The help compiler library libhha, looked up as FindHelpCompiler says.
IHelpCompiler& LibraryHelpCompiler();
// The job's help compiler: the one its run was given, else the library.
IHelpCompiler& HelpCompiler(const TParameters& job);

}  // namespace qb
