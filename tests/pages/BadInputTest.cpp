// Hostile captions, label names and link tables: no crash, nothing outside the
// output folder, and every link still resolves.
#include "tests/engine/EngineFixture.h"
#include "tests/pages/LinkCheck.h"

using namespace qbtest;

namespace {

const std::string kRoot = "\\Organizer\\data\\";

std::string LongUtf8(std::size_t bytes) {
    std::string s;
    while (s.size() + 3 <= bytes) s += "\xE6\xB1\x89";
    return s;
}

}  // namespace

TEST_F(EngineTest, HostileNamesInEveryFolderMode) {
    const std::vector<std::string> captions{
        "Q&A <new> \"quoted\"", "Tom's 'notes'", "a::b::c",           "tab\there", "C# 100% </script>",
        "back\\slash\\",        LongUtf8(300),   LongUtf8(300) + "x", ""};
    const std::string top = store.AddItem(kRoot, "1", "Top <&>");
    store.AddNote(top, "top");
    std::string links, labels = "::Label::\t1\t#0\tL<&>'\"::\t\r\n";
    int n = 2;
    for (const auto& c : captions) {
        // Each caption once as a leaf with a note, once as an item with a sub-item.
        const std::string leaf = store.AddItem(top, std::to_string(n++), c);
        store.AddNote(leaf, "leaf");
        store.AddFile(leaf, c.empty() ? "plain.txt" : c.substr(0, 40) + ".txt", "file");
        const std::string folder = store.AddItem(top, LongUtf8(300) + std::to_string(n++), c);
        store.AddItem(folder, std::to_string(n++), c + " child");
        links += leaf + "<::>" + folder + "\r\n";
        labels += leaf + "\r\n" + folder + "\r\n";
    }
    links += "no separator here\r\n\\Organizer\\data\\1\\2\\<::>\\..\\..\\x\\\r\n";
    labels += "\r\n::Label::\t" + LongUtf8(300) + "\r\n" + top + "\r\n\r\n::Label::\t2\t#0\t" + LongUtf8(300) + "\r\n" +
              top + "\r\n\r\n";
    store.AddFile(kRoot, "__folder_linktable.txt", links);
    store.AddFile(kRoot, "__custom_labels.txt", labels);
    options.StartPath = top;

    struct Mode {
        bool keep, readable, rollover;
    };
    for (const auto& m :
         {Mode{false, false, true}, Mode{true, false, true}, Mode{true, true, true}, Mode{true, true, false}}) {
        SCOPED_TRACE(std::to_string(m.keep) + std::to_string(m.readable) + std::to_string(m.rollover));
        TempDir outer;
        options.RootPath = outer.path() + "out/";
        options.ChmFileName = options.RootPath + "Help.chm";
        options.KeepFolderTree = m.keep;
        options.ReadableFolderNames = m.readable;
        options.RolloverMenus = m.rollover;
        Run();
        EXPECT_EQ("", walkError);
        qb::TStringList all;
        qb::FindFiles(all, outer.path(), "*.*", true);
        for (const auto& f : all) EXPECT_EQ(0u, f.rfind(options.RootPath, 0)) << f;
        qb::TStringList pages;
        qb::FindFiles(pages, options.RootPath, "*.html", true);
        EXPECT_GE(pages.Count(), 28);
        std::string dead;
        for (const auto& d : DeadLinks(options.RootPath)) dead += d + "\n";
        EXPECT_EQ("", dead);
        // A caption cannot end the menu script early.
        const std::string topPage = ReadFile(options.RootPath + qb::SafeFileName("Top <&>") + ".html") +
                                    ReadFile(options.RootPath + qb::SafeFileName("Top <&>") + ".js");
        if (m.rollover) {
            EXPECT_EQ(std::string::npos, topPage.find("</script> child"));
            EXPECT_NE(std::string::npos, topPage.find("C# 100% &lt;/script&gt;"));
        }
        EXPECT_NE(std::string::npos,
                  ReadFile(options.RootPath + qb::SafeFileName("L<&>'\"::") + ".html").find("<a href="));
    }
}
