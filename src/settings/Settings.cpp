#include "settings/Settings.h"

#include <filesystem>

#include "Utils/Platform.h"
#include "settings/ConfigLocation.h"
#include "settings/XmlValues.h"
#include "support/Error.h"
#include "support/Path.h"

namespace qb {
namespace {

struct HeldState {
    std::unique_ptr<TSettingsDocument> doc;
    std::string path;
    // The unreadable file found at start-up; renamed away before the first save.
    std::string damagedFile;
};

HeldState& Held() {
    static HeldState state;
    return state;
}

bool PathExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(FsPath(path), ec));
}

// Moves the damaged file to the first free backup name, never over another file.
void BackupDamagedFile(const std::string& path) {
    if (!PathExists(path)) return;
    std::string backup = path + ".bak";
    for (int n = 1; PathExists(backup); ++n) backup = path + ".bak" + std::to_string(n);
    std::error_code ec;
    std::filesystem::rename(FsPath(path), FsPath(backup), ec);
    if (ec)
        throw Error("Cannot rename the unreadable settings file \"" + path + "\" to \"" + backup +
                    "\": " + ec.message());
}

}  // namespace

pugi::xml_node TXMLQuillbookType::Config() const { return GetOrAddChild(node_, "Config"); }

pugi::xml_node SettingElement(pugi::xml_node config, const std::string& path) {
    pugi::xml_node node = config;
    std::size_t start = 0;
    for (std::size_t slash; (slash = path.find('/', start)) != std::string::npos; start = slash + 1)
        node = GetOrAddChild(node, path.substr(start, slash - start).c_str());
    return GetOrAddChild(node, path.substr(start).c_str());
}

pugi::xml_attribute SettingAttribute(pugi::xml_node config, const std::string& path) {
    const std::size_t at = path.find("/@");
    if (at == std::string::npos) throw Error("\"" + path + "\" names no attribute");
    return GetOrAddAttribute(SettingElement(config, path.substr(0, at)), path.substr(at + 2).c_str());
}

pugi::xml_node FindSetting(pugi::xml_node config, const std::string& path) {
    pugi::xml_node node = config;
    std::size_t start = 0;
    for (std::size_t slash; node && (slash = path.find('/', start)) != std::string::npos; start = slash + 1)
        node = node.child(path.substr(start, slash - start).c_str());
    return node ? node.child(path.substr(start).c_str()) : node;
}

std::string SettingText(pugi::xml_node config, const std::string& path) {
    if (path.find("/@") != std::string::npos) return SettingAttribute(config, path).value();
    return ElementText(SettingElement(config, path));
}

void SetSettingText(pugi::xml_node config, const std::string& path, const std::string& text) {
    if (path.find("/@") != std::string::npos)
        SettingAttribute(config, path).set_value(text.c_str());
    else
        SetElementText(SettingElement(config, path), text);
}

bool SettingsSaved(const TXMLQuillbookType& root) { return bool(root.Node().child("Config").child("KeepDir")); }

std::string TSettingsDocument::ToText() { return XmlToString(doc_, false); }

std::unique_ptr<TSettingsDocument> LoadSettingsDocument(const std::string& path) {
    auto doc = std::make_unique<TSettingsDocument>();
    LoadXmlFile(doc->Xml(), path);
    std::string root = doc->Xml().document_element().name();
    if (root != "Quillbook")
        throw Error("Cannot read \"" + path + "\": the root element is <" + root + ">, not <Quillbook>");
    return doc;
}

std::unique_ptr<TSettingsDocument> NewSettingsDocument() {
    auto doc = std::make_unique<TSettingsDocument>();
    SetXmlDeclaration(doc->Xml(), "1.0", "");
    doc->Xml().append_child("Quillbook");
    return doc;
}

std::string SettingsPathFor(const std::string& modulePath) {
    return Utf8Of(FsPath(modulePath).replace_extension(".xml"));
}

std::string StartUpSettings(const std::string& modulePath) {
    HeldState& held = Held();
    if (!held.doc) {
        const TConfigFile file = ConfigFileFor(modulePath, ".xml");
        const std::string& path = file.readPath;
        std::unique_ptr<TSettingsDocument> doc;
        std::string damaged;
        if (PathExists(path)) {
            try {
                doc = LoadSettingsDocument(path);
            } catch (const std::exception& e) {
                // A damaged file we will not write over stays where it is.
                if (path == file.writePath) damaged = path;
                ShowError(std::string(e.what()) +
                          "\r\nQuillbook uses its default settings. The file is kept and will be renamed to a "
                          "backup before the settings are saved.");
            }
        }
        if (!doc) {
            doc = NewSettingsDocument();
            SetDeclaredEncoding(doc->Xml(), "UTF-8");
        }
        held.doc = std::move(doc);
        held.path = file.writePath;
        held.damagedFile = damaged;
    }
    return SettingText(held.doc->Quillbook().Config(), "Language");
}

TSettingsDocument* HeldSettings() { return Held().doc.get(); }

bool SaveSettingsFile() {
    HeldState& held = Held();
    if (!held.doc) return true;
    try {
        if (!held.damagedFile.empty()) {
            BackupDamagedFile(held.damagedFile);
            held.damagedFile.clear();
        }
        MakeParentFolder(held.path);
        ReplaceFile(held.path, held.doc->ToText());
        return true;
    } catch (const std::exception& e) {
        ShowError(std::string("The settings could not be saved. ") + e.what());
        return false;
    }
}

void ReleaseSettings() { Held() = HeldState{}; }

}  // namespace qb
