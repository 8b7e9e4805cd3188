#pragma once
// Reading an HTML Help project: options, window, files, contents and index.
#include "support/Os.h"
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "hha/hha.h"

#include "support/NameSet.h"
#include "support/Text.h"

namespace qb::hha {

// Thrown to unwind a compile the caller asked to stop.
struct StopRequest {};

// The two callbacks of one compile call.
class Session {
public:
    Session(hha_log_proc log, hha_continue_proc cont) : log_(log), cont_(cont) {}
    // Passes one line to the log callback (nothing when there is none).
    void Log(const std::string& line) const;
    // Polls the continue callback; throws StopRequest once it asked to stop.
    void Poll();
    // Polls only when at least intervalMs passed since the last poll.
    void PollEvery(int intervalMs);

private:
    hha_log_proc log_;
    hha_continue_proc cont_;
    std::int64_t lastPollMs_ = 0;
};

// One file that goes into the compiled file.
struct ProjectFile {
    std::string written;  // the name as the project or a page wrote it
    std::string source;   // absolute native path of the file to read
    std::string name;     // stored name, "/a/b.html"
    bool looked = true;   // found a plain file inside the project; else looked at when opened
};

// Files the caller keeps in memory, by their path below the project's folder:
// the spelling of the folder itself cannot make them differ.
struct KeptFiles {
    hha_kept_proc proc = nullptr;
    void* context = nullptr;
    // Points bytes and size at the file kept under the stored name ("/a/b.html"); false when none is.
    bool Find(const std::string& name, const char*& bytes, std::size_t& size) const;
};

// A project file open for reading, with the size it had when opened.
class InputFile {
public:
    // Large files are read a piece of this size at a time.
    static constexpr std::size_t kPiece = 1 << 20;
    // Raises qb::Error naming written when source is no plain file that opens.
    InputFile(const std::string& source, const std::string& written, bool followLink = true);
    // A file kept in memory: bytes must outlive this.
    InputFile(const char* bytes, std::size_t size, const std::string& written)
        : written_(written), memory_(bytes), size_(size) {}
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    // Up to buf.size() bytes into buf; 0 at the end.
    std::size_t Read(char* buf, std::size_t size);
    // The rest of the file, calling poll between pieces of a large one.
    std::string ReadRest(const std::function<void()>& poll = {});
    // The file's name is a link (only when opened without following links).
    bool IsLink() const { return link_; }

private:
    std::string written_;
    const char* memory_ = nullptr;
    qb::os::Fd fd_ = qb::os::kNoFd;
    std::uint64_t size_ = 0;
    std::uint64_t read_ = 0;
    bool link_ = false;
};

struct Project {
    std::string hhpPath;                                       // absolute
    std::string folder;                                        // absolute, trailing "/"
    std::vector<std::pair<std::string, std::string>> options;  // [OPTIONS] in order
    std::vector<std::string> windows;                          // [WINDOWS] lines
    std::vector<std::string> fileLines;                        // [FILES] lines, trimmed, non-empty
    std::string compiledFile;                                  // absolute output path
    KeptFiles kept;                                            // read before the disk

    // Value of an option, key without regard to case; empty when absent.
    std::string Option(const std::string& key) const;
    std::string ContentsFile() const { return Option("Contents file"); }
    std::string IndexFile() const { return Option("Index file"); }
    std::string DefaultTopic() const { return Option("Default topic"); }
    std::string Title() const { return Option("Title"); }
    // Locale number of the "Language=" line ("0x409 English" -> 0x409); 0x409 when absent.
    std::uint32_t Lcid() const;
    bool FullTextSearch() const;
};

// Reads the project file; raises qb::Error naming it when it cannot be read.
Project ReadProject(const std::string& hhpFile);

// Where a path written in the project (or in a page of folder baseName) lives
// and under which name it is stored. outside: the file lies outside the project
// folder and is stored under its bare name at the root.
struct ResolvedPath {
    std::string source;
    std::string name;
    bool outside = false;
};
// Empty name for links that are not local files (schemes, anchors, empty text).
// A page link starting with "/" means the project folder, never the file system.
// A URL (literal false) loses its fragment and query and is percent-decoded;
// a literal file name is taken as it stands ("C#.html").
ResolvedPath ResolvePath(const Project& project, const std::string& written, const std::string& baseName = "/",
                         bool pageLink = false, bool literal = false);

// Stored-name form of a relative path: "\" -> "/", no "." segments, ".."
// folded; false when it climbs above the root.
bool CanonicalName(const std::string& relative, std::string& name);

// One <param> of a sitemap file with the place of its value in the text.
struct SitemapParam {
    std::string name;
    std::string value;
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
};
// One <OBJECT type="text/sitemap"> entry; level counts the open <UL>.
struct SitemapEntry {
    int level = 0;
    std::vector<SitemapParam> params;
    std::string Param(const std::string& name) const;  // first value, name without regard to case
};
std::vector<SitemapEntry> ParseSitemap(const std::string& text);
// The same entries handed over one at a time, so none is kept.
void ForEachSitemapEntry(const std::string& text, const std::function<void(const SitemapEntry&)>& each);
// The text with every "Local" value replaced by map(value).
std::string RewriteLocals(const std::string& text, const std::function<std::string(const std::string&)>& map);

// Fields of a window definition's value, split at commas outside double
// quotes and brackets ("[0,0,800,600]" stays one field).
std::vector<std::string> SplitWindowFields(const std::string& text);

// Local links (href and src values) of an HTML page without fragment and
// query, percent-decoded.
std::vector<std::string> PageLinks(const std::string& html);

class InsideCheck;

// Every file to store, each once: the listed files, the local files that the
// contents, the index and the default topic name, then the files each stored
// page or script links, added as the page is scanned.
class FileCollector {
public:
    // Adds all but the linked files. With lookNow, listed files are looked
    // at now and each file is logged as it is added; else a listed file is
    // looked at when opened and the caller logs each file as it stores it, so
    // the log follows the work. Raises qb::Error for a listed file or sitemap
    // that is missing or outside the project folder.
    FileCollector(const Project& project, Session& session, bool lookNow);
    ~FileCollector();
    std::size_t Count() const { return files_.size(); }
    // A copy: the list grows while pages are scanned.
    ProjectFile File(std::size_t i) const { return files_[i]; }
    // File i holds links to follow (a page or a script).
    bool NeedsScan(std::size_t i) const;
    // Opens file i, looking at it first when that was left until now.
    std::unique_ptr<InputFile> Open(std::size_t i);
    // Adds the files that text, the bytes of file i, links.
    void Scan(std::size_t i, const std::string& text);
    std::vector<ProjectFile> TakeFiles();
    // The stored names of every file, the list given up.
    NameSet TakeNames();

private:
    void Add(const std::string& written, const ResolvedPath& r, bool looked = true);
    bool Kept(const ResolvedPath& r) const;
    // A plain file, kept or on disk.
    bool IsFile(const ResolvedPath& r) const;

    const Project& project_;
    Session& session_;
    std::unique_ptr<InsideCheck> inside_;
    bool lookNow_;
    std::vector<ProjectFile> files_;
    std::vector<bool> scan_;
    NameSet seen_;  // stored names
};

// Every file to store, each looked at and every page scanned: the list the
// collector above ends with.
std::vector<ProjectFile> CollectFiles(const Project& project, Session& session);

std::string ReadWholeFile(const std::string& path);
bool IsRegularFile(const std::string& path);

}  // namespace qb::hha
