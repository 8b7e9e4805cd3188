#include <unicode/ustring.h>
#include <unicode/utrans.h>

#include <algorithm>
#include <vector>

#include "Engine.h"
#include "Error.h"
#include "FileSys.h"
#include "Format.h"
#include "MessageTable.h"
#include "Utils.h"

namespace qb {

namespace {

constexpr const char* kNotesName = "_~_~_notes.rtf";
constexpr std::size_t kMaxNameBytes = 240;

// Length of s cut back so it does not end inside a UTF-8 sequence.
std::size_t Utf8Boundary(const std::string& s, std::size_t len) {
    if (len >= s.size()) return s.size();
    while (len > 0 && (static_cast<unsigned char>(s[len]) & 0xC0) == 0x80) --len;
    return len;
}

bool InFileList(const TParameters& job, const std::string& name) { return job.FileList && job.FileList->Contains(name); }

// An attachment never takes the name of a page (or of its notes file) that
// this run gives out.
bool IsPageName(const TParameters& job, const std::string& target) {
    const TPagePlan& plan = PagePlan();
    if (plan.job != &job) return false;
    const std::string ext = LowerAscii(ExtractFileExt(target));
    const std::string page = ext == ".rtf" ? ChangeFileExt(target, ".html") : target;
    return plan.claimed.count(LowerAscii(RootLink(job, page))) > 0;
}

// Help viewers look stored files up through the help file's code page, so a
// name outside ASCII cannot be opened everywhere: letters are written in
// Latin ASCII ("饺子" -> "jiao zi", "Öl" -> "Ol"), anything else becomes repl.
std::string AsciiName(const std::string& name, char repl) {
    if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return name;
    static UTransliterator* latin = [] {
        UErrorCode status = U_ZERO_ERROR;
        const std::u16string id = u"Any-Latin; Latin-ASCII";
        UTransliterator* t = utrans_openU(reinterpret_cast<const UChar*>(id.c_str()), -1, UTRANS_FORWARD, nullptr,
                                          0, nullptr, &status);
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

std::string FileSafeCaption(const std::string& caption, std::size_t reserve) {
    std::string s = AsciiName(SafeFileName(caption, '_'), '_');
    const std::size_t limit = kMaxNameBytes > reserve ? kMaxNameBytes - reserve : 1;
    if (s.size() > limit) s.resize(Utf8Boundary(s, limit));
    return s;
}

std::string SafeComponent(const std::string& name) {
    std::string s = AsciiName(SafeFileName(name, '_'), '_');
    if (s.size() > kMaxNameBytes) s.resize(Utf8Boundary(s, kMaxNameBytes));
    if (!s.empty() && s.find_first_not_of('.') == std::string::npos) std::replace(s.begin(), s.end(), '.', '_');
    return s;
}

bool RunConversion(const TConvertOptions& options, TProgressCallback callback, void* context) {
    ProgressCallback = callback;
    ProgressContext = context;
    LastWalkError.clear();
    fs::ForceDirectories(options.RootPath);
    const std::string previousDir = fs::GetCurrentDir();
    auto job = std::make_unique<TParameters>();
    struct Restore {
        const std::string& dir;
        ~Restore() {
            try {
                if (!dir.empty()) fs::SetCurrentDir(dir);
            } catch (...) {
            }
        }
    } restore{previousDir};
    fs::SetCurrentDir(options.RootPath);
    job->options = options;
    PrepareConverter(*job);
    StartProject(*job);
    ExportTree(*job);
    ReleaseConverter(*job);
    FinishProject(*job);
    CompileAndCleanUp(*job);
    return true;
}

void ExportTree(TParameters& job) {
    const TConvertOptions& o = job.options;
    struct PlanScope {
        ~PlanScope() { ClearPagePlan(); }
    } planScope;
    PlanPages(job);
    MakeLabelPages(job);
    ReportProgress(0, Msg(7));
    StepTotal = Storage().CountAllSubItems(o.DatabaseHandle, o.StartPath) + 1;
    StepCount = 0;
    ReportProgress(0, Format(Msg(8), {StepTotal}));
    bool stop = false;
    try {
        ExportItem(job, o.StartPath, "|", "", stop, 0, ".\\");
    } catch (const std::exception& e) {
        LastWalkError = e.what();
        ReportProgress(-1, LastWalkError);
    }
    ReportProgress(100, stop ? Msg(15) : Msg(12));

    SaveTextFile("filelist.xsl", LoadTextResource("file_xsl", "TEXT"));
    job.FileList->Add("filelist.xsl");
    SaveTextFile("_jump2_.htm",
                 "<html><head><meta http-equiv=\"refresh\" content=\"0; url=https://quillbook.example.org/\">"
                 "</head></html>\r\n");
    // The window's Jump2 button opens it from inside the help file.
    job.FileList->Add("_jump2_.htm");
    if (o.NavLinks) {
        SaveTextFile("_quillbook.css", LoadTextResource("css", "TEXT"));
        job.FileList->Add("_quillbook.css");
        SaveTextFile("_quillbook.js", LoadTextResource("script", "TEXT"));
        job.FileList->Add("_quillbook.js");
    }
}

void ExportItem(TParameters& job, const std::string& itemPath, const std::string& logPrefix,
                const std::string& navText, bool& stop, int level, const std::string& relFolder) {
    const TConvertOptions& o = job.options;
    IStorage& store = Storage();
    if (level > kMaxTreeDepth)
        throw Error(Format("The item tree is deeper than %d levels at \"%s\"; deeper items are not exported.",
                           {kMaxTreeDepth, itemPath}));

    // 1-2. indent and caption
    std::string indent(static_cast<std::size_t>(level) * 2, ' ');
    const std::string caption = ItemCaption(job, itemPath, level);

    // 3. progress and stop
    ++StepCount;
    stop = ReportProgress(StepTotal > 0 ? static_cast<int>(static_cast<long long>(StepCount) * 100 / StepTotal) : 0,
                          logPrefix + "--" + caption);
    if (stop) return;

    // 4-5. folder, notes file and page file. The page name was given out before
    // the walk so that links could name it; a notes file found in its way at
    // this point moves the page to a free name.
    const std::string folder = o.KeepFolderTree ? ReplaceAll(relFolder, " ", "_") : o.RootPath;
    std::string pageFile;
    if (const std::string* planned = PlannedPage(job, itemPath)) pageFile = *planned;
    if (pageFile.empty() || (fs::FileExists(ChangeFileExt(pageFile, ".rtf")) && !o.Overwrite)) {
        pageFile = ClaimPage(job, folder, caption);
        if (PagePlan().job == &job) PagePlan().itemPages[LowerAscii(itemPath)] = pageFile;
    }
    const std::string notesFile = ChangeFileExt(pageFile, ".rtf");

    // 6. entries
    std::vector<TDVO_ENUM_DATA> entries;
    store.EnumEntries(o.DatabaseHandle, itemPath, entries);
    if (!entries.empty() && !folder.empty()) fs::ForceDirectories(folder);

    // 7. note and attachments
    bool hasNotes = false, hasSubItems = false;
    std::vector<std::string> attachments;
    for (const auto& e : entries) {
        if (e.IsFolder) {
            hasSubItems = true;
            continue;
        }
        if (o.WholeDatabase && level == 0) continue;
        if (SameTextAscii(e.Name, kNotesName)) {
            hasNotes = true;
            if (!fs::FileExists(pageFile) || o.Overwrite) {
                const std::string source = NoteSource(job, notesFile);
                store.ExportFile(o.DatabaseHandle, itemPath + e.Name, source);
                ConvertNote(job, source, caption, pageFile);
                job.WrittenPages->Add(pageFile);
            }
            fs::DeleteFile(notesFile);
            continue;
        }
        if (!o.ExportAttachments || e.Name.find("_~_~_notes.rtf.~") != std::string::npos) continue;
        std::string target = folder + SafeComponent(e.Name);
        if (fs::FileExists(target) || IsPageName(job, target)) {
            if (InFileList(job, target) || IsPageName(job, target)) {
                // Written earlier in this run by another item: keep both files.
                target = Format("%s_%s_%d_%s", {folder, FileSafeCaption(caption, 0), job.NameCounter,
                                                SafeComponent(e.Name)});
                ++job.NameCounter;
                fs::DeleteFile(target);
            } else {
                fs::DeleteFile(target);
            }
        }
        store.ExportFile(o.DatabaseHandle, itemPath + e.Name, target);
        attachments.push_back(target);
        job.FileList->Add(target);
    }

    // 8. attachment page
    const bool pageExisted = fs::FileExists(pageFile);
    const std::string override = WriteAttachmentsPage(job, attachments, pageFile, caption);
    if (!pageExisted && fs::FileExists(pageFile)) job.WrittenPages->Add(pageFile);

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
        }
        else {
            AddContentsEntry(job, std::nullopt, caption, false, indent);
        }
    } else if (!o.IgnoreEmptyItems) {
        AddContentsEntry(job, std::nullopt, caption, true, indent);
    }

    // 10. navigation text
    std::string myNav = navText;
    if (o.NavLinks) myNav = BuildNavigationText(job, itemPath, navText, pageFile, level, caption, entries, relFolder);

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
            const std::string line = SubItemLine(job, override, childPath, childFolder, e.Caption, childHasSubs);
            ExportItem(job, childPath, logPrefix + "  |", myNav, stop, level + 1, childFolder);
            // The sub-item at which the run was stopped has no page to link to.
            const std::string* childPage = PlannedPage(job, childPath);
            if (!stop || !childPage || fs::FileExists(*childPage)) subItemList += line;
            if (stop) break;
        }
        if (nest) job.ContentsLines->Add(childIndent + "</UL>");
    }

    // 12-13. see also, page finishing
    const std::string seeAlso = SeeAlsoText(job, itemPath);
    FinishPage(job, pageFile, subItemList, seeAlso, myNav);
}

}  // namespace qb
