#include "settings/MessageTable.h"

#include <array>

namespace qb {
namespace {

const std::array<std::string, kMessageCount> kBuiltIn = {
    "Export to CHM...",
    "Export database or current branch to CHM...",
    "%s - %d of %d steps",
    "Do you really want to stop exporting and compiling?",
    "Please select a directory to store the HTML file(s), image(s), attachment(s), temporary files: ",
    "&Stop",
    "&Run",
    "Prepare to export...",
    "Find %d node item(s). Now exporting, Please waiting...",
    "",
    "",
    "",
    "\r\nExport finished.",
    "\r\nCompile finished.",
    "\r\nCompiling, please waiting...",
    "User cancelled.",
    "Please select another RTF convert engine and try again.",
    "RTF2HTML engine not exists.\r\n",
    "Can't create Word object. Please make sure you had installed the MS Word 2000 or higher version.\r\n",
    "Quillbook 3.0.0\r\nExports an outliner database or branch to a compiled help file.",
    "Please input the language name",
    "No data file opened at this time.",
    "Quillbook maybe not run correctly. Unknown error: ",
    "Can't find library HHA.DLL.",
    "Start clear temporary files...",
    "Finish clearing.",
    "",
    "Some files not register correctly, did you want register it now?",
    "Error during register library, Quillbook maybe not run correctly!",
    "Process labels...",
    "Custom Labels",
    // The website's fixed words.
    "Contents",
    "Search",
    "Attachments",
    "Keywords",
    "Size",
    "Type",
    "See also",
    "Name",
    "Sub-items",
    "Skip to content",
    "Search the notes",
    "No text or attachments.",
    "%d pages found.",
    "1 page found.",
    "No page holds these words.",
    "Searching needs JavaScript. The contents and the keywords reach every page without it.",
    "Previous",
    "Next",
    "Keys",
    "Previous or next page",
    "Go to the search box",
    "Show these keys",
    "Close",
    "Page not found",
    "This page does not exist (any more).",
    "Whole book",
    "Dark or light",
    "Breadcrumb",
    "No keywords.",
    "No exported item carries this keyword.",
    "Sub-items of %s",
    "Writing the website...",
    "Website: %s",
    "The website was not written: the export was stopped.",
    // The website's names of file types.
    "PNG image",
    "JPEG image",
    "GIF image",
    "Bitmap image",
    "SVG image",
    "WebP image",
    "PDF document",
    "Text",
    "HTML page",
    "Rich text",
    "Word document",
    "Text document",
    "Spreadsheet",
    "CSV table",
    "ZIP archive",
    "XML document",
    "JSON data",
    "Audio",
    "Video",
    "%s file",
    "File",
};

std::array<std::string, kMessageCount>& Table() {
    static std::array<std::string, kMessageCount> table = kBuiltIn;
    return table;
}

}  // namespace

const std::string& Msg(int id) {
    static const std::string empty;
    if (id < 0 || id >= kMessageCount) return empty;
    return Table()[static_cast<std::size_t>(id)];
}

void SetMsg(int id, const std::string& text) {
    if (id < 0 || id >= kMessageCount) return;
    Table()[static_cast<std::size_t>(id)] = text;
}

void ResetMessageTable() { Table() = kBuiltIn; }

const std::string& BuiltInMsg(int id) {
    static const std::string empty;
    if (id < 0 || id >= kMessageCount) return empty;
    return kBuiltIn[static_cast<std::size_t>(id)];
}

}  // namespace qb
