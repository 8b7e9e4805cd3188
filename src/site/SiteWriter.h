#pragma once
// Writes a static website from what the walk reports: one page per exported
// item, index, keywords, search, print and not-found pages, a style sheet, a
// script and a search index. Every link is relative, so the site reads the
// same from disk, from a server's root and from a sub-path.
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "site/WalkObserver.h"
#include "support/Os.h"

namespace qb::fs {
class OutputFolder;
class FileContext;
}

namespace qb::site {

// The record in a site folder of the files exports wrote there.
inline constexpr const char* kSiteRecordName = ".quillbook-site";

// Files of a fixed name in every site, "/"-separated below the site folder.
const std::vector<std::string>& FixedSiteFiles();

class TSiteWriter : public IWalkObserver {
public:
    // siteFolder: native folder the site goes to (made when missing).
    explicit TSiteWriter(std::string siteFolder);
    ~TSiteWriter() override;

    // Makes and opens the site folder and rewrites its record: raises qb::Error
    // when the folder cannot be written or a user's file holds a fixed name.
    void RunStarted(const TRunStart& run) override;
    void ItemEntered(const std::string& path, const std::string& caption, int level) override;
    void ItemWritten(const TItemWritten& item) override;
    // Writes the site and removes what earlier exports wrote that this one did
    // not; raises qb::Error when a file cannot be written.
    void RunFinished() override;

    // Contents trees of more entries than this show, on each page (the index
    // too), only the branches that lead to it.
    static constexpr std::size_t kFullTreeLimit = 400;
    // Characters of each page's text the search index keeps for result snippets.
    static constexpr std::size_t kSnippetChars = 400;

private:
    struct Node {
        std::string path, caption;
        int level = 0;
        int parent = -1;  // walk parent
        bool written = false;
        TItemWritten item;
        std::string site;  // "p/9/C.html"
        int treeParent = -1;
        std::vector<int> treeChildren;
        std::vector<int> children;  // written sub-items in walk order
        int prev = -1, next = -1;   // reading order: the contents order
    };

    void BuildTree();
    std::string PageHead(const std::string& from, const std::string& title, int prev, int next) const;
    std::string PageTop(const std::string& from, int current) const;
    std::string PageEnd(const std::string& from, int prev, int next) const;
    std::string TreeHtml(const std::string& from, int current, bool full) const;
    void TreeNodes(std::string& out, const std::vector<int>& ids, const std::string& from, int current, bool full,
                   int depth, const std::vector<int>& path) const;
    std::string Breadcrumb(const std::string& from, int node) const;
    // headingId and level name the section's heading: print.html holds many,
    // and loads its images at once, since a page printed shows them all.
    std::string AttachmentsHtml(const std::string& from, const Node& n, const std::string& headingId = "files-h",
                                int level = 2, bool lazyImages = true);
    std::string NoteBody(const Node& n, const std::string& from);
    std::string ItemPage(int id, std::string& text);
    std::string IndexPage() const;
    std::string KeywordsPage() const;
    std::string SearchPage() const;
    std::string NotFoundPage() const;
    std::string PrintPage();
    std::optional<std::string> Resolve(const std::string& target);
    std::string CopyName(const std::string& rel);
    bool UsersFile(const std::string& sitePath) const;
    void Record(const std::string& sitePath);
    void Write(const std::string& sitePath, const std::string& bytes);
    void CopyAssets();
    void RemoveEarlierFiles();

    std::string folder_;
    std::unique_ptr<fs::OutputFolder> dir_;
    // The site folder's files: relative names below dir_.
    std::unique_ptr<fs::FileContext> files_;
    os::Fd recordFd_ = os::kNoFd;
    std::set<std::string> earlier_;  // files the record names from earlier exports
    std::set<std::string> written_;  // files this export wrote
    TRunStart run_;
    std::vector<Node> nodes_;
    std::vector<int> stack_;                    // walk ancestors of the next entered item
    std::map<std::string, int> byPath_;         // lower-case storage path -> node
    std::map<std::string, std::string> pages_;  // lower-case output link -> site path
    std::set<std::string> sitePaths_;           // lower-case site paths given out
    std::map<std::string, std::string> copies_;  // output files the site carries ("9/a.png") -> site path
    std::vector<int> top_;                      // top-level contents entries
    std::vector<int> order_;                    // contents entries in reading order
    std::vector<std::vector<int>> labelItems_;  // per label, its exported items
    std::size_t treeSize_ = 0;
    int hiddenRoot_ = -1;  // the database root of a whole export: the index lists its sub-items
};

}  // namespace qb::site
