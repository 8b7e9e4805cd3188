#pragma once
// The internal files a help viewer reads besides the pages: system record,
// window definitions, string table, topic and URL tables, index header.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "hha/HhaProject.h"

namespace qb::hha {

class CodePageText;

// #STRINGS: zero-terminated texts addressed by offset; offset 0 is "".
class StringTable {
public:
    // Texts are stored in codePage when one is given (viewers read them so).
    explicit StringTable(const CodePageText* codePage = nullptr) : bytes_(1, '\0'), codePage_(codePage) {}
    // Offset of the UTF-8 text, added once.
    std::uint32_t Add(const std::string& text);
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
    std::map<std::string, std::uint32_t> offsets_;
    const CodePageText* codePage_;
};

struct Topic {
    std::string name;   // stored name, "/a/b.html"
    std::string title;  // "" when the page has none
    bool inContents = false;
    std::uint32_t tocEntry = 0;  // offset of its #TOCIDX entry, 0 when none
};

// #TOPICS, #URLTBL and #URLSTR for the topics in order.
struct TopicTables {
    std::string topics, urltbl, urlstr;
};
TopicTables BuildTopicTables(const std::vector<Topic>& topics, StringTable& strings);

// One window of the [WINDOWS] section ("name=..." line) as a #WINDOWS entry.
std::string WindowEntry(const std::string& line, StringTable& strings);
// The #WINDOWS file for all window lines.
std::string BuildWindows(const std::vector<std::string>& lines, StringTable& strings);

// #IDXHDR: 4096 bytes of index header.
std::string BuildIdxHdr(std::uint32_t topicCount, bool folderImages, StringTable& strings);

struct SystemInfo {
    std::string contentsFile, indexFile, defaultTopic, title, defaultWindow, compiledName;
    std::uint32_t lcid = 0x409;
    bool fullTextSearch = false;
    bool hasKeywords = false;  // a binary keyword index is stored
    bool binaryToc = false;
    std::uint32_t contentsTopicId = 0;  // #URLTBL id of the contents file's topic
    std::uint32_t indexTopicId = 0;     // #URLTBL id of the index file's topic
    std::string idxhdr;
};
std::string BuildSystem(const SystemInfo& info);

}  // namespace qb::hha
