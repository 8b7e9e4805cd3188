#pragma once
// Note-to-HTML engines: 0 built-in, 1 word processor, 2 plain text, 3 converter component.
#include <memory>
#include <string>

#include "Options.h"

namespace qb {

// Every page this program writes is UTF-8; without saying so, browsers and help
// viewers read its non-ASCII text in a legacy code page.
inline constexpr const char* kCharsetMeta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">";

// The closing every engine's page ends with.
inline constexpr const char* kClosingText = "</body>\r\n\r\n</html>\r\n";

class IConverterEngine {
public:
    virtual ~IConverterEngine() = default;
    // Writes htmlFile from rtfFile (both relative to the output folder or
    // absolute); adds files the engine wrote besides the page to job.FileList.
    virtual void Convert(TParameters& job, const std::string& rtfFile, const std::string& htmlFile,
                         const std::string& title) = 0;
};

// Engine 0: the built-in RTF reader and converter.
std::unique_ptr<IConverterEngine> CreateBuiltInEngine();
// Engine 2 and every unknown number: plain text in one font.
std::unique_ptr<IConverterEngine> CreatePlainTextEngine();
// Engine 1: one office process kept for the whole run; raises qb::Error when
// the office cannot be started.
std::unique_ptr<IConverterEngine> CreateOfficeEngine(const TConvertOptions& options);

// Creates the engine of options.ConvertMethod; raises the run-ending error
// when an outside engine cannot be set up.
void PrepareConverter(TParameters& job);
// Converts one notes file to the page of the same name with ".html".
void ConvertNote(TParameters& job, const std::string& rtfFile, const std::string& title);
// Converts a note held elsewhere into the given page file.
void ConvertNote(TParameters& job, const std::string& rtfFile, const std::string& title, const std::string& htmlFile);
// Where the walk exports the note of the page noteFile: the notes file itself,
// or for the built-in engines a scratch file reused for every note.
std::string NoteSource(const TParameters& job, const std::string& notesFile);
void ReleaseConverter(TParameters& job);

}  // namespace qb
