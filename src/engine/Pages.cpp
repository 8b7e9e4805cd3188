#include <algorithm>
#include <cstdio>

#include "Utils/FileSys.h"
#include "Utils/Format.h"
#include "Utils/HtmlText.h"
#include "Utils/Utils.h"
#include "engine/Engine.h"
#include "support/Entities.h"
#include "support/Text.h"
#include "support/Utf.h"

namespace qb {

namespace {

constexpr const char* kDataRoot = "\\Organizer\\data\\";

// Path without its trailing "\", folder part, ending with "\".
std::string ParentFolder(const std::string& path) {
    const std::string p = path.size() > 0 && path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
    const std::size_t slash = p.rfind('\\');
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

std::string LastComponent(const std::string& path) { return ExtractFileName(ExcludeTrailingDelimiter(path)); }

std::string RemoveFirst(const std::string& text, const std::string& what) {
    std::string s = text;
    const std::size_t p = s.find(what);
    if (p != std::string::npos) s.erase(p, what.size());
    return s;
}

std::string PlanKey(const std::string& path) {
    std::string k = LowerAscii(path);
    if (k.empty() || k.back() != '\\') k += '\\';
    return k;
}

// Link path with "." and ".." applied and no leading "/", for comparing targets.
std::string NormalizeLink(const std::string& link) {
    std::vector<std::string> parts;
    for (const auto& part : SplitText(ToForwardSlashes(link), "/")) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string s;
    for (const auto& p : parts) s += (s.empty() ? "" : "/") + p;
    return s;
}

}  // namespace

std::string RootLink(const TParameters& job, const std::string& file) {
    std::string f = file;
    const std::string& root = job.options.RootPath;
    if (!root.empty() && f.compare(0, root.size(), root) == 0)
        f.erase(0, root.size());
    else if (f.rfind(".\\", 0) == 0 || f.rfind("./", 0) == 0)
        f.erase(0, 2);
    f = ToForwardSlashes(f);
    while (!f.empty() && f[0] == '/') f.erase(0, 1);
    return "/" + f;
}

std::string UrlPath(const std::string& link) {
    std::string s;
    for (char c : link) {
        if (c == '%')
            s += "%25";
        else if (c == '#')
            s += "%23";
        else
            s += c;
    }
    return s;
}

std::string BranchStrip(const TParameters& job, const std::string& relPath) {
    if (job.options.WholeDatabase) return relPath;
    const int n = CountOccurrences(job.options.StartPath, "\\");
    if (n < 4) return relPath;
    std::string s = relPath;
    for (int i = 0; i < n - 3; ++i) s = TextAfter(s, "\\");
    return s;
}

// --- Page plan ------------------------------------------------------------------

TPagePlan& PagePlan(const TParameters& job) { return *job.Plan; }

void ClearPagePlan(TParameters& job) { PagePlan(job) = TPagePlan(); }

const std::string* PlannedPage(const TParameters& job, const std::string& itemPath) {
    const TPagePlan& plan = PagePlan(job);
    if (plan.job != &job) return nullptr;
    auto it = plan.itemPages.find(PlanKey(itemPath));
    return it == plan.itemPages.end() ? nullptr : &it->second;
}

std::string MenuDataFile(const std::string& pageFile) { return ChangeFileExt(pageFile, ".js"); }

std::string ClaimPage(TParameters& job, const std::string& folder, const std::string& caption, bool menuData) {
    TPagePlan& plan = PagePlan(job);
    const bool tracked = plan.job == &job;
    std::string page = folder + FileSafeCaption(caption) + ".html";
    auto taken = [&](const std::string& p) {
        if (tracked && plan.claimed.Contains(RootLink(job, p))) return true;
        // The support script or another generated file would overwrite it, or it them.
        if (IsGeneratedName(job, p) || (menuData && IsGeneratedName(job, MenuDataFile(p)))) return true;
        // A notes file left in the way, or a page another item wrote in this run.
        if (NotesFileInTheWay(job, ChangeFileExt(p, ".rtf"))) return true;
        // The user's file where the item's menu data would go is never replaced.
        if (menuData) {
            const std::string data = MenuDataFile(p);
            if (Files(job).EntryExists(data) && !RunRecord(job).IsOurs(job, data)) return true;
        }
        if (job.WrittenPages && job.WrittenPages->Contains(p)) return true;
        // In a folder our runs keep a record of, a page-named file they did not
        // write is the user's: never replaced, never taken for an earlier page.
        return RunRecord(job).KnowsFolder() && !RunRecord(job).IsOurs(job, p) && Files(job).PlainFileExists(p);
    };
    while (taken(page)) {
        const std::string suffix = "_" + std::to_string(job.NameCounter);
        ++job.NameCounter;
        page = folder + FileSafeCaption(caption, suffix.size() + 5) + suffix + ".html";
    }
    if (tracked) plan.claimed.Insert(RootLink(job, page));
    return page;
}

std::string ItemCaption(TParameters& job, const std::string& itemPath, int level) {
    const TConvertOptions& o = job.options;
    if (level == 0 && o.WholeDatabase) return o.DatabaseFileName;
    std::string caption = Trim(Storage(job).GetHint(o.DatabaseHandle, itemPath));
    if (caption.empty()) caption = LastComponent(itemPath);
    return caption;
}

std::string ChildFolder(TParameters& job, const std::string& relFolder, const std::string& childPath,
                        const std::string& entryName, bool childHasSubFolders) {
    const TConvertOptions& o = job.options;
    if (!childHasSubFolders) return relFolder;
    const std::string t = o.ReadableFolderNames ? Trim(Storage(job).GetHint(o.DatabaseHandle, childPath)) : entryName;
    const std::string safe = SafeComponent(t);
    return relFolder + (safe.empty() ? SafeComponent(entryName) : safe) + "\\";
}

namespace {

void PlanItem(TParameters& job, const std::string& itemPath, int level, const std::string& relFolder) {
    const TConvertOptions& o = job.options;
    // The walk itself reports a tree that is too deep.
    if (level > kMaxTreeDepth) return;
    const std::string caption = ItemCaption(job, itemPath, level);
    const std::string folder = o.KeepFolderTree ? ReplaceAll(relFolder, " ", "_") : o.RootPath;
    std::vector<TDVO_ENUM_DATA> entries;
    if (o.IncludeSubItems) Storage(job).EnumEntries(o.DatabaseHandle, itemPath, entries);
    const bool menuData =
        o.NavLinks && o.RolloverMenus &&
        std::any_of(entries.begin(), entries.end(), [](const TDVO_ENUM_DATA& e) { return e.IsFolder; });
    PagePlan(job).itemPages[PlanKey(itemPath)] = ClaimPage(job, folder, caption, menuData);
    for (const auto& e : entries) {
        // Notes in walk order, for an engine that converts ahead of the walk
        // (the database root's files are never exported).
        if (job.ConverterObject && !e.IsFolder && EqualsNoCase(e.Name, kNotesName) && !(o.WholeDatabase && level == 0))
            PagePlan(job).notes.emplace_back(itemPath, itemPath + e.Name);
        if (!e.IsFolder) continue;
        const std::string childPath = itemPath + e.Name + "\\";
        const bool childHasSubs = Storage(job).GetFolderCount(o.DatabaseHandle, childPath, -1) > 0;
        PlanItem(job, childPath, level + 1, ChildFolder(job, relFolder, childPath, e.Name, childHasSubs));
    }
}

}  // namespace

void PlanPages(TParameters& job) {
    ClearPagePlan(job);
    TPagePlan& plan = PagePlan(job);
    plan.job = &job;
    // Label pages come first, as they are written first.
    if (job.LabelLines) {
        for (int i = 0; i < job.LabelLines->Count(); ++i) {
            const std::string name = LabelName((*job.LabelLines)[i]);
            if (!name.empty()) plan.labelPages[i] = ClaimPage(job, "", name);
        }
    }
    PlanItem(job, job.options.StartPath, 0, ".\\");
}

// --- Links --------------------------------------------------------------------

std::string ItemLink(TParameters& job, const std::string& path) {
    if (const std::string* planned = PlannedPage(job, path)) return RootLink(job, *planned);
    const TConvertOptions& o = job.options;
    IStorage& store = Storage(job);
    const std::string caption = store.GetHint(o.DatabaseHandle, path);
    std::string name = FileSafeCaption(caption);
    if (name.empty()) name = LastComponent(path);
    // An item with sub-items has its page in a folder of its own.
    const bool ownFolder = o.KeepFolderTree && store.GetFolderCount(o.DatabaseHandle, path, -1) > 0;
    if (ownFolder) {
        const std::string safe = SafeComponent(Trim(caption));
        const std::string folderName =
            o.ReadableFolderNames && !safe.empty() ? safe : SafeComponent(LastComponent(path));
        name = folderName + "\\" + name;
    }
    name += ".html";
    if (o.KeepFolderTree && o.ReadableFolderNames) {
        std::string p = path;
        while (p != kDataRoot) {
            const std::string parent = ParentFolder(p);
            if (parent.empty()) break;
            p = parent;
            name = FileSafeCaption(store.GetHint(o.DatabaseHandle, p)) + "\\" + name;
        }
        if (!name.empty() && name[0] == '\\') name.erase(0, 1);
        name = BranchStrip(job, name);
    } else if (o.KeepFolderTree) {
        name = BranchStrip(job, RemoveFirst(ParentFolder(path), kDataRoot) + name);
    }
    return "/" + ToForwardSlashes(name);
}

std::string ChildLink(TParameters& job, const std::string& parentPath, const std::string& entryName,
                      const std::string& caption, const std::string& relFolder) {
    const TConvertOptions& o = job.options;
    if (!o.KeepFolderTree) {
        std::string part = caption;
        const std::size_t p = part.find_last_of("\\:");
        if (p != std::string::npos) part = part.substr(p + 1);
        return FileSafeCaption(part) + ".html";
    }
    const bool hasSubs = Storage(job).GetFolderCount(o.DatabaseHandle, parentPath + entryName, -1) > 0;
    const std::string safe = FileSafeCaption(caption);
    std::string body;
    if (o.ReadableFolderNames) {
        std::string r = relFolder;
        if (r.empty() || r.back() != '\\') r += "\\";
        body = hasSubs ? r + safe + "\\" + safe : r + safe;
    } else {
        const std::string p = RemoveFirst(parentPath, kDataRoot);
        body = BranchStrip(job, hasSubs ? p + entryName + "\\" + safe : p + safe);
    }
    return "/" + ToForwardSlashes(body) + ".html";
}

std::string ResolvedLink(const TParameters& job, const std::string& link, const std::string& itemPath) {
    const std::string* planned = PlannedPage(job, itemPath);
    if (!planned) return link;
    const std::string actual = RootLink(job, *planned);
    return NormalizeLink(link) == NormalizeLink(actual) ? link : actual;
}

std::string ResolvedChildLink(TParameters& job, const std::string& parentPath, const std::string& entryName,
                              const std::string& caption, const std::string& relFolder) {
    std::string parent = parentPath;
    if (!parent.empty() && parent.back() != '\\') parent += '\\';
    return ResolvedLink(job, ChildLink(job, parentPath, entryName, caption, relFolder), parent + entryName + "\\");
}

namespace {

// Script text with each character outside ASCII as "\uXXXX".
std::string JsAscii(const std::string& script) {
    if (IsAscii(script)) return script;
    std::string out;
    char buf[8];
    for (char16_t unit : ToUtf16(script)) {
        if (unit < 0x80) {
            out += static_cast<char>(unit);
        } else {
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(unit));
            out += buf;
        }
    }
    return out;
}

}  // namespace

// --- Navigation, sub-item list, see also --------------------------------------------

std::string BuildNavigationText(TParameters& job, const std::string& itemPath, const std::string& parentNav,
                                const std::string& pageFile, int level, const std::string& caption,
                                const std::vector<TDVO_ENUM_DATA>& entries, const std::string& relFolder,
                                std::string& childNav) {
    const TConvertOptions& o = job.options;
    // The page as the walk named it is relative to the output folder, not to
    // the page that shows the bar.
    const std::string link = UrlPath(RootLink(job, pageFile));
    if (!o.RolloverMenus) {
        childNav = parentNav + Format("<a href=\"%s\">%s</a> >> ", {link, HtmlQuote(caption)});
        return {};
    }
    std::string data = Format("var menu%d=new Array()\r\n", {level});
    int k = 0;
    // The menu lists what the walk exports: nothing below the start item
    // when sub-items are left out.
    for (const auto& e : entries) {
        if (!e.IsFolder || !o.IncludeSubItems) continue;
        // An apostrophe stays in the link (the file name has it) but is escaped for the string.
        // The caption is HTML the menu script shows, inside a script string.
        const std::string child = UrlPath(ResolvedChildLink(job, itemPath, e.Name, e.Caption, relFolder));
        data += Format("menu%d[%d]='<a href=\"%s\">%s</a>'\r\n",
                       {level, k, JsString(child), JsString(HtmlQuote(ReplaceAll(e.Caption, "'", "`")))});
        ++k;
    }
    // parentNav holds the script tag of the nearest menu data above, then the
    // bar's links: the bar is plain HTML, readable without scripts.
    const std::size_t cut = std::min(parentNav.find("<a "), parentNav.size());
    const std::string parentData = parentNav.substr(0, cut), links = parentNav.substr(cut);
    // The database root has a menu but no link of its own.
    const std::string own =
        level == 0 && o.WholeDatabase
            ? std::string()
            : Format("<a href=\"%s\" onMouseover=\"dropdownmenu(this, event, menu%d, '250px')\" "
                     "onMouseout=\"delayhidemenu()\">%s</a> >> ",
                     {link, level, HtmlQuote(caption)});
    if (k == 0) {
        // An empty menu is declared in the page itself; there is no level below.
        childNav = parentData + links + own;
        return parentData + "<script type=\"text/javascript\">\r\n" + data + "</script>\r\n" + links + own;
    }
    // The data of the level above is loaded by this data in turn, so a page
    // loads one script whatever its depth.
    const std::string srcKey = "src=\"";
    const std::size_t src = parentData.find(srcKey);
    if (src != std::string::npos) {
        const std::size_t from = src + srcKey.size();
        data += "quillbookMenus('" + JsString(parentData.substr(from, parentData.find('"', from) - from)) + "')\r\n";
    }
    // Written once, loaded by this page and every page below it: a page does
    // not grow with the number of its siblings or ancestors' siblings.
    const std::string dataFile = MenuDataFile(pageFile);
    RunRecord(job).Add(job, dataFile);
    // Scripts are read in the charset of the page that loads them: ASCII reads
    // the same in every one.
    {
        // Held: a compiler that reads the pages from memory reads this there too.
        fs::HeldFile held(Files(job), dataFile);
        Files(job).SaveTextFile(dataFile, JsAscii(data));
    }
    if (job.FileList && !job.FileList->Contains(dataFile)) job.FileList->Add(dataFile);
    const std::string ownData =
        "<script type=\"text/javascript\" src=\"" + UrlPath(RootLink(job, dataFile)) + "\"></script>";
    childNav = ownData + links + own;
    return {};
}

std::string SubItemLine(TParameters& job, const std::string& childPath, const std::string& childFolder,
                        const std::string& entryCaption, bool childHasSubFolders) {
    const TConvertOptions& o = job.options;
    std::string href;
    // The parent's own page override (its attachment standing for it) is no
    // page of the sub-item: each line leads to the sub-item's page.
    if (childHasSubFolders) {
        href = o.KeepFolderTree ? "/" + childFolder + FileSafeCaption(entryCaption) + ".html"
                                : "/" + FileSafeCaption(entryCaption) + ".html";
        href = ResolvedLink(job, ToForwardSlashes(href), childPath);
    } else {
        href = ItemLink(job, childPath);
    }
    return Format("\r\n<br><a href=\"%s\">%s</a>", {UrlPath(href), HtmlQuote(entryCaption)});
}

std::string SeeAlsoText(TParameters& job, const std::string& itemPath) {
    std::string text;
    if (!job.LinkTable) return text;
    const bool planned = PagePlan(job).job == &job;
    for (const auto& line : *job.LinkTable) {
        // A line without the separator names no link.
        if (line.find("<::>") == std::string::npos) continue;
        const std::string a = TextBefore(line, "<::>");
        const std::string b = TextAfter(line, "<::>");
        const bool isA = EqualsNoCase(a, itemPath);
        if (!isA && !EqualsNoCase(b, itemPath)) continue;
        const std::string other = isA ? b : a;
        // An item this run gives no page (outside the branch, or no item at all) gets no dead link.
        if (planned && !PlannedPage(job, other)) continue;
        text += "<a href=\"" + UrlPath(ItemLink(job, other)) + "\">" +
                HtmlQuote(Storage(job).GetHint(job.options.DatabaseHandle, other)) + "</a> | ";
    }
    return text;
}

// --- Page finishing --------------------------------------------------------------

void FinishPage(TParameters& job, const std::string& pageFile, const std::string& subItemList,
                const std::string& seeAlso, const std::string& navText) {
    const TConvertOptions& o = job.options;
    // A link is never kept as an earlier page: it is replaced.
    if (!Files(job).PlainFileExists(pageFile)) {
        Files(job).SaveTextFile(pageFile, "<html><head>" + std::string(kCharsetMeta) +
                                   "</head><body><b>No text or attachments, Sub-item(s) list as below:</b><br>" +
                                   subItemList + "</body>\r\n\r\n</html>\r\n");
        if (job.WrittenPages) job.WrittenPages->Add(pageFile);
    }
    // A page kept from an earlier run already has its bar; a page is finished once.
    if (job.WrittenPages && !job.WrittenPages->Contains(pageFile)) return;
    TPagePlan& plan = PagePlan(job);
    const std::string key = RootLink(job, pageFile);
    if (plan.job == &job && plan.finished.Contains(key)) return;
    if (seeAlso.empty() && !o.NavLinks) return;
    std::string page = Files(job).TakeTextFile(pageFile);
    // Captions are UTF-8: in a page of another charset they go as references.
    const bool utf8 = DeclaresUtf8(page);
    auto inPage = [utf8](const std::string& html) { return utf8 ? html : HtmlAsAscii(html); };
    const std::string seeAlsoLine = seeAlso.empty() ? std::string() : inPage("<p> See also: " + seeAlso + "</p>");
    if (o.NavLinks) {
        ReplaceAllNoCase(page, "</head>",
                         "<script type=\"text/javascript\" language=\"JavaScript\" src=\"/_quillbook.js\"></script>"
                         "<link rel=\"stylesheet\" type=\"text/css\" href=\"/_quillbook.css\" /></head>",
                         false);
        ReplaceFirst(page, "<body",
                     "<table width=\"100%\" border=\"0\"><tr><td bgcolor=blanchedalmond>" + inPage(navText) +
                         "</td></tr></table><br>" + seeAlsoLine + "<body");
    } else {
        ReplaceAllNoCase(page, "<body", seeAlsoLine + "<body", false);
    }
    Files(job).SaveTextFile(pageFile, std::move(page));
    if (plan.job == &job) plan.finished.Insert(key);
}

}  // namespace qb
