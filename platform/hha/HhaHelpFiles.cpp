#include "hha/HhaHelpFiles.h"
#include "hha/HhaText.h"
#include "support/LeBytes.h"

#include "hha/ChmContainer.h"

#include <cstdlib>
#include <ctime>

namespace qb::hha {

namespace {

constexpr std::size_t kBlock = 0x1000;

std::string Unquote(const std::string& field) {
    std::string f = Trim(field);
    if (f.size() >= 2 && f.front() == '"' && f.back() == '"') return f.substr(1, f.size() - 2);
    return f;
}

// A number field ("0x2520", "200"); present is false for an empty field.
std::uint32_t Number(const std::string& field, bool* present = nullptr) {
    std::string f = Unquote(field);
    if (present) *present = !f.empty();
    return f.empty() ? 0 : static_cast<std::uint32_t>(std::strtoll(f.c_str(), nullptr, 0));
}

void Record(std::string& out, std::uint16_t code, const std::string& data) {
    Put16(out, code);
    Put16(out, static_cast<std::uint32_t>(data.size()));
    out += data;
}

std::string Sz(const std::string& text) { return text + '\0'; }

std::string Dword(std::uint32_t v) {
    std::string s;
    Put32(s, v);
    return s;
}

}  // namespace

std::uint32_t StringTable::Add(const std::string& text) {
    if (text.empty()) return 0;
    auto it = offsets_.find(text);
    if (it != offsets_.end()) return it->second;
    const std::string stored = codePage_ && IsNonAsciiUtf8(text) ? codePage_->Encode(text) : text;
    // Texts do not cross a 4 KB block boundary.
    std::size_t need = stored.size() + 1;
    if (need < kBlock && bytes_.size() / kBlock != (bytes_.size() + need - 1) / kBlock)
        bytes_.resize((bytes_.size() / kBlock + 1) * kBlock, '\0');
    std::uint32_t at = static_cast<std::uint32_t>(bytes_.size());
    bytes_ += stored;
    bytes_ += '\0';
    offsets_[text] = at;
    return at;
}

TopicTables BuildTopicTables(const std::vector<Topic>& topics, StringTable& strings) {
    TopicTables t;
    t.urlstr.assign(1, '\0');
    constexpr std::size_t kPerBlock = kBlock / 12;  // 341 entries, then 4 bytes of padding
    for (std::size_t i = 0; i < topics.size(); ++i) {
        const Topic& topic = topics[i];
        std::uint32_t urlstrOffset = static_cast<std::uint32_t>(t.urlstr.size());
        Put32(t.urlstr, 0);
        Put32(t.urlstr, 0);
        t.urlstr += topic.name.substr(1);
        t.urlstr += '\0';

        if (i > 0 && i % kPerBlock == 0) t.urltbl.resize(t.urltbl.size() + (kBlock - kPerBlock * 12), '\0');
        std::uint32_t urltblOffset = static_cast<std::uint32_t>(t.urltbl.size());
        Put32(t.urltbl, static_cast<std::uint32_t>(i));  // ids ascend with the entries
        Put32(t.urltbl, static_cast<std::uint32_t>(i));
        Put32(t.urltbl, urlstrOffset);

        Put32(t.topics, topic.tocEntry);
        Put32(t.topics, topic.title.empty() ? 0xFFFFFFFFu : strings.Add(topic.title));
        Put32(t.topics, urltblOffset);
        Put16(t.topics, topic.inContents ? 6 : 2);
        Put16(t.topics, 0);
    }
    return t;
}

std::string WindowEntry(const std::string& line, StringTable& strings) {
    auto eq = line.find('=');
    std::string name = Trim(line.substr(0, eq));
    std::vector<std::string> f = SplitWindowFields(eq == std::string::npos ? std::string() : line.substr(eq + 1));
    f.resize(20);
    enum : std::uint32_t {
        kProperties = 0x2,
        kStyles = 0x4,
        kExStyles = 0x8,
        kRect = 0x10,
        kNavWidth = 0x20,
        kShowState = 0x40,
        kToolbar = 0x100,
        kExpansion = 0x200,
        kCurTab = 0x2000
    };
    std::uint32_t valid = 0;
    bool has = false;
    std::string e;
    Put32(e, 0xC4);
    Put32(e, 0);  // texts are 8-bit
    Put32(e, strings.Add(name));
    Put32(e, 0);  // valid members, set below
    std::uint32_t props = Number(f[9], &has);
    if (has) valid |= kProperties;
    Put32(e, props);
    Put32(e, strings.Add(Unquote(f[0])));
    std::uint32_t style = Number(f[13], &has);
    if (has) valid |= kStyles;
    Put32(e, style);
    std::uint32_t exStyle = Number(f[14], &has);
    if (has) valid |= kExStyles;
    Put32(e, exStyle);
    std::string rect = Trim(f[12]);
    std::uint32_t r[4] = {0, 0, 0, 0};
    if (rect.size() > 2 && rect.front() == '[') {
        std::vector<std::string> parts = SplitWindowFields(rect.substr(1, rect.size() - 2));
        for (std::size_t k = 0; k < 4 && k < parts.size(); ++k) r[k] = Number(parts[k]);
        valid |= kRect;
    }
    for (std::uint32_t v : r) Put32(e, v);
    std::uint32_t show = Number(f[15], &has);
    if (has) valid |= kShowState;
    Put32(e, show);
    for (int k = 0; k < 6; ++k) Put32(e, 0);  // window handles and info types exist only at run time
    std::uint32_t navWidth = Number(f[10], &has);
    if (has) valid |= kNavWidth;
    Put32(e, navWidth);
    for (int k = 0; k < 4; ++k) Put32(e, 0);  // topic pane rectangle
    // Viewers open these files as URLs.
    Put32(e, strings.Add(UrlEscapeName(Unquote(f[1]))));
    Put32(e, strings.Add(UrlEscapeName(Unquote(f[2]))));
    Put32(e, strings.Add(UrlEscapeName(Unquote(f[3]))));
    Put32(e, strings.Add(UrlEscapeName(Unquote(f[4]))));
    std::uint32_t buttons = Number(f[11], &has);
    if (has) valid |= kToolbar;
    Put32(e, buttons);
    Put32(e, Number(f[16], &has));
    if (has) valid |= kExpansion;
    Put32(e, Number(f[17], &has));
    if (has) valid |= kCurTab;
    Put32(e, Number(f[18]));
    Put32(e, Number(f[19]));
    e.append(20, '\0');                       // tab order
    Put32(e, 30);                             // history entries
    Put32(e, strings.Add(Unquote(f[6])));     // Jump1 caption
    Put32(e, strings.Add(Unquote(f[8])));     // Jump2 caption
    Put32(e, strings.Add(Unquote(f[5])));     // Jump1 target
    Put32(e, strings.Add(Unquote(f[7])));     // Jump2 target
    for (int k = 0; k < 4; ++k) Put32(e, 0);  // minimum size
    Put32(e, 0);
    Put32(e, 0);
    Set32(e, 0x0C, valid);
    return e;
}

std::string BuildWindows(const std::vector<std::string>& lines, StringTable& strings) {
    std::string out;
    Put32(out, static_cast<std::uint32_t>(lines.size()));
    Put32(out, 0xC4);
    for (const auto& line : lines) out += WindowEntry(line, strings);
    return out;
}

std::string BuildIdxHdr(std::uint32_t topicCount, bool folderImages, StringTable& strings) {
    std::string h = "T#SM";
    Put32(h, BuildTime());
    Put32(h, 1);
    Put32(h, topicCount);
    Put32(h, 0);
    Put32(h, 0xFFFFFFFFu);  // no image list
    Put32(h, 0);
    Put32(h, folderImages ? 1 : 0);
    Put32(h, 0xFFFFFFFFu);  // background colour: default
    Put32(h, 0xFFFFFFFFu);  // foreground colour: default
    Put32(h, 0xFFFFFFFFu);  // font: default
    Put32(h, 0);            // window styles
    Put32(h, 0);            // extended window styles
    Put32(h, 0);
    Put32(h, strings.Add(""));
    Put32(h, strings.Add(""));
    Put32(h, 0);  // information types
    Put32(h, 0);
    Put32(h, 0);  // merged files
    Put32(h, 0);
    h.resize(kBlock, '\0');
    return h;
}

std::string BuildSystem(const SystemInfo& info) {
    std::string out;
    Put32(out, 3);
    Record(out, 10, Dword(BuildTime()));
    Record(out, 9, Sz("Quillbook HHA 1.0"));
    std::string lang;
    Put32(lang, info.lcid);
    Put32(lang, 0);  // no double-byte character set
    Put32(lang, info.fullTextSearch ? 1 : 0);
    Put32(lang, info.hasKeywords ? 1 : 0);
    Put32(lang, 0);  // no associative links
    lang.append(16, '\0');
    Record(out, 4, lang);
    if (!info.defaultTopic.empty()) Record(out, 2, Sz(info.defaultTopic));
    Record(out, 3, Sz(info.title));
    if (!info.contentsFile.empty()) Record(out, 0, Sz(info.contentsFile));
    if (!info.indexFile.empty()) Record(out, 1, Sz(info.indexFile));
    if (!info.defaultWindow.empty()) Record(out, 5, Sz(info.defaultWindow));
    Record(out, 6, Sz(info.compiledName));
    // Present only with the binary forms; they name the sitemap's topic.
    if (info.hasKeywords) Record(out, 7, Dword(info.indexTopicId));
    if (info.binaryToc) Record(out, 11, Dword(info.contentsTopicId));
    Record(out, 12, Dword(0));
    if (!info.idxhdr.empty()) Record(out, 13, info.idxhdr);
    return out;
}

}  // namespace qb::hha
