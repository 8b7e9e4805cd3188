#include "SettingsControls.h"

#include <filesystem>

#include "Colors.h"
#include "Error.h"
#include "StringList.h"
#include "Utils.h"
#include "XmlValues.h"

namespace qb {

const std::int32_t kToolbarButtonBits[14] = {0x2,   0x4,    0x8,      0x10,     0x20,     0x40,    0x800,
                                             0x1000, 0x2000, 0x100000, 0x200000, 0x400000, 0x40000, 0x80000};

namespace {

constexpr int kTabStyleBookmarks = 0, kTabStyleSearch = 1, kTabStyleAutoSync = 2, kTabStyleClosed = 3,
              kTabStyleAutoHide = 4;
constexpr int kWinBtnMenus = 0;

bool FolderExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

std::uint32_t FontColor(const TXMLDefaultFontType& font) {
    std::string text = font.Color();
    if (auto named = IdentToColor(text)) return *named;
    if (auto number = ParseColorNumber(text)) return *number;
    throw Error("'" + text + "' is not a valid colour value (" + NodePath(font.Node()) + "/@Color)");
}

std::string JoinLines(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) text += item + "\r\n";
    return text;
}

}  // namespace

std::int32_t ToolbarFlagsFromList(const ISettingsControls& controls) {
    std::int32_t mask = 0;
    for (int i = 0; i < 14; ++i)
        if (controls.GetChklstWinBtns(i + 1)) mask |= kToolbarButtonBits[i];
    return mask;
}

void ToolbarFlagsToList(ISettingsControls& controls, std::int32_t mask) {
    for (int i = 0; i < 14; ++i) controls.SetChklstWinBtns(i + 1, (mask & kToolbarButtonBits[i]) != 0);
}

TSettingsEnvironment DefaultSettingsEnvironment() {
    TSettingsEnvironment env;
    env.documentsFolder = GetSpecialFolder(5);
    return env;
}

void LoadStorePath(TXMLQuillbookType root, ISettingsControls& controls, const TSettingsEnvironment& env) {
    std::string storePath = root.Config().StorePath();
    if (FolderExists(storePath))
        controls.SetEdtRootPath(storePath);
    else
        controls.SetEdtRootPath(env.documentsFolder + "My Quillbook Files/");
}

bool LoadSettingsIntoControls(TXMLQuillbookType root, ISettingsControls& controls, const TSettingsEnvironment& env) {
    if (!SettingsSaved(root)) {
        ToolbarFlagsToList(controls, kDefaultToolButtons);
        controls.SetChklstTabStyles(kTabStyleBookmarks, true);
        controls.SetChklstTabStyles(kTabStyleSearch, true);
        if (!env.defaultCHMLanguage.empty()) controls.SetCbbCHMLanguage(env.defaultCHMLanguage);
        return false;
    }

    TXMLConfigType config = root.Config();
    TXMLCHMType chm = config.CHM();
    if (config.WholeDB()) controls.SetRgDataSource(1);
    controls.SetEdtRootPath(config.StorePath());
    controls.SetRgConverter(config.Converter());
    controls.SetCbbCHMLanguage(chm.Language());
    controls.SetChkFullSearch(chm.FullSearch());
    controls.SetCbbCHMWinSize(chm.Size());
    controls.SetEdtCHMTabWidth(IntToText(chm.TabWidth()));
    controls.SetEdtCHMTitle(chm.Title());
    controls.SetChkCHMTab(chm.TabEnable());
    controls.SetChklstTabStyles(kTabStyleBookmarks, chm.Bookmark());
    controls.SetChklstTabStyles(kTabStyleSearch, chm.AdvanceSearch());
    controls.SetChklstTabStyles(kTabStyleAutoSync, chm.AutoSync());
    controls.SetChklstTabStyles(kTabStyleClosed, chm.OpenClosed());
    controls.SetChklstTabStyles(kTabStyleAutoHide, chm.AutoHide());
    controls.SetChklstWinBtns(kWinBtnMenus, chm.Menu());
    controls.SetCbbDefaultTab(chm.DefaultTab());
    controls.SetChkOnTop(chm.OnTop());

    controls.SetCbbLanguage(config.Language());
    controls.SetChkKeepDir(config.KeepDir());
    TXMLDefaultFontType fontNode = config.DefaultFont();
    TFontValue font = controls.GetLblFontPreview();
    font.name = fontNode.Name();
    controls.SetLblFontPreview(font);
    font.size = fontNode.Size();
    controls.SetLblFontPreview(font);
    font.color = FontColor(fontNode);
    controls.SetLblFontPreview(font);
    controls.SetChkAttachments(config.ExportAttach());
    controls.SetChkClearTempFile(config.ClearTempory());
    controls.SetChkOverWrite(config.OverWrite());
    controls.SetChkIgnoreTopNode(config.TopNode());
    controls.SetCbbEncoding(config.Encoding());
    controls.SetMmoHeader(config.HeaderText());
    controls.SetMmoFooter(config.FooterText());
    controls.SetEdtDefaultPage(config.DefaultPage());
    ToolbarFlagsToList(controls, chm.ToolButtons());
    controls.SetChkIgnoreEmptyNode(config.IgnoreEmptyNode());
    controls.SetChkNiceDirName(config.ReadableCaption());
    controls.SetChkSubItems(config.SubItems());
    controls.SetEdtUserButtonCaption(config.UserButtonCaption());
    controls.SetEdtUserButtonURL(config.UserButtonURL());
    controls.SetChkOpenCHMFile(config.OpenCHMFile());
    controls.SetChkNavLink(config.NavigatorLink());
    controls.SetLstAttachFiles(SplitLines(config.AttachFiles()));
    controls.SetChkMakePopupMenu(config.RolloverMenu());
    controls.SetSiteFolder(config.SiteFolder());
    return true;
}

void SaveControlsToSettings(TXMLQuillbookType root, const ISettingsControls& controls) {
    TXMLConfigType config = root.Config();
    config.SetStorePath(controls.GetEdtRootPath());
    config.SetKeepDir(controls.GetChkKeepDir());
    TFontValue font = controls.GetLblFontPreview();
    TXMLDefaultFontType fontNode = config.DefaultFont();
    fontNode.SetName(font.name);
    fontNode.SetSize(font.size);
    fontNode.SetColor(ColorToString(font.color));
    config.SetWholeDB(controls.GetRgDataSource() == 1);
    config.SetConverter(controls.GetRgConverter());
    config.SetExportAttach(controls.GetChkAttachments());
    config.SetClearTempory(controls.GetChkClearTempFile());
    config.SetOverWrite(controls.GetChkOverWrite());
    config.SetTopNode(controls.GetChkIgnoreTopNode());
    config.SetEncoding(controls.GetCbbEncoding());
    config.SetHeaderText(controls.GetMmoHeader());
    config.SetFooterText(controls.GetMmoFooter());
    config.SetDefaultPage(controls.GetEdtDefaultPage());
    config.SetLanguage(controls.GetCbbLanguage());

    TXMLCHMType chm = config.CHM();
    chm.SetLanguage(controls.GetCbbCHMLanguage());
    chm.SetFullSearch(controls.GetChkFullSearch());
    chm.SetTitle(controls.GetEdtCHMTitle());
    chm.SetSize(controls.GetCbbCHMWinSize());
    chm.SetOnTop(controls.GetChkOnTop());
    chm.SetAdvanceSearch(controls.GetChklstTabStyles(kTabStyleSearch));
    chm.SetToolButtons(ToolbarFlagsFromList(controls));
    chm.SetMenu(controls.GetChklstWinBtns(kWinBtnMenus));
    chm.SetTabEnable(controls.GetChkCHMTab());
    chm.SetBookmark(controls.GetChklstTabStyles(kTabStyleBookmarks));
    chm.SetAutoSync(controls.GetChklstTabStyles(kTabStyleAutoSync));
    chm.SetOpenClosed(controls.GetChklstTabStyles(kTabStyleClosed));
    chm.SetAutoHide(controls.GetChklstTabStyles(kTabStyleAutoHide));
    chm.SetDefaultTab(controls.GetCbbDefaultTab());
    chm.SetTabWidth(TextToInt(controls.GetEdtCHMTabWidth(), "navigation pane width"));

    config.SetIgnoreEmptyNode(controls.GetChkIgnoreEmptyNode());
    config.SetReadableCaption(controls.GetChkNiceDirName());
    config.SetSubItems(controls.GetChkSubItems());
    config.SetUserButtonCaption(controls.GetEdtUserButtonCaption());
    config.SetUserButtonURL(controls.GetEdtUserButtonURL());
    config.SetOpenCHMFile(controls.GetChkOpenCHMFile());
    config.SetNavigatorLink(controls.GetChkNavLink());
    config.SetAttachFiles(JoinLines(controls.GetLstAttachFiles()));
    config.SetRolloverMenu(controls.GetChkMakePopupMenu());
    config.SetSiteFolder(controls.GetSiteFolder());
}

void RestoreCheckListsFromSettings(TXMLQuillbookType root, ISettingsControls& controls) {
    if (!SettingsSaved(root)) return;
    TXMLCHMType chm = root.Config().CHM();
    controls.SetChklstTabStyles(kTabStyleBookmarks, chm.Bookmark());
    controls.SetChklstTabStyles(kTabStyleSearch, chm.AdvanceSearch());
    controls.SetChklstTabStyles(kTabStyleAutoSync, chm.AutoSync());
    controls.SetChklstTabStyles(kTabStyleClosed, chm.OpenClosed());
    controls.SetChklstTabStyles(kTabStyleAutoHide, chm.AutoHide());
    controls.SetChklstWinBtns(kWinBtnMenus, chm.Menu());
    ToolbarFlagsToList(controls, chm.ToolButtons());
}

}  // namespace qb
