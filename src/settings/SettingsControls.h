#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Settings.h"

// The wizard's load and save of its controls, written against the values the
// controls hold, so the sequences run without a window.
namespace qb {

struct TFontValue {
    std::string name;
    std::int32_t size = 0;       // points
    std::uint32_t color = 0;     // 0x00BBGGRR or a system colour code
};

// What the settings sequences read from and write to the wizard's controls.
// Setters that stand for a user action (rgDataSource, chkKeepDir, chkNavLink)
// are expected to run that control's change handler; cbbLanguage only takes the
// text, since start-up has already selected that language. Indices come
// from the file unchecked (a hand-edited Converter of 7): a control ignores one
// outside its items.
class ISettingsControls {
public:
    virtual ~ISettingsControls() = default;

    virtual std::string GetCbbLanguage() const = 0;
    virtual void SetCbbLanguage(const std::string& text) = 0;

    virtual int GetRgDataSource() const = 0;  // selected item
    virtual void SetRgDataSource(int index) = 0;
    virtual int GetRgConverter() const = 0;
    virtual void SetRgConverter(int index) = 0;

    virtual bool GetChkAttachments() const = 0;
    virtual void SetChkAttachments(bool checked) = 0;
    virtual bool GetChkOverWrite() const = 0;
    virtual void SetChkOverWrite(bool checked) = 0;
    virtual bool GetChkClearTempFile() const = 0;
    virtual void SetChkClearTempFile(bool checked) = 0;
    virtual bool GetChkKeepDir() const = 0;
    virtual void SetChkKeepDir(bool checked) = 0;
    virtual bool GetChkNiceDirName() const = 0;
    virtual void SetChkNiceDirName(bool checked) = 0;
    virtual bool GetChkIgnoreTopNode() const = 0;
    virtual void SetChkIgnoreTopNode(bool checked) = 0;
    virtual bool GetChkIgnoreEmptyNode() const = 0;
    virtual void SetChkIgnoreEmptyNode(bool checked) = 0;
    virtual bool GetChkSubItems() const = 0;
    virtual void SetChkSubItems(bool checked) = 0;
    virtual bool GetChkNavLink() const = 0;
    virtual void SetChkNavLink(bool checked) = 0;
    virtual bool GetChkMakePopupMenu() const = 0;  // its own check state, enabled or not
    virtual void SetChkMakePopupMenu(bool checked) = 0;
    virtual std::string GetCbbEncoding() const = 0;
    virtual void SetCbbEncoding(const std::string& text) = 0;
    virtual TFontValue GetLblFontPreview() const = 0;
    virtual void SetLblFontPreview(const TFontValue& font) = 0;

    virtual std::string GetMmoHeader() const = 0;
    virtual void SetMmoHeader(const std::string& text) = 0;
    virtual std::string GetMmoFooter() const = 0;
    virtual void SetMmoFooter(const std::string& text) = 0;

    virtual std::string GetCbbCHMLanguage() const = 0;
    virtual void SetCbbCHMLanguage(const std::string& text) = 0;
    virtual bool GetChkFullSearch() const = 0;
    virtual void SetChkFullSearch(bool checked) = 0;
    virtual std::string GetCbbCHMWinSize() const = 0;
    virtual void SetCbbCHMWinSize(const std::string& text) = 0;
    virtual bool GetChkOnTop() const = 0;
    virtual void SetChkOnTop(bool checked) = 0;
    virtual std::string GetEdtCHMTitle() const = 0;
    virtual void SetEdtCHMTitle(const std::string& text) = 0;
    virtual bool GetChkCHMTab() const = 0;
    virtual void SetChkCHMTab(bool checked) = 0;
    virtual std::string GetEdtCHMTabWidth() const = 0;
    virtual void SetEdtCHMTabWidth(const std::string& text) = 0;
    virtual int GetCbbDefaultTab() const = 0;  // selected item, -1 for none
    virtual void SetCbbDefaultTab(int index) = 0;
    // Items 0..4: "Bookmarks", "Search", "Auto sync", "Closed when open ", "Auto show/hide".
    virtual bool GetChklstTabStyles(int item) const = 0;
    virtual void SetChklstTabStyles(int item, bool checked) = 0;
    // Items 0..14: "Menus", then the toolbar buttons of kToolbarButtonBits.
    virtual bool GetChklstWinBtns(int item) const = 0;
    virtual void SetChklstWinBtns(int item, bool checked) = 0;
    virtual std::string GetEdtUserButtonCaption() const = 0;
    virtual void SetEdtUserButtonCaption(const std::string& text) = 0;
    virtual std::string GetEdtUserButtonURL() const = 0;
    virtual void SetEdtUserButtonURL(const std::string& text) = 0;

    virtual std::string GetEdtDefaultPage() const = 0;
    virtual void SetEdtDefaultPage(const std::string& text) = 0;
    virtual std::string GetEdtRootPath() const = 0;
    virtual void SetEdtRootPath(const std::string& text) = 0;
    virtual std::vector<std::string> GetLstAttachFiles() const = 0;
    virtual void SetLstAttachFiles(const std::vector<std::string>& items) = 0;
    virtual bool GetChkOpenCHMFile() const = 0;
    virtual void SetChkOpenCHMFile(bool checked) = 0;
    // "Also write a website" with its folder as one value: the folder when
    // checked, else empty. Controls without it ignore it.
    virtual std::string GetSiteFolder() const { return {}; }
    virtual void SetSiteFolder(const std::string&) {}
};

// Toolbar bit of items 1..14 of chklstWinBtns (index 0 is item 1).
extern const std::int32_t kToolbarButtonBits[14];
constexpr std::int32_t kDefaultToolButtons = 0x78387E;

// Mask of the checked items 1..14; item 0 ("Menus") is not part of it.
std::int32_t ToolbarFlagsFromList(const ISettingsControls& controls);
// Checks items 1..14 from their bits; item 0 and unknown bits are left alone.
void ToolbarFlagsToList(ISettingsControls& controls, std::int32_t mask);

// Facts of the user's desktop that the defaults need.
struct TSettingsEnvironment {
    std::string documentsFolder;      // with a trailing separator
    std::string defaultCHMLanguage;   // "0x%x %s" of the user's default locale
};
// The documents folder and no locale text (the wizard fills that in).
TSettingsEnvironment DefaultSettingsEnvironment();

// Load step 1: edtRootPath from StorePath when that folder exists, else the
// documents folder + "My Quillbook Files/".
void LoadStorePath(TXMLQuillbookType root, ISettingsControls& controls, const TSettingsEnvironment& env);
// Load steps 2 and 3: the defaults when the settings were never saved, else
// every value in reading order. A conversion error stops at that value (qb::Error).
// Returns whether the settings carried the saved marker.
bool LoadSettingsIntoControls(TXMLQuillbookType root, ISettingsControls& controls, const TSettingsEnvironment& env);
// Writes every control in save order; a tab width that is no integer raises
// qb::Error after the values before it have been written.
void SaveControlsToSettings(TXMLQuillbookType root, const ISettingsControls& controls);
// After a language change: the check marks of both check lists again from the
// saved settings; nothing when they were never saved.
void RestoreCheckListsFromSettings(TXMLQuillbookType root, ISettingsControls& controls);

}  // namespace qb
