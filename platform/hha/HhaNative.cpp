#include "hha/HhaNative.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string_view>
#include <thread>

#include "hha/ChmContainer.h"
#include "hha/HhaFts.h"
#include "hha/HhaHelpFiles.h"
#include "hha/HhaLzxSection.h"
#include "hha/HhaNavigation.h"
#include "hha/HhaStoredLzx.h"
#include "hha/HhaTemp.h"
#include "hha/HhaText.h"
#include "hha/Lzx.h"
#include "support/Error.h"
#include "support/Os.h"
#include "support/Path.h"

namespace qb::hha {

namespace fs = std::filesystem;

namespace {

bool IsHtml(const std::string& name) {
    std::string lower = LowerAscii(name);
    auto ends = [&](const std::string& ext) {
        return lower.size() >= ext.size() && lower.compare(lower.size() - ext.size(), ext.size(), ext) == 0;
    };
    return ends(".html") || ends(".htm");
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Hands a file to the container piece by piece: files of any size pass
// through a buffer of one piece. buf is the caller's, kept from file to file:
// a fresh megabyte per file costs more than reading a page.
void StreamPolled(InputFile& in, const std::string& name, Session& session, ChmContainer& container, std::string& buf) {
    container.BeginFile(name);
    buf.resize(InputFile::kPiece);
    while (std::size_t n = in.Read(buf.data(), buf.size())) {
        container.AppendFile(std::string_view(buf.data(), n));
        session.PollEvery(50);
    }
}

// Compressor threads: one per core, or QB_HHA_THREADS; the bytes are the
// same for any count.
unsigned CompressorThreads() {
    if (const auto v = os::Environment("QB_HHA_THREADS"); v && !v->empty())
        return static_cast<unsigned>(std::max(1, std::atoi(v->c_str())));
    return std::max(1u, std::thread::hardware_concurrency());
}

// Memory the search index's word lists take before they go to a temporary
// file: QB_HHA_FTS_RUN_BYTES, or 8 MB; the bytes are the same for any size.
std::size_t SearchRunBytes() {
    if (const auto v = os::Environment("QB_HHA_FTS_RUN_BYTES"); v && !v->empty()) return std::strtoull(v->c_str(), nullptr, 10);
    return 8u << 20;
}

// Stored name of a project-level file reference without the leading "/".
std::string PlainName(const Project& project, const std::string& written) {
    if (written.empty()) return {};
    ResolvedPath r = ResolvePath(project, written, "/", false, true);
    return r.name.empty() ? written : r.name.substr(1);
}

// A sitemap's Local as stored: the stored name as a relative URL with the
// written value's fragment ("#part" stays).
std::string StoredLocal(const std::string& name, const std::string& written) {
    std::string url;
    for (char c : UrlEscapeName(name.substr(1))) url += c == '"' ? std::string("%22") : std::string(1, c);
    const std::size_t fragment = written.find('#');
    if (fragment != std::string::npos) url += written.substr(fragment);
    return url;
}

bool OptionOn(const Project& project, const std::string& key, bool absent) {
    std::string v = Trim(project.Option(key));
    return v.empty() ? absent : EqualsNoCase(v, "yes");
}

// Sitemap entries with only what the compile reads of them (names decoded,
// links resolved to stored names), their texts back to back: a project's
// contents may have an entry for each of its pages.
class SitemapRecords {
public:
    enum Kind : char { kName, kSeeAlso, kLocal };
    struct Param {
        std::uint64_t at;
        std::uint32_t length;
        Kind kind;
    };
    struct Entry {
        int level;
        std::uint32_t firstParam, paramCount;
    };

    void Add(int level) { entries_.push_back({level, static_cast<std::uint32_t>(params_.size()), 0}); }
    void AddParam(Kind kind, std::string_view text) {
        params_.push_back({arena_.size(), static_cast<std::uint32_t>(text.size()), kind});
        arena_ += text;
        ++entries_.back().paramCount;
    }
    std::size_t Size() const { return entries_.size(); }
    // Gives back the room kept for more entries.
    void Trim() {
        arena_.shrink_to_fit();
        params_.shrink_to_fit();
        entries_.shrink_to_fit();
    }
    const Entry& At(std::size_t i) const { return entries_[i]; }
    const Param& ParamOf(const Entry& e, std::size_t k) const { return params_[e.firstParam + k]; }
    std::string Text(const Param& p) const { return arena_.substr(p.at, p.length); }

private:
    std::string arena_;
    std::vector<Param> params_;
    std::vector<Entry> entries_;
};

// The first contents entry of each page, found by the page's stored name
// without regard to case.
class ContentsPages {
public:
    explicit ContentsPages(const SitemapRecords& contents) : contents_(contents) {
        for (std::uint32_t i = 0; i < contents.Size(); ++i)
            if (!Page(i).empty()) order_.push_back(i);
        std::stable_sort(order_.begin(), order_.end(),
                         [this](std::uint32_t a, std::uint32_t b) { return LessNoCase(Page(a), Page(b)); });
    }
    // The entry's index, or -1 when no entry opens the page.
    std::int64_t Find(const std::string& name) const {
        auto it = std::lower_bound(order_.begin(), order_.end(), name,
                                   [this](std::uint32_t e, const std::string& n) { return LessNoCase(Page(e), n); });
        return it != order_.end() && EqualsNoCase(Page(*it), name) ? static_cast<std::int64_t>(*it) : -1;
    }
    std::string Page(std::uint32_t i) const { return contents_.Text(contents_.ParamOf(contents_.At(i), 1)); }

private:
    const SitemapRecords& contents_;
    std::vector<std::uint32_t> order_;
};

// The binary contents and keyword index with the topics they open.
struct Navigation {
    std::string tocidx;
    KeywordLinks keywords;
    std::uint32_t contentsTopic = 0, indexTopic = 0;
};

// Uses up the sitemap records and the set of stored names.
Navigation BuildNavigation(const Project& project, const std::string& contentsName, SitemapRecords& contentsEntries,
                           const std::string& indexName, SitemapRecords& indexEntries, NameSet& stored,
                           std::vector<Topic>& topics, StringTable& strings, const std::string& spillFolder) {
    Navigation nav;
    std::map<std::string, std::size_t> pageTopic;  // lower-case stored name -> first topic
    for (std::size_t i = 0; i < topics.size(); ++i) pageTopic.emplace(LowerAscii(topics[i].name), i);
    auto addTopic = [&](const std::string& name, const std::string& title, bool inContents) {
        topics.push_back({name, title, inContents});
        return static_cast<std::uint32_t>(topics.size() - 1);
    };
    // The stored name a sitemap entry opens, "" when none is stored.
    auto target = [&](const std::string& name) {
        return !name.empty() && stored.Contains(name) ? name : std::string();
    };

    const bool binaryToc = !contentsName.empty() && OptionOn(project, "Binary TOC", false);
    const bool binaryIndex = !indexName.empty() && OptionOn(project, "Binary Index", true);
    // The sitemap files are topics too; #SYSTEM names them by their ids.
    if (binaryToc) nav.contentsTopic = addTopic(contentsName, "", false);
    if (binaryIndex) nav.indexTopic = addTopic(indexName, "", false);

    if (binaryToc && contentsEntries.Size() > 0) {
        // The viewer shows a contents entry under its topic's title, so an
        // entry whose name differs from the page title gets a topic of its own.
        std::vector<TocItem> items;
        for (std::size_t e = 0; e < contentsEntries.Size(); ++e) {
            const SitemapRecords::Entry& entry = contentsEntries.At(e);
            TocItem item;
            item.level = entry.level;
            std::string name = contentsEntries.Text(contentsEntries.ParamOf(entry, 0));
            std::string page = target(contentsEntries.Text(contentsEntries.ParamOf(entry, 1)));
            if (page.empty()) {
                item.nameText = strings.Add(name);
            } else {
                auto it = pageTopic.find(LowerAscii(page));
                bool reuse = it != pageTopic.end() && topics[it->second].title == name && !topics[it->second].tocEntry;
                item.topic = reuse ? static_cast<std::int64_t>(it->second) : addTopic(page, name, true);
                if (reuse) topics[it->second].tocEntry = 1;  // claimed; the offset follows
            }
            items.push_back(item);
        }
        contentsEntries = SitemapRecords();  // read through: room for what follows
        TocIdx toc = BuildTocIdx(items);
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i].topic < 0) continue;
            Topic& t = topics[static_cast<std::size_t>(items[i].topic)];
            if (t.tocEntry <= 1) t.tocEntry = toc.entryOffsets[i];
        }
        nav.tocidx = std::move(toc.bytes);
    }

    if (binaryIndex && indexEntries.Size() > 0) {
        std::vector<KeywordItem> items;
        items.reserve(indexEntries.Size());  // no second copy while it grows
        for (std::size_t e = 0; e < indexEntries.Size(); ++e) {
            const SitemapRecords::Entry& entry = indexEntries.At(e);
            KeywordItem item;
            item.level = entry.level;
            bool first = true;
            std::string pairName;
            for (std::size_t k = 0; k < entry.paramCount; ++k) {
                const SitemapRecords::Param& param = indexEntries.ParamOf(entry, k);
                if (param.kind == SitemapRecords::kName) {
                    if (first) item.name = indexEntries.Text(param);
                    pairName = indexEntries.Text(param);
                    first = false;
                } else if (param.kind == SitemapRecords::kSeeAlso) {
                    item.seeAlso = indexEntries.Text(param);
                } else {
                    std::string page = target(indexEntries.Text(param));
                    if (page.empty()) continue;
                    auto it = pageTopic.find(LowerAscii(page));
                    std::uint32_t t = it != pageTopic.end() ? static_cast<std::uint32_t>(it->second)
                                                            : addTopic(page, pairName, false);
                    pageTopic.emplace(LowerAscii(page), t);
                    item.topics.push_back(t);
                }
            }
            if (!item.name.empty()) items.push_back(std::move(item));
        }
        indexEntries = SitemapRecords();
        // Every link is resolved: the keyword tree gets the room.
        std::map<std::string, std::size_t>().swap(pageTopic);
        stored = NameSet();
        if (!items.empty())
            nav.keywords = BuildKeywordLinks(items, project.Lcid(), AnsiCodePage(project.Lcid()), spillFolder);
    }
    return nav;
}

bool Compile(const Project& project, Session& session) {
    // Each page is read once: its links are followed as it is stored.
    FileCollector files(project, session, false);
    PendingOutput output(project.compiledFile);

    // The compressed stream waits beside the output, where there is room for it.
    const std::string spillFolder = Utf8Of(FsPath(output.TempPath()).parent_path());
    const bool store = os::Environment("QB_HHA_LZX").value_or("") == "store";
    auto keepGoing = [&session]() {
        try {
            session.PollEvery(50);
            return true;
        } catch (const StopRequest&) {
            return false;
        }
    };
    ChmContainer container(store ? StoredSection(spillFolder)
                                 : LzxSection(spillFolder, CompressorThreads(), keepGoing));
    NameSet sitemaps;  // stored ahead of the files
    std::vector<Topic> topics;
    const bool fullText = project.FullTextSearch();
    const CodePageText codePage(AnsiCodePage(project.Lcid()));
    FtsIndex fts(codePage, spillFolder, SearchRunBytes());

    std::string contentsName, indexName;
    SitemapRecords contentsEntries, indexEntries;
    for (const std::string& sitemap : {project.ContentsFile(), project.IndexFile()}) {
        if (sitemap.empty()) continue;
        ResolvedPath sr = ResolvePath(project, sitemap, "/", false, true);
        std::string text = ReadWholeFile(sr.source);
        const bool contents = sitemap == project.ContentsFile();
        (contents ? contentsName : indexName) = sr.name;
        SitemapRecords& records = contents ? contentsEntries : indexEntries;
        records = SitemapRecords();
        // Viewers open a stored Local as it stands: ".\a\b.html" fails in
        // some and crashes one, so the stored copy names "a/b.html".
        std::string storedText;
        std::size_t copied = 0;
        auto local = [&](const SitemapParam& param) {
            std::string name = ResolvePath(project, param.value).name;
            if (!name.empty()) {
                storedText.append(text, copied, param.valueBegin - copied);
                storedText += StoredLocal(name, param.value);
                copied = param.valueEnd;
            }
            return name;
        };
        ForEachSitemapEntry(text, [&](const SitemapEntry& entry) {
            records.Add(entry.level);
            if (contents) {
                records.AddParam(SitemapRecords::kName, DecodeEntities(entry.Param("Name")));
                std::string name;
                bool first = true;
                for (const SitemapParam& param : entry.params) {
                    if (!EqualsNoCase(param.name, "Local")) continue;
                    std::string one = local(param);
                    if (first) name = std::move(one);
                    first = false;
                }
                records.AddParam(SitemapRecords::kLocal, name);
                return;
            }
            for (const SitemapParam& param : entry.params) {
                if (EqualsNoCase(param.name, "Name"))
                    records.AddParam(SitemapRecords::kName, DecodeEntities(param.value));
                else if (EqualsNoCase(param.name, "See Also"))
                    records.AddParam(SitemapRecords::kSeeAlso, DecodeEntities(param.value));
                else if (EqualsNoCase(param.name, "Local"))
                    records.AddParam(SitemapRecords::kLocal, local(param));
            }
        });
        records.Trim();
        storedText.append(text, copied);
        std::string().swap(text);
        // Viewers read sitemaps in the language's code page, not as UTF-8.
        if (sitemaps.Insert(sr.name))
            container.AddFile(sr.name, IsNonAsciiUtf8(storedText) ? codePage.EncodeHtml(storedText) : storedText);
    }
    // Pages the contents names are flagged as such in the topic table.
    const ContentsPages contentsPages(contentsEntries);

    std::string readBuffer;
    const auto poll = [&session] { session.PollEvery(50); };
    for (std::size_t i = 0; i < files.Count(); ++i) {
        const ProjectFile file = files.File(i);
        session.Log(file.written);  // the engine's progress counts these lines
        session.PollEvery(50);
        const bool fresh = !sitemaps.Contains(file.name);  // the collector names each file once
        const bool scan = files.NeedsScan(i);
        if (!fresh && !scan) continue;
        std::unique_ptr<InputFile> in = files.Open(i);
        if (!scan && !IsHtml(file.name)) {
            StreamPolled(*in, file.name, session, container, readBuffer);
            continue;
        }
        std::string bytes = in->ReadRest(poll);
        in.reset();
        if (scan) files.Scan(i, bytes);
        if (!fresh) continue;
        if (!IsHtml(file.name)) {
            container.AddFile(file.name, bytes);
            continue;
        }
        auto index = static_cast<std::uint32_t>(topics.size());
        // Search results and "titles only" name a page by its title; a
        // page without one goes by its contents entry.
        std::string title = PageTitle(bytes);
        const std::int64_t entry = contentsPages.Find(file.name);
        if (title.empty() && entry >= 0)
            title = contentsEntries.Text(contentsEntries.ParamOf(contentsEntries.At(entry), 0));
        if (fullText) {
            fts.BeginTopic(index);
            ForEachPageWord(bytes, [&fts](std::string&& word) { fts.AddWord(std::move(word)); });
            fts.EndTopic(TextWords(title));
        }
        topics.push_back({file.name, std::move(title), entry >= 0});
        // Some viewers decode pages in the help file's code page whatever
        // they declare; pages in ASCII alone read right everywhere.
        if (IsNonAsciiUtf8(bytes) && DeclaresUtf8(bytes)) bytes = HtmlAsAscii(bytes);
        container.AddFile(file.name, bytes);
    }
    const std::size_t fileCount = files.Count();
    // Every file is stored: its list makes room for what follows.
    NameSet stored = files.TakeNames();
    for (const std::string& name : {contentsName, indexName})
        if (!name.empty()) stored.Insert(name);

    // The search index's words go to its file before the navigation is built.
    if (fullText) fts.EndTopics();
    StringTable strings(&codePage);
    SystemInfo info;
    Navigation nav = BuildNavigation(project, contentsName, contentsEntries, indexName, indexEntries, stored, topics,
                                     strings, spillFolder);
    info.binaryToc = !nav.tocidx.empty();
    info.contentsTopicId = nav.contentsTopic;
    info.indexTopicId = nav.indexTopic;
    info.contentsFile = contentsName.empty() ? std::string() : UrlEscapeName(contentsName.substr(1));
    info.indexFile = indexName.empty() ? std::string() : UrlEscapeName(indexName.substr(1));
    info.defaultTopic = UrlEscapeName(PlainName(project, project.DefaultTopic()));
    info.title = codePage.Encode(project.Title());
    info.defaultWindow = project.Option("Default Window");
    info.compiledName = codePage.Encode(Utf8Of(FsPath(project.compiledFile).stem()));
    info.lcid = project.Lcid();
    info.fullTextSearch = fullText;
    info.hasKeywords = nav.keywords.btree != nullptr;

    TopicTables tables = BuildTopicTables(topics, strings);
    std::string windows = BuildWindows(project.windows, strings);
    info.idxhdr = BuildIdxHdr(static_cast<std::uint32_t>(topics.size()), true, strings);
    container.AddFile("/#SYSTEM", BuildSystem(info));
    container.AddFile("/#TOPICS", tables.topics);
    container.AddFile("/#URLTBL", tables.urltbl);
    container.AddFile("/#URLSTR", tables.urlstr);
    container.AddFile("/#WINDOWS", windows);
    container.AddFile("/#IDXHDR", info.idxhdr);
    if (info.binaryToc) container.AddFile("/#TOCIDX", nav.tocidx);
    if (info.hasKeywords) {
        container.BeginFile("/$WWKeywordLinks/BTree");
        nav.keywords.btree->CopyTo([&container](std::string_view bytes) { container.AppendFile(bytes); });
        nav.keywords.btree.reset();
        container.AddFile("/$WWKeywordLinks/Map", nav.keywords.map);
        container.AddFile("/$WWKeywordLinks/Property", nav.keywords.property);
    }
    session.Poll();
    if (fullText) {
        container.BeginFile("/$FIftiMain");
        fts.Write(static_cast<std::uint32_t>(topics.size()), info.lcid, [&](std::string_view bytes) {
            container.AppendFile(bytes);
            session.PollEvery(50);
        });
    }
    container.AddFile("/#STRINGS", strings.Bytes());
    session.Poll();

    std::uint64_t written = 0;
    {
        // A full disk may show only at the last flush or at close: every step is checked.
        const auto cannotWrite = [&] {
            return Error("Error: cannot write " + project.compiledFile + ": " + std::strerror(errno));
        };
        FilePtr out(os::OpenStdio(output.TempPath(), "wb"));
        if (!out) throw cannotWrite();
        container.Write(info.lcid, [&](std::string_view bytes) {
            if (std::fwrite(bytes.data(), 1, bytes.size(), out.get()) != bytes.size()) throw cannotWrite();
            written += bytes.size();
            session.PollEvery(50);
        });
        if (std::fflush(out.get()) != 0) throw cannotWrite();
        if (std::fclose(out.release()) != 0) throw cannotWrite();
    }
    output.Commit();
    session.Log("Compiled " + std::to_string(fileCount) + " files, " + std::to_string(topics.size()) + " topics, " +
                std::to_string(written) + " bytes.");
    return true;
}

}  // namespace

bool CompileNative(const Project& project, Session& session) {
    try {
        return Compile(project, session);
    } catch (const qb::lzx::Cancelled&) {
        throw StopRequest{};
    }
}

}  // namespace qb::hha
