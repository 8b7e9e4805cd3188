// Feeds the website writer from the walk when the run asks for a site.
#include <unicode/uloc.h>

#include <cstdlib>
#include <map>
#include <memory>

#include "Utils/FileSys.h"
#include "Utils/Format.h"
#include "Utils/Utils.h"
#include "engine/Engine.h"
#include "settings/Language.h"
#include "settings/MessageTable.h"
#include "site/SiteWriter.h"
#include "support/Error.h"

namespace qb {

namespace {

// "0x407 German (Germany)" -> "de-DE"; empty when ICU knows no such locale.
std::string LanguageTag(const std::string& chmLanguage) {
    const unsigned long lcid = std::strtoul(TextBefore(chmLanguage + " ", " ").c_str(), nullptr, 0);
    if (lcid == 0) return "";
    char locale[64] = {}, tag[64] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLocaleForLCID(static_cast<std::uint32_t>(lcid), locale, sizeof locale, &status);
    if (U_FAILURE(status)) return "";
    uloc_toLanguageTag(locale, tag, sizeof tag, true, &status);
    return U_FAILURE(status) ? "" : tag;
}

// The language file's texts for the language of the help file: the site is
// read in that language, whatever language the wizard speaks.
std::map<int, std::string> TextsOfLanguage(const std::string& chmLanguage) {
    std::map<int, std::string> texts;
    const unsigned long lcid = std::strtoul(TextBefore(chmLanguage + " ", " ").c_str(), nullptr, 0);
    if (lcid == 0) return texts;
    std::shared_ptr<TLanguageDocument> doc = LanguageDocument();
    if (!doc) {
        // The command line loads no language: the file beside the program or the installed one.
        for (const std::string& path : {ModuleDirectory() + "Quillbook.lng", ModuleDirectory() + "../lib/quillbook/Quillbook.lng"}) {
            if (!fs::PlainFileExists(path)) continue;
            try {
                doc = LoadLanguageDocument(path);
            } catch (const std::exception&) {
                doc.reset();
            }
            if (doc) break;
        }
    }
    if (!doc) return texts;
    for (TXMLLanguageType lang : doc->Languages().Items()) {
        if ((static_cast<unsigned long>(lang.LangID()) & 0x3FF) != (lcid & 0x3FF)) continue;
        for (TXMLTextType text : lang.StringTable().Items())
            if (!text.Text().empty()) texts[text.ID()] = text.Text();
        break;
    }
    return texts;
}

site::TSiteWords SiteWords(const std::map<int, std::string>& own) {
    const auto word = [&](int id) {
        const auto it = own.find(id);
        return it != own.end() ? it->second : Msg(id);
    };
    site::TSiteWords w;
    std::string* fields[] = {&w.contents,    &w.search,      &w.attachments, &w.keywords,  &w.size,
                             &w.type,        &w.seeAlso,     &w.name,        &w.subItems,  &w.skip,
                             &w.searchLabel, &w.noText,      &w.found,       &w.foundOne,  &w.foundNone,
                             &w.needsScript, &w.previous,    &w.next,        &w.keys,      &w.keyArrows,
                             &w.keySearch,   &w.keyHelp,     &w.keyClose,    &w.notFound,  &w.notFoundText,
                             &w.print,       &w.theme,       &w.breadcrumb,  &w.noKeywords, &w.noItems,
                             &w.subItemsOf};
    int id = kSiteFirstMsg;
    for (std::string* f : fields) *f = word(id++);
    for (std::size_t i = 0; i < w.fileTypes.size(); ++i) w.fileTypes[i] = word(kSiteFileTypeMsg + static_cast<int>(i));
    return w;
}

}  // namespace

void StartSite(TParameters& job) {
    const TConvertOptions& o = job.options;
    if (Trim(o.SiteFolder).empty()) return;
    const std::string folder = IncludeTrailingDelimiter(Files(job).ExpandFileName(Trim(o.SiteFolder)));
    const std::string root = IncludeTrailingDelimiter(Files(job).ExpandFileName(o.RootPath));
    // Clean-up removes every file the run added below the output folder.
    if (o.RemoveTempFiles && folder.rfind(root, 0) == 0)
        throw Error("The website folder \"" + folder +
                    "\" lies inside the output folder, whose new files are "
                    "removed after compiling; choose a folder outside it.");
    job.Site = std::make_unique<site::TSiteWriter>(folder);
    site::TRunStart run;
    run.outputRoot = Files(job).ExpandFileName(o.RootPath);
    run.files = &Files(job);
    // The help file's default window title is a file name; the site then takes its start item's caption.
    const bool ownTitle = !Trim(o.WindowTitle).empty() && o.WindowTitle != ProjectBaseName(job) &&
                          o.WindowTitle != ChangeFileExt(o.DatabaseFileName, "");
    run.title = ownTitle ? o.WindowTitle : "";
    const std::map<int, std::string> own = TextsOfLanguage(o.ChmLanguage);
    run.words = SiteWords(own);
    run.language = LanguageTag(o.ChmLanguage);
    run.topNodeNotFolder = o.TopNodeNotFolder;
    run.labelsCaption = own.count(30) ? own.at(30) : Msg(30);
    if (job.LabelLines) {
        site::TLabel* open = nullptr;
        for (const auto& line : *job.LabelLines) {
            if (line.find("::Label::") != std::string::npos) {
                const std::string name = LabelName(line);
                open = nullptr;
                if (name.empty()) continue;
                run.labels.push_back({name, {}});
                open = &run.labels.back();
            } else if (Trim(line).empty()) {
                open = nullptr;
            } else if (open) {
                open->items.push_back(line);
            }
        }
    }
    job.Site->RunStarted(run);
}

void SiteItemEntered(TParameters& job, const std::string& itemPath, const std::string& caption, int level) {
    if (job.Site) job.Site->ItemEntered(itemPath, caption, level);
}

void SiteItemWritten(TParameters& job, const std::string& itemPath, int level, const std::string& pageFile,
                     bool hasNotes, bool hasSubItems, const std::vector<std::string>& attachments,
                     const std::vector<std::string>& attachmentNames) {
    if (!job.Site) return;
    const TConvertOptions& o = job.options;
    site::TItemWritten item;
    item.path = itemPath;
    item.page = RootLink(job, pageFile);
    item.hasNote = hasNotes;
    // The same rows that decide the item's contents entry.
    item.inContents =
        hasNotes || !attachments.empty() || (!(level == 0 && o.WholeDatabase) && (hasSubItems || !o.IgnoreEmptyItems));
    for (const auto& a : attachments) item.attachments.push_back(RootLink(job, a));
    item.attachmentNames = attachmentNames;
    if (job.LinkTable)
        for (const auto& line : *job.LinkTable) {
            if (line.find("<::>") == std::string::npos) continue;
            const std::string a = TextBefore(line, "<::>"), b = TextAfter(line, "<::>");
            if (EqualsNoCase(a, itemPath))
                item.seeAlso.push_back(b);
            else if (EqualsNoCase(b, itemPath))
                item.seeAlso.push_back(a);
        }
    job.Site->ItemWritten(item);
}

void FinishSite(TParameters& job, bool complete) {
    if (!job.Site) return;
    // A site of the pages made so far would pass for the whole one: the earlier site stays as it was.
    if (!complete) {
        job.Site.reset();
        ReportProgress(job, -1, Msg(kSiteFirstMsg + 33));
        return;
    }
    ReportProgress(job, 100, Msg(kSiteFirstMsg + 31));
    job.Site->RunFinished();
    job.Site.reset();
    const std::string index = IncludeTrailingDelimiter(Files(job).ExpandFileName(Trim(job.options.SiteFolder))) + "index.html";
    ReportProgress(job, -1, Format(Msg(kSiteFirstMsg + 32), {index}));
}

}  // namespace qb
