#include "hha/HhaProject.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <unordered_set>

#include "support/Error.h"
#include "support/Os.h"
#include "support/Path.h"

namespace qb::hha {

namespace {

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool HasScheme(const std::string& link) {
    auto colon = link.find(':');
    if (colon == std::string::npos) return false;
    auto slash = link.find_first_of("/\\");
    return slash == std::string::npos || colon < slash;
}

std::string PercentDecode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsHtmlName(const std::string& name) {
    std::string lower = LowerAscii(name);
    auto ends = [&](const char* ext) {
        std::string e(ext);
        return lower.size() >= e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0;
    };
    return ends(".html") || ends(".htm");
}

bool IsScriptName(const std::string& name) {
    const std::string lower = LowerAscii(name);
    return lower.size() >= 3 && lower.compare(lower.size() - 3, 3, ".js") == 0;
}

// Markup inside script strings, escapes dropped ("\'" -> "'", "<\/" -> "</").
std::string ScriptStringText(const std::string& script) {
    std::string out;
    for (std::size_t i = 0; i < script.size(); ++i) {
        if (script[i] == '\\' && i + 1 < script.size()) ++i;
        out += script[i];
    }
    return out;
}

}  // namespace

void Session::Log(const std::string& line) const {
    if (log_) log_(line.c_str());
}

void Session::Poll() {
    lastPollMs_ = NowMs();
    if (cont_ && cont_(0) == 0) throw StopRequest{};
}

void Session::PollEvery(int intervalMs) {
    if (NowMs() - lastPollMs_ >= intervalMs) Poll();
}

InputFile::InputFile(const std::string& source, const std::string& written, bool followLink) : written_(written) {
    // Never blocks on a pipe: anything but a plain file is refused below.
    const unsigned flags = os::kRead | os::kNonBlock | (followLink ? 0u : unsigned(os::kNoFollow));
    fd_ = os::Open(source, flags);
    if (fd_ < 0 && !followLink && errno == ELOOP) {
        link_ = true;
        return;
    }
    os::FileInfo st;
    if (fd_ >= 0 && (!os::Info(fd_, st) || st.kind != os::Kind::File)) {
        os::Close(fd_);
        fd_ = os::kNoFd;
    }
    if (fd_ < 0)
        throw Error("Error: cannot open file " + written + (source == written ? std::string() : " (" + source + ")"));
    size_ = st.size;
}

InputFile::~InputFile() { os::Close(fd_); }

bool KeptFiles::Find(const std::string& name, const char*& bytes, std::size_t& size) const {
    return proc && name.size() > 1 && proc(context, name.c_str() + 1, &bytes, &size) != 0 && bytes;
}

std::size_t InputFile::Read(char* buf, std::size_t size) {
    if (memory_) {
        const std::size_t n = std::min(size, static_cast<std::size_t>(size_ - read_));
        std::memcpy(buf, memory_ + read_, n);
        read_ += n;
        return n;
    }
    if (fd_ < 0 || size == 0) return 0;
    for (;;) {
        const long long n = os::Read(fd_, buf, size);
        if (n < 0) throw Error("Error: cannot read file " + written_ + ": " + os::ErrorText(errno));
        read_ += static_cast<std::uint64_t>(n);
        // A plain file's short read past the size it had is its end: the
        // look for the end costs no second call.
        if (static_cast<std::size_t>(n) < size && read_ >= size_) {
            os::Close(fd_);
            fd_ = os::kNoFd;
        }
        return static_cast<std::size_t>(n);
    }
}

std::string InputFile::ReadRest(const std::function<void()>& poll) {
    if (memory_) {
        std::string rest(memory_ + read_, static_cast<std::size_t>(size_ - read_));
        read_ = size_;
        return rest;
    }
    std::string bytes;
    std::size_t have = 0;
    for (;;) {
        const std::size_t want = read_ < size_ ? static_cast<std::size_t>(size_ - read_) + 1 : kPiece;
        const std::size_t ask = std::min(want, kPiece);
        if (bytes.size() < have + ask) bytes.resize(have + ask);
        const std::size_t n = Read(bytes.data() + have, ask);
        have += n;
        if (n == 0 || fd_ < 0) break;
        if (poll) poll();
    }
    bytes.resize(have);
    return bytes;
}

std::string ReadWholeFile(const std::string& path) { return InputFile(path, path).ReadRest(); }

bool IsRegularFile(const std::string& path) {
    os::Kind kind;
    return os::PathKind(path, kind, true) && kind == os::Kind::File;
}

std::string Project::Option(const std::string& key) const {
    for (const auto& [k, v] : options)
        if (EqualsNoCase(k, key)) return v;
    return {};
}

std::uint32_t Project::Lcid() const {
    std::string lang = Trim(Option("Language"));
    if (lang.empty()) return 0x409;
    char* end = nullptr;
    unsigned long v = std::strtoul(lang.c_str(), &end, 0);
    return (end == lang.c_str() || v == 0 || v > 0xFFFFFFFFul) ? 0x409 : static_cast<std::uint32_t>(v);
}

bool Project::FullTextSearch() const { return EqualsNoCase(Trim(Option("Full-text search")), "yes"); }

Project ReadProject(const std::string& hhpFile) {
    namespace fs = std::filesystem;
    std::string native = hhpFile;
    for (char& c : native)
        if (c == '\\') c = '/';
    if (native.empty() || !IsRegularFile(native)) throw Error("Error: cannot open project file " + hhpFile);
    Project p;
    std::error_code ec;
    p.hhpPath = Utf8Of(fs::absolute(FsPath(native), ec).lexically_normal());
    p.folder = Utf8Of(FsPath(p.hhpPath).parent_path());
    if (p.folder.empty() || p.folder.back() != '/') p.folder += '/';

    std::string section;
    for (const std::string& raw : SplitLines(ReadWholeFile(native))) {
        std::string line = Trim(raw);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = LowerAscii(line.substr(1, line.size() - 2));
            continue;
        }
        if (line.empty() || line[0] == ';') continue;
        if (section == "options") {
            auto eq = line.find('=');
            if (eq == std::string::npos) continue;
            p.options.emplace_back(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
        } else if (section == "windows") {
            p.windows.push_back(line);
        } else if (section == "files") {
            p.fileLines.push_back(line);
        }
    }

    std::string out = p.Option("Compiled file");
    for (char& c : out)
        if (c == '\\') c = '/';
    if (out.empty()) out = Utf8Of(FsPath(p.hhpPath).stem()) + ".chm";
    if (!IsAbsolutePath(out)) out = p.folder + out;
    p.compiledFile = Utf8Of(FsPath(out).lexically_normal());
    return p;
}

bool CanonicalName(const std::string& relative, std::string& name) {
    std::vector<std::string> parts;
    std::string cur;
    auto flush = [&]() -> bool {
        if (cur == "..") {
            if (parts.empty()) return false;
            parts.pop_back();
        } else if (!cur.empty() && cur != ".") {
            parts.push_back(cur);
        }
        cur.clear();
        return true;
    };
    for (char c : relative) {
        if (c == '\\' || c == '/') {
            if (!flush()) return false;
        } else {
            cur += c;
        }
    }
    if (!flush()) return false;
    name.clear();
    for (const auto& part : parts) name += "/" + part;
    return !name.empty();
}

ResolvedPath ResolvePath(const Project& project, const std::string& written, const std::string& baseName, bool pageLink,
                         bool literal) {
    ResolvedPath r;
    std::string link = Trim(written);
    if (!literal) link = PercentDecode(link.substr(0, link.find_first_of("#?")));
    if (link.empty() || HasScheme(link)) return r;
    std::string fwd = link;
    for (char& c : fwd)
        if (c == '\\') c = '/';
    // An absolute file-system path: inside the project folder it keeps its
    // place, outside it is stored under its bare name.
    if (!pageLink && fwd[0] == '/' &&
        (IsRegularFile(fwd) || fwd.compare(0, project.folder.size(), project.folder) == 0)) {
        std::string normal = Utf8Of(FsPath(fwd).lexically_normal());
        if (normal.compare(0, project.folder.size(), project.folder) == 0) {
            if (!CanonicalName(normal.substr(project.folder.size()), r.name)) r.name.clear();
        } else {
            r.name = "/" + Utf8Of(FsPath(normal).filename());
            r.outside = true;
        }
        r.source = normal;
        return r;
    }
    std::string base = fwd[0] == '/' ? std::string() : baseName;
    if (!CanonicalName(base + "/" + fwd, r.name)) {
        r.name.clear();
        return r;
    }
    r.source = project.folder + r.name.substr(1);
    return r;
}

std::string SitemapEntry::Param(const std::string& name) const {
    for (const auto& p : params)
        if (EqualsNoCase(p.name, name)) return p.value;
    return {};
}

namespace {

// Value of attribute attr inside the tag text [begin, end); npos when absent.
bool FindAttribute(const std::string& text, std::size_t begin, std::size_t end, const std::string& attr,
                   std::size_t& vb, std::size_t& ve) {
    // Compared in place without regard to case: this runs for every tag of every page.
    const std::string_view tag = std::string_view(text).substr(begin, end - begin);
    for (std::size_t pos = 0; pos + attr.size() <= tag.size(); ++pos) {
        if (!EqualsNoCase(tag.substr(pos, attr.size()), attr)) continue;
        bool boundary = pos == 0 || static_cast<unsigned char>(tag[pos - 1]) <= ' ';
        std::size_t i = pos + attr.size();
        while (i < tag.size() && tag[i] == ' ') ++i;
        if (!boundary || i >= tag.size() || tag[i] != '=') {
            pos += attr.size() - 1;
            continue;
        }
        ++i;
        while (i < tag.size() && tag[i] == ' ') ++i;
        if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
            char q = tag[i];
            std::size_t close = tag.find(q, i + 1);
            if (close == std::string::npos) close = tag.size();
            vb = begin + i + 1;
            ve = begin + close;
        } else {
            std::size_t j = i;
            while (j < tag.size() && static_cast<unsigned char>(tag[j]) > ' ' && tag[j] != '>') ++j;
            vb = begin + i;
            ve = begin + j;
        }
        return true;
    }
    return false;
}

}  // namespace

std::vector<SitemapEntry> ParseSitemap(const std::string& text) {
    std::vector<SitemapEntry> entries;
    ForEachSitemapEntry(text, [&entries](const SitemapEntry& e) { entries.push_back(e); });
    return entries;
}

void ForEachSitemapEntry(const std::string& text, const std::function<void(const SitemapEntry&)>& each) {
    int level = 0;
    bool inEntry = false;
    SitemapEntry cur;
    std::size_t pos = 0;
    while ((pos = text.find('<', pos)) != std::string::npos) {
        std::size_t end = text.find('>', pos);
        if (end == std::string::npos) break;
        std::size_t nameEnd = pos + 1;
        while (nameEnd<end&& static_cast<unsigned char>(text[nameEnd])> ' ') ++nameEnd;
        std::string tag = LowerAscii(std::string_view(text).substr(pos + 1, nameEnd - pos - 1));
        if (tag == "ul") {
            ++level;
        } else if (tag == "/ul") {
            if (level > 0) --level;
        } else if (tag == "object") {
            std::size_t vb, ve;
            if (FindAttribute(text, nameEnd, end, "type", vb, ve) &&
                LowerAscii(text.substr(vb, ve - vb)) == "text/sitemap") {
                inEntry = true;
                cur = SitemapEntry{};
                cur.level = level;
            }
        } else if (tag == "/object") {
            if (inEntry) each(cur);
            inEntry = false;
        } else if (tag == "param" && inEntry) {
            SitemapParam p;
            std::size_t nb, ne;
            if (FindAttribute(text, nameEnd, end, "name", nb, ne) &&
                FindAttribute(text, nameEnd, end, "value", p.valueBegin, p.valueEnd)) {
                p.name = text.substr(nb, ne - nb);
                p.value = text.substr(p.valueBegin, p.valueEnd - p.valueBegin);
                cur.params.push_back(p);
            }
        }
        pos = end + 1;
    }
}

std::string RewriteLocals(const std::string& text, const std::function<std::string(const std::string&)>& map) {
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    for (const auto& e : ParseSitemap(text))
        for (const auto& p : e.params)
            if (EqualsNoCase(p.name, "Local")) spans.emplace_back(p.valueBegin, p.valueEnd);
    std::string out;
    std::size_t last = 0;
    for (const auto& [b, e] : spans) {
        out += text.substr(last, b - last);
        out += map(text.substr(b, e - b));
        last = e;
    }
    out += text.substr(last);
    return out;
}

std::vector<std::string> SplitWindowFields(const std::string& text) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    int brackets = 0;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (!quoted && c == '[') ++brackets;
        if (!quoted && c == ']' && brackets > 0) --brackets;
        if (c == ',' && !quoted && brackets == 0) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::vector<std::string> PageLinks(const std::string& html) {
    std::vector<std::string> links;
    std::size_t pos = 0;
    while ((pos = html.find('<', pos)) != std::string::npos) {
        if (html.compare(pos, 4, "<!--") == 0) {
            std::size_t close = html.find("-->", pos + 4);
            if (close == std::string::npos) break;
            pos = close + 3;
            continue;
        }
        std::size_t end = html.find('>', pos);
        if (end == std::string::npos) break;
        for (const char* attr : {"href", "src", "background"}) {
            std::size_t vb, ve;
            if (FindAttribute(html, pos + 1, end, attr, vb, ve) && ve > vb) {
                // The fragment goes before decoding: "%23" is part of the name.
                std::string link = html.substr(vb, ve - vb);
                links.push_back(PercentDecode(link.substr(0, link.find_first_of("#?"))));
            }
        }
        pos = end + 1;
    }
    return links;
}

namespace {

std::string RealPath(const std::string& path) {
    return NativePath(os::RealPath(path));
}

bool IsDriveName(const std::string& dir) {
    return dir.size() == 2 && dir[1] == ':' && ((dir[0] >= 'A' && dir[0] <= 'Z') || (dir[0] >= 'a' && dir[0] <= 'z'));
}

}  // namespace

// Files come only from inside the project folder, links resolved: a compile
// must never pack a file the project merely names (an absolute path, a
// "../" entry, a link pointing out).
class InsideCheck {
public:
    explicit InsideCheck(const Project& project) : realFolder_(RealPath(project.folder)) {
        if (!realFolder_.empty() && realFolder_.back() != '/') realFolder_ += '/';
    }
    void Require(const std::string& written, const ResolvedPath& r) const {
        RequireNamed(written, r);
        RequireReal(written, Resolved(r.source));
    }
    // What needs no look at the disk: a name that climbs out.
    void RequireNamed(const std::string& written, const ResolvedPath& r) const {
        if (r.outside) Refuse(written, r.source);
    }
    // source, whose own name was found to be no link, lies inside.
    void RequireNoLink(const std::string& written, const std::string& source) const {
        RequireReal(written, Resolved(source, true));
    }

private:
    void RequireReal(const std::string& written, const std::string& real) const {
        if (!real.empty() && (realFolder_.empty() || real.compare(0, realFolder_.size(), realFolder_) != 0))
            Refuse(written, real);
    }
    [[noreturn]] static void Refuse(const std::string& written, const std::string& where) {
        throw Error("Error: " + written + " lies outside the project folder" +
                    (where.empty() || where == written ? std::string() : " (" + where + ")") +
                    "; only files inside it are compiled");
    }
    // realpath of a file whose name is no link: its folder resolved once for
    // all the files in it, since resolving looks at every folder above it.
    std::string Resolved(const std::string& source, bool knownNoLink = false) const {
        const std::size_t slash = source.rfind('/');
        os::Kind kind;
        if (slash == std::string::npos || slash == 0 ||
            (!knownNoLink && (!os::PathKind(source, kind, false) || kind == os::Kind::Link)))
            return RealPath(source);
        const std::string& real = RealDir(source.substr(0, slash));
        return real.empty() ? std::string() : real + source.substr(slash);
    }
    // A folder that is no link resolves to its parent's real path and its
    // name: one look per folder, where realpath walks every folder above it.
    const std::string& RealDir(const std::string& dir) const {
        auto it = realDirs_.find(dir);
        if (it != realDirs_.end()) return it->second;
        const std::size_t slash = dir.rfind('/');
        const std::string name = slash == std::string::npos ? std::string() : dir.substr(slash + 1);
        os::Kind kind;
        std::string real;
        if (IsDriveName(dir)) {
            // "Z:" alone names the drive's current folder; the walk up means its root.
            real = RealPath(dir + "/");
            while (!real.empty() && real.back() == '/') real.pop_back();
        } else if (slash == std::string::npos || slash == 0 || name.empty() || name == "." || name == ".." ||
            !os::PathKind(dir, kind, false) || kind == os::Kind::Link) {
            real = RealPath(dir);
        } else {
            const std::string& parent = RealDir(dir.substr(0, slash));
            if (!parent.empty()) real = (parent == "/" ? std::string() : parent) + "/" + name;
        }
        return realDirs_.emplace(dir, std::move(real)).first->second;
    }
    std::string realFolder_;
    mutable std::map<std::string, std::string> realDirs_;
};

namespace {

// A written path that is a local file but resolves to no stored name climbs
// above the project folder. Unless look is false, a file named is looked at
// to be inside the folder, links resolved.
ResolvedPath ResolveChecked(const Project& project, const std::string& written, const InsideCheck& inside,
                            bool literal = false, bool look = true) {
    ResolvedPath r = ResolvePath(project, written, "/", false, literal);
    if (r.name.empty() && !r.outside) {
        std::string link = Trim(written);
        if (!literal) link = link.substr(0, link.find_first_of("#?"));
        std::string ignored;
        if (!link.empty() && !HasScheme(link) && !CanonicalName(link, ignored) && link != "." && link != "./" &&
            link != ".\\")
            r.outside = true;
    }
    if (!r.name.empty() || r.outside) {
        if (look)
            inside.Require(written, r);
        else
            inside.RequireNamed(written, r);
    }
    return r;
}

}  // namespace

FileCollector::FileCollector(const Project& project, Session& session, bool lookNow)
    : project_(project), session_(session), inside_(std::make_unique<InsideCheck>(project)), lookNow_(lookNow) {
    // [FILES] lines and the project's own references are file names, not URLs.
    std::unordered_set<std::string> listed;  // stored names as listed, letter case kept
    for (const std::string& line : project.fileLines) {
        ResolvedPath r = ResolveChecked(project, line, *inside_, true, lookNow);
        if (r.name.empty()) continue;
        if (lookNow && !IsFile(r)) throw Error("Error: cannot open file " + line + " (" + r.source + ")");
        // Stored names ignore letter case: of "a.html" and "A.html" one file
        // can be stored, and the user is told which is left out.
        if (listed.insert(r.name).second && seen_.Contains(r.name))
            session_.Log("Warning: " + line +
                         " is left out: the help file's names ignore letter case and a file listed before has this "
                         "name");
        Add(line, r, lookNow);
    }
    for (const std::string& sitemap : {project.ContentsFile(), project.IndexFile()}) {
        if (sitemap.empty()) continue;
        ResolvedPath sr = ResolveChecked(project, sitemap, *inside_, true);
        if (sr.name.empty() || !IsFile(sr))
            throw Error("Error: cannot open file " + sitemap + " (" + (sr.source.empty() ? sitemap : sr.source) + ")");
        ForEachSitemapEntry(ReadWholeFile(sr.source), [&](const SitemapEntry& entry) {
            std::string local = entry.Param("Local");
            // The contents and the index name every page the file list named:
            // a name stored already was looked at then, or will be.
            ResolvedPath r = ResolvePath(project, local, "/", false, false);
            if (!r.name.empty() && !r.outside && seen_.Contains(r.name)) return;
            const bool kept = Kept(r);
            r = ResolveChecked(project, local, *inside_, false, !kept);
            if (!r.name.empty() && (kept || IsRegularFile(r.source))) Add(local, r);
        });
    }
    std::string topic = project.DefaultTopic();
    if (!topic.empty()) {
        ResolvedPath r = ResolvePath(project, topic, "/", false, true);
        if (!r.name.empty() && !r.outside && seen_.Contains(r.name)) return;
        const bool kept = Kept(r);
        r = ResolveChecked(project, topic, *inside_, true, !kept);
        if (!r.name.empty() && (kept || IsRegularFile(r.source))) Add(topic, r);
    }
}

FileCollector::~FileCollector() = default;

void FileCollector::Add(const std::string& written, const ResolvedPath& r, bool looked) {
    if (r.name.empty()) return;
    if (!seen_.Insert(r.name)) return;
    files_.push_back({written, r.source, r.name, looked});
    // Scripts count too: menus a page loads link pages that no page names.
    scan_.push_back(IsHtmlName(r.name) || IsScriptName(r.name));
    if (lookNow_) session_.Log(written);
    session_.PollEvery(50);
}

bool FileCollector::NeedsScan(std::size_t i) const { return scan_[i]; }

bool FileCollector::Kept(const ResolvedPath& r) const {
    const char* bytes = nullptr;
    std::size_t size = 0;
    return !r.outside && project_.kept.Find(r.name, bytes, size);
}

bool FileCollector::IsFile(const ResolvedPath& r) const { return Kept(r) || IsRegularFile(r.source); }

std::unique_ptr<InputFile> FileCollector::Open(std::size_t i) {
    ProjectFile& file = files_[i];
    const char* bytes = nullptr;
    std::size_t size = 0;
    if (project_.kept.Find(file.name, bytes, size)) {
        // Kept by the caller, never on disk: only its folder can lead out.
        if (!file.looked) inside_->RequireNoLink(file.written, file.source);
        file.looked = true;
        return std::make_unique<InputFile>(bytes, size, file.written);
    }
    if (file.looked) return std::make_unique<InputFile>(file.source, file.written);
    // Opened without following a link, a plain file needs only its folder
    // resolved; a link is resolved whole before it is followed.
    auto in = std::make_unique<InputFile>(file.source, file.written, false);
    if (in->IsLink()) {
        inside_->Require(file.written, {file.source, file.name, false});
        in = std::make_unique<InputFile>(file.source, file.written);
    } else {
        inside_->RequireNoLink(file.written, file.source);
    }
    file.looked = true;
    return in;
}

void FileCollector::Scan(std::size_t i, const std::string& text) {
    const ProjectFile page = files_[i];
    scan_[i] = false;
    std::string folder = page.name.substr(0, page.name.rfind('/'));
    for (const std::string& link : PageLinks(IsScriptName(page.name) ? ScriptStringText(text) : text)) {
        ResolvedPath r = ResolvePath(project_, link, folder.empty() ? "/" : folder, true, true);
        // Links from pages only reach files below the project folder; a
        // link of the file system inside it must not lead out either. A
        // name stored already needs no look at the disk: pages link to
        // their neighbours many times over.
        if (r.name.empty() || r.outside || seen_.Contains(r.name)) continue;
        if (Kept(r)) {
            inside_->RequireNoLink(r.name.substr(1), r.source);
        } else {
            if (!IsRegularFile(r.source)) continue;
            inside_->Require(r.name.substr(1), r);
        }
        Add(r.name.substr(1), r);
    }
}

std::vector<ProjectFile> FileCollector::TakeFiles() {
    std::vector<bool>().swap(scan_);
    seen_ = NameSet();
    return std::move(files_);
}

NameSet FileCollector::TakeNames() {
    std::vector<bool>().swap(scan_);
    std::vector<ProjectFile>().swap(files_);
    return std::move(seen_);
}

std::vector<ProjectFile> CollectFiles(const Project& project, Session& session) {
    FileCollector collector(project, session, true);
    for (std::size_t i = 0; i < collector.Count(); ++i)
        if (collector.NeedsScan(i)) collector.Scan(i, collector.Open(i)->ReadRest());
    return collector.TakeFiles();
}

}  // namespace qb::hha
