// Engines 0 (built-in converter) and 2 (plain text): both read the note with
// the project's own RTF reader.
#include <utility>

#include "Utils/Format.h"
#include "Utils/HtmlText.h"
#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "engine/Converters.h"
#include "rtf/RichText.h"
#include "rtf/rtf2html.h"

namespace qb {
namespace {

// Drops the converter's tail "</li></p></html>". The final walk writes "</li>"
// where the list entry stands in the tag order, so after an open bulleted
// paragraph or an open inline tag the tail is e.g. "</li></font></p></html>";
// cutting a fixed 16 bytes would leave a broken "</fo" in the page.
void RemoveConverterTail(std::string& t) {
    for (const std::string_view tail : {"</html>", "</p>", "</li>"}) {
        if (t.size() >= tail.size() && t.compare(t.size() - tail.size(), tail.size(), tail) == 0)
            t.resize(t.size() - tail.size());
    }
}

class BuiltInEngine final : public IConverterEngine {
public:
    void Convert(TParameters& job, const std::string& rtfFile, const std::string& htmlFile,
                 const std::string& title) override {
        ConvertText(job, Files(job).LoadTextFile(rtfFile), htmlFile, title);
    }
    bool ConvertText(TParameters& job, std::string&& rtf, const std::string& htmlFile,
                     const std::string& title) override {
        std::string t;
        {
            // Of the note, its model and its page, at most two are held at once.
            const rtf::RichDocument doc = rtf::LoadRtf(rtf);
            std::string().swap(rtf);
            t = RichTextToHtml(title, doc);
        }
        RemoveConverterTail(t);
        ReplaceFirst(t, "</head>", std::string(kCharsetMeta) + "</head>");
        const TConvertOptions& o = job.options;
        if (!o.Header.empty()) ReplaceFirst(t, "<body>", "<body>" + o.Header);
        if (!o.Footer.empty()) t += o.Footer;
        t += kClosingText;
        Files(job).SaveTextFile(htmlFile, std::move(t));
        return true;
    }
};

class PlainTextEngine final : public IConverterEngine {
public:
    void Convert(TParameters& job, const std::string& rtfFile, const std::string& htmlFile,
                 const std::string& title) override {
        ConvertText(job, Files(job).LoadTextFile(rtfFile), htmlFile, title);
    }
    bool ConvertText(TParameters& job, std::string&& rtf, const std::string& htmlFile,
                     const std::string& title) override {
        const std::string text = rtf::LoadRtf(std::exchange(rtf, std::string())).PlainText();
        const TConvertOptions& o = job.options;
        std::string t = Format(
            "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html\" charset=\"%s\"><title>%s</title>"
            "</head><body>%s<font face=\"%s\" color=\"%s\" size=\"%d\">",
            {o.Encoding, HtmlQuote(title), o.Header, o.FontName, ColorToHtml(SystemColorToRgb(o.FontColor)),
             FontSizeToHtmlSize(o.FontSize)});
        t += TextToHtml(text);
        t += "</font>";
        t += o.Footer;
        t += kClosingText;
        Files(job).SaveTextFile(htmlFile, PageInCharset(t, o.Encoding));
        return true;
    }
};

}  // namespace

std::unique_ptr<IConverterEngine> CreateBuiltInEngine() { return std::make_unique<BuiltInEngine>(); }

std::unique_ptr<IConverterEngine> CreatePlainTextEngine() { return std::make_unique<PlainTextEngine>(); }

}  // namespace qb
