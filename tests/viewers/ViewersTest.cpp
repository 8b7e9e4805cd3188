// Help files as viewers read them: the sample exported in three languages and a
// generated multilingual project, checked with chmlib, python3-chm and Wine's
// own CHM components (driven by a small Windows program).
#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "dvo/dvo.h"
#include "engine/Engine.h"
#include "hha/hha.h"
#include "tests/hha/ChmRead.h"
#include "tests/support/SampleDatabase.h"
#include "tests/support/TestSupport.h"

using namespace qbtest;

namespace {

namespace stdfs = std::filesystem;

struct Language {
    const char* option;  // ChmLanguage as the wizard writes it
    int codePage;        // the code page viewers read the help file in
};
void PrintTo(const Language& lang, std::ostream* os) { *os << std::string(lang.option).substr(0, 5); }

const Language kLanguages[] = {
    {"0x409 English (United States)", 1252}, {"0x407 German (Germany)", 1252}, {"0x804 Chinese (China)", 936}};

std::string Run(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* f = popen(command.c_str(), "r");
    if (!f) return out;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    int rc = pclose(f);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        lines.push_back(l);
    }
    return lines;
}

std::vector<std::string> Split(const std::string& line, char sep) {
    std::vector<std::string> parts(1);
    for (char c : line) {
        if (c == sep)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

// Bytes of a code page as UTF-8, through ICU.
std::string Decode(const std::string& bytes, int codePage) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* conv = ucnv_open(("windows-" + std::to_string(codePage)).c_str(), &status);
    if (U_FAILURE(status)) return "<no converter>";
    std::u16string wide(bytes.size() * 2 + 2, u'\0');
    int32_t n = ucnv_toUChars(conv, wide.data(), static_cast<int32_t>(wide.size()), bytes.data(),
                              static_cast<int32_t>(bytes.size()), &status);
    ucnv_close(conv);
    std::string out(static_cast<std::size_t>(n) * 3 + 4, '\0');
    int32_t length = 0;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, wide.data(), n, &status);
    out.resize(static_cast<std::size_t>(length));
    return out;
}

// Numeric character references replaced by their UTF-8 characters.
std::string DecodeNumericRefs(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "&#") == 0) {
            std::size_t semi = text.find(';', i);
            if (semi != std::string::npos && semi - i < 10) {
                std::u16string one;
                unsigned long cp = std::strtoul(text.c_str() + i + 2, nullptr, 10);
                if (cp >= 0x10000) {
                    one += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                    one += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
                } else {
                    one += static_cast<char16_t>(cp);
                }
                char buf[8] = {};
                int32_t len = 0;
                UErrorCode status = U_ZERO_ERROR;
                u_strToUTF8(buf, sizeof buf, &len, one.data(), static_cast<int32_t>(one.size()), &status);
                out.append(buf, static_cast<std::size_t>(len));
                i = semi;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string PercentDecode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Stored name a Local value opens: ".\9\C%23.html" -> "/9/C#.html".
std::string StoredName(const std::string& local) {
    std::string s = qb::ToForwardSlashes(PercentDecode(local));
    while (s.rfind("./", 0) == 0) s = s.substr(2);
    return "/" + s;
}

std::vector<std::string> Locals(const std::string& sitemap) {
    std::vector<std::string> out;
    const std::string key = "<param name=\"Local\" value=\"";
    for (std::size_t p = sitemap.find(key); p != std::string::npos; p = sitemap.find(key, p + 1)) {
        const std::size_t start = p + key.size();
        out.push_back(sitemap.substr(start, sitemap.find('"', start) - start));
    }
    return out;
}

// <UL> depth of each sitemap entry in document order.
std::vector<int> EntryLevels(const std::string& sitemap, int* finalDepth) {
    std::vector<int> levels;
    int depth = 0;
    for (std::size_t p = sitemap.find('<'); p != std::string::npos; p = sitemap.find('<', p + 1)) {
        if (sitemap.compare(p, 4, "<UL>") == 0) ++depth;
        if (sitemap.compare(p, 5, "</UL>") == 0) --depth;
        if (sitemap.compare(p, 34, "<OBJECT type=\"text/sitemap\">") == 0 ||
            sitemap.compare(p, 28, "<OBJECT type=\"text/sitemap\">") == 0)
            levels.push_back(depth);
    }
    *finalDepth = depth;
    return levels;
}

// Value of a record of #SYSTEM.
std::string SystemRecord(const std::string& system, unsigned wanted) {
    for (std::size_t p = 4; p + 4 <= system.size();) {
        const unsigned code = static_cast<unsigned char>(system[p]) | static_cast<unsigned char>(system[p + 1]) << 8;
        const unsigned len = static_cast<unsigned char>(system[p + 2]) | static_cast<unsigned char>(system[p + 3]) << 8;
        if (code == wanted) return std::string(system.c_str() + p + 4);
        p += 4 + len;
    }
    return "";
}

std::uint32_t Dword(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
    return v;
}

struct Export {
    std::string dir, chm, hhc;
    int codePage = 1252;
    std::map<std::string, std::string> stored;  // chmlib: name -> bytes
};

bool Logger(void*, int, const char*) { return false; }

bool HaveTool(const std::string& name) { return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0; }

// The sample exported once per language and process.
const Export& Sample(const Language& lang, const std::string& backend = "native") {
    static std::unique_ptr<TempDir> root;
    static std::unique_ptr<qbtest::SampleDatabase> sample;
    static int handle = 0;
    static std::map<std::string, Export> done;
    const std::string key = std::string(lang.option) + " " + backend;
    if (auto it = done.find(key); it != done.end()) return it->second;
    if (!root) {
        root = std::make_unique<TempDir>();
        sample = std::make_unique<qbtest::SampleDatabase>();
        handle = sample->Handle();
        if (handle == 0) return done[""];
    }
    Export& e = done[key];
    e.dir = root->path() + std::string(lang.option).substr(0, 5) + "-" + backend + "/";
    qb::TConvertOptions o;
    o.DatabaseHandle = handle;
    o.StartPath = "\\Organizer\\data\\";
    o.WholeDatabase = true;
    o.DatabaseFileName = "sample.kvdb";
    o.RootPath = e.dir;
    o.ChmFileName = e.dir + "sample.chm";
    o.WindowTitle = "Sample handbook";
    o.ChmLanguage = lang.option;
    o.RemoveTempFiles = false;
    o.ConvertMethod = 0;
    {
        const ScopedEnv chooser("QB_HHA_BACKEND", backend);
        qb::RunConversion(o, &Logger, nullptr);
    }
    e.chm = o.ChmFileName;
    e.hhc = ReadFile(e.dir + "sample.hhc");
    e.codePage = lang.codePage;
    if (qb::fs::FileExists(e.chm)) e.stored = hhatest::ReadWithChmlib(e.chm);
    return e;
}

class SampleInLanguage : public ::testing::TestWithParam<Language> {};

}  // namespace

namespace {

// The sitemap with each Local as readers open it: no ".\" in front, "/" for "\".
std::string WithPlainLocals(const std::string& sitemap) {
    const std::string key = "<param name=\"Local\" value=\"";
    std::string out;
    std::size_t copied = 0;
    for (std::size_t p = sitemap.find(key); p != std::string::npos; p = sitemap.find(key, p + 1)) {
        std::size_t start = p + key.size();
        out += sitemap.substr(copied, start - copied);
        std::string local = sitemap.substr(start, sitemap.find('"', start) - start);
        copied = start + local.size();
        local = qb::ToForwardSlashes(local);
        while (local.rfind("./", 0) == 0) local = local.substr(2);
        out += local;
    }
    return out + sitemap.substr(copied);
}

}  // namespace

// Every viewer takes contents and index entries from one list; the texts are
// in the language's code page, characters it lacks as character references.
// The project files keep ".\13\20\Checklist.html"; the help file stores
// "13/20/Checklist.html", which every reader opens (some fail or crash on the other).
TEST_P(SampleInLanguage, SitemapsAreOneListInTheCodePage) {
    const Export& e = Sample(GetParam());
    ASSERT_FALSE(e.stored.empty()) << e.chm;
    for (const char* name : {"/sample.hhc", "/sample.hhk"}) {
        ASSERT_EQ(1u, e.stored.count(name)) << name;
        const std::string& bytes = e.stored.at(name);
        const std::string written = ReadFile(e.dir + "sample" + std::string(name).substr(7));
        EXPECT_NE(std::string::npos, written.find("value=\".\\")) << "the project file is as the export wrote it";
        EXPECT_EQ(DecodeNumericRefs(WithPlainLocals(written)), DecodeNumericRefs(Decode(bytes, e.codePage))) << name;
        const std::vector<std::string> locals = Locals(bytes);
        ASSERT_GT(locals.size(), 20u) << name;
        for (const auto& local : locals) {
            EXPECT_EQ(std::string::npos, local.find('\\')) << name << ": " << local;
            EXPECT_NE(0u, local.rfind("./", 0)) << name << ": " << local;
            EXPECT_EQ(1u, e.stored.count("/" + PercentDecode(local))) << name << ": " << local;
        }
        int finalDepth = -1;
        const std::vector<int> levels = EntryLevels(bytes, &finalDepth);
        ASSERT_GT(levels.size(), 40u);
        EXPECT_EQ(0, finalDepth);
        int topLevel = 0;
        for (int level : levels) {
            EXPECT_GE(level, 1) << "entry outside every list in " << name;
            topLevel += level == 1;
        }
        EXPECT_GE(topLevel, 8) << name;
    }
    const std::string& hhc = e.stored.at("/sample.hhc");
    if (e.codePage == 936) {
        EXPECT_NE(std::string::npos, hhc.find("\xBD\xC8\xD7\xD3 Dumplings")) << "饺子 in code page 936";
    } else {
        EXPECT_NE(std::string::npos, hhc.find("&#39290;&#23376; Dumplings"));
    }
}

TEST_P(SampleInLanguage, TitlesKeywordsAndSearchIndexNameTheCodePage) {
    const Export& e = Sample(GetParam());
    ASSERT_FALSE(e.stored.empty());
    ASSERT_EQ(1u, e.stored.count("/$WWKeywordLinks/BTree"));
    EXPECT_EQ(static_cast<std::uint32_t>(e.codePage), Dword(e.stored.at("/$WWKeywordLinks/BTree"), 0x30));
    ASSERT_EQ(1u, e.stored.count("/$FIftiMain"));
    EXPECT_EQ(static_cast<std::uint32_t>(e.codePage), Dword(e.stored.at("/$FIftiMain"), 0x7A));
    const std::string& strings = e.stored.at("/#STRINGS");
    const std::string utf8Title = "饺子 Dumplings";
    EXPECT_EQ(std::string::npos, strings.find(utf8Title)) << "titles are not UTF-8";
    if (e.codePage == 936) {
        EXPECT_NE(std::string::npos, strings.find("\xBD\xC8\xD7\xD3 Dumplings"));
    }
    // Stored pages read the same in any code page.
    for (const auto& [name, bytes] : e.stored) {
        if (name.size() < 5 || name.compare(name.size() - 5, 5, ".html") != 0) continue;
        for (unsigned char c : bytes) {
            if (c >= 0x80) {
                ADD_FAILURE() << name << " holds bytes outside ASCII";
                break;
            }
        }
    }
}

// The window opens on a page of the help file, and every file the window
// names is stored.
TEST_P(SampleInLanguage, HomePageAndWindowFilesAreInsideTheHelpFile) {
    const Export& e = Sample(GetParam());
    ASSERT_FALSE(e.stored.empty());
    const std::string topic = SystemRecord(e.stored.at("/#SYSTEM"), 2);
    ASSERT_FALSE(topic.empty());
    EXPECT_EQ(1u, e.stored.count(StoredName(topic))) << topic;
    EXPECT_EQ("Welcome.html", topic);
    std::string window;
    for (const auto& line : Lines(ReadFile(e.dir + "sample.hhp")))
        if (line.rfind("ovel2html=", 0) == 0) window = line;
    const std::vector<std::string> fields = Split(window.substr(10), ',');
    ASSERT_GE(fields.size(), 9u) << window;
    for (std::size_t f : {3u, 4u, 7u}) {
        std::string file = fields[f];
        if (file.size() >= 2 && file.front() == '"') file = file.substr(1, file.size() - 2);
        EXPECT_EQ(1u, e.stored.count(StoredName(file))) << "window field " << f + 1 << ": " << file;
    }
    for (const auto& local : Locals(e.hhc)) EXPECT_EQ(1u, e.stored.count(StoredName(local))) << local;
}

INSTANTIATE_TEST_SUITE_P(Languages, SampleInLanguage, ::testing::ValuesIn(kLanguages),
                         [](const auto& info) { return std::string(info.param.option).substr(2, 3); });

namespace {

// Faults of the other compiler backend: written to a report file in the
// build folder and to the test's output, never a failure of the test.
class FaultReport {
public:
    explicit FaultReport(const std::string& name) : path_(std::string(QB_REPORT_DIR) + "/" + name) {
        WriteFile(path_, "");
    }
    void Add(const std::string& heading, const std::vector<std::string>& faults) {
        std::string text = heading + ": " + std::to_string(faults.size()) + " faults\n";
        for (const auto& f : faults) text += "  " + f + "\n";
        WriteFile(path_, ReadFile(path_) + text);
        std::cout << "chmcmd, " << text;
        ::testing::Test::RecordProperty("chmcmd_faults", std::to_string(total_ += static_cast<int>(faults.size())));
    }
    ~FaultReport() { std::cout << "chmcmd faults written to " << path_ << "\n"; }

private:
    std::string path_;
    int total_ = 0;
};

// Runs fts_check.py: per word, the pages python3-chm finds and the pages
// whose text holds the word. Titles stand for pages on the search's side:
// its result keeps one page per title. Returns one line per difference.
std::vector<std::string> SearchDifferences(const std::string& chm, const std::string& folder, int codePage,
                                           const std::map<std::string, std::string>& stored,
                                           const std::vector<std::string>& words, bool titles, int* checked,
                                           const std::string& contents = "") {
    std::string cmd = "/usr/bin/python3 '" + std::string(QB_SOURCE_DIR) + "/tests/viewers/fts_check.py' '" + chm +
                      "' '" + folder + "' " + std::to_string(codePage) + (titles ? " --titles" : "") +
                      (contents.empty() ? "" : " '--contents=" + contents + "'");
    for (const auto& w : words) cmd += " '" + w + "'";
    int status = -1;
    const std::string out = Run(cmd + " 2>&1", &status);
    if (status != 0) return {"python3-chm cannot search " + chm + ": " + out};
    std::map<std::string, std::set<std::string>> chmTitles, textTitles, textPages;
    std::map<std::string, std::set<std::string>> chmPages;
    std::set<std::string> skipped;
    for (const auto& line : Lines(out)) {
        std::vector<std::string> f = Split(line, '\t');
        if (f[0] == "SKIP") skipped.insert(f[1]);
        if (f.size() < 4) continue;
        std::string title = f[3].empty() ? "Untitled in index" : f[3];
        if (f[0] == "CHM") {
            chmTitles[f[1]].insert(title);
            chmPages[f[1]].insert(f[2]);
        } else if (f[0] == "TEXT" && stored.count(f[2])) {
            textTitles[f[1]].insert(title);
            textPages[f[1]].insert(f[2]);
        }
    }
    std::vector<std::string> differences;
    // "N: a, b, c …" of the titles in one set and not in the other.
    auto missing = [](const std::set<std::string>& from, const std::set<std::string>& in) {
        std::string some;
        int n = 0;
        for (const auto& item : from) {
            if (in.count(item)) continue;
            if (++n <= 3) some += (n > 1 ? ", " : "") + item;
        }
        return std::to_string(n) + (n > 3 ? " (" + some + " …)" : n ? " (" + some + ")" : "");
    };
    for (const auto& w : words) {
        if (skipped.count(w)) continue;
        ++*checked;
        EXPECT_FALSE(textPages[w].empty()) << "test word found in no page: " << w;
        const std::string what = (titles ? "titles only, " : "") + w + ": ";
        if (textTitles[w] != chmTitles[w])
            differences.push_back(what + std::to_string(chmTitles[w].size()) + " of " +
                                  std::to_string(textTitles[w].size()) + " titles; not found " +
                                  missing(textTitles[w], chmTitles[w]) + "; found wrongly " +
                                  missing(chmTitles[w], textTitles[w]));
        for (const auto& page : chmPages[w])
            if (!textPages[w].count(page)) differences.push_back(what + "found in " + page + ", whose text lacks it");
    }
    return differences;
}

void ExpectSearchMatchesTexts(const std::string& chm, const std::string& folder, int codePage,
                              const std::map<std::string, std::string>& stored, const std::vector<std::string>& words,
                              bool titles, int* checked, const std::string& contents = "") {
    for (const auto& difference : SearchDifferences(chm, folder, codePage, stored, words, titles, checked, contents))
        ADD_FAILURE() << difference;
}

}  // namespace

TEST_P(SampleInLanguage, FullTextSearchFindsThePagesHoldingEachWord) {
    const Export& e = Sample(GetParam());
    ASSERT_FALSE(e.stored.empty());
    int checked = 0;
    ExpectSearchMatchesTexts(e.chm, e.dir, e.codePage, e.stored,
                             {"dumplings", "Öffnungszeiten", "welcome", "饺子", "parking", "Apfelkuchen", "Elbstraße",
                              "Große", "Elbstrasse"},
                             false, &checked, e.dir + "sample.hhc");
    ExpectSearchMatchesTexts(e.chm, e.dir, e.codePage, e.stored, {"Checklist", "Dumplings", "Directions"}, true,
                             &checked, e.dir + "sample.hhc");
    // Code page 936 has no sharp s, 1252 no 饺子: those words are skipped there.
    EXPECT_GE(checked, GetParam().codePage == 936 ? 9 : 11);
}

namespace {

// A generated project the way the export writes one: pages in UTF-8 with
// German, Russian and Chinese words.
struct Generated {
    std::string folder, chm, files, language;
    std::map<std::string, std::string> stored;
};

std::map<std::string, std::string> CompileWith(const Generated& g, const std::string& backend, const std::string& chm);

Generated MakeAndCompile(const std::string& root, int pages, const std::string& language) {
    Generated g;
    g.folder = root + "proj/";
    g.chm = root + "gen.chm";
    stdfs::create_directories(g.folder);
    const char* words[] = {"Öffnungszeiten", "Übermaß", "café", "расписание", "Москва", "饺子", "quokka", "Straße"};
    std::string hhc = "<HTML><HEAD></HEAD><BODY>\r\n<UL>\r\n";
    std::string files;
    for (int i = 0; i < pages; ++i) {
        const std::string name = std::to_string(i / 100) + "/p" + std::to_string(i) + ".html";
        std::string body =
            "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">"
            "<title>Seite " +
            std::to_string(i) + (i % 11 == 0 ? " Übermaß" : "") + "</title></head><body><p>Text " + std::to_string(i) +
            " – ";
        for (int w = 0; w < 8; ++w)
            if ((i + 1) % (w + 3) == 0) body += std::string(words[w]) + (w % 2 ? "，" : ": ") + " filler ";
        body += "</p><script>var s = \"Grüße\";</script></body></html>\r\n";
        stdfs::create_directories(stdfs::path(g.folder + name).parent_path());
        WriteFile(g.folder + name, body);
        files += name + "\r\n";
        hhc += "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Seite " + std::to_string(i) +
               "\"><param name=\"Local\" value=\"" + name + "\"></OBJECT>\r\n";
    }
    hhc += "</UL>\r\n</BODY></HTML>\r\n";
    WriteFile(g.folder + "gen.hhc", hhc);
    g.files = files;
    g.language = language;
    g.stored = CompileWith(g, "native", g.chm);
    return g;
}

// The generated project compiled by a backend of the compiler into chm;
// chmlib's view of the result (empty when it failed).
std::map<std::string, std::string> CompileWith(const Generated& g, const std::string& backend, const std::string& chm) {
    const std::string hhp = g.folder + backend + ".hhp";
    WriteFile(hhp, "[OPTIONS]\r\nCompiled file=" + chm +
                       "\r\nContents file=gen.hhc\r\nFull-text search=Yes\r\nLanguage=" + g.language +
                       "\r\nTitle=Generated\r\n[FILES]\r\n" + g.files);
    int ok = 0;
    {
        const ScopedEnv codec("QB_HHA_LZX", "store");
        const ScopedEnv chooser("QB_HHA_BACKEND", backend);
        ok = HHA_CompileHHP(hhp.c_str(), nullptr, nullptr, 0);
    }
    return ok ? hhatest::ReadWithChmlib(chm) : std::map<std::string, std::string>{};
}

}  // namespace

TEST(GeneratedProject, SearchMatchesPageTextsInGermanRussianAndChinese) {
    FaultReport report("chmcmd-search-generated.txt");
    const std::vector<std::string> words = {"öffnungszeiten", "übermaß", "Café",   "РАСПИСАНИЕ",
                                            "москва",         "饺子",    "quokka", "strasse"};
    int checked = 0;
    for (const auto& [language, codePage, pages] :
         {std::tuple<std::string, int, int>{"0x407", 1252, 3000}, {"0x419", 1251, 400}, {"0x804", 936, 400}}) {
        TempDir dir;
        Generated g = MakeAndCompile(dir.path(), pages, language);
        ASSERT_FALSE(g.stored.empty()) << language;
        ExpectSearchMatchesTexts(g.chm, g.folder, codePage, g.stored, words, false, &checked);
        ExpectSearchMatchesTexts(g.chm, g.folder, codePage, g.stored, {"übermaß", "seite"}, true, &checked);
        if (!HaveTool("chmcmd")) continue;
        // The other backend on the same pages, for comparison only.
        const std::string other = dir.path() + "chmcmd.chm";
        std::vector<std::string> faults;
        if (CompileWith(g, "chmcmd", other).empty()) {
            faults.push_back("no help file");
        } else {
            int ignored = 0;
            faults = SearchDifferences(other, g.folder, codePage, g.stored, words, false, &ignored);
            for (auto& f : SearchDifferences(other, g.folder, codePage, g.stored, {"übermaß", "seite"}, true, &ignored))
                faults.push_back(f);
        }
        report.Add(std::to_string(pages) + " pages, language " + language, faults);
    }
    // German and ASCII words in 1252, Russian in 1251, Chinese in 936.
    EXPECT_GE(checked, 14);
}

// chmcmd's search index on the sample, beside the native one, which the
// sample's own tests hold to the page texts.
TEST(ChmcmdComparison, SampleSearchFaultsAreRecorded) {
    if (!HaveTool("chmcmd")) GTEST_SKIP() << "chmcmd is not installed (fp-utils)";
    FaultReport report("chmcmd-search-sample.txt");
    for (const Language& lang : kLanguages) {
        const Export& native = Sample(lang);
        const Export& other = Sample(lang, "chmcmd");
        ASSERT_FALSE(native.stored.empty()) << lang.option;
        std::vector<std::string> faults;
        if (other.stored.empty()) {
            faults.push_back("no help file");
        } else {
            int checked = 0;
            // Pages are compared by the native export's names: the two runs write the same pages.
            faults = SearchDifferences(other.chm, other.dir, other.codePage, native.stored,
                                       {"dumplings", "Öffnungszeiten", "welcome", "饺子", "parking", "Apfelkuchen"},
                                       false, &checked, other.dir + "sample.hhc");
            for (auto& f :
                 SearchDifferences(other.chm, other.dir, other.codePage, native.stored,
                                   {"Checklist", "Dumplings", "Directions"}, true, &checked, other.dir + "sample.hhc"))
                faults.push_back(f);
            EXPECT_GE(checked, 8);
        }
        report.Add(std::string("sample, language ") + lang.option, faults);
    }
}

// --- Wine's CHM components ---------------------------------------------------

namespace {

// One Wine prefix for every check of this process, in a scratch folder.
class WinePrefix {
public:
    WinePrefix() {
        env_ = "WINEPREFIX='" + dir_.path() + "prefix' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
        int status = -1;
        bootLog_ = Run(env_ + "wineboot -i 2>&1", &status);
        ok_ = status == 0;
        // The desktop process of the boot has no display; windows opened
        // while it lives fail, so let the boot's processes end first.
        Run(env_ + "wineserver -w 2>&1");
    }
    ~WinePrefix() { Run(env_ + "wineserver -k 2>&1"); }
    bool ok() const { return ok_; }
    const std::string& Env() const { return env_; }
    const std::string& bootLog() const { return bootLog_; }
    // Runs the probe; display: under a virtual X server.
    std::string Probe(const std::string& args, bool display = false) const {
        return Run(env_ + (display ? "xvfb-run -a " : "") + "timeout 300 wine '" + std::string(QB_CHM_PROBE) + "' " + args +
                   " 2>/dev/null");
    }

private:
    TempDir dir_;
    std::string env_, bootLog_;
    bool ok_ = false;
};

std::string WinePath(const std::string& path) {
    std::string p = "Z:" + path;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

}  // namespace

// Every contents and index entry of the sample opens through Wine's ms-its:
// protocol handler, every stored file through its IStorage, and its help
// viewer shows every top-level contents entry.
TEST(WineViewer, OpensEveryEntryOfTheSampleInEachLanguage) {
    for (const char* tool : {"wine", "wineboot", "xvfb-run", "xauth"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
    if (std::string(QB_CHM_PROBE).empty() || !qb::fs::FileExists(QB_CHM_PROBE))
        GTEST_SKIP() << "the Windows probe was not built: no MinGW cross compiler (g++-mingw-w64-x86-64)";
    WinePrefix wine;
    ASSERT_TRUE(wine.ok()) << wine.bootLog();
    for (const Language& lang : kLanguages) {
        const Export& e = Sample(lang);
        ASSERT_FALSE(e.stored.empty()) << lang.option;
        const std::string chm = "'" + WinePath(e.chm) + "'";

        const std::vector<std::string> urls = Lines(wine.Probe("urls " + chm + " " + std::to_string(e.codePage)));
        std::size_t opened = 0;
        for (const auto& line : urls) {
            EXPECT_NE(0u, line.rfind("FAIL", 0)) << lang.option << ": " << line;
            opened += line.rfind("OPEN", 0) == 0;
        }
        EXPECT_EQ(2 * Locals(e.hhc).size(), opened) << lang.option;

        std::string names;
        std::size_t listed = 0;
        for (const auto& [name, bytes] : e.stored) {
            if (name.back() == '/' || name.rfind("/#", 0) == 0 || name.rfind("/$", 0) == 0 || name.rfind("::", 0) == 0)
                continue;
            names += " '" + name.substr(1) + "'";
            ++listed;
        }
        std::size_t read = 0;
        for (const auto& line : Lines(wine.Probe("open " + chm + names))) {
            EXPECT_NE(0u, line.rfind("FAIL", 0)) << lang.option << ": " << line;
            read += line.rfind("FILE", 0) == 0;
        }
        EXPECT_EQ(listed, read) << lang.option;
    }

    // The viewer's tree: every top-level entry of the contents file.
    const Export& e = Sample(kLanguages[0]);
    ::Run(wine.Env() + "wineserver -w 2>&1");
    const std::string tree = wine.Probe("tree '" + WinePath(e.chm) + "'", true);
    std::set<std::string> shown;
    for (const auto& line : Lines(tree))
        if (line.rfind("TOC 0 ", 0) == 0) shown.insert(line.substr(6));
    int depth = 0;
    std::set<std::string> topLevel;
    for (const auto& line : Lines(e.hhc)) {
        if (line.find("<UL>") != std::string::npos) ++depth;
        if (line.find("</UL>") != std::string::npos) --depth;
        const std::string key = "<param name=\"Name\" value=\"";
        const std::size_t p = line.find(key);
        if (p != std::string::npos && depth == 1) {
            std::string name = line.substr(p + key.size(), line.find('"', p + key.size()) - p - key.size());
            name = qb::ReplaceAll(qb::ReplaceAll(qb::ReplaceAll(name, "&lt;", "<"), "&gt;", ">"), "&amp;", "&");
            topLevel.insert(name);
        }
    }
    EXPECT_GE(topLevel.size(), 8u);
    EXPECT_EQ(topLevel, shown) << tree;

    // An index keyword with several topics ("Checklist") opens the viewer's
    // choice of topics; the viewer faulted when the index named ".\\13\\20\\…".
    ::Run(wine.Env() + "wineserver -w 2>&1");
    const std::string keyword = wine.Probe("keyword '" + WinePath(e.chm) + "' Checklist", true);
    const std::vector<std::string> keywordLines = Lines(keyword);
    EXPECT_EQ(1, std::count(keywordLines.begin(), keywordLines.end(), "ACTIVATED Checklist")) << keyword;
    EXPECT_EQ(1, std::count(keywordLines.begin(), keywordLines.end(), "DONE")) << keyword;
    RecordProperty("wine_keyword_windows", keyword);

    // A Chinese caption reaches the viewer's tree and index list through code
    // page 936. (In a 1252 file this Wine shows its character references as
    // they stand: it decodes named ones only.)
    ::Run(wine.Env() + "wineserver -w 2>&1");
    const std::string chinese = wine.Probe("tree '" + WinePath(Sample(kLanguages[2]).chm) + "'", true);
    const std::vector<std::string> lines = Lines(chinese);
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "TOC 2 饺子 Dumplings")) << chinese;
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "INDEX 饺子 Dumplings")) << chinese;

    // The viewer's search tab scans the stored pages' bytes (ASCII lower-cased,
    // tags dropped) and lists those with a <title>; it never reads the
    // full-text index. What it makes of a query handed to HH_DISPLAY_SEARCH
    // is recorded, not asserted: this Wine leaves such queries unrun.
    const std::string word = "parking";
    std::set<std::string> expected;
    for (const auto& [name, bytes] : e.stored) {
        if (!qb::IsHtmlFile(name)) continue;
        std::string lower = bytes, text;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::size_t open = lower.find("<title>");
        if (open == std::string::npos) continue;
        bool inTag = false;
        for (char c : lower) {
            if (c == '<') inTag = true;
            if (!inTag) text += c;
            if (c == '>') inTag = false;
        }
        if (text.find(word) != std::string::npos)
            expected.insert(bytes.substr(open + 7, lower.find("</title>", open) - open - 7));
    }
    ::Run(wine.Env() + "wineserver -w 2>&1");
    const std::string search = wine.Probe("search '" + WinePath(e.chm) + "' " + word, true);
    std::set<std::string> typed;
    for (const auto& line : Lines(search)) {
        EXPECT_NE(0u, line.rfind("ERROR", 0)) << line;
        if (line.rfind("HIT typed ", 0) == 0) typed.insert(line.substr(10 + word.size() + 1));
        if (line.rfind("RESULTS query ", 0) == 0) {
            RecordProperty("wine_fts_query_results", line);
            std::cout << "Wine's viewer, HH_DISPLAY_SEARCH with a query: " << line << "\n";
        }
    }
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(expected, typed) << search;
}

// "#" in a caption or an attachment name is part of the file name, and
// keywords longer than the compiler takes are shortened: the help file is
// written and holds every page.
TEST(NamesAndKeywords, HashNamesAndOverlongKeywordsStillCompile) {
    TempDir dir;
    const std::string src = dir.path() + "src/";
    WriteFile(src + "1/.caption", "C# tips\n");
    WriteFile(src + "1/_~_~_notes.rtf", "{\\rtf1 sharp}");
    WriteFile(src + "1/Invoice #3.pdf", "%PDF-1.4");
    WriteFile(src + "2/.caption", std::string(1100, 'L') + "\n");
    WriteFile(src + "2/_~_~_notes.rtf", "{\\rtf1 long}");
    std::string deep = src + "2/";
    for (int i = 0; i < 25; ++i) {
        deep += "d" + std::to_string(i) + "/";
        WriteFile(deep + ".caption", "Level" + std::to_string(100 + i) + std::string(32, 'x') + "\n");
        WriteFile(deep + "_~_~_notes.rtf", "{\\rtf1 deep}");
    }
    const std::string db = dir.path() + "names.kvdb";
    ASSERT_EQ(1, dvo_import(src.c_str(), db.c_str())) << dvo_last_error();
    const int handle = dvo_open(db.c_str());
    ASSERT_GT(handle, 0);
    qb::TConvertOptions o;
    o.DatabaseHandle = handle;
    o.StartPath = "\\Organizer\\data\\";
    o.WholeDatabase = true;
    o.RootPath = dir.path() + "out/";
    o.ChmFileName = o.RootPath + "names.chm";
    o.ChmLanguage = "0x409 English (United States)";
    o.RemoveTempFiles = false;
    o.ConvertMethod = 0;
    qb::RunConversion(o, &Logger, nullptr);
    dvo_close(handle);
    ASSERT_TRUE(qb::fs::FileExists(o.ChmFileName));
    const auto stored = hhatest::ReadWithChmlib(o.ChmFileName);
    EXPECT_EQ(1u, stored.count("/C#_tips.html"));
    EXPECT_EQ(1u, stored.count("/Invoice_#3.pdf"));
    const std::string hhc = ReadFile(o.RootPath + "names.hhc");
    EXPECT_NE(std::string::npos, hhc.find("value=\".\\C%23_tips.html\"")) << "a Local is a URL";
    int pages = 0;
    for (const auto& local : Locals(hhc)) pages += stored.count(StoredName(local)) > 0;
    EXPECT_EQ(27, pages);
    EXPECT_EQ(1u, stored.count("/$WWKeywordLinks/BTree"));
}
