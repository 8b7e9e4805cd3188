#include "Utils/FileSys.h"
#include "Utils/Format.h"
#include "Utils/HtmlText.h"
#include "Utils/Utils.h"
#include "engine/Engine.h"
#include "settings/MessageTable.h"

namespace qb {

void AddContentsEntry(TParameters& job, const std::optional<std::string>& page, const std::string& caption,
                      bool newPage, const std::string& indent) {
    // One list entry of several lines: a large tree has hundreds of thousands
    // of them, and the file is the same (the list writes CR LF between entries).
    std::string e = indent + "<LI><OBJECT type=\"text/sitemap\">\r\n";
    // A quote in a caption would end the attribute and cut the entry's name.
    e += indent + "    <param name=\"Name\" value=\"" + ReplaceAll(HtmlEscape(caption), "\"", "&quot;") + "\">\r\n";
    if (page)
        // A Local value is a URL: "#" and "%" in a file name go escaped.
        e += indent + "    <param name=\"Local\" value=\"" + UrlPath(*page) + "\">\r\n";
    else if (newPage)
        e += indent + "    <param name=\"New\" value=\"1\">\r\n";
    e += indent + "    </OBJECT>";
    job.ContentsLines->Add(e);
}

std::string LabelName(const std::string& line) {
    if (line.find("::Label::") == std::string::npos) return "";
    // A header with fewer than four fields names no label; its item lines are
    // skipped until the next header.
    const TStringArray fields = SplitText(line, "\t");
    if (fields.size() < 4 || Trim(fields[3]).empty()) return "";
    return fields[3];
}

void MakeLabelPages(TParameters& job) {
    const TConvertOptions& o = job.options;
    if (!job.LabelLines || job.LabelLines->Empty()) return;
    IStorage& store = Storage(job);
    const TPagePlan& plan = PagePlan(job);
    const bool planned = plan.job == &job;
    ReportProgress(job, 0, Msg(29));
    job.StepTotal = job.LabelLines->Count();
    AddContentsEntry(job, std::nullopt, Msg(30), false, "");
    job.ContentsLines->Add("<UL>");

    // The script and style sheet are written only with navigation links.
    const std::string head =
        std::string("<html><head>") + kCharsetMeta +
        (o.NavLinks ? "<script type=\"text/javascript\" language=\"JavaScript\" src=\"/_quillbook.js\">"
                      "</script><link rel=\"stylesheet\" type=\"text/css\" href=\"/_quillbook.css\" /><body>"
                    : "<body>");
    bool open = false;
    std::string pageText, pageFile;
    for (int i = 0; i < job.LabelLines->Count(); ++i) {
        const std::string& line = (*job.LabelLines)[i];
        if (line.find("::Label::") != std::string::npos) {
            const std::string name = LabelName(line);
            open = false;
            if (name.empty()) continue;
            pageText = head + o.Header;
            ReportProgress(job, static_cast<int>(static_cast<long long>(i) * 100 / job.StepTotal), "  " + name);
            auto it = plan.labelPages.find(i);
            pageFile = planned && it != plan.labelPages.end() ? it->second : FileSafeCaption(name) + ".html";
            AddContentsEntry(job, pageFile, name, false, "");
            open = true;
        } else if (Trim(line).empty()) {
            if (open) {
                pageText += o.Footer + "</body>\r\n\r\n</html>\r\n";
                Files(job).SaveTextFile(pageFile, pageText);
                open = false;
            }
        } else if (open) {
            std::string p = line;
            if (!p.empty() && p.back() == '\\') p.pop_back();
            const std::string itemPath = p + "\\";
            const std::string caption = store.GetHint(o.DatabaseHandle, itemPath);
            if (planned && !PlannedPage(job, itemPath)) {
                // Not part of this help file: named, but not linked.
                if (!caption.empty()) pageText += "\r\n" + HtmlQuote(caption) + "<br>";
                continue;
            }
            std::string link;
            if (!o.KeepFolderTree) {
                link = ResolvedLink(job, FileSafeCaption(caption) + ".html", itemPath);
            } else if (!o.ReadableFolderNames) {
                const std::size_t slash = p.rfind('\\');
                const std::string parent = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
                const std::string entry = slash == std::string::npos ? p : p.substr(slash + 1);
                link = ResolvedChildLink(job, parent, entry, caption, "./");
            } else {
                // ItemLink already leads into the folder of an item with sub-items.
                link = ItemLink(job, itemPath);
            }
            pageText +=
                "\r\n" + Format("<a href=\"%s\">%s</a><br>", {UrlPath(ToForwardSlashes(link)), HtmlQuote(caption)});
        }
    }
    job.ContentsLines->Add("</UL>");
}

}  // namespace qb
