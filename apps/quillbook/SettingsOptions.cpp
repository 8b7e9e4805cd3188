#include "SettingsOptions.h"

#include <array>

#include "Colors.h"
#include "Error.h"
#include "MessageTable.h"
#include "Settings.h"
#include "SettingsControls.h"
#include "Utils.h"

namespace qbcli {

namespace {

// The wizard's controls as plain values, holding the wizard's design defaults.
class ValueControls : public qb::ISettingsControls {
public:
    std::string language = "Default(En) *", encoding = "UTF-8", header, footer, chmLanguage, winSize = "[0,0,800,600]",
                title, tabWidth = "300", userCaption, userUrl, defaultPage, rootPath, siteFolder;
    int dataSource = 0, converter = 1, defaultTab = -1;
    bool attachments = true, overwrite = false, clearTemp = true, keepDir = true, niceDirName = false,
         ignoreTopNode = true, ignoreEmpty = false, subItems = true, navLink = true, popupMenu = true,
         fullSearch = true, onTop = false, chmTab = true, openChm = true;
    qb::TFontValue font{"Tahoma", 12, 0xFF000008u};
    std::array<bool, 5> tabStyles{true, true, false, false, false};
    std::array<bool, 15> winBtns{};
    std::vector<std::string> attachFiles;

    ValueControls() { qb::ToolbarFlagsToList(*this, qb::kDefaultToolButtons); }

    std::string GetCbbLanguage() const override { return language; }
    void SetCbbLanguage(const std::string& t) override { language = t; }
    int GetRgDataSource() const override { return dataSource; }
    void SetRgDataSource(int i) override { dataSource = i; }
    int GetRgConverter() const override { return converter; }
    void SetRgConverter(int i) override { converter = i; }
    bool GetChkAttachments() const override { return attachments; }
    void SetChkAttachments(bool c) override { attachments = c; }
    bool GetChkOverWrite() const override { return overwrite; }
    void SetChkOverWrite(bool c) override { overwrite = c; }
    bool GetChkClearTempFile() const override { return clearTemp; }
    void SetChkClearTempFile(bool c) override { clearTemp = c; }
    bool GetChkKeepDir() const override { return keepDir; }
    void SetChkKeepDir(bool c) override { keepDir = c; }
    bool GetChkNiceDirName() const override { return niceDirName; }
    void SetChkNiceDirName(bool c) override { niceDirName = c; }
    bool GetChkIgnoreTopNode() const override { return ignoreTopNode; }
    void SetChkIgnoreTopNode(bool c) override { ignoreTopNode = c; }
    bool GetChkIgnoreEmptyNode() const override { return ignoreEmpty; }
    void SetChkIgnoreEmptyNode(bool c) override { ignoreEmpty = c; }
    bool GetChkSubItems() const override { return subItems; }
    void SetChkSubItems(bool c) override { subItems = c; }
    bool GetChkNavLink() const override { return navLink; }
    void SetChkNavLink(bool c) override { navLink = c; }
    bool GetChkMakePopupMenu() const override { return popupMenu; }
    void SetChkMakePopupMenu(bool c) override { popupMenu = c; }
    std::string GetCbbEncoding() const override { return encoding; }
    void SetCbbEncoding(const std::string& t) override { encoding = t; }
    qb::TFontValue GetLblFontPreview() const override { return font; }
    void SetLblFontPreview(const qb::TFontValue& f) override { font = f; }
    std::string GetMmoHeader() const override { return header; }
    void SetMmoHeader(const std::string& t) override { header = t; }
    std::string GetMmoFooter() const override { return footer; }
    void SetMmoFooter(const std::string& t) override { footer = t; }
    std::string GetCbbCHMLanguage() const override { return chmLanguage; }
    void SetCbbCHMLanguage(const std::string& t) override { chmLanguage = t; }
    bool GetChkFullSearch() const override { return fullSearch; }
    void SetChkFullSearch(bool c) override { fullSearch = c; }
    std::string GetCbbCHMWinSize() const override { return winSize; }
    void SetCbbCHMWinSize(const std::string& t) override { winSize = t; }
    bool GetChkOnTop() const override { return onTop; }
    void SetChkOnTop(bool c) override { onTop = c; }
    std::string GetEdtCHMTitle() const override { return title; }
    void SetEdtCHMTitle(const std::string& t) override { title = t; }
    bool GetChkCHMTab() const override { return chmTab; }
    void SetChkCHMTab(bool c) override { chmTab = c; }
    std::string GetEdtCHMTabWidth() const override { return tabWidth; }
    void SetEdtCHMTabWidth(const std::string& t) override { tabWidth = t; }
    int GetCbbDefaultTab() const override { return defaultTab; }
    void SetCbbDefaultTab(int i) override { defaultTab = i; }
    bool GetChklstTabStyles(int i) const override { return i >= 0 && i < 5 && tabStyles[static_cast<std::size_t>(i)]; }
    void SetChklstTabStyles(int i, bool c) override {
        if (i >= 0 && i < 5) tabStyles[static_cast<std::size_t>(i)] = c;
    }
    bool GetChklstWinBtns(int i) const override { return i >= 0 && i < 15 && winBtns[static_cast<std::size_t>(i)]; }
    void SetChklstWinBtns(int i, bool c) override {
        if (i >= 0 && i < 15) winBtns[static_cast<std::size_t>(i)] = c;
    }
    std::string GetEdtUserButtonCaption() const override { return userCaption; }
    void SetEdtUserButtonCaption(const std::string& t) override { userCaption = t; }
    std::string GetEdtUserButtonURL() const override { return userUrl; }
    void SetEdtUserButtonURL(const std::string& t) override { userUrl = t; }
    std::string GetEdtDefaultPage() const override { return defaultPage; }
    void SetEdtDefaultPage(const std::string& t) override { defaultPage = t; }
    std::string GetEdtRootPath() const override { return rootPath; }
    void SetEdtRootPath(const std::string& t) override { rootPath = t; }
    std::vector<std::string> GetLstAttachFiles() const override { return attachFiles; }
    void SetLstAttachFiles(const std::vector<std::string>& items) override { attachFiles = items; }
    bool GetChkOpenCHMFile() const override { return openChm; }
    void SetChkOpenCHMFile(bool c) override { openChm = c; }
    std::string GetSiteFolder() const override { return siteFolder; }
    void SetSiteFolder(const std::string& t) override { siteFolder = t; }
};

}  // namespace

void ApplySettingsFile(const std::string& path, qb::TConvertOptions& o) {
    auto doc = qb::LoadSettingsDocument(path);
    ValueControls c;
    c.chmLanguage = o.ChmLanguage;
    qb::TSettingsEnvironment env = qb::DefaultSettingsEnvironment();
    env.defaultCHMLanguage = o.ChmLanguage;
    try {
        qb::LoadStorePath(doc->Quillbook(), c, env);
        qb::LoadSettingsIntoControls(doc->Quillbook(), c, env);
    } catch (const std::exception& e) {
        throw qb::Error(qb::Msg(22) + e.what());
    }
    o.ConvertMethod = static_cast<std::uint8_t>(c.converter);
    o.KeepFolderTree = c.keepDir;
    o.ExportAttachments = c.attachments;
    o.Encoding = qb::Trim(c.encoding);
    o.DefaultPage = qb::Trim(c.defaultPage);
    o.Header = qb::Trim(c.header);
    o.Footer = qb::Trim(c.footer);
    o.RemoveTempFiles = c.clearTemp;
    o.FontName = c.font.name;
    o.FontColor = c.font.color;
    o.FontSize = c.font.size;
    o.Overwrite = c.overwrite;
    o.TopNodeNotFolder = c.ignoreTopNode;
    if (!c.chmLanguage.empty()) o.ChmLanguage = c.chmLanguage;
    o.FullTextSearch = c.fullSearch;
    o.WindowRect = c.winSize;
    o.WindowButtons = qb::ToolbarFlagsFromList(c);
    o.WindowExStyle = c.onTop ? 8 : 0;
    o.NavPaneFlags = (c.chmTab ? 0x20 : 0) | (c.tabStyles[0] ? 0x1000 : 0) | (c.tabStyles[1] ? 0x20400 : 0) |
                     (c.tabStyles[2] ? 0x100 : 0) | (c.tabStyles[4] ? 0x1 : 0) | (c.winBtns[0] ? 0x10000 : 0);
    o.NavPaneClosed = c.tabStyles[3];
    o.DefaultTab = c.defaultTab;
    const auto width = qb::Trim(c.tabWidth);
    try {
        std::size_t used = 0;
        o.NavPaneWidth = std::stoi(width, &used);
        if (used != width.size()) throw std::invalid_argument(width);
    } catch (const std::exception&) {
        throw qb::Error("'" + c.tabWidth + "' is not a valid integer value");
    }
    o.IgnoreEmptyItems = c.ignoreEmpty;
    o.ReadableFolderNames = c.niceDirName;
    o.IncludeSubItems = c.subItems;
    o.UserButtonCaption = c.userCaption;
    o.UserButtonUrl = c.userUrl;
    o.NavLinks = c.navLink;
    o.ExtraFiles.clear();
    for (const auto& f : c.attachFiles) o.ExtraFiles += f + "\r\n";
    o.RolloverMenus = c.navLink && c.popupMenu;
    o.SiteFolder = qb::Trim(c.siteFolder);
}

}  // namespace qbcli
