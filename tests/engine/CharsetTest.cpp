// Pages of the plain-text engine and attachment pages: their bytes agree with
// the charset their head names, whatever the wizard's encoding.
#include <filesystem>
#include <map>

#include "tests/engine/EngineFixture.h"

using namespace qbtest;

namespace {

const std::string kRoot = "\\Organizer\\data\\";

bool IsAsciiText(const std::string& bytes) {
    for (unsigned char c : bytes)
        if (c >= 0x80) return false;
    return true;
}

struct CharsetRun {
    TempDir dir;
    std::map<std::string, std::string> pages;  // .html and .js files by name

    CharsetRun(const std::string& encoding, bool rollover) {
        FakeStorage s;
        const std::string top = s.AddItem(kRoot, "1", "B\xC3\xBCro Hamburg");
        s.AddNote(top, "B\\'fcro Hamburg, Elbstra\\'dfe 5");
        const std::string files = s.AddItem(top, "2", "Anh\xC3\xA4nge");
        s.AddFile(files, "Plan.pdf", "%PDF");
        s.AddNote(s.AddItem(top, "3", "K\xC3\xBC" "che"), "Kaffee");
        qb::TConvertOptions o;
        o.DatabaseHandle = 1;
        o.StartPath = kRoot + "1\\";
        o.RootPath = dir.path();
        o.ChmFileName = dir.path() + "b.chm";
        o.ConvertMethod = 2;
        o.RemoveTempFiles = false;
        o.Encoding = encoding;
        o.Header = "<p>Kopf \xC3\xA4</p>";
        o.RolloverMenus = rollover;
        NoCompiler compiler;
        Recorder recorder;
        qb::TRun run(o, s, compiler, &Recorder::Callback, &recorder);
        run.Execute();
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
            const std::string name = std::filesystem::relative(e.path(), dir.path()).string();
            const bool html = name.size() > 5 && name.compare(name.size() - 5, 5, ".html") == 0;
            const bool js = name.size() > 3 && name.compare(name.size() - 3, 3, ".js") == 0;
            if (html || js) pages[name] = ReadFile(dir.path() + name);
        }
    }
};

}  // namespace

TEST(PageCharset, PagesOfOtherCharsetsAreAsciiWithReferences) {
    for (const char* encoding : {"GB2312", "BIG5", ""}) {
        for (bool rollover : {true, false}) {
            SCOPED_TRACE(std::string("encoding '") + encoding + "', rollover " + (rollover ? "on" : "off"));
            CharsetRun run(encoding, rollover);
            int declared = 0;
            bool noteText = false, attachmentPage = false;
            for (const auto& [name, bytes] : run.pages) {
                EXPECT_TRUE(IsAsciiText(bytes)) << name << ":\n" << bytes;
                if (bytes.find(std::string("charset=\"") + encoding + "\"") != std::string::npos) ++declared;
                noteText |= bytes.find("B&#252;ro Hamburg, Elbstra&#223;e 5") != std::string::npos;
                attachmentPage |= bytes.find("Plan.pdf") != std::string::npos &&
                                  bytes.find("<H1>Anh&#228;nge</H1>") != std::string::npos;
            }
            EXPECT_GE(declared, 3) << "the wizard's encoding is still named";
            EXPECT_TRUE(noteText);
            EXPECT_TRUE(attachmentPage);
        }
    }
}

TEST(PageCharset, Utf8PagesStayUtf8) {
    CharsetRun run("UTF-8", false);
    bool noteText = false;
    for (const auto& [name, bytes] : run.pages)
        noteText |= bytes.find("B\xC3\xBCro Hamburg, Elbstra\xC3\x9F" "e 5") != std::string::npos &&
                    bytes.find("charset=\"UTF-8\"") != std::string::npos;
    EXPECT_TRUE(noteText);
}
