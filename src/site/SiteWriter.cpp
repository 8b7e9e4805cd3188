#include "site/SiteWriter.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include <cerrno>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "site/SearchIndex.h"
#include "site/SiteAssets.h"
#include "site/SiteHtml.h"
#include "support/Error.h"
#include "support/Os.h"
#include "support/Path.h"

namespace qb::site {

namespace {

namespace sfs = std::filesystem;

constexpr const char* kStyle = "_site/site.css";
constexpr const char* kIndexScript = "_site/search-index.js";
constexpr const char* kSearchScript = "_site/search.js";
constexpr const char* kPrintPage = "print.html";
constexpr const char* kRecordHeader = "# Files Quillbook exports wrote into this website folder; any other file is the user's.\n";

std::string WithSlash(std::string path) {
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path;
}

std::string SizeText(long long bytes) {
    // Unit symbols read the same in every language.
    if (bytes < 1024) return std::to_string(bytes) + " B";
    const char* units[] = {"KB", "MB", "GB", "TB"};
    double v = static_cast<double>(bytes) / 1024.0;
    int u = 0;
    while (v >= 1024.0 && u < 3) {
        v /= 1024.0;
        ++u;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, v < 10 ? "%.1f %s" : "%.0f %s", v, units[u]);
    return buf;
}

std::string Fill(const std::string& pattern, const std::string& value) {
    const std::size_t at = pattern.find("%s");
    return at == std::string::npos ? pattern : pattern.substr(0, at) + value + pattern.substr(at + 2);
}

// Kind of a file by its extension, as a reader would name it, in the site's language.
std::string FileType(const std::string& name, const std::vector<std::string>& types) {
    // Indexes into TSiteWords::fileTypes.
    static const std::map<std::string, std::size_t> kTypes = {
        {".png", 0},  {".jpg", 1},  {".jpeg", 1}, {".gif", 2},  {".bmp", 3},  {".svg", 4},  {".webp", 5}, {".pdf", 6},
        {".txt", 7},  {".htm", 8},  {".html", 8}, {".rtf", 9},  {".doc", 10}, {".docx", 10}, {".odt", 11},
        {".xls", 12}, {".xlsx", 12}, {".ods", 12}, {".csv", 13}, {".zip", 14}, {".xml", 15}, {".json", 16},
        {".mp3", 17}, {".mp4", 18}};
    constexpr std::size_t kOther = 19, kNone = 20;
    const auto text = [&types](std::size_t i) { return i < types.size() ? types[i] : std::string(); };
    const std::string ext = LowerAscii(ExtractFileExt(name));
    const auto it = kTypes.find(ext);
    if (it != kTypes.end()) return text(it->second);
    return ext.size() > 1 ? Fill(text(kOther), LowerAscii(ext.substr(1))) : text(kNone);
}

// An entry with sub-entries: its link, then a disclosure of its own for the
// list, since a link inside a <summary> is a control inside a control.
std::string Branch(const std::string& link, const std::string& label, bool open) {
    return "<li class=\"branch\">" + link + "<details" + (open ? " open" : "") + "><summary aria-label=\"" +
           Escape(label) + "\"></summary>\n<ul>\n";
}

bool Contains(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }

std::string Folder(const std::string& sitePath) {
    const std::size_t slash = sitePath.rfind('/');
    return slash == std::string::npos ? std::string() : sitePath.substr(0, slash);
}

void WriteAll(os::Fd fd, const std::string& bytes, const std::string& name) {
    if (!os::WriteAll(fd, bytes.data(), bytes.size()))
        throw Error("Cannot write file \"" + name + "\": " + os::ErrorText(errno));
}

}  // namespace

const std::vector<std::string>& FixedSiteFiles() {
    static const std::vector<std::string> kFiles = {"index.html", "keywords.html", "search.html", "404.html",
                                                    kPrintPage,   kStyle,          kSearchScript, kIndexScript};
    return kFiles;
}

TSiteWriter::TSiteWriter(std::string siteFolder) : folder_(std::move(siteFolder)) {}

TSiteWriter::~TSiteWriter() {
    os::Close(recordFd_);
}

void TSiteWriter::RunStarted(const TRunStart& run) {
    run_ = run;
    // Made as the run makes its own folders: a site folder below the output
    // folder is reached without links.
    if (run.files)
        run.files->ForceDirectories(folder_);
    else
        fs::ForceDirectories(folder_);
    run_.files = nullptr;  // not kept: the run's files end with the run
    dir_ = std::make_unique<fs::OutputFolder>(folder_);
    files_ = std::make_unique<fs::FileContext>(dir_.get());
    if (files_->PlainFileExists(kSiteRecordName)) {
        for (const std::string& line : SplitLines(files_->LoadTextFile(kSiteRecordName)))
            // A file that is gone is no longer anybody's.
            // Only names below the folder: a record is a file anybody may have edited.
            if (!line.empty() && line[0] != '#' && line[0] != '/' && line.find("..") == std::string::npos &&
                line.find('\\') == std::string::npos && files_->EntryExists(line))
                earlier_.insert(line);
    } else if (files_->LoadTextFile(kIndexScript).rfind("window.QB_SEARCH=", 0) == 0) {
        // A site of a version that kept no record: its own files are recognisable by their places.
        for (const std::string& f : FixedSiteFiles())
            if (files_->PlainFileExists(f)) earlier_.insert(f);
        std::error_code ec;
        for (sfs::recursive_directory_iterator it(FsPath(dir_->Path() + "p"), ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file(ec) && !it->is_symlink(ec))
                earlier_.insert(ToForwardSlashes(Utf8Of(sfs::relative(it->path(), FsPath(dir_->Path())))));
    }
    for (const std::string& f : FixedSiteFiles())
        if (files_->EntryExists(f) && !earlier_.count(f))
            throw Error("The website folder \"" + dir_->Path() + "\" holds \"" + f +
                        "\", which no export wrote; move it away or choose another folder.");
    // Made now, so an unwritable folder stops the run before the walk.
    recordFd_ = files_->CreateFreshFile(kSiteRecordName);
    std::string text = kRecordHeader;
    for (const std::string& f : earlier_) text += f + "\n";
    WriteAll(recordFd_, text, kSiteRecordName);
}

void TSiteWriter::ItemEntered(const std::string& path, const std::string& caption, int level) {
    if (level < 0) level = 0;
    if (stack_.size() > static_cast<std::size_t>(level)) stack_.resize(static_cast<std::size_t>(level));
    Node n;
    n.path = path;
    n.caption = caption;
    n.level = level;
    n.parent = level > 0 && stack_.size() == static_cast<std::size_t>(level) ? stack_.back() : -1;
    const int id = static_cast<int>(nodes_.size());
    nodes_.push_back(std::move(n));
    stack_.push_back(id);
    byPath_[LowerAscii(WithSlash(path))] = id;
}

bool TSiteWriter::UsersFile(const std::string& sitePath) const {
    if (!dir_ || earlier_.count(sitePath) || written_.count(sitePath)) return false;
    return files_->EntryExists(sitePath);
}

void TSiteWriter::ItemWritten(const TItemWritten& item) {
    const auto it = byPath_.find(LowerAscii(WithSlash(item.path)));
    if (it == byPath_.end() || item.page.empty()) return;
    Node& n = nodes_[static_cast<std::size_t>(it->second)];
    if (n.written) return;
    // The database root of a whole export has no entry, note or file: the index stands for it.
    if (n.level == 0 && !item.inContents && !item.hasNote && item.attachments.empty()) {
        hiddenRoot_ = it->second;
        return;
    }
    n.written = true;
    n.item = item;
    const std::string rel = item.page[0] == '/' ? item.page.substr(1) : item.page;
    std::string site = "p/" + rel;
    // Two items sharing one page of the help file still get a page each; a user's file keeps its name.
    for (int k = 2; sitePaths_.count(LowerAscii(site)) || UsersFile(site); ++k)
        site = "p/" + ChangeFileExt(rel, "_" + std::to_string(k) + ".html");
    sitePaths_.insert(LowerAscii(site));
    n.site = site;
    pages_.emplace(LowerAscii(rel), site);
    if (n.parent >= 0) nodes_[static_cast<std::size_t>(n.parent)].children.push_back(it->second);
}

void TSiteWriter::BuildTree() {
    const auto inTree = [&](int id) {
        const Node& n = nodes_[static_cast<std::size_t>(id)];
        return n.written && n.item.inContents;
    };
    for (int id = 0; id < static_cast<int>(nodes_.size()); ++id) {
        if (!inTree(id)) continue;
        ++treeSize_;
        Node& n = nodes_[static_cast<std::size_t>(id)];
        // The contents nest an item below its nearest listed ancestor; the start
        // item's sub-items stand beside it when the top item is no folder.
        int p = n.parent;
        while (p >= 0 && (!inTree(p) || (nodes_[static_cast<std::size_t>(p)].level == 0 && run_.topNodeNotFolder)))
            p = nodes_[static_cast<std::size_t>(p)].parent;
        n.treeParent = p;
        if (p >= 0)
            nodes_[static_cast<std::size_t>(p)].treeChildren.push_back(id);
        else
            top_.push_back(id);
    }
    // Reading order is the contents order, depth first.
    std::vector<int> todo(top_.rbegin(), top_.rend());
    while (!todo.empty()) {
        const int id = todo.back();
        todo.pop_back();
        order_.push_back(id);
        const auto& kids = nodes_[static_cast<std::size_t>(id)].treeChildren;
        todo.insert(todo.end(), kids.rbegin(), kids.rend());
    }
    if (Trim(run_.title).empty())
        run_.title = order_.empty() ? std::string("Index") : nodes_[static_cast<std::size_t>(order_.front())].caption;
    for (std::size_t i = 0; i < order_.size(); ++i) {
        Node& n = nodes_[static_cast<std::size_t>(order_[i])];
        n.prev = i > 0 ? order_[i - 1] : -1;
        n.next = i + 1 < order_.size() ? order_[i + 1] : -1;
    }
    for (const auto& label : run_.labels) {
        std::vector<int> items;
        for (const auto& path : label.items) {
            const auto it = byPath_.find(LowerAscii(WithSlash(path)));
            if (it != byPath_.end() && nodes_[static_cast<std::size_t>(it->second)].written)
                items.push_back(it->second);
        }
        labelItems_.push_back(std::move(items));
        ++treeSize_;
    }
}

std::string TSiteWriter::CopyName(const std::string& rel) {
    const auto known = copies_.find(rel);
    if (known != copies_.end()) return known->second;
    std::string site = "p/" + rel;
    for (int k = 2; sitePaths_.count(LowerAscii(site)) || UsersFile(site); ++k)
        site = "p/" + ChangeFileExt(rel, "") + "_" + std::to_string(k) + ExtractFileExt(rel);
    sitePaths_.insert(LowerAscii(site));
    copies_.emplace(rel, site);
    return site;
}

std::optional<std::string> TSiteWriter::Resolve(const std::string& target) {
    const auto page = pages_.find(LowerAscii(target));
    if (page != pages_.end()) return page->second;
    if (copies_.count(target)) return copies_[target];
    if (!files_->PlainFileExists(run_.outputRoot + target)) return std::nullopt;
    return CopyName(target);
}

std::string TSiteWriter::PageHead(const std::string& from, const std::string& title, int prev, int next) const {
    std::string out = "<!DOCTYPE html>\n<html lang=\"" + Escape(run_.language.empty() ? "en" : run_.language) +
                      "\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                      // No icon: a browser asks for /favicon.ico, outside a site served under a sub-path.
                      "<link rel=\"icon\" href=\"data:,\">\n<title>" +
                      Escape(title) + "</title>\n<link rel=\"stylesheet\" href=\"" +
                      Escape(RelativeHref(from, kStyle)) + "\">\n";
    if (prev >= 0)
        out += "<link rel=\"prev\" href=\"" + Escape(RelativeHref(from, nodes_[static_cast<std::size_t>(prev)].site)) +
               "\">\n";
    if (next >= 0)
        out += "<link rel=\"next\" href=\"" + Escape(RelativeHref(from, nodes_[static_cast<std::size_t>(next)].site)) +
               "\">\n";
    // The reader's choice of light or dark, before the first paint.
    out += "<script>try{var t=localStorage.getItem(\"qb-theme\");if(t)document.documentElement.dataset.theme=t}"
           "catch(e){}</script>\n<script src=\"" +
           Escape(RelativeHref(from, kSearchScript)) + "\" defer></script>\n</head>\n";
    const TSiteWords& w = run_.words;
    std::string root;
    for (char c : from)
        if (c == '/') root += "../";
    return out + "<body data-root=\"" + root + "\" data-found=\"" + Escape(w.found) + "\" data-found-one=\"" +
           Escape(w.foundOne) + "\" data-found-none=\"" + Escape(w.foundNone) + "\">\n";
}

std::string TSiteWriter::PageTop(const std::string& from, int current) const {
    const TSiteWords& w = run_.words;
    std::string out = "<a class=\"skip\" href=\"#main\">" + Escape(w.skip) +
                      "</a>\n<header class=\"top\">\n<a class=\"home\" href=\"" +
                      Escape(RelativeHref(from, "index.html")) + "\">" + Escape(run_.title) + "</a>\n";
    // The search page has its own box; every other page searches as the reader types.
    if (current != -3)
        out += "<form class=\"search\" role=\"search\" action=\"" + Escape(RelativeHref(from, "search.html")) +
               "\"><input type=\"search\" name=\"q\" id=\"qb-q\" autocomplete=\"off\" aria-label=\"" +
               Escape(w.searchLabel) + "\" placeholder=\"" + Escape(w.search) + "\"><button type=\"submit\">" +
               Escape(w.search) +
               "</button><div class=\"hits\" id=\"qb-hits\" hidden><p class=\"hits-status\" role=\"status\"></p>"
               "<ul></ul></div></form>\n";
    out += "<span class=\"tools\"><a class=\"print\" href=\"" + Escape(RelativeHref(from, kPrintPage)) + "\">" +
           Escape(w.print) + "</a><button type=\"button\" id=\"qb-theme\" hidden aria-pressed=\"false\">" +
           Escape(w.theme) + "</button><button type=\"button\" id=\"qb-keys-button\" hidden>" + Escape(w.keys) +
           "</button></span>\n<a class=\"to-toc\" href=\"#toc\">" + Escape(w.contents) + "</a>\n</header>\n"
           "<div class=\"layout\">\n";
    out += "<nav class=\"toc\" id=\"toc\" aria-label=\"" + Escape(w.contents) + "\">\n<h2>" + Escape(w.contents) +
           "</h2>\n" + TreeHtml(from, current, treeSize_ <= kFullTreeLimit) + "</nav>\n";
    return out;
}

std::string TSiteWriter::PageEnd(const std::string& from, int prev, int next) const {
    const TSiteWords& w = run_.words;
    std::string out;
    if (prev >= 0 || next >= 0) {
        out += "<nav class=\"pager\" aria-label=\"" + Escape(w.previous + " / " + w.next) + "\">\n";
        if (prev >= 0) {
            const Node& p = nodes_[static_cast<std::size_t>(prev)];
            out += "<a class=\"prev\" rel=\"prev\" href=\"" + Escape(RelativeHref(from, p.site)) + "\"><span>" +
                   Escape(w.previous) + "</span> " + Escape(p.caption) + "</a>\n";
        }
        if (next >= 0) {
            const Node& n = nodes_[static_cast<std::size_t>(next)];
            out += "<a class=\"next\" rel=\"next\" href=\"" + Escape(RelativeHref(from, n.site)) + "\"><span>" +
                   Escape(w.next) + "</span> " + Escape(n.caption) + "</a>\n";
        }
        out += "</nav>\n";
    }
    out += "</main>\n</div>\n<dialog id=\"qb-keys\" aria-labelledby=\"qb-keys-h\"><h2 id=\"qb-keys-h\">" +
           Escape(w.keys) + "</h2>\n<dl>\n<dt><kbd>\xE2\x86\x90</kbd> <kbd>\xE2\x86\x92</kbd></dt><dd>" +
           Escape(w.keyArrows) + "</dd>\n<dt><kbd>s</kbd> <kbd>/</kbd></dt><dd>" + Escape(w.keySearch) +
           "</dd>\n<dt><kbd>?</kbd></dt><dd>" + Escape(w.keyHelp) + "</dd>\n<dt><kbd>Esc</kbd></dt><dd>" +
           Escape(w.keyClose) + "</dd>\n</dl>\n<form method=\"dialog\"><button>" + Escape(w.keyClose) +
           "</button></form></dialog>\n</body>\n</html>\n";
    return out;
}

std::string TSiteWriter::TreeHtml(const std::string& from, int current, bool full) const {
    std::vector<int> path;  // the page's own entry and its ancestors
    for (int p = current; p >= 0; p = nodes_[static_cast<std::size_t>(p)].treeParent) path.push_back(p);
    std::string out = "<ul>\n";
    if (!run_.labels.empty()) {
        const bool here = current == -2;
        const std::string link = "<a href=\"" + Escape(RelativeHref(from, "keywords.html")) + "\"" +
                                 (here ? " aria-current=\"page\"" : "") + ">" + Escape(run_.labelsCaption) + "</a>";
        if (full || here) {
            out += Branch(link, Fill(run_.words.subItemsOf, run_.labelsCaption), here);
            for (std::size_t k = 0; k < run_.labels.size(); ++k)
                out += "<li class=\"leaf\"><a href=\"" +
                       Escape(RelativeHref(from, "keywords.html") + "#k" + std::to_string(k + 1)) + "\">" +
                       Escape(run_.labels[k].name) + "</a></li>\n";
            out += "</ul>\n</details></li>\n";
        } else {
            out += "<li class=\"leaf\">" + link + "</li>\n";
        }
    }
    TreeNodes(out, top_, from, current, full, 0, path);
    return out + "</ul>\n";
}

void TSiteWriter::TreeNodes(std::string& out, const std::vector<int>& ids, const std::string& from, int current,
                            bool full, int depth, const std::vector<int>& path) const {
    for (int id : ids) {
        const Node& n = nodes_[static_cast<std::size_t>(id)];
        const bool onPath = Contains(path, id);
        const std::string link = "<a href=\"" + Escape(RelativeHref(from, n.site)) + "\"" +
                                 (id == current ? " aria-current=\"page\"" : "") + ">" + Escape(n.caption) + "</a>";
        if (n.treeChildren.empty() || (!full && !onPath)) {
            out += "<li class=\"leaf\">" + link + "</li>\n";
            continue;
        }
        const bool open = onPath || (current == -1 && depth == 0);
        out += Branch(link, Fill(run_.words.subItemsOf, n.caption), open);
        TreeNodes(out, n.treeChildren, from, current, full, depth + 1, path);
        out += "</ul>\n</details></li>\n";
    }
}

std::string TSiteWriter::Breadcrumb(const std::string& from, int node) const {
    std::vector<int> chain;
    for (int p = nodes_[static_cast<std::size_t>(node)].parent; p >= 0;
         p = nodes_[static_cast<std::size_t>(p)].parent) {
        const Node& a = nodes_[static_cast<std::size_t>(p)];
        if (a.written && a.item.inContents) chain.push_back(p);
    }
    std::string out = "<nav class=\"crumbs\" aria-label=\"" + Escape(run_.words.breadcrumb) + "\"><ol>\n<li><a href=\"" +
                      Escape(RelativeHref(from, "index.html")) + "\">" + Escape(run_.title) + "</a></li>\n";
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const Node& a = nodes_[static_cast<std::size_t>(*it)];
        out += "<li><a href=\"" + Escape(RelativeHref(from, a.site)) + "\">" + Escape(a.caption) + "</a></li>\n";
    }
    return out + "<li aria-current=\"page\">" + Escape(nodes_[static_cast<std::size_t>(node)].caption) +
           "</li>\n</ol></nav>\n";
}

std::string TSiteWriter::AttachmentsHtml(const std::string& from, const Node& n, const std::string& headingId,
                                         int level, bool lazyImages) {
    if (n.item.attachments.empty()) return "";
    const TSiteWords& w = run_.words;
    std::string rows, figures;
    for (std::size_t i = 0; i < n.item.attachments.size(); ++i) {
        const std::string& a = n.item.attachments[i];
        const std::string rel = a[0] == '/' ? a.substr(1) : a;
        const std::string href = Escape(RelativeHref(from, CopyName(rel)));
        // The file's name is ASCII for the help file; the reader sees the name the user gave it.
        const std::string shown = i < n.item.attachmentNames.size() && !n.item.attachmentNames[i].empty()
                                      ? n.item.attachmentNames[i]
                                      : ExtractFileName(rel);
        const std::string name = Escape(shown);
        const long long bytes = files_->FileSize(run_.outputRoot + rel);
        rows += "<tr><td><a href=\"" + href + "\">" + name + "</a></td><td class=\"size\">" +
                (bytes < 0 ? std::string("?") : SizeText(bytes)) + "</td><td>" + Escape(FileType(rel, w.fileTypes)) +
                "</td></tr>\n";
        if (IsImageFile(rel))
            figures += "<figure><a href=\"" + href + "\"><img src=\"" + href + "\" alt=\"" + name + "\"" +
                       (lazyImages ? " loading=\"lazy\"" : "") + "></a><figcaption>" + name + "</figcaption></figure>\n";
    }
    const std::string h = "h" + std::to_string(level);
    return "<section class=\"files\" aria-labelledby=\"" + headingId + "\">\n<" + h + " id=\"" + headingId + "\">" +
           Escape(w.attachments) + "</" + h + ">\n<table>\n<thead><tr><th scope=\"col\">" + Escape(w.name) + "</th><th scope=\"col\">" +
           Escape(w.size) + "</th><th scope=\"col\">" + Escape(w.type) + "</th></tr></thead>\n<tbody>\n" + rows +
           "</tbody>\n</table>\n" + figures + "</section>\n";
}

std::string TSiteWriter::NoteBody(const Node& n, const std::string& from) {
    if (!n.item.hasNote) return "";
    const std::string outRel = n.item.page[0] == '/' ? n.item.page.substr(1) : n.item.page;
    const std::string pageDir = ExtractFilePath(ToForwardSlashes(outRel));
    const std::string body = WrapLooseListItems(ExtractBody(files_->LoadTextFile(run_.outputRoot + outRel)));
    return RewriteLinks(body, pageDir, from, [this](const std::string& t) { return Resolve(t); });
}

std::string TSiteWriter::ItemPage(int id, std::string& text) {
    const Node& n = nodes_[static_cast<std::size_t>(id)];
    const TSiteWords& w = run_.words;
    const std::string& from = n.site;
    const std::string body = NoteBody(n, from);
    text = HtmlToText(body);
    std::string out = PageHead(from, n.caption + " \xE2\x80\x93 " + run_.title, n.prev, n.next) + PageTop(from, id) +
                      "<main id=\"main\">\n" + Breadcrumb(from, id);
    // Notes often open with their caption: the heading is then there for screen readers only.
    if (LowerAscii(body).find("<h1") == std::string::npos)
        out += std::string(Trim(text).rfind(n.caption, 0) == 0 ? "<h1 class=\"vh\">" : "<h1>") + Escape(n.caption) +
               "</h1>\n";
    if (!body.empty()) out += "<article class=\"note\">\n" + body + "\n</article>\n";
    out += AttachmentsHtml(from, n);
    for (std::size_t i = 0; i < n.item.attachments.size(); ++i)
        text += " " + (i < n.item.attachmentNames.size() && !n.item.attachmentNames[i].empty()
                           ? n.item.attachmentNames[i]
                           : ExtractFileName(n.item.attachments[i]));
    if (!n.children.empty()) {
        out += "<section class=\"subitems\" aria-labelledby=\"sub-h\">\n<h2 id=\"sub-h\">" + Escape(w.subItems) +
               "</h2>\n<ul>\n";
        for (int c : n.children) {
            const Node& s = nodes_[static_cast<std::size_t>(c)];
            out += "<li><a href=\"" + Escape(RelativeHref(from, s.site)) + "\">" + Escape(s.caption) + "</a></li>\n";
        }
        out += "</ul>\n</section>\n";
    } else if (body.empty() && n.item.attachments.empty()) {
        out += "<p>" + Escape(w.noText) + "</p>\n";
    }
    std::string seeAlso;
    for (const auto& path : n.item.seeAlso) {
        const auto it = byPath_.find(LowerAscii(WithSlash(path)));
        if (it == byPath_.end() || !nodes_[static_cast<std::size_t>(it->second)].written) continue;
        const Node& s = nodes_[static_cast<std::size_t>(it->second)];
        seeAlso += "<li><a href=\"" + Escape(RelativeHref(from, s.site)) + "\">" + Escape(s.caption) + "</a></li>\n";
    }
    if (!seeAlso.empty())
        out += "<section class=\"seealso\" aria-labelledby=\"see-h\">\n<h2 id=\"see-h\">" + Escape(w.seeAlso) +
               "</h2>\n<ul>\n" + seeAlso + "</ul>\n</section>\n";
    std::string labels;
    for (std::size_t k = 0; k < labelItems_.size(); ++k)
        if (Contains(labelItems_[k], id))
            labels += std::string(labels.empty() ? "" : ", ") + "<a href=\"" +
                      Escape(RelativeHref(from, "keywords.html") + "#k" + std::to_string(k + 1)) + "\">" +
                      Escape(run_.labels[k].name) + "</a>";
    if (!labels.empty()) out += "<p class=\"labels\">" + Escape(w.keywords) + ": " + labels + "</p>\n";
    return out + PageEnd(from, n.prev, n.next);
}

std::string TSiteWriter::IndexPage() const {
    const std::string from = "index.html";
    const int first = order_.empty() ? -1 : order_.front();
    std::string out = PageHead(from, run_.title, -1, first) + PageTop(from, -1) + "<main id=\"main\">\n<h1>" +
                      Escape(run_.title) + "</h1>\n<ul>\n";
    // Also the items outside the contents below the database root, which has no page of its own.
    for (int id : hiddenRoot_ >= 0 ? nodes_[static_cast<std::size_t>(hiddenRoot_)].children : top_) {
        const Node& n = nodes_[static_cast<std::size_t>(id)];
        out += "<li><a href=\"" + Escape(RelativeHref(from, n.site)) + "\">" + Escape(n.caption) + "</a></li>\n";
    }
    out += "</ul>\n<p><a href=\"keywords.html\">" + Escape(run_.words.keywords) +
           "</a> \xC2\xB7 <a href=\"search.html\">" + Escape(run_.words.search) + "</a> \xC2\xB7 <a href=\"" +
           kPrintPage + "\">" + Escape(run_.words.print) + "</a></p>\n";
    return out + PageEnd(from, -1, first);
}

std::string TSiteWriter::KeywordsPage() const {
    const std::string from = "keywords.html";
    const TSiteWords& w = run_.words;
    std::string out = PageHead(from, w.keywords + " \xE2\x80\x93 " + run_.title, -1, -1) + PageTop(from, -2) +
                      "<main id=\"main\" class=\"keywords\">\n<h1>" + Escape(w.keywords) + "</h1>\n";
    if (run_.labels.empty()) out += "<p>" + Escape(w.noKeywords) + "</p>\n";
    for (std::size_t k = 0; k < run_.labels.size(); ++k) {
        out += "<h2 id=\"k" + std::to_string(k + 1) + "\">" + Escape(run_.labels[k].name) + "</h2>\n";
        if (labelItems_[k].empty()) {
            out += "<p>" + Escape(w.noItems) + "</p>\n";
            continue;
        }
        out += "<ul>\n";
        for (int id : labelItems_[k]) {
            const Node& n = nodes_[static_cast<std::size_t>(id)];
            out += "<li><a href=\"" + Escape(RelativeHref(from, n.site)) + "\">" + Escape(n.caption) + "</a></li>\n";
        }
        out += "</ul>\n";
    }
    return out + PageEnd(from, -1, -1);
}

std::string TSiteWriter::SearchPage() const {
    const std::string from = "search.html";
    const TSiteWords& w = run_.words;
    return PageHead(from, w.search + " \xE2\x80\x93 " + run_.title, -1, -1) + PageTop(from, -3) +
           "<main id=\"main\">\n<h1>" + Escape(w.search) +
           "</h1>\n<form id=\"search-form\" class=\"search page-search\" role=\"search\" action=\"search.html\">"
           "<input type=\"search\" id=\"q\" name=\"q\" autocomplete=\"off\" aria-label=\"" +
           Escape(w.searchLabel) + "\"> <button type=\"submit\">" + Escape(w.search) +
           "</button></form>\n<p id=\"search-status\" role=\"status\"></p>\n<ol id=\"results\" "
           "class=\"results\"></ol>\n<noscript><p>" +
           Escape(w.needsScript) + "</p></noscript>\n<script src=\"" + std::string(kIndexScript) + "\"></script>\n" +
           PageEnd(from, -1, -1);
}

std::string TSiteWriter::NotFoundPage() const {
    const TSiteWords& w = run_.words;
    // Served for any missing address, at any depth: it carries its style inline.
    return "<!DOCTYPE html>\n<html lang=\"" + Escape(run_.language.empty() ? "en" : run_.language) +
           "\">\n<head>\n<meta charset=\"utf-8\">\n<meta name=\"viewport\" content=\"width=device-width, "
           "initial-scale=1\">\n<link rel=\"icon\" href=\"data:,\">\n<title>" +
           Escape(w.notFound + " \xE2\x80\x93 " + run_.title) +
           "</title>\n<style>body{font:16px/1.5 system-ui,sans-serif;margin:2em auto;max-width:40em;padding:0 1em}"
           "@media (prefers-color-scheme:dark){body{background:#16181b;color:#e4e6e8}a{color:#8cc4ff}}</style>\n"
           "</head>\n<body>\n<main>\n<h1>" +
           Escape(w.notFound) + "</h1>\n<p>" + Escape(w.notFoundText) + "</p>\n<p><a href=\"index.html\">" +
           Escape(run_.title) + "</a> \xC2\xB7 <a href=\"search.html\">" + Escape(w.search) +
           "</a></p>\n</main>\n</body>\n</html>\n";
}

std::string TSiteWriter::PrintPage() {
    const std::string from = kPrintPage;
    std::string out = PageHead(from, run_.title, -1, -1) + "<main id=\"main\" class=\"print-all\">\n<h1>" +
                      Escape(run_.title) + "</h1>\n";
    for (int id : order_) {
        const Node& n = nodes_[static_cast<std::size_t>(id)];
        int depth = 2;
        for (int p = n.treeParent; p >= 0 && depth < 6; p = nodes_[static_cast<std::size_t>(p)].treeParent) ++depth;
        const std::string h = std::to_string(depth);
        // Top-level items begin a printed page; the rest follow on.
        out += std::string("<section class=\"chapter") + (depth == 2 ? " part" : "") + "\" id=\"n" +
               std::to_string(id) + "\">\n<h" + h + ">" + Escape(n.caption) + "</h" + h + ">\n";
        const std::string body = NoteBody(n, from);
        if (!body.empty()) out += "<div class=\"note\">\n" + body + "\n</div>\n";
        // The book holds the attachments too: images the notes speak of, the files' list.
        out += AttachmentsHtml(from, n, "files-n" + std::to_string(id), std::min(depth + 1, 6), false);
        out += "</section>\n";
    }
    return out + "</main>\n</body>\n</html>\n";
}

void TSiteWriter::Record(const std::string& sitePath) {
    if (!written_.insert(sitePath).second || earlier_.count(sitePath)) return;
    // Named before the file is written, so a run killed at any point has named it.
    if (recordFd_ >= 0) WriteAll(recordFd_, sitePath + "\n", kSiteRecordName);
}

void TSiteWriter::Write(const std::string& sitePath, const std::string& bytes) {
    Record(sitePath);
    const std::string folder = Folder(sitePath);
    if (!folder.empty()) files_->ForceDirectories(folder);
    files_->SaveTextFile(sitePath, bytes);
}

void TSiteWriter::CopyAssets() {
    for (const auto& [rel, site] : copies_) {
        if (!files_->PlainFileExists(run_.outputRoot + rel)) continue;
        Record(site);
        files_->ForceDirectories(Folder(site));
        // A hard link costs nothing; another file system gets a copy.
        if (!files_->LinkOrCopyFile(run_.outputRoot + rel, site))
            throw Error("Cannot write file \"" + dir_->Path() + site + "\"");
    }
}

void TSiteWriter::RemoveEarlierFiles() {
    std::set<std::string> folders;
    for (const std::string& f : earlier_) {
        if (written_.count(f)) continue;
        files_->DeleteFile(f);
        for (std::string d = Folder(f); !d.empty(); d = Folder(d)) folders.insert(d);
    }
    // Deepest first; a folder that still holds anything stays.
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) files_->RemoveDir(*it);
    const std::string fresh = std::string(kSiteRecordName) + ".new";
    const os::Fd fd = files_->CreateFreshFile(fresh);
    std::string text = kRecordHeader;
    for (const std::string& f : written_) text += f + "\n";
    try {
        WriteAll(fd, text, fresh);
    } catch (...) {
        os::Close(fd);
        throw;
    }
    os::Close(fd);
    if (!files_->RenameFile(fresh, kSiteRecordName)) throw Error("Cannot write file \"" + dir_->Path() + kSiteRecordName + "\"");
}

void TSiteWriter::RunFinished() {
    if (!dir_) throw Error("The website folder was never opened.");
    BuildTree();
    TSearchIndex index;
    for (int id = 0; id < static_cast<int>(nodes_.size()); ++id) {
        if (!nodes_[static_cast<std::size_t>(id)].written) continue;
        std::string text;
        const std::string page = ItemPage(id, text);
        Write(nodes_[static_cast<std::size_t>(id)].site, page);
        std::string where;
        for (int p = nodes_[static_cast<std::size_t>(id)].treeParent; p >= 0;
             p = nodes_[static_cast<std::size_t>(p)].treeParent)
            where = nodes_[static_cast<std::size_t>(p)].caption + (where.empty() ? "" : " \xE2\x80\xBA " + where);
        index.AddPage(UrlPath(nodes_[static_cast<std::size_t>(id)].site), nodes_[static_cast<std::size_t>(id)].caption,
                      text, where, kSnippetChars);
    }
    Write("index.html", IndexPage());
    Write("keywords.html", KeywordsPage());
    Write("search.html", SearchPage());
    Write("404.html", NotFoundPage());
    Write(kPrintPage, PrintPage());
    Write(kStyle, SiteStyleSheet());
    Write(kSearchScript, SiteSearchScript());
    Write(kIndexScript, index.ToScript());
    CopyAssets();
    RemoveEarlierFiles();
}

}  // namespace qb::site
