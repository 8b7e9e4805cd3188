#pragma once
// What the tree walk tells a listener about the pages it writes. Paths of
// files are links from the output folder's root ("/9/C.html"); storage paths
// end with "\".
#include <string>
#include <vector>

namespace qb::fs {
class FileSystem;
}

namespace qb::site {

struct TLabel {
    std::string name;
    std::vector<std::string> items;  // storage paths
};

// The site's fixed words, in the reader's language.
struct TSiteWords {
    std::string contents = "Contents", search = "Search", attachments = "Attachments", keywords = "Keywords",
                size = "Size", type = "Type", seeAlso = "See also", name = "Name", subItems = "Sub-items",
                skip = "Skip to content", searchLabel = "Search the notes", noText = "No text or attachments.",
                found = "%d pages found.", foundOne = "1 page found.", foundNone = "No page holds these words.",
                needsScript = "Searching needs JavaScript. The contents and the keywords reach every page without it.",
                previous = "Previous", next = "Next", keys = "Keys", keyArrows = "Previous or next page",
                keySearch = "Go to the search box", keyHelp = "Show these keys", keyClose = "Close", notFound = "Page not found",
                notFoundText = "This page does not exist (any more).", print = "Whole book", theme = "Dark or light",
                breadcrumb = "Breadcrumb", noKeywords = "No keywords.",
                noItems = "No exported item carries this keyword.", subItemsOf = "Sub-items of %s";
    // Kinds of attachments by extension (see FileType), then "%s file" for
    // another extension and "File" for none.
    std::vector<std::string> fileTypes = {
        "PNG image",   "JPEG image", "GIF image",   "Bitmap image", "SVG image",     "WebP image", "PDF document",
        "Text",        "HTML page",  "Rich text",   "Word document", "Text document", "Spreadsheet", "CSV table",
        "ZIP archive", "XML document", "JSON data", "Audio",        "Video",         "%s file",    "File"};
};

struct TRunStart {
    std::string outputRoot;  // native output folder
    fs::FileSystem* files = nullptr;  // the run's files; null: those of the current directory
    std::string title;  // empty: the caption of the first contents entry
    bool topNodeNotFolder = true;
    std::string language;       // BCP 47 tag of the notes, "en" when empty
    std::string labelsCaption;  // heading of the label section
    std::vector<TLabel> labels;
    TSiteWords words;
};

struct TItemWritten {
    std::string path;
    std::string page;  // "/9/C.html"
    bool hasNote = false;
    bool inContents = false;               // the help file's contents name the item
    std::vector<std::string> attachments;  // "/9/a.png"
    std::vector<std::string> attachmentNames;  // as the user named them; empty: the file names
    std::vector<std::string> seeAlso;      // storage paths of linked items
};

class IWalkObserver {
public:
    virtual ~IWalkObserver() = default;
    virtual void RunStarted(const TRunStart& run) = 0;
    // Before the item's sub-items, in walk order.
    virtual void ItemEntered(const std::string& path, const std::string& caption, int level) = 0;
    // After the item's page is finished; items the walk stopped at never get here.
    virtual void ItemWritten(const TItemWritten& item) = 0;
    // After the walk, while the output folder still holds every page.
    virtual void RunFinished() = 0;
};

}  // namespace qb::site
