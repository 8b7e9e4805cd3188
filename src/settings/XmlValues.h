#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include <pugixml.hpp>

// Value encodings and file handling shared by the settings and language bindings.
namespace qb {

// "true"/"false" in any letter case, or a decimal number (0 is false).
std::optional<bool> ParseBool(const std::string& text);
// Decimal, or hexadecimal after "0x", with an optional sign, within 32 bits.
std::optional<std::int32_t> ParseInt(const std::string& text);
// "$" and 1 to 8 hexadecimal digits, or a decimal that fits in 32 bits.
std::optional<std::uint32_t> ParseColorNumber(const std::string& text);
std::string BoolToText(bool value);
std::string IntToText(std::int32_t value);

// Keeps what a hand-edited file holds (declaration, comments, processing
// instructions, CR LF inside texts, a text of blanks only); never expands a DOCTYPE.
constexpr unsigned kXmlParseOptions = (pugi::parse_default & ~pugi::parse_eol) | pugi::parse_declaration |
                                      pugi::parse_comments | pugi::parse_pi | pugi::parse_ws_pcdata_single;

// Parses the file into doc; raises qb::Error naming the file and the fault.
void LoadXmlFile(pugi::xml_document& doc, const std::string& path);
// Adds <?xml version=...?> in front of everything, replacing an existing declaration.
void SetXmlDeclaration(pugi::xml_document& doc, const std::string& version, const std::string& encoding);
// Sets the encoding of the declaration (adds one with version "1.0" when missing).
void SetDeclaredEncoding(pugi::xml_document& doc, const std::string& encoding);
// The document as UTF-8 bytes. The declaration is made to say UTF-8, since
// that is what is written whatever encoding the file was read in.
std::string XmlToString(pugi::xml_document& doc, bool indent);
// Replaces the file by bytes through a temporary file in the same folder, so a
// failed write leaves the previous file as it was; raises qb::Error.
void ReplaceFile(const std::string& path, const std::string& bytes);

// Slash-separated element names from the root down, for error messages.
std::string NodePath(pugi::xml_node node);

// Text of the element: its character data, CDATA included.
std::string ElementText(pugi::xml_node element);
// Removes everything below element, however deep, without recursion.
void RemoveDescendants(pugi::xml_node element);
// Replaces every child of the element by one text node (none for "").
void SetElementText(pugi::xml_node element, const std::string& text);

// Child element / attribute by name, created empty when missing.
pugi::xml_node GetOrAddChild(pugi::xml_node parent, const char* name);
pugi::xml_attribute GetOrAddAttribute(pugi::xml_node element, const char* name);

// Conversions that raise qb::Error naming the value and where it came from.
bool TextToBool(const std::string& text, const std::string& where);
std::int32_t TextToInt(const std::string& text, const std::string& where);

}  // namespace qb
