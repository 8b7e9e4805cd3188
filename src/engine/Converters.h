#pragma once
// Note-to-HTML engines: 0 built-in, 1 word processor, 2 plain text, 3 converter component.
#include <memory>
#include <string>
#include <vector>

#include "engine/Options.h"
#include "support/Automation.h"

namespace qb {

// Every page this program writes is UTF-8; without saying so, browsers and help
// viewers read its non-ASCII text in a legacy code page.
inline constexpr const char* kCharsetMeta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">";

// A page that names encoding as its charset, in bytes that agree with it:
// UTF-8 as it is; under any other name (or none) in ASCII with character
// references, which every ASCII-based charset reads the same.
std::string PageInCharset(const std::string& page, const std::string& encoding);

// The closing every engine's page ends with.
inline constexpr const char* kClosingText = "</body>\r\n\r\n</html>\r\n";

// A note the walk will convert: where the storage holds it, and the notes
// file the walk names for it (messages about the note name that file).
struct TNoteAhead {
    std::string notePath;
    std::string notesFile;
};

class IConverterEngine {
public:
    virtual ~IConverterEngine() = default;
    // Writes htmlFile from rtfFile (both relative to the output folder or
    // absolute); adds files the engine wrote besides the page to job.FileList.
    virtual void Convert(TParameters& job, const std::string& rtfFile, const std::string& htmlFile,
                         const std::string& title) = 0;
    // Writes htmlFile from the note's bytes, which it may take over (a large
    // note is then not held twice); false, leaving them, when the engine takes
    // notes only as files (the walk then exports the note to the notes file).
    virtual bool ConvertText(TParameters& /*job*/, std::string&& /*rtf*/, const std::string& /*htmlFile*/,
                             const std::string& /*title*/) {
        return false;
    }
    // The notes the walk will convert, in walk order: an engine may export and
    // convert them before the walk asks. Called on the walk's thread.
    virtual void ConvertAhead(TParameters& /*job*/, std::vector<TNoteAhead> /*notes*/) {}
    // Writes htmlFile from a note handed to ConvertAhead, exactly as Convert
    // would, or raises the error converting it would; false when the engine
    // holds no such note.
    virtual bool TakeAhead(TParameters& /*job*/, const TNoteAhead& /*note*/, const std::string& /*htmlFile*/) {
        return false;
    }
};

// Engine 0: the built-in RTF reader and converter.
std::unique_ptr<IConverterEngine> CreateBuiltInEngine();
// Engine 2 and every unknown number: plain text in one font.
std::unique_ptr<IConverterEngine> CreatePlainTextEngine();
// Engine 1: `offices` office processes kept for the whole run, converting
// notes side by side; raises qb::Error when none of them can be started.
std::unique_ptr<IConverterEngine> CreateOfficeEngine(const TConvertOptions& options, int offices = 1);
// Offices a run starts: QB_OFFICES (1 to 16), else one per core, at most 4.
int OfficeCount();
// Engine 1 where automation exists: the word processor's application object,
// set up for the run at once; raises qb::Error when a call to it fails.
std::unique_ptr<IConverterEngine> CreateWordEngine(const TConvertOptions& options,
                                                   std::unique_ptr<os::IAutomationServer> word);
// Seconds one call to the word processor may take: QB_WORD_TIMEOUT, else 120.
double WordTimeout();
inline constexpr const char* kWordProgId = "Word.Application";

// Creates the engine of options.ConvertMethod; raises the run-ending error
// when an outside engine cannot be set up. offices: 0 for OfficeCount().
void PrepareConverter(TParameters& job, int offices = 0);
// Converts one notes file to the page of the same name with ".html".
void ConvertNote(TParameters& job, const std::string& rtfFile, const std::string& title);
// Converts a note held elsewhere into the given page file.
void ConvertNote(TParameters& job, const std::string& rtfFile, const std::string& title, const std::string& htmlFile);
// Writes pageFile from the stored note at notePath (size: its size if known):
// in memory for the built-in engines, else through the notes file, removed again.
void ExportAndConvertNote(TParameters& job, const std::string& notePath, std::size_t size, const std::string& notesFile,
                          const std::string& title, const std::string& pageFile);
// The engine reads notes from files the walk writes beside the pages.
bool UsesNotesFiles(const TParameters& job);
// Hands the notes of the page plan to an engine that converts ahead of the walk.
void ConvertNotesAhead(TParameters& job);
// Writes pageFile from the note at notePath if the engine converted it ahead;
// false when the walk has to export and convert the note itself.
bool TakeNoteAhead(TParameters& job, const std::string& notePath, const std::string& notesFile,
                   const std::string& pageFile);
void ReleaseConverter(TParameters& job);

}  // namespace qb
