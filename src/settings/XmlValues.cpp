#include "settings/XmlValues.h"

#include <cerrno>
#include <cstring>
#include <sstream>
#include <vector>

#include "Utils/StringList.h"
#include "support/Error.h"
#include "support/Numbers.h"
#include "support/Os.h"

namespace qb {
namespace {

bool AllDigits(const std::string& s, std::size_t from) {
    if (from >= s.size()) return false;
    for (std::size_t i = from; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

std::string SystemReason(int err) { return os::ErrorText(err); }

// Opened without blocking, so that a pipe named as the file cannot hang the
// start-up; only a regular file is read.
std::string ReadRegularFile(const std::string& path) {
    auto fail = [&](const std::string& reason) { return Error("Cannot read \"" + path + "\": " + reason); };
    const os::Fd fd = os::Open(path, os::kRead | os::kNonBlock);
    if (fd < 0) throw fail(SystemReason(errno));
    struct Closer {
        os::Fd fd;
        ~Closer() { os::Close(fd); }
    } closer{fd};
    os::FileInfo st;
    if (!os::Info(fd, st)) throw fail(SystemReason(errno));
    if (st.kind == os::Kind::Folder) throw fail("it is a folder, not a file");
    if (st.kind != os::Kind::File) throw fail("it is not a regular file");
    std::string bytes;
    char buf[65536];
    for (;;) {
        const long long n = os::Read(fd, buf, sizeof buf);
        if (n < 0) throw fail(SystemReason(errno));
        if (n == 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    return bytes;
}

}  // namespace

std::optional<bool> ParseBool(const std::string& text) {
    if (EqualsNoCase(text, "true")) return true;
    if (EqualsNoCase(text, "false")) return false;
    std::size_t start = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    // Any length of digits counts; only zero is false.
    if (!AllDigits(text, start)) return std::nullopt;
    return text.find_first_not_of('0', start) != std::string::npos;
}

std::optional<std::int32_t> ParseInt(const std::string& text) {
    auto value = ParseDecimalOrHex(text);
    if (!value || *value < INT32_MIN || *value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(*value);
}

std::optional<std::uint32_t> ParseColorNumber(const std::string& text) {
    if (!text.empty() && text[0] == '$') {
        if (text.size() < 2 || text.size() > 9) return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = 1; i < text.size(); ++i) {
            char c = text[i];
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                return std::nullopt;
            value = (value << 4) | static_cast<std::uint32_t>(digit);
        }
        return value;
    }
    auto value = ParseInteger(text);
    // Negative decimals are how system colours look as signed numbers.
    if (!value || *value < INT32_MIN || *value > static_cast<std::int64_t>(UINT32_MAX)) return std::nullopt;
    return static_cast<std::uint32_t>(*value);
}

std::string BoolToText(bool value) { return value ? "true" : "false"; }

std::string IntToText(std::int32_t value) { return std::to_string(value); }

void LoadXmlFile(pugi::xml_document& doc, const std::string& path) {
    const std::string bytes = ReadRegularFile(path);
    pugi::xml_parse_result result = doc.load_buffer(bytes.data(), bytes.size(), kXmlParseOptions);
    if (!result) {
        std::string reason = result.description();
        if (result.status != pugi::status_out_of_memory) reason += " at byte " + std::to_string(result.offset);
        throw Error("Cannot read \"" + path + "\": " + reason);
    }
    if (!doc.document_element()) throw Error("Cannot read \"" + path + "\": no root element");
}

void SetXmlDeclaration(pugi::xml_document& doc, const std::string& version, const std::string& encoding) {
    for (pugi::xml_node n = doc.first_child(); n;) {
        pugi::xml_node next = n.next_sibling();
        if (n.type() == pugi::node_declaration) doc.remove_child(n);
        n = next;
    }
    pugi::xml_node decl = doc.prepend_child(pugi::node_declaration);
    decl.append_attribute("version").set_value(version.c_str());
    if (!encoding.empty()) decl.append_attribute("encoding").set_value(encoding.c_str());
}

void SetDeclaredEncoding(pugi::xml_document& doc, const std::string& encoding) {
    pugi::xml_node decl = doc.first_child();
    if (decl.type() != pugi::node_declaration) {
        SetXmlDeclaration(doc, "1.0", encoding);
        return;
    }
    pugi::xml_attribute attr = decl.attribute("encoding");
    if (!attr) {
        // The encoding comes after the version and before standalone.
        pugi::xml_attribute version = decl.attribute("version");
        attr = version ? decl.insert_attribute_after("encoding", version) : decl.prepend_attribute("encoding");
    }
    attr.set_value(encoding.c_str());
}

std::string XmlToString(pugi::xml_document& doc, bool indent) {
    pugi::xml_node decl = doc.first_child();
    if (decl.type() == pugi::node_declaration) {
        pugi::xml_attribute enc = decl.attribute("encoding");
        if (enc && !EqualsNoCase(enc.value(), "UTF-8") && !EqualsNoCase(enc.value(), "UTF8")) enc.set_value("UTF-8");
    }
    std::ostringstream out;
    unsigned flags = pugi::format_no_declaration | (indent ? pugi::format_indent : pugi::format_raw);
    doc.save(out, indent ? "  " : "", flags, pugi::encoding_utf8);
    return out.str();
}

void ReplaceFile(const std::string& path, const std::string& bytes) {
    std::string tmpName;
    const os::Fd fd = os::MakeTempFile(path + ".tmp", tmpName);
    if (fd < 0) throw Error("Cannot write \"" + path + "\": " + SystemReason(errno));
    auto fail = [&](int err) {
        os::Close(fd);
        os::RemoveFile(tmpName);
        throw Error("Cannot write \"" + path + "\": " + SystemReason(err));
    };
    if (!os::WriteAll(fd, bytes.data(), bytes.size())) fail(errno);
    os::FileInfo old;
    const unsigned mode = os::PathInfo(path, old, true) && old.kind == os::Kind::File ? old.mode : 0644;
    if (!os::SetMode(fd, mode) || !os::Sync(fd)) fail(errno);
    os::Close(fd);
    // Replaces the old file in one step on every system (rename() does not on Windows).
    if (!os::AtomicReplace(tmpName, path)) {
        int err = errno;
        os::RemoveFile(tmpName);
        throw Error("Cannot write \"" + path + "\": " + SystemReason(err));
    }
}

std::string NodePath(pugi::xml_node node) {
    std::string path;
    for (; node && node.type() == pugi::node_element; node = node.parent())
        path = path.empty() ? std::string(node.name()) : std::string(node.name()) + "/" + path;
    return path;
}

std::string ElementText(pugi::xml_node element) {
    std::string text;
    for (pugi::xml_node n = element.first_child(); n; n = n.next_sibling())
        if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) text += n.value();
    return text;
}

void RemoveDescendants(pugi::xml_node element) {
    // The library frees a removed subtree recursively: a hand-made file nested
    // 100,000 deep would overflow a 1 MB thread stack. Leaves first, iteratively.
    pugi::xml_node n = element;
    while (true) {
        while (n.first_child()) n = n.first_child();
        if (n == element) break;
        pugi::xml_node parent = n.parent();
        parent.remove_child(n);
        n = parent;
    }
}

void SetElementText(pugi::xml_node element, const std::string& text) {
    RemoveDescendants(element);
    if (!text.empty()) element.append_child(pugi::node_pcdata).set_value(text.c_str());
}

pugi::xml_node GetOrAddChild(pugi::xml_node parent, const char* name) {
    pugi::xml_node child = parent.child(name);
    return child ? child : parent.append_child(name);
}

pugi::xml_attribute GetOrAddAttribute(pugi::xml_node element, const char* name) {
    pugi::xml_attribute attr = element.attribute(name);
    return attr ? attr : element.append_attribute(name);
}

bool TextToBool(const std::string& text, const std::string& where) {
    if (auto value = ParseBool(text)) return *value;
    throw Error("'" + text + "' is not a valid Boolean value (" + where + ")");
}

std::int32_t TextToInt(const std::string& text, const std::string& where) {
    if (auto value = ParseInt(text)) return *value;
    throw Error("'" + text + "' is not a valid integer value (" + where + ")");
}

}  // namespace qb
