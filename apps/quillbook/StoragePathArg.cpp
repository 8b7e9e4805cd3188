#include "quillbook/ExportCommand.h"

namespace qbcli {

// Accepts "\Organizer\data\3\7\", "3\7", "3/7" and the like.
std::string StoragePathArg(const std::string& item) {
    std::string p = item;
    for (char& c : p)
        if (c == '/') c = '\\';
    if (p.rfind("\\Organizer\\data\\", 0) != 0) {
        while (!p.empty() && p.front() == '\\') p.erase(0, 1);
        p = "\\Organizer\\data\\" + p;
    }
    if (p.back() != '\\') p += '\\';
    return p;
}

}  // namespace qbcli
