#include "Engine.h"
#include "FileSys.h"
#include "Format.h"
#include "MessageTable.h"
#include "Utils.h"

namespace qb {

void AddContentsEntry(TParameters& job, const std::optional<std::string>& page, const std::string& caption,
                      bool newPage, const std::string& indent) {
    TStringList& c = *job.ContentsLines;
    c.Add(indent + "<LI><OBJECT type=\"text/sitemap\">");
    c.Add(indent + "    <param name=\"Name\" value=\"" + HtmlEscape(caption) + "\">");
    if (page)
        c.Add(indent + "    <param name=\"Local\" value=\"" + *page + "\">");
    else if (newPage)
        c.Add(indent + "    <param name=\"New\" value=\"1\">");
    c.Add(indent + "    </OBJECT>");
}

void MakeLabelPages(TParameters& job) {
    const TConvertOptions& o = job.options;
    if (!job.LabelLines || job.LabelLines->Empty()) return;
    IStorage& store = Storage();
    ReportProgress(0, Msg(29));
    StepTotal = job.LabelLines->Count();
    AddContentsEntry(job, std::nullopt, Msg(30), false, "");
    job.ContentsLines->Add("<UL>");

    bool open = false;
    std::string pageText, pageFile;
    for (int i = 0; i < job.LabelLines->Count(); ++i) {
        const std::string& line = (*job.LabelLines)[i];
        if (line.find("::Label::") != std::string::npos) {
            // A header without a fourth field names no label: its items are skipped.
            const TStringArray fields = SplitText(line, "\t");
            if (fields.size() < 4 || Trim(fields[3]).empty()) {
                open = false;
                continue;
            }
            const std::string name = fields[3];
            pageText = "<html><head><script type=\"text/javascript\" language=\"JavaScript\" src=\"/_quillbook.js\">"
                       "</script><link rel=\"stylesheet\" type=\"text/css\" href=\"/_quillbook.css\" /><body>" +
                       o.Header;
            ReportProgress(i, "  " + name);
            pageFile = FileSafeCaption(name) + ".html";
            AddContentsEntry(job, pageFile, name, false, "");
            open = true;
        } else if (Trim(line).empty()) {
            if (open) {
                pageText += o.Footer + "</body>\r\n\r\n</html>\r\n";
                SaveTextFile(pageFile, pageText);
                open = false;
            }
        } else if (open) {
            std::string p = line;
            if (!p.empty() && p.back() == '\\') p.pop_back();
            const std::string caption = store.GetHint(o.DatabaseHandle, p + "\\");
            std::string link;
            if (!o.KeepFolderTree) {
                link = FileSafeCaption(caption) + ".html";
            } else if (!o.ReadableFolderNames) {
                const std::size_t slash = p.rfind('\\');
                const std::string parent = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
                const std::string entry = slash == std::string::npos ? p : p.substr(slash + 1);
                link = ChildLink(job, parent, entry, caption, "./");
            } else {
                link = ItemLink(job, p + "\\");
                if (store.GetFolderCount(o.DatabaseHandle, p + "\\", -1) > 0) {
                    const std::size_t slash = link.rfind('/');
                    link.insert(slash + 1, FileSafeCaption(caption) + "/");
                }
            }
            pageText += "\r\n" + Format("<a href=\"%s\">%s</a><br>", {ToForwardSlashes(link), caption});
        }
    }
    job.ContentsLines->Add("</UL>");
}

}  // namespace qb
