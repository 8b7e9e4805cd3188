// What a run may touch in its output folder: never a file through a link,
// never a user's file, and leftovers of a stopped run are taken back.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "tests/engine/EngineFixture.h"
#include "tests/support/TestOs.h"

using namespace qbtest;
namespace sfs = std::filesystem;

namespace {

constexpr const char* kRoot = "\\Organizer\\data\\";

bool IsLink(const std::string& p) { return sfs::is_symlink(sfs::symlink_status(p)); }

// Names of the files below folder, recursively, links included.
std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = sfs::recursive_directory_iterator(folder, ec); !ec && it != sfs::recursive_directory_iterator();
         it.increment(ec))
        names.push_back(it->path().string().substr(folder.size()));
    std::sort(names.begin(), names.end());
    return names;
}

// The [FILES] section of the saved project.
std::vector<std::string> ProjectFiles(const std::string& hhp) {
    std::vector<std::string> files;
    qb::TStringList lines;
    lines.SetText(hhp);
    bool in = false;
    for (const auto& l : lines) {
        if (!l.empty() && l[0] == '[') {
            in = l == "[FILES]";
            continue;
        }
        if (in && !l.empty()) files.push_back(l);
    }
    return files;
}

class OutputFolder : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        out2 = outer.path() + "out/";
        elsewhere = outer.path() + "elsewhere/";
        sfs::create_directories(out2);
        sfs::create_directories(elsewhere);
        options.RootPath = out2;
        options.ChmFileName = out2 + "Help.chm";
    }
    std::string In(const std::string& rel) const { return out2 + rel; }
    // "Top" with four sub-items Kid0..Kid3, each with a note; the run starts at Top.
    void StartAtTopWithFourKids() {
        const std::string top = store.AddItem(kRoot, "1", "Top");
        for (int i = 0; i < 4; ++i)
            store.AddNote(store.AddItem(top, std::to_string(i + 2), "Kid" + std::to_string(i)), "k");
        options.StartPath = top;
    }
    TempDir outer;
    std::string out2, elsewhere;
};

}  // namespace

// --- Names and links ------------------------------------------------------------

TEST_F(OutputFolder, LinksPlantedInTheFolderAreNeverFollowed) {
    if (!qbtest::HaveSymlinks()) GTEST_SKIP() << "no symbolic links on this system";
    WriteFile(elsewhere + "labels.txt", "mine");
    WriteFile(elsewhere + "pic.png", "target picture");
    WriteFile(elsewhere + "default.html", "their default");
    WriteFile(elsewhere + "secret.html", "SECRET BYTES");
    sfs::create_directories(elsewhere + "sub");
    sfs::create_symlink(elsewhere + "labels.txt", In("__custom_labels.txt"));
    sfs::create_symlink(elsewhere + "pic.png", In("pic.png"));
    sfs::create_directory_symlink(elsewhere + "sub", In("2"));
    sfs::create_symlink(elsewhere + "default.html", In("_quillbook_default.html"));
    sfs::create_symlink(elsewhere + "created.rtf", In("Top.rtf"));  // dangling
    sfs::create_symlink(elsewhere + "secret.html", In("Leaf.html"));
    const auto before = Listing(elsewhere);

    store.AddFile(kRoot, "__custom_labels.txt", "::Label::\t1\t#0\tRed\r\n");
    const std::string top = store.AddItem(kRoot, "1", "Top");
    store.AddNote(top, "top text");
    store.AddFile(top, "pic.png", "attachment picture");
    const std::string sub = store.AddItem(top, "2", "Sub");
    store.AddNote(sub, "sub text");
    store.AddNote(store.AddItem(sub, "3", "Deep"), "deep text");
    store.AddNote(store.AddItem(top, "4", "Leaf"), "leaf text");
    WriteFile(outer.path() + "home.html", "home page");
    options.DefaultPage = outer.path() + "home.html";
    options.StartPath = top;
    Run();

    EXPECT_EQ("", walkError);
    EXPECT_EQ(before, Listing(elsewhere));
    EXPECT_EQ("mine", ReadFile(elsewhere + "labels.txt"));
    EXPECT_EQ("target picture", ReadFile(elsewhere + "pic.png"));
    EXPECT_EQ("their default", ReadFile(elsewhere + "default.html"));
    EXPECT_EQ("SECRET BYTES", ReadFile(elsewhere + "secret.html"));
    EXPECT_FALSE(sfs::exists(elsewhere + "created.rtf"));

    // The linked folder became a real one holding the item's pages.
    EXPECT_FALSE(IsLink(In("2")));
    EXPECT_NE(std::string::npos, ReadFile(In("2/Deep.html")).find("deep text"));
    // A link named like a page is no earlier page: the page is written in its place.
    EXPECT_FALSE(IsLink(In("Leaf.html")));
    EXPECT_NE(std::string::npos, ReadFile(In("Leaf.html")).find("leaf text"));
    EXPECT_FALSE(IsLink(In("_quillbook_default.html")));
    EXPECT_EQ("home page", ReadFile(In("_quillbook_default.html")));
    // The attachment did not write through the link of its name.
    bool found = false;
    for (const auto& f : Listing(out2))
        if (f.find("pic.png") != std::string::npos && !IsLink(In(f)) && ReadFile(In(f)) == "attachment picture")
            found = true;
    EXPECT_TRUE(found);
}

TEST_F(OutputFolder, TheUsersFilesAreNeverReplacedOrDeleted) {
    WriteFile(In("B.rtf"), "user rtf");
    WriteFile(In("pic.png"), "user picture");
    WriteFile(In("__custom_labels.txt"), "user labels");
    store.AddFile(kRoot, "__custom_labels.txt", "::Label::\t1\t#0\tRed\r\n");
    const std::string top = store.AddItem(kRoot, "1", "Top");
    store.AddNote(top, "top text");
    store.AddFile(top, "pic.png", "attached picture");
    for (const char* name : {"filelist.xsl", "_quillbook.js", "_jump2_.htm", "Help.hhp", "help.HHC", "Top.xml"})
        store.AddFile(top, name, std::string("attached ") + name);
    store.AddNote(store.AddItem(top, "2", "B"), "b text");
    options.StartPath = top;
    options.Overwrite = true;
    Run();

    EXPECT_EQ("user rtf", ReadFile(In("B.rtf")));
    EXPECT_NE(std::string::npos, ReadFile(In("B.html")).find("b text"));
    EXPECT_EQ("user picture", ReadFile(In("pic.png")));
    EXPECT_EQ("user labels", ReadFile(In("__custom_labels.txt")));
    // Generated files keep their content; every attachment is kept under a numbered name.
    EXPECT_NE(std::string::npos, ReadFile(In("filelist.xsl")).find("xsl:"));
    EXPECT_NE(std::string::npos, ReadFile(In("_jump2_.htm")).find("refresh"));
    EXPECT_NE(std::string::npos, ReadFile(In("Help.hhp")).find("[FILES]"));
    EXPECT_NE(std::string::npos, ReadFile(In("Help.hhc")).find("text/sitemap"));
    EXPECT_EQ(std::string::npos, ReadFile(In("_quillbook.js")).find("attached"));
    EXPECT_EQ(std::string::npos, ReadFile(In("Top.xml")).find("attached"));
    int attached = 0;
    for (const auto& f : Listing(out2))
        if (ReadFile(In(f)).rfind("attached ", 0) == 0 || ReadFile(In(f)) == "attached picture") ++attached;
    EXPECT_EQ(7, attached);
}

TEST_F(OutputFolder, AUsersFileAtAFixedNameStopsTheRunBeforeAnythingIsWritten) {
    const std::string top = store.AddItem(kRoot, "1", "Top");
    store.AddNote(top, "top text");
    options.StartPath = top;
    options.MakeIndex = true;
    for (const char* name : {"filelist.xsl", "_quillbook.js", "Help.hhp", "Help.hhk"}) {
        sfs::remove_all(out2);
        sfs::create_directories(out2);
        WriteFile(In(name), "the user's own");
        try {
            Run();
            ADD_FAILURE() << name << " was replaced";
        } catch (const std::exception& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find(name)) << e.what();
        }
        EXPECT_EQ("the user's own", ReadFile(In(name)));
        EXPECT_FALSE(sfs::exists(In("Top.html"))) << name;
    }
    // Files a run wrote before, even one that kept no record, are taken as ours.
    sfs::remove_all(out2);
    sfs::create_directories(out2);
    Run();
    sfs::remove(In(".quillbook-run"));
    Run();
    EXPECT_NE(std::string::npos, ReadFile(In("Top.html")).find("top text"));
}

TEST_F(OutputFolder, AUsersFileNamedLikeAPageKeepsItsBytesWhateverOverwriteSays) {
    const std::string top = store.AddItem(kRoot, "1", "Top");
    store.AddNote(top, "top text");
    store.AddNote(store.AddItem(top, "2", "B"), "b text");
    options.StartPath = top;
    Run();  // the folder now has a record of its pages
    ASSERT_NE(std::string::npos, ReadFile(In("B.html")).find("b text"));
    store.AddNote(store.AddItem(top, "3", "C"), "c text");
    for (bool overwrite : {true, false}) {
        WriteFile(In("C.html"), "the user's page");
        options.Overwrite = overwrite;
        Run();
        EXPECT_EQ("the user's page", ReadFile(In("C.html"))) << overwrite;
        // The item's page took a numbered name, and the parent's menu links to it.
        std::string cPage;
        for (const auto& f : Listing(out2))
            if (f.rfind("C_", 0) == 0 && f.size() > 5 && f.compare(f.size() - 5, 5, ".html") == 0) cPage = f;
        ASSERT_FALSE(cPage.empty()) << overwrite;
        EXPECT_NE(std::string::npos, ReadFile(In(cPage)).find("c text"));
        EXPECT_NE(std::string::npos, ReadFile(In("Top.js")).find(cPage));
        // Our own earlier page is still rewritten in place.
        EXPECT_NE(std::string::npos, ReadFile(In("B.html")).find("b text"));
        sfs::remove(In(cPage));
    }
}

TEST_F(OutputFolder, MenuDataNeverTakesAUsersFileNorAnAttachmentTakesIt) {
    const std::string top = store.AddItem(kRoot, "1", "Top");
    store.AddNote(top, "top text");
    const std::string mid = store.AddItem(top, "2", "Mid");
    store.AddFile(mid, "Mid.js", "attached script");
    store.AddNote(store.AddItem(mid, "3", "Leaf"), "leaf text");
    options.StartPath = top;
    WriteFile(In("Top.js"), "the user's script");
    Run();

    EXPECT_EQ("the user's script", ReadFile(In("Top.js")));
    std::string topPage;
    for (const auto& f : Listing(out2))
        if (f.rfind("Top_", 0) == 0 && f.size() > 5 && f.compare(f.size() - 5, 5, ".html") == 0) topPage = f;
    ASSERT_FALSE(topPage.empty());
    const std::string topData = ReadFile(In(qb::ChangeFileExt(topPage, ".js")));
    EXPECT_EQ(0u, topData.find("var menu0=new Array()")) << topData;
    EXPECT_NE(std::string::npos, ReadFile(In(topPage)).find(qb::ChangeFileExt(topPage, ".js") + "\"></script>"));
    // Mid's data file is the run's; its attachment of that name was numbered.
    EXPECT_EQ(0u, ReadFile(In("2/Mid.js")).find("var menu1=new Array()"));
    int attached = 0;
    for (const auto& f : Listing(out2))
        if (ReadFile(In(f)) == "attached script") ++attached;
    EXPECT_EQ(1, attached);
    EXPECT_NE(std::string::npos, ReadFile(In("2/Leaf.html")).find("src=\"/2/Mid.js\""));
}

TEST_F(OutputFolder, NamesDifferingOnlyInCaseTakeNumberedNames) {
    const std::string top = store.AddItem(kRoot, "1", "Top");
    store.AddNote(top, "top text");
    store.AddFile(store.AddItem(top, "2", "X"), "ZQXsame.TXT", "upper");
    store.AddFile(store.AddItem(top, "3", "Y"), "zqxsame.txt", "lower");
    store.AddFile(store.AddItem(top, "4", "Z"), "TOP.HTML", "not the page");
    options.StartPath = top;
    Run();

    const auto files = ProjectFiles(ReadFile(In("Help.hhp")));
    std::vector<std::string> lower;
    for (const auto& f : files) lower.push_back(qb::LowerAscii(f));
    std::sort(lower.begin(), lower.end());
    EXPECT_EQ(lower.end(), std::adjacent_find(lower.begin(), lower.end()))
        << *std::adjacent_find(lower.begin(), lower.end());
    EXPECT_EQ("upper", ReadFile(In("ZQXsame.TXT")));
    if (!qbtest::OnWindows()) EXPECT_FALSE(sfs::exists(In("zqxsame.txt")));  // one name there, whatever the case
    EXPECT_EQ("lower", ReadFile(In("_Y_0_zqxsame.txt")));
    EXPECT_NE(std::string::npos, ReadFile(In("Top.html")).find("top text"));
}

// --- Interrupted runs --------------------------------------------------------------

TEST_F(OutputFolder, AStoppedRunsPagesAreTakenBackByTheNextRun) {
    StartAtTopWithFourKids();
    options.NavLinks = false;
    recorder.stopAtItemLine = 3;
    Run();
    // Top's empty-item page lists only the children reached before the stop.
    EXPECT_EQ(std::string::npos, ReadFile(In("Top.html")).find("Kid3"));
    EXPECT_NE(std::string::npos, ReadFile(In(".quillbook-run")).find("state=running"));

    recorder = Recorder();
    WritingCompiler writing;
    writing.chm = options.ChmFileName;
    useCompiler = &writing;
    options.RemoveTempFiles = true;
    Run();
    useCompiler = &compiler;
    bool said = false;
    for (const auto& l : recorder.Lines())
        if (l.find("did not finish") != std::string::npos) said = true;
    EXPECT_TRUE(said);
    EXPECT_NE(std::string::npos, ReadFile(In(".quillbook-run")).find("state=finished"));
    // The clean-up removed the stopped run's files too: only the help file is left.
    std::vector<std::string> left;
    for (const auto& f : Listing(out2))
        if (f[0] != '.') left.push_back(f);
    EXPECT_EQ(std::vector<std::string>{"Help.chm"}, left);

    // A page kept from a finished run stays, as Overwrite off says.
    options.RemoveTempFiles = false;
    Run();
    WriteFile(In("Top.html"), "<html><body>edited by hand</body></html>");
    recorder = Recorder();
    Run();
    EXPECT_NE(std::string::npos, ReadFile(In("Top.html")).find("edited by hand"));
    for (const auto& l : recorder.Lines()) EXPECT_EQ(std::string::npos, l.find("did not finish")) << l;
}

namespace {

// A compiler that reads the pages a run keeps in memory; it notes where it found each listed page.
class KeptReadingCompiler : public qb::IHelpCompiler {
public:
    std::string chm;
    bool succeed = true;
    std::vector<std::string> inMemory, onDisk;
    std::string Find() override { return "fake"; }
    bool Compile(const std::string&, const std::string&, qb::THHALog, qb::THHAContinue) override {
        ADD_FAILURE() << "called without the kept pages";
        return false;
    }
    bool ReadsKeptFiles(const std::string&) override { return true; }
    bool CompileKept(const std::string&, const std::string& hhp, qb::THHALog, qb::THHAContinue,
                     qb::fs::FileSystem& files) override {
        const std::string folder = hhp.substr(0, hhp.rfind('/') + 1);
        const std::string project = ReadFile(hhp);
        std::vector<std::string> names = ProjectFiles(project);
        const std::size_t topic = project.find("Default topic=");
        if (topic != std::string::npos)
            names.push_back(project.substr(topic + 14, project.find_first_of("\r\n", topic) - topic - 14));
        for (std::string f : names) {
            std::replace(f.begin(), f.end(), '\\', '/');
            if (f.rfind("./", 0) == 0) f = f.substr(2);
            const qb::fs::HeldFile* held = files.FindHeld(folder + f);
            const bool kept = held && held->HasBytes();
            (kept ? inMemory : onDisk).push_back(f);
            if (kept) EXPECT_FALSE(sfs::exists(folder + f)) << f << " is also on disk";
        }
        if (succeed) WriteFile(chm, "ITSF");
        return succeed;
    }
};

}  // namespace

TEST_F(OutputFolder, PagesKeptForTheCompilerReachTheDiskOnlyWhenTheCompileFails) {
    StartAtTopWithFourKids();
    options.RemoveTempFiles = true;
    KeptReadingCompiler kept;
    kept.chm = options.ChmFileName;
    useCompiler = &kept;
    Run();
    std::sort(kept.inMemory.begin(), kept.inMemory.end());
    // The pages and the menu data of a page with sub-items.
    EXPECT_EQ((std::vector<std::string>{"Kid0.html", "Kid1.html", "Kid2.html", "Kid3.html", "Top.html", "Top.js"}),
              kept.inMemory);
    for (const auto& f : kept.onDisk) EXPECT_EQ(std::string::npos, f.find("Top")) << f;
    std::vector<std::string> left;
    for (const auto& f : Listing(out2))
        if (f[0] != '.') left.push_back(f);
    EXPECT_EQ(std::vector<std::string>{"Help.chm"}, left);

    // A failed compile keeps every generated file, on disk.
    KeptReadingCompiler failing;
    failing.succeed = false;
    useCompiler = &failing;
    EXPECT_THROW(Run(), qb::Error);
    useCompiler = &compiler;
    EXPECT_EQ(6u, failing.inMemory.size());
    for (const char* page : {"Top.html", "Kid0.html", "Kid3.html"})
        EXPECT_NE(std::string::npos, ReadFile(In(page)).find("<html")) << page;
}

namespace {

// Lists the temporary folder whenever a note is exported.
class PeekingStorage : public FakeStorage {
public:
    std::string tmp;
    std::vector<std::string> dests;
    std::vector<std::string> tmpSeen;
    bool ExportFile(int db, const std::string& path, const std::string& dest) override {
        const bool ok = FakeStorage::ExportFile(db, path, dest);
        dests.push_back(dest);
        for (const auto& f : Listing(tmp)) tmpSeen.push_back(f);
        return ok;
    }
};

}  // namespace

TEST(ScratchNote, TheNoteScratchFileHasNoName) {
    TempDir out, tmp;
    std::optional<ScopedEnv> tmpdir(std::in_place, "TMPDIR", tmp.path());
    PeekingStorage store;
    store.tmp = tmp.path();
    NoCompiler compiler;
    const std::string top = store.AddItem(kRoot, "1", "Top");
    store.AddNote(top, "scratch text");
    qb::TConvertOptions o;
    o.DatabaseHandle = 1;
    o.StartPath = top;
    o.RootPath = out.path();
    o.ChmFileName = out.path() + "Help.chm";
    o.ConvertMethod = 0;
    o.RemoveTempFiles = false;
    Recorder recorder;
    qb::TRun(o, store, compiler, &Recorder::Callback, &recorder).Execute();
    tmpdir.reset();

    EXPECT_NE(std::string::npos, ReadFile(out.path() + "Top.html").find("scratch text"));
    ASSERT_FALSE(store.dests.empty());
    EXPECT_TRUE(store.tmpSeen.empty()) << store.tmpSeen[0];
    EXPECT_TRUE(Listing(tmp.path()).empty());
}
