#pragma once
// Generated help projects written the way the export engine writes them.
#include <map>
#include <string>
#include <vector>

namespace hhatest {

struct GenProject {
    std::string folder;   // project folder, trailing "/"
    std::string hhp;      // project file
    std::string chm;      // target of "Compiled file="
    std::string hhc;      // contents file path
    std::string hhcText;  // its bytes
    // Every file that must be stored: stored name ("/9/P12.html") -> bytes.
    std::map<std::string, std::string> expected;
    // Listed names as the project writes them (".\a.html", "9\b.html", ...).
    std::vector<std::string> listed;
    // Pages holding the word "quokka" (stored names).
    std::vector<std::string> quokkaPages;
};

// pages item pages below root (with sub-folders), plus an image, empty-item
// pages that only a parent links to, contents-only pages and one extra file
// outside the project folder.
GenProject MakeProject(const std::string& root, int pages, bool fullText = true);

// Runs a command, returns its standard output; exit status in *status.
std::string RunCommand(const std::string& command, int* status = nullptr);

}  // namespace hhatest
