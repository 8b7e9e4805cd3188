#include <pugixml.hpp>

#include <filesystem>
#include <sstream>

#include "support/Path.h"
#include "Utils/FileSys.h"
#include "Utils/Format.h"
#include "Utils/HtmlText.h"
#include "Utils/Utils.h"
#include "engine/Converters.h"
#include "engine/Engine.h"
#include "support/Error.h"

namespace qb {

namespace {

// Relative path from the page's folder up to the output folder, "\" separated.
std::string PathToRoot(const TParameters& job, const std::string& pageFile) {
    namespace sfs = std::filesystem;
    const sfs::path root = FsPath(Files(job).ExpandFileName(job.options.RootPath)).lexically_normal();
    const sfs::path pageDir = FsPath(Files(job).ExpandFileName(pageFile)).parent_path().lexically_normal();
    std::string rel = Utf8Of(FsPath(Utf8Of(root) + "/")
                          .lexically_normal()
                          .lexically_relative(FsPath(Utf8Of(pageDir) + "/").lexically_normal()));
    if (rel == "." || rel.empty()) return "";
    for (char& c : rel)
        if (c == '/') c = '\\';
    if (rel.back() != '\\') rel += '\\';
    return rel;
}

// Drops the page's closing tags so the frame can go at the end of the body. A
// page that does not end the way the converters end it (one kept from an earlier
// run, or edited) is cut at its last "</body" rather than losing 20 bytes of text.
void CutClosingTags(std::string& page) {
    const std::string closing = kClosingText;
    if (page.size() >= closing.size() && page.compare(page.size() - closing.size(), closing.size(), closing) == 0) {
        page.resize(page.size() - closing.size());
        return;
    }
    const std::size_t body = LowerAscii(page).rfind("</body");
    if (body != std::string::npos) page.resize(body);
}

void WriteFileList(TParameters& job, const std::vector<std::string>& attachments, const std::string& pageFile) {
    const std::string xmlFile = ChangeFileExt(pageFile, ".xml");
    job.FileList->Add(xmlFile);
    if (Files(job).PlainFileExists(xmlFile)) return;
    RunRecord(job).Add(job, xmlFile);
    pugi::xml_document doc;
    auto decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    auto pi = doc.append_child(pugi::node_pi);
    pi.set_name("xml-stylesheet");
    pi.set_value(("type=\"text/xsl\" href=\"" + PathToRoot(job, pageFile) + "filelist.xsl\"").c_str());
    auto files = doc.append_child("files");
    for (const auto& a : attachments) files.append_child("file").append_attribute("name") = ExtractFileName(a).c_str();
    std::ostringstream out;
    doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    Files(job).SaveTextFile(xmlFile, out.str());

    std::string page = Files(job).TakeTextFile(pageFile);
    CutClosingTags(page);
    page += "<iframe width=\"100%\" height=\"80\" frameborder=\"0\" scrolling=\"auto\" src=\"" +
            UrlPath(ExtractFileName(xmlFile)) + "\"></iframe></body></html>";
    Files(job).SaveTextFile(pageFile, std::move(page));
}

}  // namespace

std::string WriteAttachmentsPage(TParameters& job, const std::vector<std::string>& attachments,
                                 const std::string& pageFile, const std::string& title, bool keepPage) {
    const TConvertOptions& o = job.options;
    if (attachments.empty()) return "";
    if (!keepPage && Files(job).PlainFileExists(pageFile)) {
        WriteFileList(job, attachments, pageFile);
        return "";
    }
    std::vector<std::string> html, images, others;
    for (const auto& a : attachments) {
        if (IsHtmlFile(a))
            html.push_back(a);
        else if (IsImageFile(a))
            images.push_back(a);
        else
            others.push_back(a);
    }
    std::string result;
    if (html.size() == 1) {
        TStringList otherList, imageList;
        for (const auto& f : others) otherList.Add(f);
        for (const auto& f : images) imageList.Add(f);
        if (FileMentionsAll(Files(job), html[0], otherList) && FileMentionsAll(Files(job), html[0], imageList)) {
            result = html[0];
            if (!o.NavLinks) return result;
        }
    }
    if (keepPage) return result;
    const std::string shownTitle = HtmlQuote(title);
    std::string page = "<HTML><HEAD><TITLE>" + shownTitle + "</TITLE>" +
                       "<meta http-equiv=\"Content-Type\" content=\"text/html\" charset=\"" + o.Encoding + "\">" +
                       "</HEAD><BODY>" + o.Header + "<H1>" + shownTitle + "</H1>" +
                       "<p>Text not found at this node<BR>" + "The under lines list the attachment files of this node";
    auto group = [&](const char* heading, const std::vector<std::string>& files) {
        if (files.empty()) return;
        page += heading;
        // Root-relative: the recorded target is relative to the output folder, not to this page.
        for (const auto& f : files)
            page += Format("<A HREF=\"%s\">%s</A><BR>", {UrlPath(RootLink(job, f)), ExtractFileName(f)});
    };
    group("<BR><BR>HTML documents:<BR>", html);
    group("<BR><BR>Images:<BR>", images);
    group("<BR><BR>Other files:<BR>", others);
    page += "</p>" + o.Footer + "</BODY></HTML>";
    Files(job).SaveTextFile(pageFile, PageInCharset(page, o.Encoding));
    return result;
}

}  // namespace qb
