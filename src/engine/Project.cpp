#include "Utils/FileSys.h"
#include "Utils/Format.h"
#include "Utils/Utils.h"
#include "engine/Engine.h"
#include "support/Error.h"

namespace qb {

std::string ProjectBaseName(const TParameters& job) {
    return ChangeFileExt(ExtractFileName(job.options.ChmFileName), "");
}

void ReadHostTextFile(TParameters& job, const std::string& folderPath, const std::string& fileName, TStringList& list) {
    const int db = job.options.DatabaseHandle;
    if (!Storage(job).PathExists(db, folderPath + fileName)) return;
    // Read through an anonymous scratch file: a file of that name in the
    // output folder is the user's (or a link) and is left alone.
    fs::ScratchFile scratch;
    Storage(job).ExportFile(db, folderPath + fileName, scratch.Path());
    list.SetText(Files(job).LoadTextFile(scratch.Path()));
}

namespace {

// The generated default page's name, chosen before the walk so that no page
// takes it: a user's file of that name is never replaced, the page then takes
// a numbered name (a link there is replaced, never followed).
std::string DefaultPageName(TParameters& job) {
    std::string name = "_quillbook_default.html";
    for (int n = 1; Files(job).PlainFileExists(name) && !RunRecord(job).IsOurs(job, name); ++n)
        name = "_quillbook_default_" + std::to_string(n) + ".html";
    return name;
}

// The help file takes only files from inside the output folder: an extra file
// from elsewhere is copied in under its own name (numbered when that is taken)
// and listed by that name. A file that cannot be read stays as written, so the
// compiler names it.
std::string ExtraFilesInside(TParameters& job) {
    const TConvertOptions& o = job.options;
    std::string root = Files(job).ExpandFileName(o.RootPath);
    if (root.empty() || root.back() != '/') root += '/';
    std::string text;
    std::size_t pos = 0;
    while (pos < o.ExtraFiles.size()) {
        std::size_t end = o.ExtraFiles.find('\n', pos);
        end = end == std::string::npos ? o.ExtraFiles.size() : end + 1;
        std::string line = o.ExtraFiles.substr(pos, end - pos);
        pos = end;
        std::size_t textEnd = line.size();
        while (textEnd > 0 && (line[textEnd - 1] == '\n' || line[textEnd - 1] == '\r')) --textEnd;
        const std::string file = Trim(line.substr(0, textEnd));
        const std::string full = file.empty() ? std::string() : Files(job).ExpandFileName(file);
        if (!file.empty() && full.compare(0, root.size(), root) != 0 && Files(job).FileExists(file)) {
            std::string name = SafeComponent(ExtractFileName(full));
            while (job.FileList->Contains(name) || (Files(job).EntryExists(name) && !RunRecord(job).IsOurs(job, name)))
                name = "_" + std::to_string(job.NameCounter++) + "_" + SafeComponent(ExtractFileName(full));
            RunRecord(job).Add(job, name);
            if (!Files(job).CopyFile(file, name)) throw Error("Cannot copy \"" + file + "\" to \"" + name + "\".");
            line = name + line.substr(textEnd);
        }
        text += line;
    }
    return text;
}

}  // namespace

std::string WindowDefinition(const TParameters& job, const std::string& defaultTopic, const std::string& homePage) {
    const TConvertOptions& o = job.options;
    const std::string base = ProjectBaseName(job);
    return Format("ovel2html=\"%s\",\"%s\",%s,\"%s\",\"%s\",%s,%s,%s,%s,0x%x,%d,0x%x,%s,,0x%x,,%d,%d,,0",
                  {o.WindowTitle, base + ".hhc", o.MakeIndex ? base + ".hhk" : std::string(), defaultTopic, homePage,
                   o.UserButtonUrl, o.UserButtonCaption, "_jump2_.htm", "Quillbook", o.NavPaneFlags, o.NavPaneWidth,
                   o.WindowButtons, o.WindowRect, o.WindowExStyle, o.NavPaneClosed ? 1 : 0, o.DefaultTab});
}

void StartProject(TParameters& job) {
    const TConvertOptions& o = job.options;
    job.ProjectLines = std::make_unique<TStringList>();
    job.ContentsLines = std::make_unique<TStringList>();
    job.FileList = std::make_unique<TStringList>();
    job.LabelLines = std::make_unique<TStringList>();
    job.LinkTable = std::make_unique<TStringList>();
    job.WrittenPages = std::make_unique<TStringList>();
    job.NameCounter = 0;

    ReadHostTextFile(job, "\\Organizer\\data\\", "__custom_labels.txt", *job.LabelLines);
    ReadHostTextFile(job, "\\Organizer\\data\\", "__folder_linktable.txt", *job.LinkTable);

    job.DefaultPageFile = DefaultPageName(job);
    std::string defaultTopic;
    if (!o.DefaultPage.empty() && Files(job).FileExists(o.DefaultPage)) {
        defaultTopic = job.DefaultPageFile;
        RunRecord(job).Add(job, defaultTopic);
        if (!Files(job).CopyFile(o.DefaultPage, defaultTopic))
            throw Error("Cannot copy \"" + o.DefaultPage + "\" to \"" + defaultTopic + "\".");
        job.FileList->Add(defaultTopic);
    }
    // Without a default page the home page is chosen once the walk has given
    // out pages (FinishProject); a page on this machine would open nowhere else.
    const std::string homePage = defaultTopic;
    const std::string base = ProjectBaseName(job);

    TStringList& p = *job.ProjectLines;
    p.Add("[OPTIONS]");
    p.Add("Binary TOC=Yes");
    p.Add("Compatibility=1.1 or later");
    p.Add("Compiled file=" + o.ChmFileName);
    p.Add("Contents file=" + base + ".hhc");
    if (o.MakeIndex) p.Add("Index file=" + base + ".hhk");
    p.Add("Default Window=ovel2html");
    p.Add("Default topic=" + defaultTopic);
    p.Add("Display compile progress=Yes");
    p.Add(std::string("Full-text search=") + (o.FullTextSearch ? "yes" : "no"));
    p.Add("Language=" + o.ChmLanguage);
    p.Add("Title=" + o.WindowTitle);
    p.Add("[WINDOWS]");
    p.Add(WindowDefinition(job, defaultTopic, homePage));
    p.Add("[FILES]");

    TStringList& c = *job.ContentsLines;
    c.Add("<HTML><HEAD>");
    c.Add("<meta name=\"GENERATOR\" content=\"Quillbook 3.0.0\">");
    c.Add("</HEAD><BODY>");
    c.Add("<OBJECT type=\"text/site properties\">");
    c.Add("  <param name=\"ImageType\" value=\"Folder\">");
    c.Add("</OBJECT>");
    // One list around every entry: viewers drop entries outside a list.
    c.Add("<UL>");
}

namespace {

// The start item's page, or a generated page when the walk wrote none, as
// the help file names it ("9/C.html").
std::string ChooseHomePage(TParameters& job) {
    if (!job.StartPage.empty()) return RootLink(job, job.StartPage).substr(1);
    const std::string name = job.DefaultPageFile.empty() ? DefaultPageName(job) : job.DefaultPageFile;
    RunRecord(job).Add(job, name);
    Files(job).SaveTextFile(name, "<html><head>" + std::string(kCharsetMeta) + "<title>" + HtmlEscape(job.options.WindowTitle) +
                           "</title></head><body><h1>" + HtmlEscape(job.options.WindowTitle) +
                           "</h1></body></html>\r\n");
    job.FileList->Add(name);
    return name;
}

}  // namespace

void FinishProject(TParameters& job) {
    TStringList& p = *job.ProjectLines;
    const int topicLine = p.IndexOf("Default topic=");
    if (topicLine >= 0) {
        const std::string home = ChooseHomePage(job);
        p[topicLine] = "Default topic=" + home;
        for (int i = 0; i < p.Count(); ++i)
            if (p[i].rfind("ovel2html=", 0) == 0) p[i] = WindowDefinition(job, home, home);
    }
    job.FileList->Add(ExtraFilesInside(job));
    for (const auto& f : *job.FileList) job.ProjectLines->Add(f);
    job.ProjectLines->Add("[INFOTYPES]");
    job.ContentsLines->Add("</UL>");
    job.ContentsLines->Add("</BODY></HTML>");
}

}  // namespace qb
