// The sample database compiled into a help file: every link of every stored
// page and menu data file leads to a file stored in the help file ("/" is its root).
#include <gtest/gtest.h>

#include <chm_lib.h>

#include <memory>

#include "dvo/dvo.h"
#include "tests/engine/EngineFixture.h"
#include "tests/pages/LinkCheck.h"
#include "tests/support/SampleDatabase.h"

using namespace qbtest;

namespace {

struct ChmCloser {
    void operator()(chmFile* h) const { chm_close(h); }
};
using ChmPtr = std::unique_ptr<chmFile, ChmCloser>;

int CollectPage(chmFile*, chmUnitInfo* ui, void* context) {
    const std::string path = ui->path;
    const std::string ext = qb::LowerAscii(qb::ExtractFileExt(path));
    // Menu data files link pages too; the menu script itself is code.
    const bool data = ext == ".js" && qb::ExtractFileName(path) != "_quillbook.js";
    if (ext == ".html" || ext == ".htm" || data) static_cast<std::vector<std::string>*>(context)->push_back(path);
    return CHM_ENUMERATOR_CONTINUE;
}

std::string Object(chmFile* h, const std::string& path) {
    chmUnitInfo ui{};
    if (chm_resolve_object(h, path.c_str(), &ui) != CHM_RESOLVE_SUCCESS) return {};
    std::string bytes(static_cast<std::size_t>(ui.length), '\0');
    chm_retrieve_object(h, &ui, reinterpret_cast<unsigned char*>(bytes.data()), 0, static_cast<LONGINT64>(ui.length));
    return bytes;
}

// "/a/./b/../c.html" -> "/a/c.html".
std::string Normalize(const std::string& path) {
    std::vector<std::string> parts;
    for (const auto& p : qb::SplitText(path, "/")) {
        if (p.empty() || p == ".") continue;
        if (p == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(p);
        }
    }
    std::string s;
    for (const auto& p : parts) s += "/" + p;
    return s;
}

std::string Decode(const std::string& link) {
    std::string out;
    for (std::size_t i = 0; i < link.size(); ++i) {
        if (link[i] == '\\' && i + 1 < link.size()) {
            out += link[++i];  // script string escapes of the menus
        } else if (link[i] == '%' && i + 2 < link.size()) {
            out += static_cast<char>(std::stoi(link.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += link[i];
        }
    }
    return out;
}

}  // namespace

TEST(SampleHelpFile, EveryLinkOfEveryStoredPageIsStored) {
    TempDir work;
    const qbtest::SampleDatabase sample;
    const int handle = sample.Handle();
    ASSERT_GT(handle, 0);

    for (const bool readable : {false, true}) {
        SCOPED_TRACE(readable ? "readable names" : "storage names");
        TempDir out;
        qb::TConvertOptions options;
        options.DatabaseHandle = handle;
        options.StartPath = "\\Organizer\\data\\";
        options.WholeDatabase = true;
        options.DatabaseFileName = "sample.kvd";
        options.RootPath = out.path();
        options.ChmFileName = out.path() + "Sample.chm";
        options.ConvertMethod = 2;
        options.RemoveTempFiles = false;
        options.ReadableFolderNames = readable;
        options.WindowTitle = "Sample";
        options.ChmLanguage = "0x409 English (United States)";
        Recorder recorder;
        qb::RunConversion(options, &Recorder::Callback, &recorder);
        ASSERT_TRUE(qb::fs::FileExists(options.ChmFileName));

        ChmPtr chm(chm_open(options.ChmFileName.c_str()));
        ASSERT_TRUE(chm);
        std::vector<std::string> pages;
        chm_enumerate(chm.get(), CHM_ENUMERATE_NORMAL, &CollectPage, &pages);
        EXPECT_GE(pages.size(), 50u);
        std::string missing;
        int checked = 0;
        for (const auto& page : pages) {
            // Attachments are stored as they are; only generated pages are checked.
            if (!qb::fs::FileExists(out.path() + page.substr(1)) || qb::ExtractFileName(page) == "archive.html")
                continue;
            const std::string folder = page.substr(0, page.rfind('/') + 1);
            for (const auto& link : PageLinks(Object(chm.get(), page))) {
                const std::string l = qb::LowerAscii(link);
                if (l.empty() || l[0] == '#' || l.rfind("http", 0) == 0 || l.rfind("javascript:", 0) == 0) continue;
                std::string path = Decode(link.substr(0, link.find_first_of("#?")));
                path = Normalize(path[0] == '/' ? path : folder + path);
                chmUnitInfo ui{};
                ++checked;
                if (chm_resolve_object(chm.get(), path.c_str(), &ui) != CHM_RESOLVE_SUCCESS)
                    missing += page + " -> " + link + "\n";
            }
        }
        // Menus stand once in their data files, not in every page below them.
        EXPECT_GT(checked, 250);
        EXPECT_EQ("", missing);
    }
}
