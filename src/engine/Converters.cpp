#include "engine/Converters.h"

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "engine/Engine.h"
#include "engine/Storage.h"
#include "settings/MessageTable.h"
#include "support/Entities.h"
#include "support/Error.h"
#include "support/Text.h"

namespace qb {

void PrepareConverter(TParameters& job, int offices) {
    switch (job.options.ConvertMethod) {
        case 1: try {
                if (os::HasAutomation())
                    job.ConverterObject =
                        CreateWordEngine(job.options, os::StartAutomationServer(kWordProgId, WordTimeout()));
                else
                    job.ConverterObject = CreateOfficeEngine(job.options, offices > 0 ? offices : OfficeCount());
            } catch (const std::exception& e) {
                // The cause goes to the log; the error itself is the one users know.
                ReportProgress(job, -1, e.what());
                throw Error(Msg(18) + Msg(16));
            }
            break;
        case 3:
            // No converter component exists on this platform.
            throw Error(Msg(17) + Msg(16));
        case 0: job.RichEdit = CreateBuiltInEngine(); break;
        default: job.RichEdit = CreatePlainTextEngine(); break;
    }
}

std::string PageInCharset(const std::string& page, const std::string& encoding) {
    const std::string name = LowerAscii(Trim(encoding));
    if (name == "utf-8" || name == "utf8") return page;
    return HtmlAsAscii(page);
}

bool UsesNotesFiles(const TParameters& job) { return !job.RichEdit; }

void ExportAndConvertNote(TParameters& job, const std::string& notePath, std::size_t size, const std::string& notesFile,
                          const std::string& title, const std::string& pageFile) {
    IStorage& store = Storage(job);
    const int db = job.options.DatabaseHandle;
    // A notes file created and deleted per item costs the file system far more
    // than the conversion; the built-in engines take the note's bytes.
    if (job.RichEdit) {
        std::string rtf;
        store.ReadFile(db, notePath, rtf, size);
        if (job.RichEdit->ConvertText(job, std::move(rtf), pageFile, title)) return;
    }
    RunRecord(job).Add(job, notesFile);
    // Through the descriptor, like attachments: never through a link put at the name.
    Files(job).WriteFreshFile(notesFile, [&](os::Fd fd) { store.ExportFileTo(db, notePath, fd, notesFile); });
    ConvertNote(job, notesFile, title, pageFile);
}

void ConvertNote(TParameters& job, const std::string& rtfFile, const std::string& title, const std::string& htmlFile) {
    IConverterEngine* engine = job.ConverterObject ? job.ConverterObject.get() : job.RichEdit.get();
    if (!engine) throw Error("No conversion engine is prepared.");
    engine->Convert(job, rtfFile, htmlFile, title);
}

void ConvertNote(TParameters& job, const std::string& rtfFile, const std::string& title) {
    ConvertNote(job, rtfFile, title, ChangeFileExt(rtfFile, ".html"));
}

void ConvertNotesAhead(TParameters& job) {
    const TPagePlan& plan = PagePlan(job);
    // The built-in engines are quicker than handing notes around.
    if (!job.ConverterObject || plan.job != &job) return;
    std::vector<TNoteAhead> notes;
    for (const auto& [itemPath, notePath] : plan.notes) {
        const std::string* page = PlannedPage(job, itemPath);
        // The walk converts a note only where no page is yet, or with Overwrite.
        if (!page || (Files(job).PlainFileExists(*page) && !job.options.Overwrite)) continue;
        notes.push_back({notePath, ChangeFileExt(*page, ".rtf")});
    }
    job.ConverterObject->ConvertAhead(job, std::move(notes));
}

bool TakeNoteAhead(TParameters& job, const std::string& notePath, const std::string& notesFile,
                   const std::string& pageFile) {
    return job.ConverterObject && job.ConverterObject->TakeAhead(job, {notePath, notesFile}, pageFile);
}

void ReleaseConverter(TParameters& job) {
    job.ConverterObject.reset();
    job.RichEdit.reset();
}

}  // namespace qb
