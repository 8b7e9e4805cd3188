#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include <pugixml.hpp>

// The settings file: <Quillbook><Config>...</Config></Quillbook>. Values are
// addressed by their path below <Config>; the options declare what each holds.
namespace qb {

class TXMLQuillbookType {
public:
    explicit TXMLQuillbookType(pugi::xml_node node) : node_(node) {}
    pugi::xml_node Node() const { return node_; }
    // <Config>, created when missing.
    pugi::xml_node Config() const;

private:
    pugi::xml_node node_;
};

// The element a path names below <Config> ("Language", "CHM/Title"), created
// empty with its parents when missing, as every reading of a value does.
pugi::xml_node SettingElement(pugi::xml_node config, const std::string& path);
// The attribute of a "DefaultFont/@Size" path, created like SettingElement.
pugi::xml_attribute SettingAttribute(pugi::xml_node config, const std::string& path);
// The element of a path when present; creates nothing.
pugi::xml_node FindSetting(pugi::xml_node config, const std::string& path);
// Text of the element or attribute a path names, created empty when missing.
std::string SettingText(pugi::xml_node config, const std::string& path);
void SetSettingText(pugi::xml_node config, const std::string& path, const std::string& text);

// Saved marker: Config has a KeepDir child. Creates nothing.
bool SettingsSaved(const TXMLQuillbookType& root);

// An owned settings document.
class TSettingsDocument {
public:
    TSettingsDocument() = default;
    TSettingsDocument(const TSettingsDocument&) = delete;
    TSettingsDocument& operator=(const TSettingsDocument&) = delete;
    pugi::xml_document& Xml() { return doc_; }
    TXMLQuillbookType Quillbook() { return TXMLQuillbookType(doc_.document_element()); }
    // The bytes the settings file gets: UTF-8, no indentation.
    std::string ToText();

private:
    pugi::xml_document doc_;
};

// Parses the file; raises qb::Error when it is not well-formed XML or its
// root is not <Quillbook>.
std::unique_ptr<TSettingsDocument> LoadSettingsDocument(const std::string& path);
// <?xml version="1.0"?><Quillbook/>.
std::unique_ptr<TSettingsDocument> NewSettingsDocument();

// --- The process's settings ---------------------------------------------------

// Module path with its extension replaced by ".xml".
std::string SettingsPathFor(const std::string& modulePath);
// Settings part of start-up: loads or creates the document once per process
// and returns Config/Language. A damaged file is reported once, kept, and
// replaced by a new document.
std::string StartUpSettings(const std::string& modulePath);
// The held document, or null before start-up.
TSettingsDocument* HeldSettings();
// Writes the held document to the settings path (no-op when none is held).
// A damaged file found at start-up is first renamed to "<name>.xml.bak" (or
// ".bak1", ".bak2", ... when taken). Failures show an error box and return false.
bool SaveSettingsFile();
// Drops the held document (library unload; tests).
void ReleaseSettings();

}  // namespace qb
