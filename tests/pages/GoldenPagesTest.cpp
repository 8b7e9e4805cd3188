// Generated pages and contents of a small database for every combination of
// the options that change links, compared with golden files.
#include <algorithm>

#include "tests/engine/EngineFixture.h"
#include "tests/pages/LinkCheck.h"

using namespace qbtest;

namespace {

const std::string kRoot = "\\Organizer\\data\\";

// Library > Trip's notes (note, map.png) > Rome, Same, Same, Paris & more > Louvre; Library > Other.
void FillLibrary(FakeStorage& store) {
    const std::string lib = store.AddItem(kRoot, "1", "Library");
    store.AddNote(lib, "Library text");
    const std::string trips = store.AddItem(lib, "2", "Trip's notes");
    store.AddNote(trips, "Trips text");
    store.AddFile(trips, "map.png", "PNG");
    const std::string rome = store.AddItem(trips, "3", "Rome");
    store.AddNote(rome, "Rome text");
    const std::string same1 = store.AddItem(trips, "4", "Same");
    store.AddNote(same1, "first same");
    store.AddItem(trips, "5", "Same");
    const std::string paris = store.AddItem(trips, "6", "Paris & more");
    const std::string louvre = store.AddItem(paris, "7", "Louvre");
    store.AddNote(louvre, "Louvre text");
    const std::string other = store.AddItem(lib, "8", "Other");
    store.AddNote(other, "Other text");
    store.AddFile(kRoot, "__folder_linktable.txt",
                  "\\Organizer\\data\\1\\2\\3\\<::>\\Organizer\\data\\1\\8\\\r\n"
                  "\\Organizer\\data\\1\\2\\6\\7\\<::>\\Organizer\\data\\1\\2\\4\\\r\n");
    store.AddFile(kRoot, "__custom_labels.txt",
                  "::Label::\t1\t#C00000\tFavourites\r\n"
                  "\\Organizer\\data\\1\\2\\3\\\r\n"
                  "\\Organizer\\data\\1\\2\\6\r\n"
                  "\\Organizer\\data\\1\\2\\5\\\r\n"
                  "\r\n");
}

// Every generated page, menu data file and the contents, in path order, output folder masked.
std::string Snapshot(const std::string& root) {
    qb::TStringList files;
    qb::FindFiles(files, root, "*.html", true);
    qb::FindFiles(files, root, "*.hhc", true);
    qb::FindFiles(files, root, "*.xml", true);
    qb::FindFiles(files, root, "*.js", true);
    std::vector<std::string> sorted;
    // The menu script is the resource itself; the other scripts are menu data.
    for (const auto& f : files)
        if (qb::ExtractFileName(f) != "_quillbook.js") sorted.push_back(f);
    std::sort(sorted.begin(), sorted.end());
    std::string text;
    for (const auto& f : sorted) {
        text += "=== " + f.substr(root.size()) + " ===\n";
        text += qb::ReplaceAll(ReadFile(f), root, "<OUT>/") + "\n";
    }
    return text;
}

struct Combination {
    bool keepFolderTree, readableNames, wholeDatabase, rollover;
    std::string Name() const {
        return std::string(keepFolderTree ? "tree" : "flat") + (readableNames ? "_readable" : "_storage") +
               (wholeDatabase ? "_whole" : "_branch") + (rollover ? "_menus" : "_bar");
    }
};

class GoldenPages : public EngineTest, public ::testing::WithParamInterface<Combination> {};

}  // namespace

TEST_P(GoldenPages, MatchGoldenAndEveryLinkResolves) {
    const Combination c = GetParam();
    FillLibrary(store);
    options.KeepFolderTree = c.keepFolderTree;
    options.ReadableFolderNames = c.readableNames;
    options.WholeDatabase = c.wholeDatabase;
    options.RolloverMenus = c.rollover;
    options.DatabaseFileName = "library.kvd";
    options.StartPath = c.wholeDatabase ? kRoot : "\\Organizer\\data\\1\\2\\";
    Run();
    ASSERT_EQ("", walkError);
    std::string dead;
    for (const auto& d : DeadLinks(out.path())) dead += d + "\n";
    EXPECT_EQ("", dead);
    EXPECT_GOLDEN("pages/" + c.Name() + ".txt", Snapshot(out.path()));
}

namespace {
std::vector<Combination> AllCombinations() {
    std::vector<Combination> all;
    for (int i = 0; i < 16; ++i) all.push_back({(i & 8) != 0, (i & 4) != 0, (i & 2) != 0, (i & 1) != 0});
    return all;
}
}  // namespace

INSTANTIATE_TEST_SUITE_P(AllLinkOptions, GoldenPages, ::testing::ValuesIn(AllCombinations()),
                         [](const ::testing::TestParamInfo<Combination>& i) { return i.param.Name(); });
