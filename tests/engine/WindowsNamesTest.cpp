// Exports whose folder, captions and attachment names only Windows treats
// specially: the pages and the help file travel there.
#include <filesystem>
#include <set>

#include "tests/engine/EngineFixture.h"

using namespace qbtest;

namespace {

namespace sfs = std::filesystem;

const std::string kRoot = "\\Organizer\\data\\";

// Every file below folder by its relative UTF-8 name.
std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : sfs::recursive_directory_iterator(qb::FsPath(folder)))
        if (e.is_regular_file()) names.insert(qb::Utf8Of(sfs::relative(e.path(), qb::FsPath(folder)).generic_u8string()));
    return names;
}

}  // namespace

TEST(WindowsNames, GermanAndChineseCaptionsIntoANonAsciiFolderWithReservedNames) {
    TempDir base;
    const std::string out = base.path() + "Ausgabe Öl 饺子/";
    sfs::create_directories(qb::FsPath(out));
    FakeStorage store;
    const std::string top = store.AddItem(kRoot, "1", "Öffnungszeiten");
    store.AddNote(top, "Montag bis Freitag");
    store.AddNote(store.AddItem(top, "2", "饺子"), "Rezept");
    const std::string device = store.AddItem(top, "3", "CON");
    store.AddNote(device, "a device name");
    store.AddFile(device, "nul.txt", "attachment");
    store.AddFile(device, "Notes.", "dotted");
    qb::TConvertOptions o;
    o.DatabaseHandle = 1;
    o.StartPath = top;
    o.RootPath = out;
    o.ChmFileName = out + "Hilfe.chm";
    o.ConvertMethod = 2;
    o.RemoveTempFiles = false;
    NoCompiler compiler;
    Recorder recorder;
    qb::TRun run(o, store, compiler, &Recorder::Callback, &recorder);
    run.Execute();
    EXPECT_EQ("", run.WalkError());

    const std::set<std::string> names = Names(out);
    auto find = [&](const std::string& leaf) {
        for (const std::string& n : names)
            if (n == leaf || (n.size() > leaf.size() && n.compare(n.size() - leaf.size() - 1, std::string::npos, "/" + leaf) == 0))
                return n;
        return std::string();
    };
    std::string all;
    for (const auto& n : names) all += n + "\n";
    const std::string german = find("Offnungszeiten.html"), chinese = find("jiao_zi.html");
    ASSERT_FALSE(german.empty()) << all;
    ASSERT_FALSE(chinese.empty()) << all;
    EXPECT_NE(std::string::npos, ReadFile(out + german).find("Öffnungszeiten")) << ReadFile(out + german);
    EXPECT_NE(std::string::npos, ReadFile(out + chinese).find("饺子"));
    // No file or folder takes a name Windows reserves or cannot end with.
    EXPECT_FALSE(find("_CON.html").empty()) << all;
    const std::string attachment = find("_nul.txt");
    ASSERT_FALSE(attachment.empty()) << all;
    EXPECT_EQ("attachment", ReadFile(out + attachment));
    EXPECT_FALSE(find("Notes_").empty()) << all;
    for (const std::string& n : names) {
        for (std::size_t start = 0; start <= n.size();) {
            const std::size_t slash = std::min(n.find('/', start), n.size());
            const std::string part = n.substr(start, slash - start);
            EXPECT_FALSE(qb::IsReservedDeviceName(part)) << n;
            EXPECT_TRUE(part.empty() || (part.back() != '.' && part.back() != ' ')) << n;
            start = slash + 1;
        }
    }
}
