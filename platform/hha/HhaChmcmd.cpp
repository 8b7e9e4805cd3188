#include "hha/HhaChmcmd.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "hha/HhaTemp.h"
#include "support/Error.h"
#include "support/Os.h"
#include "support/Scratch.h"
#include "support/Path.h"

namespace qb::hha {

namespace fs = std::filesystem;

namespace {

// Project-relative stored name for chmcmd: forward slashes, no "./" prefix.
std::string PlainName(const Project& project, const std::string& written) {
    ResolvedPath r = ResolvePath(project, written);
    return r.name.empty() ? written : r.name.substr(1);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    CreateParents(path);
    std::error_code ec;
    fs::remove(path, ec);  // never write through a link to the original
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush()) throw Error("Error: cannot write " + path);
}

std::string NormaliseWindow(const Project& project, const std::string& line) {
    auto eq = line.find('=');
    if (eq == std::string::npos) return line;
    std::vector<std::string> fields = SplitWindowFields(line.substr(eq + 1));
    // Fields 2 to 5: contents, index, default topic, home page.
    for (std::size_t i = 1; i < fields.size() && i <= 4; ++i) {
        std::string f = fields[i];
        bool quoted = f.size() >= 2 && f.front() == '"' && f.back() == '"';
        std::string inner = quoted ? f.substr(1, f.size() - 2) : f;
        if (inner.empty() || inner[0] == '/') continue;
        inner = PlainName(project, inner);
        fields[i] = quoted ? "\"" + inner + "\"" : inner;
    }
    std::string out = line.substr(0, eq + 1);
    for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + fields[i];
    return out;
}

}  // namespace

bool CompileWithChmcmd(const Project& project, Session& session) {
    std::vector<ProjectFile> files = CollectFiles(project, session);

    TempFolder mirror(TempDirectory() + "/qb-hha-");
    // The mirror holds links to every file under its stored name, so chmcmd
    // finds them beside the normalised project whatever the project wrote.
    for (const ProjectFile& f : files) {
        std::string target = mirror.Path() + f.name.substr(1);
        CreateParents(target);
        std::error_code ec;
        if (f.source.compare(0, project.folder.size(), project.folder) == 0)
            fs::create_symlink(f.source, target, ec);
        else
            fs::copy_file(f.source, target, fs::copy_options::overwrite_existing, ec);
        if (ec) throw Error("Error: cannot prepare " + f.written + ": " + ec.message());
        session.PollEvery(50);
    }

    PendingOutput output(project.compiledFile);
    std::string hhp = "[OPTIONS]\r\n";
    for (const auto& [key, value] : project.options) {
        std::string v = value;
        if (EqualsNoCase(key, "Compiled file"))
            v = output.TempPath();
        else if ((EqualsNoCase(key, "Contents file") || EqualsNoCase(key, "Index file") ||
                  EqualsNoCase(key, "Default topic")) &&
                 !v.empty())
            v = PlainName(project, v);
        hhp += key + "=" + v + "\r\n";
    }
    if (project.Option("Compiled file").empty()) hhp += "Compiled file=" + output.TempPath() + "\r\n";
    hhp += "[WINDOWS]\r\n";
    for (const auto& w : project.windows) hhp += NormaliseWindow(project, w) + "\r\n";
    hhp += "[FILES]\r\n";
    for (const ProjectFile& f : files) hhp += f.name.substr(1) + "\r\n";
    std::string hhpPath = mirror.Path() + Utf8Of(FsPath(project.hhpPath).filename());
    WriteFile(hhpPath, hhp);

    for (const std::string& sitemap : {project.ContentsFile(), project.IndexFile()}) {
        if (sitemap.empty()) continue;
        ResolvedPath r = ResolvePath(project, sitemap);
        std::string text = RewriteLocals(ReadWholeFile(r.source), [&](const std::string& local) {
            ResolvedPath lr = ResolvePath(project, local);
            return lr.name.empty()
                       ? local
                       : lr.name.substr(1) + local.substr(std::min(local.size(), local.find_first_of("#?")));
        });
        WriteFile(mirror.Path() + r.name.substr(1), text);
    }

    os::Process::Options options;
    options.captureOutput = true;
    options.ownGroup = false;
    options.folder = project.folder;
    std::unique_ptr<os::Process> child;
    try {
        child = std::make_unique<os::Process>("chmcmd", std::vector<std::string>{"chmcmd", "--no-html-scan", hhpPath},
                                              options);
    } catch (const Error& e) {
        session.Log(std::string("Error: cannot run chmcmd: ") + e.what());
        return false;
    }

    bool errorLine = false;
    std::string pending;
    auto emit = [&](std::string line) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (Trim(line).rfind("Error:", 0) == 0) errorLine = true;
        session.Log(line);
    };
    char buf[4096];
    for (;;) {
        const long long got = child->ReadOutput(buf, sizeof buf, 50);
        session.PollEvery(50);  // throws StopRequest; the Process kills chmcmd on the way out
        if (got == -2) continue;
        if (got <= 0) break;
        pending.append(buf, static_cast<std::size_t>(got));
        std::size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            emit(pending.substr(0, nl));
            pending.erase(0, nl + 1);
        }
    }
    if (!pending.empty()) emit(pending);
    const int status = child->Wait();

    std::error_code ec;
    auto size = fs::file_size(output.TempPath(), ec);
    if (status != 0) {
        session.Log("Error: chmcmd failed with " +
                    (status > 0 ? "exit status " + std::to_string(status) : "signal " + std::to_string(-status)));
        return false;
    }
    if (errorLine) return false;
    if (ec || size == 0) {
        session.Log("Error: chmcmd wrote no output file " + project.compiledFile);
        return false;
    }
    output.Commit();
    return true;
}

}  // namespace qb::hha
