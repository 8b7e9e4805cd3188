#include "Engine.h"
#include "FileSys.h"
#include "Format.h"
#include "Utils.h"

namespace qb {

namespace {

constexpr const char* kDataRoot = "\\Organizer\\data\\";

// Path without its trailing "\", folder part, ending with "\".
std::string ParentFolder(const std::string& path) {
    const std::string p = path.size() > 0 && path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
    const std::size_t slash = p.rfind('\\');
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

std::string RemoveFirst(const std::string& text, const std::string& what) {
    std::string s = text;
    const std::size_t p = s.find(what);
    if (p != std::string::npos) s.erase(p, what.size());
    return s;
}

}  // namespace

std::string BranchStrip(const TParameters& job, const std::string& relPath) {
    if (job.options.WholeDatabase) return relPath;
    const int n = CountOccurrences(job.options.StartPath, "\\");
    if (n < 4) return relPath;
    std::string s = relPath;
    for (int i = 0; i < n - 3; ++i) s = TextAfter(s, "\\");
    return s;
}

std::string ItemLink(TParameters& job, const std::string& path) {
    const TConvertOptions& o = job.options;
    IStorage& store = Storage();
    std::string name = FileSafeCaption(store.GetHint(o.DatabaseHandle, path));
    if (name.empty()) name = ExtractFileName(ExcludeTrailingDelimiter(path));
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
    const bool hasSubs = Storage().GetFolderCount(o.DatabaseHandle, parentPath + entryName, -1) > 0;
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

std::string BuildNavigationText(TParameters& job, const std::string& itemPath, const std::string& parentNav,
                                const std::string& pageFile, int level, const std::string& caption,
                                const std::vector<TDVO_ENUM_DATA>& entries, const std::string& relFolder) {
    const TConvertOptions& o = job.options;
    if (!o.RolloverMenus) return parentNav + Format("<a href=\"%s\">%s</a> >> ", {pageFile, caption});
    std::string nav = parentNav;
    if (!(level == 0 && o.WholeDatabase)) {
        nav += Format("<a href=\"%s\" onMouseover=\"dropdownmenu(this, event, menu%d, '250px')\" "
                      "onMouseout=\"delayhidemenu()\">%s</a> >> ",
                      {pageFile, level, caption});
    }
    std::string script = "<script type=\"text/javascript\">\r\n" + Format("var menu%d=new Array()\r\n", {level});
    int k = 0;
    for (const auto& e : entries) {
        if (!e.IsFolder) continue;
        const std::string link = ReplaceAll(ChildLink(job, itemPath, e.Name, e.Caption, relFolder), "'", "`");
        script += Format("menu%d[%d]='<a href=\"%s\">%s</a>'\r\n", {level, k, link, ReplaceAll(e.Caption, "'", "`")});
        ++k;
    }
    return script + "</script>\r\n" + nav;
}

std::string SubItemLine(TParameters& job, const std::string& pageOverride, const std::string& childPath,
                        const std::string& childFolder, const std::string& entryCaption, bool childHasSubFolders) {
    const TConvertOptions& o = job.options;
    std::string href;
    if (!pageOverride.empty()) {
        href = pageOverride;
    } else if (childHasSubFolders) {
        href = o.KeepFolderTree ? "/" + childFolder + FileSafeCaption(entryCaption) + ".html"
                                : "/" + FileSafeCaption(entryCaption) + ".html";
        href = ToForwardSlashes(href);
    } else {
        href = ItemLink(job, childPath);
    }
    return Format("\r\n<br><a href=\"%s\">%s</a>", {href, entryCaption});
}

std::string SeeAlsoText(TParameters& job, const std::string& itemPath) {
    std::string text;
    if (!job.LinkTable) return text;
    for (const auto& line : *job.LinkTable) {
        if (line.find("<::>") == std::string::npos) continue;
        const std::string a = TextBefore(line, "<::>");
        const std::string b = TextAfter(line, "<::>");
        const bool isA = SameTextAscii(a, itemPath);
        if (!isA && !SameTextAscii(b, itemPath)) continue;
        const std::string other = isA ? b : a;
        text += "<a href=\"" + ItemLink(job, other) + "\">" +
                Storage().GetHint(job.options.DatabaseHandle, other) + "</a> | ";
    }
    return text;
}

void FinishPage(TParameters& job, const std::string& pageFile, const std::string& subItemList,
                const std::string& seeAlso, const std::string& navText) {
    const TConvertOptions& o = job.options;
    if (!fs::FileExists(pageFile)) {
        SaveTextFile(pageFile, "<html><head></head><body><b>No text or attachments, Sub-item(s) list as below:</b><br>" +
                                   subItemList + "</body>\r\n\r\n</html>\r\n");
        job.WrittenPages->Add(pageFile);
    }
    if (seeAlso.empty() && !o.NavLinks) return;
    std::string page = LoadTextFile(pageFile);
    const std::string seeAlsoLine = seeAlso.empty() ? std::string() : "<p> See also: " + seeAlso + "</p>";
    if (o.NavLinks) {
        ReplaceAllNoCase(page, "</head>",
                         "<script type=\"text/javascript\" language=\"JavaScript\" src=\"/_quillbook.js\"></script>"
                         "<link rel=\"stylesheet\" type=\"text/css\" href=\"/_quillbook.css\" /></head>",
                         false);
        ReplaceFirst(page, "<body",
                     "<table width=\"100%\" border=\"0\"><tr><td bgcolor=blanchedalmond>" + navText +
                         "</td></tr></table><br>" + seeAlsoLine + "<body");
    } else {
        ReplaceAllNoCase(page, "<body", seeAlsoLine + "<body", false);
    }
    SaveTextFile(pageFile, page);
}

}  // namespace qb
