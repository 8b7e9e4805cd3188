#pragma once
// Checks that every link of generated pages that stays inside the output
// folder leads to a file that exists.
#include <string>
#include <vector>

namespace qbtest {

// Every href="..." and src="..." value (attribute names in any case), and the
// page and parent data file of every bar entry the menu data declares.
std::vector<std::string> PageLinks(const std::string& html);

// Dead links of all .htm/.html pages and menu data files below root (native, trailing "/"), each
// as "page -> link". "/" at the start of a link is the output folder; other
// links are relative to the page's folder; external and script links are skipped.
std::vector<std::string> DeadLinks(const std::string& root);

}  // namespace qbtest
