#include "HhaTemp.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "Error.h"

namespace qb::hha {

namespace fs = std::filesystem;

TempFolder::TempFolder(const std::string& prefix) {
    std::string pattern = prefix + "XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data()))
        throw Error("Error: cannot create a temporary folder " + pattern + ": " + std::strerror(errno));
    path_ = buf.data();
    path_ += '/';
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

namespace {
std::string FolderOf(const std::string& target) {
    std::string folder = fs::path(target).parent_path().string();
    return folder.empty() ? "./" : folder + "/";
}
}  // namespace

PendingOutput::PendingOutput(const std::string& target) : target_(target) {
    try {
        folder_ = std::make_unique<TempFolder>(FolderOf(target) + ".hha-");
    } catch (const Error&) {
        throw Error("Error: cannot write " + target + ": " + std::strerror(errno));
    }
    temp_ = folder_->Path() + fs::path(target).filename().string();
}

void PendingOutput::Commit() {
    std::error_code ec;
    fs::rename(temp_, target_, ec);
    if (ec) throw Error("Error: cannot write " + target_ + ": " + ec.message());
}

void CreateParents(const std::string& path) {
    std::error_code ec;
    fs::path parent = fs::path(path).parent_path();
    if (!parent.empty()) fs::create_directories(parent, ec);
    if (ec) throw Error("Error: cannot create folder " + parent.string() + ": " + ec.message());
}

}  // namespace qb::hha
