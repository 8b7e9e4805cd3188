#pragma once
// Writes a static website from what the walk reports: one page per exported
// item, index, keywords and search pages, a style sheet and a search index.
// Every link is relative, so the site reads the same from disk, from a
// server's root and from a sub-path.
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "site/WalkObserver.h"

namespace qb::site {

class TSiteWriter : public IWalkObserver {
public:
    // siteFolder: native folder the site goes to (made when missing).
    explicit TSiteWriter(std::string siteFolder);

    void RunStarted(const TRunStart& run) override;
    void ItemEntered(const std::string& path, const std::string& caption, int level) override;
    void ItemWritten(const TItemWritten& item) override;
    // Writes the site; raises std::exception when a file cannot be written.
    void RunFinished() override;

    // Contents trees of more entries than this show, on each page, only the
    // branches that lead to it; the index page always shows them all.
    static constexpr std::size_t kFullTreeLimit = 400;

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
        bool onPath = false;        // scratch: ancestor of the page being written
    };

    void BuildTree();
    std::string PageHead(const std::string& from, const std::string& title) const;
    std::string PageTop(const std::string& from, int current) const;
    std::string TreeHtml(const std::string& from, int current, bool full) const;
    void TreeNodes(std::string& out, const std::vector<int>& ids, const std::string& from, int current, bool full,
                   int depth, const std::vector<int>& path) const;
    std::string Breadcrumb(const std::string& from, int node) const;
    std::string AttachmentsHtml(const std::string& from, const Node& n);
    std::string ItemPage(int id, std::string& text);
    std::string IndexPage() const;
    std::string KeywordsPage() const;
    std::string SearchPage() const;
    std::optional<std::string> Resolve(const std::string& target);
    void Write(const std::string& sitePath, const std::string& bytes) const;
    void CopyAssets() const;

    std::string folder_;
    TRunStart run_;
    std::vector<Node> nodes_;
    std::vector<int> stack_;                    // walk ancestors of the next entered item
    std::map<std::string, int> byPath_;         // lower-case storage path -> node
    std::map<std::string, std::string> pages_;  // lower-case output link -> site path
    std::set<std::string> sitePaths_;           // lower-case site paths given out
    std::set<std::string> copies_;              // output files the site carries ("9/a.png")
    std::vector<int> top_;                      // top-level contents entries
    std::vector<std::vector<int>> labelItems_;  // per label, its exported items
    std::size_t treeSize_ = 0;
};

}  // namespace qb::site
