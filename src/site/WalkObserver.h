#pragma once
// What the tree walk tells a listener about the pages it writes. Paths of
// files are links from the output folder's root ("/9/C.html"); storage paths
// end with "\".
#include <string>
#include <vector>

namespace qb::site {

struct TLabel {
    std::string name;
    std::vector<std::string> items;  // storage paths
};

struct TRunStart {
    std::string outputRoot;  // native output folder
    std::string title;
    bool topNodeNotFolder = true;
    std::string language;       // BCP 47 tag of the notes, "en" when empty
    std::string labelsCaption;  // heading of the label section
    std::vector<TLabel> labels;
};

struct TItemWritten {
    std::string path;
    std::string page;  // "/9/C.html"
    bool hasNote = false;
    bool inContents = false;               // the help file's contents name the item
    std::vector<std::string> attachments;  // "/9/a.png"
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
