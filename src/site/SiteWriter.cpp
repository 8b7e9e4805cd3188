#include "site/SiteWriter.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "Utils/Utils.h"
#include "site/SearchIndex.h"
#include "site/SiteAssets.h"
#include "site/SiteHtml.h"
#include "support/Path.h"

namespace qb::site {

namespace {

namespace sfs = std::filesystem;

constexpr const char* kStyle = "_site/site.css";
constexpr const char* kIndexScript = "_site/search-index.js";
constexpr const char* kSearchScript = "_site/search.js";

std::string WithSlash(std::string path) {
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path;
}

std::string ReadFile(const sfs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string SizeText(std::uintmax_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
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

// Kind of a file by its extension, as a reader would name it.
std::string FileType(const std::string& name) {
    static const std::map<std::string, std::string> kTypes = {
        {".png", "PNG image"},     {".jpg", "JPEG image"},     {".jpeg", "JPEG image"},   {".gif", "GIF image"},
        {".bmp", "Bitmap image"},  {".svg", "SVG image"},      {".webp", "WebP image"},   {".pdf", "PDF document"},
        {".txt", "Text"},          {".htm", "HTML page"},      {".html", "HTML page"},    {".rtf", "Rich text"},
        {".doc", "Word document"}, {".docx", "Word document"}, {".odt", "Text document"}, {".xls", "Spreadsheet"},
        {".xlsx", "Spreadsheet"},  {".ods", "Spreadsheet"},    {".csv", "CSV table"},     {".zip", "ZIP archive"},
        {".xml", "XML document"},  {".json", "JSON data"},     {".mp3", "Audio"},         {".mp4", "Video"}};
    const std::string ext = LowerAscii(ExtractFileExt(name));
    const auto it = kTypes.find(ext);
    if (it != kTypes.end()) return it->second;
    return ext.size() > 1 ? LowerAscii(ext.substr(1)) + " file" : "File";
}

// An entry with sub-entries: its link, then a disclosure of its own for the
// list, since a link inside a <summary> is a control inside a control.
std::string Branch(const std::string& link, const std::string& caption, bool open) {
    return "<li class=\"branch\">" + link + "<details" + (open ? " open" : "") +
           "><summary aria-label=\"Sub-items of " + Escape(caption) + "\"></summary>\n<ul>\n";
}

bool Contains(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }

}  // namespace

TSiteWriter::TSiteWriter(std::string siteFolder) : folder_(std::move(siteFolder)) {}

void TSiteWriter::RunStarted(const TRunStart& run) { run_ = run; }

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

void TSiteWriter::ItemWritten(const TItemWritten& item) {
    const auto it = byPath_.find(LowerAscii(WithSlash(item.path)));
    if (it == byPath_.end() || item.page.empty()) return;
    Node& n = nodes_[static_cast<std::size_t>(it->second)];
    if (n.written) return;
    n.written = true;
    n.item = item;
    const std::string rel = item.page[0] == '/' ? item.page.substr(1) : item.page;
    std::string site = "p/" + rel;
    // Two items sharing one page of the help file still get a page each.
    for (int k = 2; sitePaths_.count(LowerAscii(site)); ++k)
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

std::optional<std::string> TSiteWriter::Resolve(const std::string& target) {
    const auto page = pages_.find(LowerAscii(target));
    if (page != pages_.end()) return page->second;
    if (copies_.count(target)) return "p/" + target;
    std::error_code ec;
    if (!sfs::is_regular_file(FsPath(run_.outputRoot) / target, ec)) return std::nullopt;
    copies_.insert(target);
    return "p/" + target;
}

std::string TSiteWriter::PageHead(const std::string& from, const std::string& title) const {
    return "<!DOCTYPE html>\n<html lang=\"" + Escape(run_.language.empty() ? "en" : run_.language) +
           "\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           // No icon: a browser asks for /favicon.ico, outside a site served under a sub-path.
           "<link rel=\"icon\" href=\"data:,\">\n<title>" +
           Escape(title) + "</title>\n<link rel=\"stylesheet\" href=\"" + Escape(RelativeHref(from, kStyle)) +
           "\">\n</head>\n<body>\n";
}

std::string TSiteWriter::PageTop(const std::string& from, int current) const {
    std::string out =
        "<a class=\"skip\" href=\"#main\">Skip to content</a>\n<header class=\"top\">\n<a class=\"home\" href=\"" +
        Escape(RelativeHref(from, "index.html")) + "\">" + Escape(run_.title) + "</a>\n";
    out += "<form class=\"search\" role=\"search\" action=\"" + Escape(RelativeHref(from, "search.html")) +
           "\"><input type=\"search\" name=\"q\" aria-label=\"Search the notes\" placeholder=\"Search\">"
           "<button type=\"submit\">Search</button></form>\n<a class=\"to-toc\" href=\"#toc\">Contents</a>\n"
           "</header>\n<div class=\"layout\">\n";
    out += "<nav class=\"toc\" id=\"toc\" aria-label=\"Contents\">\n<h2>Contents</h2>\n" +
           TreeHtml(from, current, treeSize_ <= kFullTreeLimit || current == -1) + "</nav>\n";
    return out;
}

std::string TSiteWriter::TreeHtml(const std::string& from, int current, bool full) const {
    std::vector<int> path;  // the page's own entry and its ancestors
    for (int p = current; p >= 0; p = nodes_[static_cast<std::size_t>(p)].treeParent) path.push_back(p);
    std::string out = "<ul>\n";
    if (!run_.labels.empty()) {
        const bool here = current == -2;
        out += Branch("<a href=\"" + Escape(RelativeHref(from, "keywords.html")) + "\"" +
                          (here ? " aria-current=\"page\"" : "") + ">" + Escape(run_.labelsCaption) + "</a>",
                      run_.labelsCaption, here);
        for (std::size_t k = 0; k < run_.labels.size(); ++k)
            out += "<li class=\"leaf\"><a href=\"" +
                   Escape(RelativeHref(from, "keywords.html") + "#k" + std::to_string(k + 1)) + "\">" +
                   Escape(run_.labels[k].name) + "</a></li>\n";
        out += "</ul>\n</details></li>\n";
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
        out += Branch(link, n.caption, open);
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
    std::string out = "<nav class=\"crumbs\" aria-label=\"Breadcrumb\"><ol>\n<li><a href=\"" +
                      Escape(RelativeHref(from, "index.html")) + "\">" + Escape(run_.title) + "</a></li>\n";
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const Node& a = nodes_[static_cast<std::size_t>(*it)];
        out += "<li><a href=\"" + Escape(RelativeHref(from, a.site)) + "\">" + Escape(a.caption) + "</a></li>\n";
    }
    return out + "<li aria-current=\"page\">" + Escape(nodes_[static_cast<std::size_t>(node)].caption) +
           "</li>\n</ol></nav>\n";
}

std::string TSiteWriter::AttachmentsHtml(const std::string& from, const Node& n) {
    if (n.item.attachments.empty()) return "";
    std::string rows, figures;
    for (const auto& a : n.item.attachments) {
        const std::string rel = a[0] == '/' ? a.substr(1) : a;
        copies_.insert(rel);
        const std::string href = Escape(RelativeHref(from, "p/" + rel));
        const std::string name = Escape(ExtractFileName(rel));
        std::error_code ec;
        const auto bytes = sfs::file_size(FsPath(run_.outputRoot) / rel, ec);
        rows += "<tr><td><a href=\"" + href + "\">" + name + "</a></td><td class=\"size\">" +
                (ec ? std::string("?") : SizeText(bytes)) + "</td><td>" + Escape(FileType(rel)) + "</td></tr>\n";
        if (IsImageFile(rel))
            figures += "<figure><a href=\"" + href + "\"><img src=\"" + href + "\" alt=\"" + name +
                       "\" loading=\"lazy\"></a><figcaption>" + name + "</figcaption></figure>\n";
    }
    return "<section class=\"files\" aria-labelledby=\"files-h\">\n<h2 id=\"files-h\">Attachments</h2>\n"
           "<table>\n<thead><tr><th scope=\"col\">Name</th><th scope=\"col\">Size</th><th "
           "scope=\"col\">Type</th></tr></thead>\n<tbody>\n" +
           rows + "</tbody>\n</table>\n" + figures + "</section>\n";
}

std::string TSiteWriter::ItemPage(int id, std::string& text) {
    Node& n = nodes_[static_cast<std::size_t>(id)];
    const std::string& from = n.site;
    std::string body;
    if (n.item.hasNote) {
        const std::string outRel = n.item.page[0] == '/' ? n.item.page.substr(1) : n.item.page;
        const std::string pageDir = ExtractFilePath(ToForwardSlashes(outRel));
        body = ExtractBody(ReadFile(FsPath(run_.outputRoot) / outRel));
        body = RewriteLinks(body, pageDir, from, [this](const std::string& t) { return Resolve(t); });
    }
    text = HtmlToText(body);
    std::string out = PageHead(from, n.caption + " \xE2\x80\x93 " + run_.title) + PageTop(from, id) +
                      "<main id=\"main\">\n" + Breadcrumb(from, id);
    // Notes often open with their caption: the heading is then there for screen readers only.
    if (LowerAscii(body).find("<h1") == std::string::npos)
        out += std::string(Trim(text).rfind(n.caption, 0) == 0 ? "<h1 class=\"vh\">" : "<h1>") + Escape(n.caption) +
               "</h1>\n";
    if (!body.empty()) out += "<article class=\"note\">\n" + body + "\n</article>\n";
    out += AttachmentsHtml(from, n);
    for (const auto& a : n.item.attachments) text += " " + ExtractFileName(a);
    if (!n.children.empty()) {
        out += "<section class=\"subitems\" aria-labelledby=\"sub-h\">\n<h2 id=\"sub-h\">Sub-items</h2>\n<ul>\n";
        for (int c : n.children) {
            const Node& s = nodes_[static_cast<std::size_t>(c)];
            out += "<li><a href=\"" + Escape(RelativeHref(from, s.site)) + "\">" + Escape(s.caption) + "</a></li>\n";
        }
        out += "</ul>\n</section>\n";
    } else if (body.empty() && n.item.attachments.empty()) {
        out += "<p>No text or attachments.</p>\n";
    }
    std::string seeAlso;
    for (const auto& path : n.item.seeAlso) {
        const auto it = byPath_.find(LowerAscii(WithSlash(path)));
        if (it == byPath_.end() || !nodes_[static_cast<std::size_t>(it->second)].written) continue;
        const Node& s = nodes_[static_cast<std::size_t>(it->second)];
        seeAlso += "<li><a href=\"" + Escape(RelativeHref(from, s.site)) + "\">" + Escape(s.caption) + "</a></li>\n";
    }
    if (!seeAlso.empty())
        out += "<section class=\"seealso\" aria-labelledby=\"see-h\">\n<h2 id=\"see-h\">See also</h2>\n<ul>\n" +
               seeAlso + "</ul>\n</section>\n";
    std::string labels;
    for (std::size_t k = 0; k < labelItems_.size(); ++k)
        if (Contains(labelItems_[k], id))
            labels += std::string(labels.empty() ? "" : ", ") + "<a href=\"" +
                      Escape(RelativeHref(from, "keywords.html") + "#k" + std::to_string(k + 1)) + "\">" +
                      Escape(run_.labels[k].name) + "</a>";
    if (!labels.empty()) out += "<p class=\"labels\">Keywords: " + labels + "</p>\n";
    return out + "</main>\n</div>\n</body>\n</html>\n";
}

std::string TSiteWriter::IndexPage() const {
    const std::string from = "index.html";
    std::string out = PageHead(from, run_.title) + PageTop(from, -1) + "<main id=\"main\">\n<h1>" + Escape(run_.title) +
                      "</h1>\n<ul>\n";
    for (int id : top_) {
        const Node& n = nodes_[static_cast<std::size_t>(id)];
        out += "<li><a href=\"" + Escape(RelativeHref(from, n.site)) + "\">" + Escape(n.caption) + "</a></li>\n";
    }
    out += "</ul>\n<p><a href=\"keywords.html\">Keywords</a> \xC2\xB7 <a href=\"search.html\">Search</a></p>\n";
    return out + "</main>\n</div>\n</body>\n</html>\n";
}

std::string TSiteWriter::KeywordsPage() const {
    const std::string from = "keywords.html";
    std::string out = PageHead(from, "Keywords \xE2\x80\x93 " + run_.title) + PageTop(from, -2) +
                      "<main id=\"main\" class=\"keywords\">\n<h1>Keywords</h1>\n";
    if (run_.labels.empty()) out += "<p>No keywords.</p>\n";
    for (std::size_t k = 0; k < run_.labels.size(); ++k) {
        out += "<h2 id=\"k" + std::to_string(k + 1) + "\">" + Escape(run_.labels[k].name) + "</h2>\n";
        if (labelItems_[k].empty()) {
            out += "<p>No exported item carries this keyword.</p>\n";
            continue;
        }
        out += "<ul>\n";
        for (int id : labelItems_[k]) {
            const Node& n = nodes_[static_cast<std::size_t>(id)];
            out += "<li><a href=\"" + Escape(RelativeHref(from, n.site)) + "\">" + Escape(n.caption) + "</a></li>\n";
        }
        out += "</ul>\n";
    }
    return out + "</main>\n</div>\n</body>\n</html>\n";
}

std::string TSiteWriter::SearchPage() const {
    const std::string from = "search.html";
    return PageHead(from, "Search \xE2\x80\x93 " + run_.title) + PageTop(from, -3) +
           "<main id=\"main\">\n<h1>Search</h1>\n"
           "<form id=\"search-form\" class=\"search page-search\" role=\"search\" action=\"search.html\">"
           "<label for=\"q\">Words to find</label> <input type=\"search\" id=\"q\" name=\"q\"> "
           "<button type=\"submit\">Search</button></form>\n"
           "<p id=\"search-status\" role=\"status\"></p>\n<ol id=\"results\" class=\"results\"></ol>\n"
           "<noscript><p>Searching needs JavaScript. The contents and the <a href=\"keywords.html\">keywords</a> "
           "reach every page without it.</p></noscript>\n"
           "<script src=\"" +
           std::string(kIndexScript) + "\"></script>\n<script src=\"" + kSearchScript +
           "\"></script>\n</main>\n</div>\n</body>\n</html>\n";
}

void TSiteWriter::Write(const std::string& sitePath, const std::string& bytes) const {
    const sfs::path p = FsPath(folder_) / FsPath(sitePath);
    sfs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + Utf8Of(p));
}

void TSiteWriter::CopyAssets() const {
    for (const auto& rel : copies_) {
        const sfs::path from = FsPath(run_.outputRoot) / rel, to = FsPath(folder_) / "p" / rel;
        std::error_code ec;
        if (!sfs::is_regular_file(from, ec)) continue;
        sfs::create_directories(to.parent_path());
        sfs::remove(to, ec);
        // A hard link costs nothing; another file system gets a copy.
        sfs::create_hard_link(from, to, ec);
        if (ec) sfs::copy_file(from, to, sfs::copy_options::overwrite_existing);
    }
}

void TSiteWriter::RunFinished() {
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
                      text, where);
    }
    Write("index.html", IndexPage());
    Write("keywords.html", KeywordsPage());
    Write("search.html", SearchPage());
    Write(kStyle, SiteStyleSheet());
    Write(kSearchScript, SiteSearchScript());
    Write(kIndexScript, index.ToScript());
    CopyAssets();
}

}  // namespace qb::site
