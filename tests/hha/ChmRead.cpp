#include "tests/hha/ChmRead.h"

#include <chm_lib.h>
#include <mspack.h>

#include <filesystem>
#include <memory>
#include <set>

#include "tests/hha/GenProject.h"
#include "tests/support/TestSupport.h"

namespace hhatest {

namespace fs = std::filesystem;

namespace {

struct ChmCloser {
    void operator()(chmFile* h) const { chm_close(h); }
};
using ChmPtr = std::unique_ptr<chmFile, ChmCloser>;

std::string Retrieve(chmFile* h, chmUnitInfo& ui) {
    std::string bytes(static_cast<std::size_t>(ui.length), '\0');
    if (ui.length == 0) return bytes;
    LONGINT64 got = chm_retrieve_object(h, &ui, reinterpret_cast<unsigned char*>(bytes.data()), 0, ui.length);
    if (got != static_cast<LONGINT64>(ui.length)) return "<retrieve failed>";
    return bytes;
}

struct EnumState {
    std::vector<std::string> names;
};

int Collect(chmFile*, chmUnitInfo* ui, void* context) {
    static_cast<EnumState*>(context)->names.push_back(ui->path);
    return CHM_ENUMERATOR_CONTINUE;
}

}  // namespace

std::map<std::string, std::string> ReadWithChmlib(const std::string& chm, std::string* duplicates) {
    std::map<std::string, std::string> out;
    ChmPtr h(chm_open(chm.c_str()));
    if (!h) return out;
    EnumState state;
    chm_enumerate(h.get(), CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_SPECIAL | CHM_ENUMERATE_FILES, Collect, &state);
    for (const auto& name : state.names) {
        chmUnitInfo ui{};
        if (chm_resolve_object(h.get(), name.c_str(), &ui) != CHM_RESOLVE_SUCCESS) {
            out[name] = "<unresolved>";
            continue;
        }
        if (out.count(name) && duplicates) *duplicates += name + " ";
        out[name] = Retrieve(h.get(), ui);
    }
    return out;
}

bool ChmlibLookup(const std::string& chm, const std::string& name, std::string& bytes) {
    ChmPtr h(chm_open(chm.c_str()));
    chmUnitInfo ui{};
    if (!h || chm_resolve_object(h.get(), name.c_str(), &ui) != CHM_RESOLVE_SUCCESS) return false;
    bytes = Retrieve(h.get(), ui);
    return true;
}

std::map<std::string, std::string> ReadWithMspack(const std::string& chm) {
    std::map<std::string, std::string> out;
    mschm_decompressor* d = mspack_create_chm_decompressor(nullptr);
    if (!d) return out;
    mschmd_header* hdr = d->open(d, chm.c_str());
    if (hdr) {
        qbtest::TempDir tmp;
        int n = 0;
        for (auto* list : {hdr->files, hdr->sysfiles}) {
            for (mschmd_file* f = list; f; f = f->next) {
                std::string path = tmp / ("f" + std::to_string(n++));
                if (f->length == 0) {
                    out[f->filename] = "";
                } else if (d->extract(d, f, path.c_str()) == MSPACK_ERR_OK) {
                    out[f->filename] = qbtest::ReadFile(path);
                } else {
                    out[f->filename] = "<extract failed>";
                }
            }
        }
        d->close(d, hdr);
    }
    mspack_destroy_chm_decompressor(d);
    return out;
}

std::map<std::string, std::string> ReadWith7z(const std::string& chm, const std::string& folder) {
    std::map<std::string, std::string> out;
    fs::create_directories(folder);
    int status = -1;
    RunCommand("7z x -y -o'" + folder + "' '" + chm + "' > /dev/null 2>&1", &status);
    if (status != 0) return out;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (!e.is_regular_file()) continue;
        std::string rel = e.path().string().substr(folder.size());
        if (!rel.empty() && rel[0] != '/') rel = "/" + rel;
        out[rel] = qbtest::ReadFile(e.path().string());
    }
    return out;
}

}  // namespace hhatest
