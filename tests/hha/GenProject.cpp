#include "tests/hha/GenProject.h"

#include <cstdio>
#include <filesystem>

#include "tests/support/TestSupport.h"

namespace hhatest {

namespace fs = std::filesystem;

namespace {

void Put(GenProject& p, const std::string& stored, const std::string& bytes) {
    std::string path = p.folder + stored.substr(1);
    fs::create_directories(fs::path(path).parent_path());
    qbtest::WriteFile(path, bytes);
    p.expected[stored] = bytes;
}

std::string Backslashed(std::string s) {
    for (char& c : s)
        if (c == '/') c = '\\';
    return s;
}

}  // namespace

GenProject MakeProject(const std::string& root, int pages, bool fullText) {
    GenProject p;
    p.folder = root + "proj/";
    p.hhp = p.folder + "Help.hhp";
    p.chm = root + "out/My Help.chm";
    p.hhc = p.folder + "Help.hhc";
    fs::create_directories(p.folder);
    fs::create_directories(root + "out");

    // A small binary image, linked from pages but never listed.
    std::string png("\x89PNG\r\n\x1a\n", 8);
    for (int i = 0; i < 300; ++i) png += static_cast<char>((i * 37) & 0xFF);
    Put(p, "/img/logo.png", png);

    std::string hhc =
        "<HTML><HEAD>\r\n<meta name=\"GENERATOR\" content=\"Quillbook 3.0.0\">\r\n</HEAD><BODY>\r\n"
        "<OBJECT type=\"text/site properties\">\r\n  <param name=\"ImageType\" value=\"Folder\">\r\n</OBJECT>\r\n";
    std::string files, storedHhc;
    std::size_t storedFrom = 0;
    int level = 0;
    for (int i = 0; i < pages; ++i) {
        // Pages 0..9 at the root, the rest in folders of 50.
        std::string folder = i < 10 ? "" : std::to_string(i / 50) + "/";
        std::string stored = "/" + folder + "P" + std::to_string(i) + ".html";
        std::string up = folder.empty() ? "" : "../";
        std::string body = "<html><head><title>Page " + std::to_string(i) + "</title></head><body>\r\n<h1>Caption " +
                           std::to_string(i) + " &auml;</h1>\r\n<p>word" + std::to_string(i) + " common text";
        if (i % 7 == 3) {
            body += " quokka";
            p.quokkaPages.push_back(stored);
        }
        body += "</p>\r\n<img src=\"" + up + "img/logo.png\">\r\n";
        for (int k = 0; k < 20 + i % 30; ++k) body += "Line " + std::to_string(k * i) + " of filler prose here.\r\n";
        if (i % 5 == 1) {
            // Empty item page: only this page links to it (with a backslash path).
            std::string empty = "/" + folder + "E" + std::to_string(i) + ".html";
            Put(p, empty, "<html><body>Empty item " + std::to_string(i) + "</body></html>");
            body += "<a href=\".\\E" + std::to_string(i) + ".html\">empty</a>\r\n";
        }
        body += "</body></html>\r\n";
        Put(p, stored, body);

        std::string rel = stored.substr(1);
        std::string written;
        switch (i % 3) {
            case 0: written = ".\\" + Backslashed(rel); break;
            case 1: written = Backslashed(rel); break;
            default: written = rel; break;
        }
        // Every fourth page reaches the project only through the contents.
        if (i % 4 != 2) {
            files += written + "\r\n";
            p.listed.push_back(written);
        }
        int want = i == 0 ? 0 : 1;
        while (level < want) {
            hhc += std::string(level * 2 + 2, ' ').substr(2) + "<UL>\r\n";
            ++level;
        }
        std::string indent(level * 2, ' ');
        auto entry = [&](const std::string& local) {
            return indent + "<LI><OBJECT type=\"text/sitemap\">\r\n" + indent +
                   "    <param name=\"Name\" value=\"Caption " + std::to_string(i) + " &amp; more\">\r\n" + indent +
                   "    <param name=\"Local\" value=\"" + local + "\">\r\n" + indent + "    </OBJECT>\r\n";
        };
        // The help file keeps the stored name as every reader opens it.
        storedHhc += hhc.substr(storedFrom) + entry(rel);
        hhc += entry(".\\" + Backslashed(rel));
        storedFrom = hhc.size();
    }
    while (level > 0) {
        --level;
        hhc += std::string(level * 2, ' ') + "  </UL>\r\n";
    }
    hhc += "</BODY></HTML>\r\n";
    storedHhc += hhc.substr(storedFrom);
    p.hhcText = hhc;
    qbtest::WriteFile(p.hhc, hhc);
    qbtest::WriteFile(p.folder + "Help.hhk", hhc);
    p.expected["/Help.hhc"] = storedHhc;
    p.expected["/Help.hhk"] = storedHhc;

    // The extra-files block: an absolute path (inside the project folder; files
    // from outside it are refused).
    fs::create_directories(p.folder + "extra");
    std::string extra = p.folder + "extra/extra.txt";
    qbtest::WriteFile(extra, "extra file bytes\n");
    p.expected["/extra/extra.txt"] = "extra file bytes\n";

    std::string hhp =
        "[OPTIONS]\r\nBinary TOC=Yes\r\nCompatibility=1.1 or later\r\nCompiled file=" + p.chm +
        "\r\nContents file=Help.hhc\r\nIndex file=Help.hhk\r\nDefault Window=ovel2html\r\n"
        "Default topic=P0.html\r\nDisplay compile progress=Yes\r\nFull-text search=" +
        std::string(fullText ? "yes" : "no") +
        "\r\nLanguage=0x407 German (Germany)\r\nTitle=Generated Help\r\n[WINDOWS]\r\n"
        "ovel2html=\"Generated Help\",\"Help.hhc\",Help.hhk,\"P0.html\",\"/opt/qb/_quillbook_default.html\","
        ",,_jump2_.htm,Quillbook,0x2520,200,0x304E,[0,0,800,600],,0x0,,0,0,,0\r\n[FILES]\r\n" +
        files + "\r\n" + extra + "\r\n\r\n[INFOTYPES]\r\n";
    qbtest::WriteFile(p.hhp, hhp);
    p.listed.push_back(extra);
    return p;
}

std::string RunCommand(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    int rc = ::pclose(pipe);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

}  // namespace hhatest
