#include "winwizard/WinWizard.h"
#include "winwizard/resource.h"

namespace qb::win {

namespace {
using K = TComponentKind;
#define QB_CONTROL(name, page, kind) {#name, IDC_##name, page, kind}
}  // namespace

const std::vector<TWinControl>& WizardControls() {
    static const std::vector<TWinControl> table = {
        QB_CONTROL(pgcMain, -1, K::WinControl),
        QB_CONTROL(tsWelcome, 0, K::WinControl),
        QB_CONTROL(imgWizard, 0, K::GraphicControl),
        QB_CONTROL(lblWelMessage, 0, K::Label),
        QB_CONTROL(lblLanguage, 0, K::Label),
        QB_CONTROL(cbbLanguage, 0, K::ComboBox),
        QB_CONTROL(lblWebSite, 0, K::Label),
        QB_CONTROL(imgWeb, 0, K::GraphicControl),
        QB_CONTROL(lblMailUs, 0, K::Label),
        QB_CONTROL(imgMail, 0, K::GraphicControl),
        QB_CONTROL(tsTypes, 1, K::WinControl),
        QB_CONTROL(rgDataSource, 1, K::RadioGroup),
        QB_CONTROL(rgConverter, 1, K::RadioGroup),
        QB_CONTROL(tsOptions, 2, K::WinControl),
        QB_CONTROL(chkAttachments, 2, K::WinControl),
        QB_CONTROL(chkOverWrite, 2, K::WinControl),
        QB_CONTROL(chkClearTempFile, 2, K::WinControl),
        QB_CONTROL(chkKeepDir, 2, K::WinControl),
        QB_CONTROL(chkNiceDirName, 2, K::WinControl),
        QB_CONTROL(chkIgnoreTopNode, 2, K::WinControl),
        QB_CONTROL(chkIgnoreEmptyNode, 2, K::WinControl),
        QB_CONTROL(chkSubItems, 2, K::WinControl),
        QB_CONTROL(chkNavLink, 2, K::WinControl),
        QB_CONTROL(chkMakePopupMenu, 2, K::WinControl),
        QB_CONTROL(lblEncoding, 2, K::Label),
        QB_CONTROL(cbbEncoding, 2, K::ComboBox),
        QB_CONTROL(lblFont, 2, K::Label),
        QB_CONTROL(lblFontPreview, 2, K::Label),
        QB_CONTROL(tsFrame, 3, K::WinControl),
        QB_CONTROL(lblHeader, 3, K::Label),
        QB_CONTROL(mmoHeader, 3, K::Edit),
        QB_CONTROL(lblFooter, 3, K::Label),
        QB_CONTROL(mmoFooter, 3, K::Edit),
        QB_CONTROL(tsCHMOptions, 4, K::WinControl),
        QB_CONTROL(lblCHMLanguage, 4, K::Label),
        QB_CONTROL(cbbCHMLanguage, 4, K::ComboBox),
        QB_CONTROL(chkFullSearch, 4, K::WinControl),
        QB_CONTROL(lblCHMWinSize, 4, K::Label),
        QB_CONTROL(cbbCHMWinSize, 4, K::ComboBox),
        QB_CONTROL(chkOnTop, 4, K::WinControl),
        QB_CONTROL(lblCHMTitle, 4, K::Label),
        QB_CONTROL(edtCHMTitle, 4, K::Edit),
        QB_CONTROL(chkMakeIndex, 4, K::WinControl),
        QB_CONTROL(grpCHMTab, 4, K::WinControl),
        QB_CONTROL(chkCHMTab, 4, K::WinControl),
        QB_CONTROL(edtCHMTabWidth, 4, K::Edit),
        QB_CONTROL(lblDefaultTab, 4, K::Label),
        QB_CONTROL(cbbDefaultTab, 4, K::ComboBox),
        QB_CONTROL(chklstTabStyles, 4, K::ListBox),
        QB_CONTROL(grpWinBtns, 4, K::WinControl),
        QB_CONTROL(chklstWinBtns, 4, K::ListBox),
        QB_CONTROL(grpUserButton, 4, K::WinControl),
        QB_CONTROL(lblUserDefBtnCaption, 4, K::Label),
        QB_CONTROL(edtUserButtonCaption, 4, K::Edit),
        QB_CONTROL(lblUserDefBtnURL, 4, K::Label),
        QB_CONTROL(edtUserButtonURL, 4, K::Edit),
        QB_CONTROL(btnBrowseJump1, 4, K::WinControl),
        QB_CONTROL(tsMiscOptions, 5, K::WinControl),
        QB_CONTROL(lblDefaultPage, 5, K::Label),
        QB_CONTROL(edtDefaultPage, 5, K::Edit),
        QB_CONTROL(btnBrowseDefaultPage, 5, K::WinControl),
        QB_CONTROL(lblRootPath, 5, K::Label),
        QB_CONTROL(edtRootPath, 5, K::Edit),
        QB_CONTROL(btnBrowserPath, 5, K::WinControl),
        QB_CONTROL(lblAttachFiles, 5, K::Label),
        QB_CONTROL(lstAttachFiles, 5, K::ListBox),
        QB_CONTROL(btnAddAttachs, 5, K::WinControl),
        QB_CONTROL(btnRemoveAttachs, 5, K::WinControl),
        QB_CONTROL(lblCHMFilename, 5, K::Label),
        QB_CONTROL(edtCHMFileName, 5, K::Edit),
        QB_CONTROL(btnChmFileName, 5, K::WinControl),
        QB_CONTROL(chkOpenCHMFile, 5, K::WinControl),
        QB_CONTROL(chkSite, 5, K::WinControl),
        QB_CONTROL(edtSiteFolder, 5, K::Edit),
        QB_CONTROL(btnSiteFolder, 5, K::WinControl),
        QB_CONTROL(tsFinished, 6, K::WinControl),
        QB_CONTROL(lblStart, 6, K::Label),
        QB_CONTROL(btnRun, 6, K::WinControl),
        QB_CONTROL(pbPecent, 6, K::WinControl),
        QB_CONTROL(mmoLogMsg, 6, K::Edit),
        QB_CONTROL(imgLogo, -1, K::GraphicControl),
        QB_CONTROL(bvlBottom, -1, K::GraphicControl),
        QB_CONTROL(btnAbout, -1, K::WinControl),
        QB_CONTROL(btnLang, -1, K::WinControl),
        QB_CONTROL(btnBack, -1, K::WinControl),
        QB_CONTROL(btnNext, -1, K::WinControl),
        QB_CONTROL(btnClose, -1, K::WinControl),
    };
    return table;
}

const TWinControl* FindWinControl(const std::string& name) {
    for (const TWinControl& c : WizardControls())
        if (name == c.name) return &c;
    return nullptr;
}

}  // namespace qb::win
