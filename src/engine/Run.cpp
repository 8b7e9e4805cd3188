#include <unicode/ustring.h>
#include <unicode/utrans.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "Utils/FileSys.h"
#include "Utils/Format.h"
#include "Utils/Platform.h"
#include "Utils/Utils.h"
#include "engine/Engine.h"
#include "settings/MessageTable.h"
#include "support/Error.h"
#include "support/Text.h"

namespace qb {

namespace {

constexpr std::size_t kMaxNameBytes = 240;
constexpr const char* kRunLockName = ".quillbook.lock";
constexpr const char* kJumpPage =
    "<html><head><meta http-equiv=\"refresh\" content=\"0; url=https://quillbook.example.org/\">"
    "</head></html>\r\n";

// Length of s cut back so it does not end inside a UTF-8 sequence.
std::size_t Utf8Boundary(const std::string& s, std::size_t len) {
    if (len >= s.size()) return s.size();
    while (len > 0 && (static_cast<unsigned char>(s[len]) & 0xC0) == 0x80) --len;
    return len;
}

bool InFileList(const TParameters& job, const std::string& name) {
    return job.FileList && job.FileList->Contains(name);
}

// An attachment never takes the name of a page (or of its notes file or file
// list) that this run gives out.
bool IsPageName(const TParameters& job, const std::string& target) {
    const TPagePlan& plan = PagePlan(job);
    if (plan.job != &job) return false;
    const std::string ext = LowerAscii(ExtractFileExt(target));
    const std::string page = ext == ".rtf" || ext == ".xml" || ext == ".js" ? ChangeFileExt(target, ".html") : target;
    return plan.claimed.Contains(RootLink(job, page));
}

// Items being exported, from the start item down. Each item has one parent, so
// a parent loop in a damaged database shows as an item met again below itself.
class OnWalkStack {
public:
    OnWalkStack(std::vector<std::uintptr_t>& stack, std::uintptr_t key, const std::string& itemPath)
        : stack_(stack), key_(key) {
        if (!key_) return;
        if (std::find(stack.begin(), stack.end(), key_) != stack.end())
            throw Error(
                Format("The item tree loops at \"%s\": the item is stored below itself; the walk stops.", {itemPath}));
        stack.push_back(key_);
    }
    ~OnWalkStack() {
        if (key_) stack_.pop_back();
    }
    OnWalkStack(const OnWalkStack&) = delete;
    OnWalkStack& operator=(const OnWalkStack&) = delete;

private:
    std::vector<std::uintptr_t>& stack_;
    std::uintptr_t key_;
};

// Every file of a fixed name a run writes, whether this run writes it, and
// how one of ours shows when no record names it: the exact bytes, or a mark
// every version of it holds. Contents are loaded only when asked for.
struct FixedFile {
    std::string name;
    bool written;
    std::string exact, mark;
};

std::vector<FixedFile> FixedFiles(const TParameters& job, bool withContents) {
    const TConvertOptions& o = job.options;
    const std::string base = ProjectBaseName(job);
    auto resource = [&](const char* name) { return withContents ? LoadTextResource(name, "TEXT") : std::string(); };
    const std::string generator = "content=\"Quillbook ";
    return {{"filelist.xsl", true, resource("file_xsl"), ""},
            {"_jump2_.htm", true, kJumpPage, ""},
            {"_quillbook.css", o.NavLinks, resource("css"), ""},
            {"_quillbook.js", o.NavLinks, resource("script"), ""},
            {base + ".hhp", true, "", "Default Window=ovel2html"},
            {base + ".hhc", true, "", generator},
            {base + ".hhk", o.MakeIndex, "", generator}};
}

}  // namespace

bool IsGeneratedName(const TParameters& job, const std::string& target) {
    const std::string link = LowerAscii(RootLink(job, target));
    if (link == "/_quillbook_default.html") return true;
    if (!job.DefaultPageFile.empty() && link == LowerAscii(RootLink(job, job.DefaultPageFile))) return true;
    for (const FixedFile& f : FixedFiles(job, false))
        if (link == "/" + LowerAscii(f.name)) return true;
    const std::string chm = job.options.ChmFileName;
    const std::string& root = job.options.RootPath;
    if (!root.empty() && chm.compare(0, root.size(), root) == 0 && LowerAscii(RootLink(job, chm)) == link) return true;
    return IsRecordName(job, target);
}

namespace {

// Help-file names ignore letter case, so every check against this run's names
// does too; a file on disk that no run of ours wrote is the user's.
bool AttachmentNameTaken(const TParameters& job, const std::string& target) {
    if (InFileList(job, target) || IsPageName(job, target) || IsGeneratedName(job, target)) return true;
    return Files(job).EntryExists(target) && !RunRecord(job).IsOurs(job, target);
}

// The earlier, unfinished run's pages are this run's own: they are written
// anew, whatever Overwrite says.
void DropUnfinishedPages(TParameters& job) {
    const TPagePlan& plan = PagePlan(job);
    if (!RunRecord(job).EarlierRunUnfinished() || plan.job != &job) return;
    ReportProgress(job, 0, "An earlier export into this folder did not finish; its pages are written anew.");
    auto drop = [&](const std::string& page) {
        for (const std::string& f : {page, ChangeFileExt(page, ".xml")})
            if (RunRecord(job).FromUnfinishedRun(job, f)) Files(job).DeleteFile(f);
    };
    for (const auto& [path, page] : plan.itemPages) drop(page);
    for (const auto& [line, page] : plan.labelPages) drop(page);
}

// Pages this run may write are named in the run record before the walk.
void RecordPlannedPages(TParameters& job) {
    const TPagePlan& plan = PagePlan(job);
    if (plan.job != &job) return;
    // In a folder without a record, a page already there is an earlier run's
    // (kept as before) and from now on known as ours; this run's clean-up leaves it.
    std::vector<std::string> pages, found;
    auto add = [&](const std::string& page) {
        const bool exists = Files(job).PlainFileExists(page);
        if (exists && !RunRecord(job).KnowsFolder())
            found.push_back(page);
        else if (job.options.Overwrite || !exists)
            pages.push_back(page);
    };
    for (const auto& [path, page] : plan.itemPages) add(page);
    for (const auto& [line, page] : plan.labelPages) add(page);
    RunRecord(job).Adopt(job, found);
    RunRecord(job).AddAll(job, pages);
}

// Help viewers look stored files up through the help file's code page, so a
// name outside ASCII cannot be opened everywhere: letters are written in
// Latin ASCII ("饺子" -> "jiao zi", "Öl" -> "Ol"), anything else becomes repl.
std::string AsciiName(const std::string& name, char repl) {
    if (IsAscii(name)) return name;
    // One transliterator for the process, used by one run at a time.
    static std::mutex latinMutex;
    const std::lock_guard<std::mutex> lock(latinMutex);
    static UTransliterator* latin = [] {
        UErrorCode status = U_ZERO_ERROR;
        const std::u16string id = u"Any-Latin; Latin-ASCII";
        UTransliterator* t =
            utrans_openU(reinterpret_cast<const UChar*>(id.c_str()), -1, UTRANS_FORWARD, nullptr, 0, nullptr, &status);
        return U_SUCCESS(status) ? t : nullptr;
    }();
    std::string out;
    UErrorCode status = U_ZERO_ERROR;
    std::vector<UChar> wide(name.size() * 4 + 16);
    int32_t length = 0;
    u_strFromUTF8WithSub(wide.data(), static_cast<int32_t>(wide.size()), &length, name.data(),
                         static_cast<int32_t>(name.size()), 0xFFFD, nullptr, &status);
    if (latin && U_SUCCESS(status)) {
        int32_t limit = length;
        utrans_transUChars(latin, wide.data(), &length, static_cast<int32_t>(wide.size()), 0, &limit, &status);
    }
    if (U_FAILURE(status)) length = 0;
    for (int32_t i = 0; i < length; ++i)
        out += wide[static_cast<std::size_t>(i)] < 0x80 ? static_cast<char>(wide[static_cast<std::size_t>(i)]) : repl;
    return SafeFileName(out, repl);
}

}  // namespace

void RefuseUsersFilesAtFixedNames(const TParameters& job) {
    for (const FixedFile& f : FixedFiles(job, true)) {
        if (!f.written) continue;
        // Links and other non-files are replaced without touching what they point at.
        if (!Files(job).PlainFileExists(f.name) || RunRecord(job).IsOurs(job, f.name)) continue;
        const std::string have = Files(job).LoadTextFile(f.name);
        if (f.mark.empty() ? have == f.exact : have.find(f.mark) != std::string::npos) continue;
        throw Error(
            Format("\"%s\" in the output folder is not a file this program wrote, and the export would "
                   "replace it; move it away or choose another output folder.",
                   {f.name}));
    }
}

bool NotesFileInTheWay(const TParameters& job, const std::string& notesFile) {
    // The built-in engines never write the notes file, so with Overwrite a
    // user's file of that name can stay beside the page: no look at the disk.
    if (job.options.Overwrite && !UsesNotesFiles(job)) return false;
    return Files(job).EntryExists(notesFile) && !RunRecord(job).IsOurs(job, notesFile);
}

std::string FileSafeCaption(const std::string& caption, std::size_t reserve) {
    std::string s = AsciiName(SafeFileName(caption, '_'), '_');
    const std::size_t limit = kMaxNameBytes > reserve ? kMaxNameBytes - reserve : 1;
    if (s.size() > limit) s.resize(Utf8Boundary(s, limit));
    return WindowsSafeName(std::move(s));
}

std::string SafeComponent(const std::string& name) {
    std::string s = AsciiName(SafeFileName(name, '_'), '_');
    if (s.size() > kMaxNameBytes) s.resize(Utf8Boundary(s, kMaxNameBytes));
    if (!s.empty() && s.find_first_not_of('.') == std::string::npos) std::replace(s.begin(), s.end(), '.', '_');
    return WindowsSafeName(std::move(s));
}

TRun::TRun(const TConvertOptions& options, IStorage& storage, IHelpCompiler& compiler, TProgressCallback callback,
           void* context)
    : job_(std::make_unique<TParameters>()) {
    job_->options = options;
    job_->Store = &storage;
    job_->Compiler = &compiler;
    job_->ProgressCallback = callback;
    job_->ProgressContext = context;
}

TRun::~TRun() = default;

void TRun::RequestStop() { job_->StopRequested = true; }

void TRun::WithoutHelpFile() { job_->WithoutHelpFile = true; }

void TRun::WithFiles(std::function<std::unique_ptr<fs::FileSystem>(const fs::OutputFolder&)> make) {
    job_->MakeFiles = std::move(make);
}

const std::string& TRun::WalkError() const { return job_->WalkError; }

std::pair<int, int> TRun::WalkSteps() const { return {job_->StepCount, job_->StepTotal}; }

bool TRun::NamesListedFile(const char* text) const {
    return text && job_->FileList && job_->FileList->Contains(Trim(text));
}

std::optional<std::string> TRun::ExecuteReportingError() {
    try {
        Execute();
        return std::nullopt;
    } catch (const std::exception& e) {
        return std::string(e.what());
    } catch (...) {
        return std::string("Unknown error");
    }
}

void TRun::Execute() {
    TParameters& job = *job_;
    const TConvertOptions& options = job.options;
    job.WalkError.clear();
    job.WalkComplete = false;
    PreferSmallBlockHeap();
    // An empty folder would be the process's current one, which the clean-up empties.
    if (Trim(options.RootPath).empty()) throw Error("No output folder is given.");
    // Items the walk cannot reach would be left out without a word.
    if (options.WholeDatabase) {
        const std::string lost = Storage(job).UnreachableItems(options.DatabaseHandle);
        if (!lost.empty()) throw Error("The database is damaged: " + lost + ". Nothing was exported.");
    }
    Files(job).ForceDirectories(options.RootPath);
    // Two runs into one folder would overwrite each other's pages half-way.
    const auto lock = fs::LockFile::TryAcquire(IncludeTrailingDelimiter(options.RootPath) + kRunLockName);
    if (!lock)
        throw Error(Format("Another export is writing into \"%s\"; wait until it has finished.", {options.RootPath}));
    // Every relative name of the run means a file below the output folder.
    const fs::OutputFolder folder(options.RootPath);
    const std::unique_ptr<fs::FileSystem> files =
        job.MakeFiles ? job.MakeFiles(folder) : std::make_unique<fs::FileContext>(&folder);
    struct UseFiles {
        TParameters& job;
        fs::FileSystem* previous;
        ~UseFiles() { job.FileLayer = previous; }
    } useFiles{job, job.FileLayer};
    job.FileLayer = files.get();
    struct EndRecord {
        TParameters& job;
        ~EndRecord() { RunRecord(job).End(); }
    } endRecord{job};
    RunRecord(job).Begin(job);
    RefuseUsersFilesAtFixedNames(job);
    // The website writer reads the pages and writes its folder through files
    // of its own, which see neither kept pages nor this run's fresh folders.
    const bool site = !Trim(options.SiteFolder).empty();
    // Pages that are deleted after the compile need not reach the disk at
    // all when the compiler reads them from memory.
    if (options.RemoveTempFiles && !job.WithoutHelpFile && !site) {
        const std::string compiler = HelpCompiler(job).Find();
        if (!compiler.empty() && HelpCompiler(job).ReadsKeptFiles(compiler))
            files->KeepWrittenInMemory(job.KeptPagesBudget);
    }
    PrepareConverter(job);
    // The built-in engines start no other program: the folders the walk makes
    // hold only what it writes, and its looks for names there need no disk.
    files->TrustFreshFolders(!UsesNotesFiles(job) && !site);
    StartProject(job);
    ExportTree(job);
    ReleaseConverter(job);
    if (job.WithoutHelpFile) return;
    FinishProject(job);
    const bool compiled = CompileAndCleanUp(job);
    // What the clean-up did not remove stays, on disk.
    files->WriteKeptFiles();
    // Finished only with its help file: the next run cleans up after a failed or stopped compile.
    if (compiled && job.WalkComplete) RunRecord(job).Finish();
}

bool RunConversion(const TConvertOptions& options, TProgressCallback callback, void* context) {
    TRun run(options, LibraryStorage(), LibraryHelpCompiler(), callback, context);
    run.Execute();
    return true;
}

void ExportTree(TParameters& job) {
    const TConvertOptions& o = job.options;
    struct PlanScope {
        TParameters& job;
        ~PlanScope() { ClearPagePlan(job); }
    } planScope{job};
    // Counted first: the count also finds a parent loop before anything walks the tree.
    const int subItems = Storage(job).CountAllSubItems(o.DatabaseHandle, o.StartPath);
    PlanPages(job);
    DropUnfinishedPages(job);
    RecordPlannedPages(job);
    ConvertNotesAhead(job);
    MakeLabelPages(job);
    StartSite(job);
    ReportProgress(job, 0, Msg(7));
    // Without sub-items the walk exports the start item alone.
    job.StepTotal = o.IncludeSubItems ? subItems + 1 : 1;
    job.StepCount = 0;
    ReportProgress(job, 0, Format(Msg(8), {job.StepTotal}));
    bool stop = false;
    try {
        ExportItem(job, o.StartPath, "|", "", stop, 0, ".\\");
    } catch (const std::exception& e) {
        job.WalkError = e.what();
        ReportProgress(job, -1, job.WalkError);
    }
    ReportProgress(job, 100, stop ? Msg(15) : Msg(12));
    // Only the walk asks which pages it wrote; a large tree's list is not kept through the compile.
    job.WrittenPages = std::make_unique<TStringList>();

    for (const FixedFile& f : FixedFiles(job, false)) RunRecord(job).Add(job, f.name);
    // The support files (the project files are written by the compile stage);
    // _jump2_.htm too, since the window's Jump2 button opens it from inside the help file.
    for (const FixedFile& f : FixedFiles(job, true)) {
        if (!f.written || f.exact.empty()) continue;
        Files(job).SaveTextFile(f.name, f.exact);
        job.FileList->Add(f.name);
    }
    FinishSite(job, !stop && job.WalkError.empty());
    // A stopped or failed walk leaves pages cut short: the next run rewrites them.
    job.WalkComplete = !stop && job.WalkError.empty();
}

void ExportItem(TParameters& job, const std::string& itemPath, const std::string& logPrefix, const std::string& navText,
                bool& stop, int level, const std::string& relFolder) {
    const TConvertOptions& o = job.options;
    IStorage& store = Storage(job);
    if (level > kMaxTreeDepth)
        throw Error(Format("The item tree is deeper than %d levels at \"%s\"; deeper items are not exported.",
                           {kMaxTreeDepth, itemPath}));
    const OnWalkStack onStack(job.WalkStack, store.ItemKey(o.DatabaseHandle, itemPath), itemPath);

    // 1-2. indent and caption
    std::string indent(static_cast<std::size_t>(level) * 2, ' ');
    const std::string caption = ItemCaption(job, itemPath, level);
    SiteItemEntered(job, itemPath, caption, level);

    // 3. progress and stop
    ++job.StepCount;
    stop = ReportProgress(
        job, job.StepTotal > 0 ? static_cast<int>(static_cast<long long>(job.StepCount) * 100 / job.StepTotal) : 0,
        logPrefix + "--" + caption);
    if (stop) return;

    // 4-5. folder, notes file and page file. The page name was given out before
    // the walk so that links could name it; a notes file found in its way at
    // this point moves the page to a free name.
    const std::string folder = o.KeepFolderTree ? ReplaceAll(relFolder, " ", "_") : o.RootPath;
    std::string pageFile;
    if (const std::string* planned = PlannedPage(job, itemPath)) pageFile = *planned;
    if (pageFile.empty() || NotesFileInTheWay(job, ChangeFileExt(pageFile, ".rtf"))) {
        pageFile = ClaimPage(job, folder, caption, o.NavLinks && o.RolloverMenus);
        if (PagePlan(job).job == &job) PagePlan(job).itemPages[LowerAscii(itemPath)] = pageFile;
        RunRecord(job).Add(job, pageFile);
    }
    const std::string notesFile = ChangeFileExt(pageFile, ".rtf");
    // The page is converted, given its attachments and finished in memory, and
    // written once when the item's sub-items are done.
    fs::HeldFile heldPage(Files(job), pageFile);

    // 6. entries
    std::vector<TDVO_ENUM_DATA> entries;
    store.EnumEntries(o.DatabaseHandle, itemPath, entries);
    // A leaf's folder is its parent's, made already.
    const bool ownFolder =
        level == 0 || !o.KeepFolderTree ||
        std::any_of(entries.begin(), entries.end(), [](const TDVO_ENUM_DATA& e) { return e.IsFolder; });
    if (!entries.empty() && !folder.empty() && ownFolder) Files(job).ForceDirectories(folder);

    // 7. note and attachments
    bool hasNotes = false, hasSubItems = false;
    std::vector<std::string> attachments, attachmentNames;
    for (const auto& e : entries) {
        if (e.IsFolder) {
            hasSubItems = true;
            continue;
        }
        if (o.WholeDatabase && level == 0) continue;
        if (EqualsNoCase(e.Name, kNotesName)) {
            hasNotes = true;
            if (!Files(job).PlainFileExists(pageFile) || o.Overwrite) {
                if (!TakeNoteAhead(job, itemPath + e.Name, notesFile, pageFile))
                    ExportAndConvertNote(job, itemPath + e.Name, static_cast<std::size_t>(std::max(e.Value, 0)),
                                         notesFile, caption, pageFile);
                job.WrittenPages->Add(pageFile);
            }
            // Only a notes file of ours is removed; a user's file of that name stays.
            if (UsesNotesFiles(job) && RunRecord(job).IsOurs(job, notesFile)) Files(job).DeleteFile(notesFile);
            continue;
        }
        if (!o.ExportAttachments || e.Name.find("_~_~_notes.rtf.~") != std::string::npos) continue;
        std::string target = folder + SafeComponent(e.Name);
        // Taken by this run, by a generated file or by a user's file: keep both.
        while (AttachmentNameTaken(job, target)) {
            // The caption gives way so that the numbered name stays a valid file name.
            const std::string tail = "_" + std::to_string(job.NameCounter) + "_" + SafeComponent(e.Name);
            target = folder + "_" + FileSafeCaption(caption, tail.size() + 1) + tail;
            ++job.NameCounter;
        }
        RunRecord(job).Add(job, target);
        // Written through the descriptor of a file made fresh below the output
        // folder: a link put at the name or on the way meanwhile is never followed.
        Files(job).WriteFreshFile(target, [&](os::Fd fd) { store.ExportFileTo(o.DatabaseHandle, itemPath + e.Name, fd, target); });
        attachments.push_back(target);
        attachmentNames.push_back(e.Name);
        job.FileList->Add(target);
    }

    // 8. attachment page. Without a note, a page on disk is an earlier run's
    // attachment or sub-item page, never a note to add the list to: it is kept
    // as it is, or made anew with Overwrite.
    bool keepPage = false;
    if (!hasNotes && Files(job).PlainFileExists(pageFile)) {
        if (o.Overwrite)
            heldPage.SetOnDisk(0);
        else
            keepPage = true;
    }
    const bool pageExisted = Files(job).PlainFileExists(pageFile);
    const std::string override = WriteAttachmentsPage(job, attachments, pageFile, caption, keepPage);
    if (!pageExisted && Files(job).PlainFileExists(pageFile)) job.WrittenPages->Add(pageFile);

    // 9. contents entry
    const bool isDatabaseRoot = level == 0 && o.WholeDatabase;
    if (hasNotes || !attachments.empty()) {
        if (!override.empty()) {
            AddContentsEntry(job, override, caption, false, indent);
        } else {
            AddContentsEntry(job, pageFile, caption, false, indent);
            job.FileList->Add(pageFile);
        }
        if (job.StartPage.empty()) job.StartPage = override.empty() ? pageFile : override;
    } else if (isDatabaseRoot) {
    } else if (hasSubItems) {
        if (o.NavLinks) {
            AddContentsEntry(job, pageFile, caption, false, indent);
            if (job.StartPage.empty()) job.StartPage = pageFile;
        } else {
            AddContentsEntry(job, std::nullopt, caption, false, indent);
        }
    } else if (!o.IgnoreEmptyItems) {
        AddContentsEntry(job, std::nullopt, caption, true, indent);
    }

    // 10. navigation text
    std::string myNav = navText, bar;
    if (o.NavLinks)
        bar = BuildNavigationText(job, itemPath, navText, pageFile, level, caption, entries, relFolder, myNav);

    // 11. sub-items
    std::string subItemList;
    if (o.IncludeSubItems && hasSubItems) {
        const std::string childIndent = indent + "  ";
        const bool nest = level > 0 || !o.TopNodeNotFolder;
        if (nest) job.ContentsLines->Add(childIndent + "<UL>");
        for (const auto& e : entries) {
            if (!e.IsFolder) continue;
            const std::string childPath = itemPath + e.Name + "\\";
            const bool childHasSubs = store.GetFolderCount(o.DatabaseHandle, childPath, -1) > 0;
            const std::string childFolder = ChildFolder(job, relFolder, childPath, e.Name, childHasSubs);
            const std::string line = SubItemLine(job, childPath, childFolder, e.Caption, childHasSubs);
            ExportItem(job, childPath, logPrefix + "  |", myNav, stop, level + 1, childFolder);
            // The sub-item at which the run was stopped has no page to link to.
            const std::string* childPage = PlannedPage(job, childPath);
            if (!stop || !childPage || Files(job).PlainFileExists(*childPage)) subItemList += line;
            if (stop) break;
        }
        if (nest) job.ContentsLines->Add(childIndent + "</UL>");
    }

    // 12-13. see also, page finishing
    const std::string seeAlso = SeeAlsoText(job, itemPath);
    FinishPage(job, pageFile, subItemList, seeAlso, bar.empty() ? myNav : bar);
    heldPage.Write();
    SiteItemWritten(job, itemPath, level, pageFile, hasNotes, hasSubItems, attachments, attachmentNames);
}

}  // namespace qb
