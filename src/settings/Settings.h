#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include <pugixml.hpp>

// Typed binding of the settings file: <Quillbook><Config>...</Config></Quillbook>.
// Getters create a missing element (empty) before converting it, so reading an
// absent Boolean or integer leaves an empty element and raises qb::Error.
namespace qb {

// Shared accessors of the element-per-value nodes.
class TXMLSettingsNode {
public:
    explicit TXMLSettingsNode(pugi::xml_node node) : node_(node) {}
    pugi::xml_node Node() const { return node_; }

protected:
    std::string GetText(const char* name) const;
    void SetText(const char* name, const std::string& value);
    bool GetBool(const char* name) const;
    void SetBool(const char* name, bool value);
    std::int32_t GetInt(const char* name) const;
    void SetInt(const char* name, std::int32_t value);

    pugi::xml_node node_;
};

// <DefaultFont Name="" Size="" Color=""/>: the values are attributes.
class TXMLDefaultFontType {
public:
    explicit TXMLDefaultFontType(pugi::xml_node node) : node_(node) {}
    pugi::xml_node Node() const { return node_; }
    std::string Name() const;
    std::int32_t Size() const;
    std::string Color() const;
    void SetName(const std::string& value);
    void SetSize(std::int32_t value);
    void SetColor(const std::string& value);

private:
    pugi::xml_node node_;
};

class TXMLCHMType : public TXMLSettingsNode {
public:
    using TXMLSettingsNode::TXMLSettingsNode;
    std::string Language() const { return GetText("Language"); }
    bool FullSearch() const { return GetBool("FullSearch"); }
    std::string Title() const { return GetText("Title"); }
    std::string Size() const { return GetText("Size"); }
    bool OnTop() const { return GetBool("OnTop"); }
    bool AdvanceSearch() const { return GetBool("AdvanceSearch"); }
    std::int32_t ToolButtons() const { return GetInt("ToolButtons"); }
    bool Menu() const { return GetBool("Menu"); }
    bool TabEnable() const { return GetBool("TabEnable"); }
    bool Bookmark() const { return GetBool("Bookmark"); }
    bool AutoSync() const { return GetBool("AutoSync"); }
    bool OpenClosed() const { return GetBool("OpenClosed"); }
    bool AutoHide() const { return GetBool("AutoHide"); }
    std::int32_t DefaultTab() const { return GetInt("DefaultTab"); }
    std::int32_t TabWidth() const { return GetInt("TabWidth"); }

    void SetLanguage(const std::string& v) { SetText("Language", v); }
    void SetFullSearch(bool v) { SetBool("FullSearch", v); }
    void SetTitle(const std::string& v) { SetText("Title", v); }
    void SetSize(const std::string& v) { SetText("Size", v); }
    void SetOnTop(bool v) { SetBool("OnTop", v); }
    void SetAdvanceSearch(bool v) { SetBool("AdvanceSearch", v); }
    void SetToolButtons(std::int32_t v) { SetInt("ToolButtons", v); }
    void SetMenu(bool v) { SetBool("Menu", v); }
    void SetTabEnable(bool v) { SetBool("TabEnable", v); }
    void SetBookmark(bool v) { SetBool("Bookmark", v); }
    void SetAutoSync(bool v) { SetBool("AutoSync", v); }
    void SetOpenClosed(bool v) { SetBool("OpenClosed", v); }
    void SetAutoHide(bool v) { SetBool("AutoHide", v); }
    void SetDefaultTab(std::int32_t v) { SetInt("DefaultTab", v); }
    void SetTabWidth(std::int32_t v) { SetInt("TabWidth", v); }
};

class TXMLConfigType : public TXMLSettingsNode {
public:
    using TXMLSettingsNode::TXMLSettingsNode;
    std::string Language() const { return GetText("Language"); }
    std::string StorePath() const { return GetText("StorePath"); }
    bool KeepDir() const { return GetBool("KeepDir"); }
    TXMLDefaultFontType DefaultFont() const;
    bool WholeDB() const { return GetBool("WholeDB"); }
    std::int32_t Converter() const { return GetInt("Converter"); }
    bool ExportAttach() const { return GetBool("ExportAttach"); }
    bool ClearTempory() const { return GetBool("ClearTempory"); }
    bool IgnoreEmptyNode() const { return GetBool("IgnoreEmptyNode"); }
    bool ReadableCaption() const { return GetBool("ReadableCaption"); }
    bool SubItems() const { return GetBool("SubItems"); }
    bool OverWrite() const { return GetBool("OverWrite"); }
    bool TopNode() const { return GetBool("TopNode"); }
    std::string Encoding() const { return GetText("Encoding"); }
    std::string HeaderText() const { return GetText("HeaderText"); }
    std::string FooterText() const { return GetText("FooterText"); }
    std::string DefaultPage() const { return GetText("DefaultPage"); }
    std::string ShortCut() const { return GetText("ShortCut"); }
    std::string WindowSizeList() const { return GetText("WindowSizeList"); }
    std::string UserButtonCaption() const { return GetText("UserButtonCaption"); }
    std::string UserButtonURL() const { return GetText("UserButtonURL"); }
    bool OpenCHMFile() const { return GetBool("OpenCHMFile"); }
    bool NavigatorLink() const { return GetBool("NavigatorLink"); }
    std::string AttachFiles() const { return GetText("AttachFiles"); }
    bool RolloverMenu() const { return GetBool("RolloverMenu"); }
    TXMLCHMType CHM() const;
    // Folder of the website written beside the help file; empty when absent.
    std::string SiteFolder() const { return node_.child("SiteFolder") ? GetText("SiteFolder") : std::string(); }
    // Written only when set, so the settings of a run without a website stay as they were.
    void SetSiteFolder(const std::string& v) {
        if (v.empty())
            node_.remove_child("SiteFolder");
        else
            SetText("SiteFolder", v);
    }

    void SetLanguage(const std::string& v) { SetText("Language", v); }
    void SetStorePath(const std::string& v) { SetText("StorePath", v); }
    void SetKeepDir(bool v) { SetBool("KeepDir", v); }
    void SetWholeDB(bool v) { SetBool("WholeDB", v); }
    void SetConverter(std::int32_t v) { SetInt("Converter", v); }
    void SetExportAttach(bool v) { SetBool("ExportAttach", v); }
    void SetClearTempory(bool v) { SetBool("ClearTempory", v); }
    void SetIgnoreEmptyNode(bool v) { SetBool("IgnoreEmptyNode", v); }
    void SetReadableCaption(bool v) { SetBool("ReadableCaption", v); }
    void SetSubItems(bool v) { SetBool("SubItems", v); }
    void SetOverWrite(bool v) { SetBool("OverWrite", v); }
    void SetTopNode(bool v) { SetBool("TopNode", v); }
    void SetEncoding(const std::string& v) { SetText("Encoding", v); }
    void SetHeaderText(const std::string& v) { SetText("HeaderText", v); }
    void SetFooterText(const std::string& v) { SetText("FooterText", v); }
    void SetDefaultPage(const std::string& v) { SetText("DefaultPage", v); }
    void SetShortCut(const std::string& v) { SetText("ShortCut", v); }
    void SetWindowSizeList(const std::string& v) { SetText("WindowSizeList", v); }
    void SetUserButtonCaption(const std::string& v) { SetText("UserButtonCaption", v); }
    void SetUserButtonURL(const std::string& v) { SetText("UserButtonURL", v); }
    void SetOpenCHMFile(bool v) { SetBool("OpenCHMFile", v); }
    void SetNavigatorLink(bool v) { SetBool("NavigatorLink", v); }
    void SetAttachFiles(const std::string& v) { SetText("AttachFiles", v); }
    void SetRolloverMenu(bool v) { SetBool("RolloverMenu", v); }
};

class TXMLQuillbookType {
public:
    explicit TXMLQuillbookType(pugi::xml_node node) : node_(node) {}
    pugi::xml_node Node() const { return node_; }
    TXMLConfigType Config() const;

private:
    pugi::xml_node node_;
};

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
