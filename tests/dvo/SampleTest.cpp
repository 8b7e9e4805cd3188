// The bundled sample database must import and be self-consistent: the engine's
// end-to-end tests and the documentation rely on its labels, links and files.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "dvo/dvo.h"
#include "support/Os.h"
#include "tests/dvo/DvoTestUtil.h"
#include "tests/support/TestSupport.h"

using namespace dvotest;
using qbtest::TempDir;
namespace fs = std::filesystem;

namespace {

const std::string kSample = std::string(QB_SOURCE_DIR) + "/examples/sample";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

struct ItemInfo {
    std::string path;
    int level;
    std::vector<Entry> entries;
};

class SampleTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Read whole under wine64 in a UTF-8 locale by WindowsExport.SampleUnderWine64MatchesTheLinuxBuild.
        std::string ignored;
        for (const char* name : {"饺子", "Öffnungszeiten"})
            if (!qb::os::ToCodePageExactly(name, qb::os::AnsiCodePage(), ignored))
                GTEST_SKIP() << "this system's ANSI code page " << qb::os::AnsiCodePage() << " cannot hold the sample's \""
                             << name << "\": the storage library refuses to list it";
        MustImport(kSample, dbFile);
        handle = dvo_open(dbFile.c_str());
        ASSERT_GT(handle, 0);
        std::vector<std::pair<std::string, int>> todo = {{kRoot, 0}};
        while (!todo.empty()) {
            auto [path, level] = todo.back();
            todo.pop_back();
            items.push_back({path, level, Enumerate(handle, path)});
            for (const Entry& e : items.back().entries)
                if (e.isFolder) todo.emplace_back(path + e.name + "\\", level + 1);
        }
    }
    void TearDown() override { dvo_close(handle); }

    TempDir tmp;
    std::string dbFile = tmp / "sample.db";
    int handle = 0;
    std::vector<ItemInfo> items;  // the root first
};

}  // namespace

TEST_F(SampleTest, IsARealisticNotebook) {
    const int itemCount = static_cast<int>(items.size()) - 1;
    EXPECT_GE(itemCount, 40);
    EXPECT_EQ(itemCount, dvo_folder_subfoldercount(dvo_get_folder(handle, kRoot.c_str(), 0), 1));

    int deepest = 0, withNote = 0, withoutNote = 0, onlySubItems = 0, sameCaptionPairs = 0;
    std::set<std::string> extensions;
    for (const ItemInfo& item : items) {
        if (item.path == kRoot) continue;
        deepest = std::max(deepest, item.level);
        bool note = false, files = false, subs = false;
        std::map<std::string, int> captions;
        for (const Entry& e : item.entries) {
            if (e.isFolder) {
                subs = true;
                if (++captions[e.caption] == 2) ++sameCaptionPairs;
            } else if (e.name == "_~_~_notes.rtf") {
                note = true;
                EXPECT_EQ("{\\rtf1", Exported(handle, item.path + e.name, tmp).substr(0, 6)) << item.path;
            } else {
                files = true;
                extensions.insert(fs::path(e.name).extension().string());
            }
        }
        note ? ++withNote : ++withoutNote;
        if (subs && !note && !files) ++onlySubItems;
    }
    EXPECT_GE(deepest, 4);
    EXPECT_GE(withNote, 30);
    EXPECT_GE(withoutNote, 3);
    EXPECT_GE(onlySubItems, 1);
    EXPECT_GE(sameCaptionPairs, 1);
    for (const char* ext : {".png", ".jpg", ".gif", ".pdf", ".html", ".txt"}) EXPECT_TRUE(extensions.count(ext)) << ext;
}

TEST_F(SampleTest, LabelsAndLinksNameStoredItems) {
    const auto labels = Lines(Exported(handle, kRoot + "__custom_labels.txt", tmp));
    int headers = 0, members = 0;
    bool open = false;
    for (const std::string& line : labels) {
        if (line.find("::Label::") != std::string::npos) {
            ++headers;
            std::vector<std::string> fields;
            std::istringstream in(line);
            for (std::string f; std::getline(in, f, '\t');) fields.push_back(f);
            ASSERT_GE(fields.size(), 4u) << line;
            EXPECT_FALSE(fields[3].empty());
            open = true;
        } else if (line.empty()) {
            open = false;
        } else {
            EXPECT_TRUE(open) << "item line outside a label section: " << line;
            EXPECT_EQ(1, dvo_path_exists(handle, line.c_str())) << line;
            ++members;
        }
    }
    EXPECT_EQ(2, headers);
    EXPECT_GE(members, 2);
    EXPECT_FALSE(open) << "the last section is closed by a blank line";

    const auto links = Lines(Exported(handle, kRoot + "__folder_linktable.txt", tmp));
    ASSERT_EQ(3u, links.size());
    for (const std::string& line : links) {
        const size_t sep = line.find("<::>");
        ASSERT_NE(std::string::npos, sep) << line;
        EXPECT_EQ(1, dvo_path_exists(handle, line.substr(0, sep).c_str())) << line;
        EXPECT_EQ(1, dvo_path_exists(handle, line.substr(sep + 4).c_str())) << line;
    }
}

TEST_F(SampleTest, HtmlAttachmentTravelsWithTheImagesItShows) {
    int pages = 0;
    for (const ItemInfo& item : items)
        for (const Entry& e : item.entries) {
            if (e.isFolder || fs::path(e.name).extension() != ".html") continue;
            ++pages;
            const std::string html = Exported(handle, item.path + e.name, tmp);
            int images = 0;
            for (size_t at = html.find("<img"); at != std::string::npos; at = html.find("<img", at + 1)) {
                const size_t src = html.find("src=\"", at);
                ASSERT_NE(std::string::npos, src);
                const size_t end = html.find('"', src + 5);
                const std::string name = html.substr(src + 5, end - src - 5);
                EXPECT_EQ(1, dvo_path_exists(handle, (item.path + name).c_str())) << name;
                ++images;
            }
            EXPECT_GE(images, 2);
            EXPECT_FALSE(dvo_path_exists(handle, (item.path + "_~_~_notes.rtf").c_str()));
        }
    EXPECT_EQ(1, pages);
}

TEST_F(SampleTest, StaysSmall) {
    uintmax_t bytes = 0;
    for (const auto& e : fs::recursive_directory_iterator(kSample))
        if (e.is_regular_file()) bytes += e.file_size();
    EXPECT_LT(bytes, 5u * 1024 * 1024);
}
