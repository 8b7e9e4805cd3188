#include "tests/pages/LinkCheck.h"

#include <filesystem>

#include "Utils/Utils.h"
#include "tests/support/TestSupport.h"

namespace qbtest {

namespace sfs = std::filesystem;

std::vector<std::string> PageLinks(const std::string& html) {
    std::vector<std::string> links;
    const std::string lower = qb::LowerAscii(html);
    for (const std::string attr : {"href=\"", "src=\""}) {
        for (std::size_t p = lower.find(attr); p != std::string::npos; p = lower.find(attr, p + 1)) {
            // Only whole attribute names: "xhref" or "data-src" are not links.
            if (p > 0 && (std::isalnum(static_cast<unsigned char>(lower[p - 1])) || lower[p - 1] == '-')) continue;
            const std::size_t start = p + attr.size();
            const std::size_t end = html.find('"', start);
            if (end == std::string::npos) break;
            links.push_back(html.substr(start, end - start));
        }
    }
    // Menu data loading the data of the level above: quillbookMenus('parent data').
    const std::string call = "quillbookMenus('";
    for (std::size_t p = html.find(call); p != std::string::npos; p = html.find(call, p + 1)) {
        std::string value;
        for (std::size_t q = p + call.size(); q < html.size() && html[q] != '\''; ++q) {
            if (html[q] == '\\' && q + 1 < html.size()) ++q;
            value += html[q];
        }
        links.push_back(value);
    }
    return links;
}

namespace {

std::string PercentDecode(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool External(const std::string& link) {
    const std::string l = qb::LowerAscii(link);
    for (const char* scheme : {"http:", "https:", "mailto:", "javascript:", "ftp:", "ms-its:", "data:"})
        if (l.rfind(scheme, 0) == 0) return true;
    return link.empty() || link[0] == '#';
}

// The script string escapes in menu arrays ("\'", "\\", "<\/").
std::string ScriptUnescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) ++i;
        out += s[i];
    }
    return out;
}

}  // namespace

std::vector<std::string> DeadLinks(const std::string& root) {
    std::vector<std::string> dead;
    const sfs::path base(root);
    for (const auto& entry : sfs::recursive_directory_iterator(base)) {
        if (!entry.is_regular_file()) continue;
        const std::string ext = qb::LowerAscii(entry.path().extension().string());
        // Menu data files hold links too; the menu script's own file is code.
        const bool data = ext == ".js" && entry.path().filename() != "_quillbook.js";
        if (ext != ".html" && ext != ".htm" && !data) continue;
        const std::string page = entry.path().string();
        for (std::string link : PageLinks(ReadFile(page))) {
            if (External(link)) continue;
            std::string path = PercentDecode(ScriptUnescape(link.substr(0, link.find_first_of("#?"))));
            const sfs::path target = path[0] == '/' ? base / path.substr(1) : entry.path().parent_path() / path;
            if (!sfs::is_regular_file(target.lexically_normal()))
                dead.push_back(sfs::relative(entry.path(), base).string() + " -> " + link);
        }
    }
    return dead;
}

}  // namespace qbtest
