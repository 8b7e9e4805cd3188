#include "HhaNative.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>

#include "ChmContainer.h"
#include "Error.h"
#include "HhaFts.h"
#include "HhaHelpFiles.h"
#include "HhaStoredLzx.h"
#include "HhaTemp.h"
#include "Lzx.h"

namespace qb::hha {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kReadChunk = 1 << 20;

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

// Reads a file in pieces, polling between them so a stop is seen in large files.
std::string ReadPolled(const ProjectFile& file, Session& session) {
    FilePtr in(std::fopen(file.source.c_str(), "rb"));
    if (!in) throw Error("Error: cannot open file " + file.written + " (" + file.source + ")");
    std::string bytes;
    std::string buf(kReadChunk, '\0');
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), in.get())) > 0) {
        bytes.append(buf.data(), n);
        session.PollEvery(50);
    }
    if (std::ferror(in.get())) throw Error("Error: cannot read file " + file.written);
    return bytes;
}

// Stored name of a project-level file reference without the leading "/".
std::string PlainName(const Project& project, const std::string& written) {
    if (written.empty()) return {};
    ResolvedPath r = ResolvePath(project, written);
    return r.name.empty() ? written : r.name.substr(1);
}

// ControlData holds as many DWORDs after its first as that first DWORD says;
// readers (libmspack) reject a longer file.
std::string TrimControlData(std::string data) {
    if (data.size() < 4) return data;
    std::size_t count = static_cast<unsigned char>(data[0]) | (static_cast<unsigned char>(data[1]) << 8);
    return data.substr(0, std::min(data.size(), 4 + 4 * count));
}

CompressedSection CompressLzx(std::string& content, Session& session) {
    qb::lzx::Params params;
    auto keepGoing = [&session]() {
        try {
            session.PollEvery(50);
            return true;
        } catch (const StopRequest&) {
            return false;
        }
    };
    try {
        // Readers decode every frame to its full size (chmlib asks for whole
        // frames; libmspack rejects a match that runs past a shortened last
        // frame), so the stream covers whole frames of zero-padded content.
        const std::uint64_t length = content.size();
        content.resize((length + qb::lzx::kFrameSize - 1) / qb::lzx::kFrameSize * qb::lzx::kFrameSize, '\0');
        qb::lzx::Result r = qb::lzx::Compress(content, params, keepGoing);
        std::string resetTable = qb::lzx::ResetTable(r);  // before the data moves out
        for (int i = 0; i < 8; ++i) resetTable[0x10 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
        return {std::move(r.data), TrimControlData(qb::lzx::ControlData(params)), std::move(resetTable), length};
    } catch (const qb::lzx::Cancelled&) {
        throw StopRequest{};
    }
}

}  // namespace

bool CompileNative(const Project& project, Session& session) {
    std::vector<ProjectFile> files = CollectFiles(project, session);
    PendingOutput output(project.compiledFile);

    ChmContainer container;
    std::set<std::string> stored;  // lower-case names
    std::vector<Topic> topics;
    FtsIndex fts;
    const bool fullText = project.FullTextSearch();

    // Pages the contents names are flagged as such in the topic table.
    std::set<std::string> inContents;
    std::string contentsName, indexName;
    for (const std::string& sitemap : {project.ContentsFile(), project.IndexFile()}) {
        if (sitemap.empty()) continue;
        ResolvedPath sr = ResolvePath(project, sitemap);
        std::string text = ReadWholeFile(sr.source);
        if (sitemap == project.ContentsFile()) {
            contentsName = sr.name;
            for (const auto& entry : ParseSitemap(text)) {
                ResolvedPath r = ResolvePath(project, entry.Param("Local"));
                if (!r.name.empty()) inContents.insert(LowerAscii(r.name));
            }
        } else {
            indexName = sr.name;
        }
        if (stored.insert(LowerAscii(sr.name)).second) container.AddFile(sr.name, text);
    }

    for (const ProjectFile& file : files) {
        session.PollEvery(50);
        if (!stored.insert(LowerAscii(file.name)).second) continue;
        std::string bytes = ReadPolled(file, session);
        if (IsHtml(file.name)) {
            auto index = static_cast<std::uint32_t>(topics.size());
            topics.push_back({file.name, PageTitle(bytes), inContents.count(LowerAscii(file.name)) > 0});
            if (fullText) fts.AddTopic(index, PageWords(bytes));
        }
        container.AddFile(file.name, std::move(bytes));
    }

    StringTable strings;
    SystemInfo info;
    info.contentsFile = contentsName.empty() ? std::string() : contentsName.substr(1);
    info.indexFile = indexName.empty() ? std::string() : indexName.substr(1);
    info.defaultTopic = PlainName(project, project.DefaultTopic());
    info.title = project.Title();
    info.defaultWindow = project.Option("Default Window");
    info.compiledName = fs::path(project.compiledFile).stem().string();
    info.lcid = project.Lcid();
    info.fullTextSearch = fullText;
    info.hasKeywords = !indexName.empty();

    TopicTables tables = BuildTopicTables(topics, strings);
    std::string windows = BuildWindows(project.windows, strings);
    info.idxhdr = BuildIdxHdr(static_cast<std::uint32_t>(topics.size()), true, strings);
    container.AddFile("/#SYSTEM", BuildSystem(info));
    container.AddFile("/#TOPICS", tables.topics);
    container.AddFile("/#URLTBL", tables.urltbl);
    container.AddFile("/#URLSTR", tables.urlstr);
    container.AddFile("/#WINDOWS", windows);
    container.AddFile("/#IDXHDR", info.idxhdr);
    session.Poll();
    if (fullText) container.AddFile("/$FIftiMain", fts.Build(static_cast<std::uint32_t>(topics.size()), info.lcid));
    container.AddFile("/#STRINGS", strings.Bytes());
    session.Poll();

    const char* codec = std::getenv("QB_HHA_LZX");
    bool store = codec && std::string(codec) == "store";
    std::string chm = container.Build(info.lcid, [&](std::string& content) {
        return store ? StoreLzx(content) : CompressLzx(content, session);
    });
    session.Poll();

    {
        FilePtr out(std::fopen(output.TempPath().c_str(), "wb"));
        if (!out) throw Error("Error: cannot write " + project.compiledFile);
        std::size_t at = 0;
        while (at < chm.size()) {
            std::size_t n = std::fwrite(chm.data() + at, 1, std::min(kReadChunk, chm.size() - at), out.get());
            if (n == 0) throw Error("Error: cannot write " + project.compiledFile);
            at += n;
            session.PollEvery(50);
        }
        if (std::fflush(out.get()) != 0) throw Error("Error: cannot write " + project.compiledFile);
    }
    output.Commit();
    session.Log("Compiled " + std::to_string(files.size()) + " files, " + std::to_string(topics.size()) +
                " topics, " + std::to_string(chm.size()) + " bytes.");
    return true;
}

}  // namespace qb::hha
