#include "wizard/MainForm.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QVBoxLayout>

#include <utility>

#include "engine/Defaults.h"
#include "engine/Engine.h"
#include "settings/Colors.h"
#include "settings/Language.h"
#include "wizard/AboutBox.h"
#include "wizard/QtPlatform.h"
#include "wizard/Widgets.h"

namespace qb {

namespace {

constexpr int kClientWidth = 492;
constexpr int kClientHeight = 373;
constexpr int kPagesHeight = 328;
constexpr int kCheckRow = 16;

QFont PixelFont(const char* family, int pixels, bool bold = false) {
    QFont f(family);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

QLabel* PlainLabel(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QComboBox* EditableCombo(QWidget* parent, const QStringList& items, const QString& text) {
    auto* c = new QComboBox(parent);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c->setMinimumContentsLength(8);
    c->addItems(items);
    c->setCurrentIndex(-1);
    c->setEditText(text);
    return c;
}

QListWidget* CheckList(QWidget* parent, const QStringList& items) {
    auto* list = new QListWidget(parent);
    list->setProperty("qbCheckList", true);
    list->setProperty("qbRowHeight", kCheckRow);
    list->setUniformItemSizes(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (const QString& s : items) {
        auto* item = new QListWidgetItem(s, list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setSizeHint(QSize(0, kCheckRow));
    }
    return list;
}

QPushButton* DotsButton(QWidget* parent) {
    auto* b = new QPushButton("...", parent);
    b->setFixedWidth(28);
    b->setAutoDefault(false);
    return b;
}

// The welcome picture: the logo over a soft gradient, drawn to fit the page.
QPixmap WelcomePicture(int width, int height) {
    QPixmap pixmap(width, height);
    QPainter p(&pixmap);
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0, QColor(0x2B, 0x57, 0x97));
    g.setColorAt(1, QColor(0x9C, 0xC3, 0xE6));
    p.fillRect(pixmap.rect(), g);
    const QPixmap logo = LogoPixmap();
    if (!logo.isNull()) p.drawPixmap((width - logo.width()) / 2, 24, logo);
    p.setPen(Qt::white);
    p.setFont(PixelFont("Tahoma", 15, true));
    p.drawText(QRect(0, 90, width, 24), Qt::AlignHCenter, "Quillbook");
    p.setFont(PixelFont("Tahoma", 11));
    p.drawText(QRect(0, 112, width, 20), Qt::AlignHCenter, "3.0.0");
    return pixmap;
}

// Small link icons: a globe and an envelope.
QPixmap LinkIcon(bool mail) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x1F, 0x4E, 0x9A), 1.2));
    if (mail) {
        p.setBrush(QColor(0xFF, 0xF8, 0xDC));
        p.drawRect(QRectF(1.5, 3.5, 13, 9));
        p.drawLine(QPointF(1.5, 3.5), QPointF(8, 9));
        p.drawLine(QPointF(14.5, 3.5), QPointF(8, 9));
    } else {
        p.setBrush(QColor(0xDD, 0xEE, 0xFF));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.drawEllipse(QRectF(5, 1.5, 6, 13));
        p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
    }
    return pixmap;
}

TClickLabel* LinkLabel(const QString& text, QWidget* parent) {
    auto* l = new TClickLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    QFont f = l->font();
    f.setBold(true);
    f.setUnderline(true);
    l->setFont(f);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, Qt::blue);
    l->setPalette(pal);
    return l;
}

}  // namespace

TFrmMain::TFrmMain(QWidget* owner) : QDialog(owner ? owner : QApplication::activeWindow()) {
    owner_ = parentWidget();
    setObjectName("FrmMain");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    InstallFontSubstitutes();
    QDialog::setFont(PixelFont("Tahoma", 12));
    dialogs_ = QtWizardDialogs();
    BuildPages();
    BindControls();
    ApplyControlDefaults();
    FormCreate();
    FitToContents();
}

TFrmMain::~TFrmMain() {
    JoinRun();
    if (cursorBusy_) QApplication::restoreOverrideCursor();
}

QCheckBox* TFrmMain::Check(QWidget* parent, const char* name, const char* caption) {
    auto* box = new QCheckBox(caption, parent);
    tree_.Add(TComponentKind::WinControl, name, box);
    return box;
}

void TFrmMain::ApplyControlDefaults() {
    // A new wizard has no range to name yet.
    auto rangeChanged = std::exchange(rgDataSource_->onChange, nullptr);
    for (const TControlDecl& d : ControlTable()) {
        if (d.kind != TControlKind::CheckList) {
            binding_->Set(d.name, -1, ControlDefault(d.name));
            continue;
        }
        for (int i = 0; i < d.items; ++i) binding_->Set(d.name, i, ControlDefault(d.name, i));
    }
    rgDataSource_->onChange = std::move(rangeChanged);
}

TWizardPage* TFrmMain::AddPage(const std::string& name, const char* title) {
    auto* page = new TWizardPage(pages_);
    page->SetTitle(title);
    pages_->addWidget(page);
    pageList_.push_back(page);
    tree_.Add(TComponentKind::WinControl, name, page);
    auto* layout = new QVBoxLayout(page->Content());
    layout->setContentsMargins(12, 8, 12, 6);
    layout->setSpacing(6);
    return page;
}

void TFrmMain::BuildPages() {
    pages_ = new QStackedWidget(this);
    pages_->setGeometry(0, 0, kClientWidth, kPagesHeight);
    tree_.Add(TComponentKind::WinControl, "pgcMain", pages_);

    BuildWelcomePage(AddPage("tsWelcome", " Welcome to use Quillbook"));
    BuildTypesPage(AddPage("tsTypes", " Range and method"));
    BuildOptionsPage(AddPage("tsOptions", "  Export options"));
    BuildFramePage(AddPage("tsFrame", " Custom header and footer"));
    BuildCHMOptionsPage(AddPage("tsCHMOptions", " CHM compile options"));
    BuildMiscPage(AddPage("tsMiscOptions", " Misc options"));
    BuildFinishedPage(AddPage("tsFinished", " Ready to Go"));

    imgLogo_ = new QLabel(this);
    imgLogo_->setGeometry(kClientWidth - 56 - 2, 1, 56, 55);
    imgLogo_->setAlignment(Qt::AlignCenter);
    imgLogo_->setAttribute(Qt::WA_TransparentForMouseEvents);
    imgLogo_->raise();
    tree_.Add(TComponentKind::GraphicControl, "imgLogo", imgLogo_);

    bevel_ = new QFrame(this);
    bevel_->setFrameShape(QFrame::HLine);
    bevel_->setFrameShadow(QFrame::Sunken);
    tree_.Add(TComponentKind::GraphicControl, "bvlBottom", bevel_);

    btnAbout_ = new QPushButton("&About...", this);
    btnLang_ = new QPushButton("&Language", this);
    btnLang_->hide();
    btnLang_->setEnabled(false);
    btnClose_ = new QPushButton("&Close", this);
    btnNext_ = new QPushButton("&Next >", this);
    btnBack_ = new QPushButton("<  &Back", this);
    btnBack_->setEnabled(false);
    PlaceFrame(kClientWidth, kPagesHeight);
    btnClose_->setDefault(true);
    for (QPushButton* b : {btnAbout_, btnLang_, btnBack_, btnNext_}) b->setAutoDefault(false);
    tree_.Add(TComponentKind::WinControl, "btnAbout", btnAbout_);
    tree_.Add(TComponentKind::WinControl, "btnLang", btnLang_);
    tree_.Add(TComponentKind::WinControl, "btnBack", btnBack_);
    tree_.Add(TComponentKind::WinControl, "btnNext", btnNext_);
    tree_.Add(TComponentKind::WinControl, "btnClose", btnClose_);

    tree_.Add(TComponentKind::Component, "dlgFont", nullptr);
    tree_.Add(TComponentKind::Component, "dlgSaveCHMFile", nullptr);
    tree_.Add(TComponentKind::Component, "dlgOpenDefaultPage", nullptr);
    tree_.Add(TComponentKind::Component, "dlgOpenAttachs", nullptr);

    connect(btnAbout_, &QPushButton::clicked, this, [this] { btnAboutClick(); });
    connect(btnLang_, &QPushButton::clicked, this, [this] { btnLangClick(); });
    connect(btnBack_, &QPushButton::clicked, this, [this] { btnBackClick(); });
    connect(btnNext_, &QPushButton::clicked, this, [this] { btnNextClick(); });
    connect(btnClose_, &QPushButton::clicked, this, [this] { RequestClose(); });
}

void TFrmMain::PlaceFrame(int width, int pagesHeight) {
    pages_->setGeometry(0, 0, width, pagesHeight);
    imgLogo_->setGeometry(width - 56 - 2, 1, 56, 55);
    bevel_->setGeometry(0, pagesHeight, width, 2);
    const int y = pagesHeight + 11, h = 25, w = 80;
    btnAbout_->setGeometry(8, y, w, h);
    btnLang_->setGeometry(8 + w + 6, y, w, h);
    btnClose_->setGeometry(width - 8 - w, y, w, h);
    btnNext_->setGeometry(width - 8 - w - 10 - w, y, w, h);
    btnBack_->setGeometry(width - 8 - w - 10 - 2 * w, y, w, h);
    setFixedSize(width, pagesHeight + kClientHeight - kPagesHeight);
}

void TFrmMain::FitToContents() {
    if (!btnBack_) return;  // still being built
    // The help-file language shows in full; the list below it was always wide enough.
    {
        // QComboBox keeps its first minimum size hint; the room for the text is given as a minimum width.
        QStyleOptionComboBox opt;
        opt.initFrom(cbbCHMLanguage_);
        opt.editable = true;
        opt.frame = true;
        const QFontMetrics fm(cbbCHMLanguage_->font());
        const QSize text(fm.horizontalAdvance(cbbCHMLanguage_->currentText()) + 8, fm.height());
        cbbCHMLanguage_->setMinimumWidth(
            style()->sizeFromContents(QStyle::CT_ComboBox, &opt, text, cbbCHMLanguage_).width());
    }
    // The client area was drawn for Tahoma; other fonts and longer translations need more, never less.
    QSize need(kClientWidth, kPagesHeight);
    for (TWizardPage* page : pageList_) {
        // A font just set has only posted its layout request; the sizes are wanted now.
        for (QWidget* w : page->findChildren<QWidget*>()) w->updateGeometry();
        for (QLayout* l : page->findChildren<QLayout*>()) l->invalidate();
        need = need.expandedTo(page->minimumSizeHint());
    }
    PlaceFrame(need.width(), need.height());
}

void TFrmMain::BuildWelcomePage(TWizardPage* page) {
    QWidget* c = page->Content();
    auto* layout = static_cast<QVBoxLayout*>(c->layout());
    layout->setContentsMargins(0, 0, 12, 8);
    auto* row = new QHBoxLayout;
    row->setSpacing(14);
    layout->addLayout(row, 1);

    imgWizard_ = new QLabel(c);
    imgWizard_->setPixmap(WelcomePicture(128, kPagesHeight - 59 - 8));
    imgWizard_->setAlignment(Qt::AlignTop);
    row->addWidget(imgWizard_);
    tree_.Add(TComponentKind::GraphicControl, "imgWizard", imgWizard_);

    auto* right = new QVBoxLayout;
    right->setContentsMargins(0, 8, 0, 0);
    right->setSpacing(6);
    row->addLayout(right, 1);
    lblWelMessage_ = PlainLabel(
        "CHM is the best ebook format for windows platform: Needn't the 3rd party reader; Fast full text search; "
        "Compressed...\n\n"
        "Quillbook is a powerful tool to convert Kelvane data to CHM file, It keep all text format, attachments "
        "and folder tree when export, It's easy to use.\n\n"
        "Thank you for use and support Quillbook.",
        c);
    lblWelMessage_->setWordWrap(true);
    lblWelMessage_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    right->addWidget(lblWelMessage_, 1);
    tree_.Add(TComponentKind::Label, "lblWelMessage", lblWelMessage_);

    lblLanguage_ = PlainLabel("* &Select UI Language:", c);
    lblLanguage_->setTextFormat(Qt::AutoText);
    cbbLanguage_ = EditableCombo(c, {"Default(En) *"}, "");
    cbbLanguage_->setProperty("qbKeepText", true);
    lblLanguage_->setBuddy(cbbLanguage_);
    auto* langRow = new QHBoxLayout;
    langRow->addWidget(lblLanguage_);
    langRow->addWidget(cbbLanguage_, 1);
    right->addLayout(langRow);
    tree_.Add(TComponentKind::Label, "lblLanguage", lblLanguage_);
    tree_.Add(TComponentKind::ComboBox, "cbbLanguage", cbbLanguage_);
    connect(cbbLanguage_, &QComboBox::editTextChanged, this, [this] { cbbLanguageChange(); });

    right->addSpacing(6);
    auto addLink = [&](TClickLabel*& label, const char* name, const char* imgName, const QString& text, bool mail) {
        auto* icon = new QLabel(c);
        icon->setPixmap(LinkIcon(mail));
        label = LinkLabel(text, c);
        auto* linkRow = new QHBoxLayout;
        linkRow->setSpacing(6);
        linkRow->addWidget(icon);
        linkRow->addWidget(label, 1);
        right->addLayout(linkRow);
        tree_.Add(TComponentKind::Label, name, label);
        tree_.Add(TComponentKind::GraphicControl, imgName, icon);
    };
    addLink(lblWebSite_, "lblWebSite", "imgWeb", kWebSite, false);
    addLink(lblMailUs_, "lblMailUs", "imgMail", QString("mailto: ") + kMailAddress, true);
    lblWebSite_->onClick = [this] { lblWebSiteClick(); };
    lblMailUs_->onClick = [this] { lblMailUsClick(); };
}

void TFrmMain::BuildTypesPage(TWizardPage* page) {
    QWidget* c = page->Content();
    auto* layout = static_cast<QVBoxLayout*>(c->layout());
    layout->setSpacing(10);
    rgDataSource_ = new TRadioGroup(c);
    rgDataSource_->setTitle("Export &Range:");
    rangeCaption_[0] = "Current branch: ";
    rangeCaption_[1] = "Current database:";
    rgDataSource_->SetItems({rangeCaption_[0], rangeCaption_[1]});
    layout->addWidget(rgDataSource_);
    tree_.Add(TComponentKind::RadioGroup, "rgDataSource", rgDataSource_);

    rgConverter_ = new TRadioGroup(c);
    rgConverter_->setTitle("RTF to HTML Converting method:");
    rgConverter_->SetItems({"Rtf2HTML: With text formatting data(No graphics/objects)",
                            "Word: By utilizing Microsoft Word installed on the system",
                            "Text: Without any formatting data, graphics and objects preserved"});
    layout->addWidget(rgConverter_);
    layout->addStretch(1);
    tree_.Add(TComponentKind::RadioGroup, "rgConverter", rgConverter_);
    rgDataSource_->onChange = [this] { rgDataSourceClick(); };
}

void TFrmMain::BuildOptionsPage(TWizardPage* page) {
    QWidget* c = page->Content();
    auto* layout = static_cast<QVBoxLayout*>(c->layout());
    // Short options in two columns; the two option pairs, whose texts run
    // long in translations, over the full width.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(3);
    layout->addLayout(grid);
    auto check = [&](const char* name, const char* text, int row, int col, bool indent) {
        QCheckBox* box = Check(c, name, text);
        if (indent) {
            auto* shifted = new QHBoxLayout;
            shifted->addSpacing(20);
            shifted->addWidget(box, 1);
            grid->addLayout(shifted, row, col, 1, 2);
        } else {
            grid->addWidget(box, row, col, 1, col == 0 && row >= 3 ? 2 : 1);
        }
        return box;
    };
    check("chkAttachments", "&Export attachment files", 0, 0, false);
    check("chkOverWrite", "&Overwrite existing files", 1, 0, false);
    check("chkClearTempFile", "Remove temporary files when done", 2, 0, false);
    chkKeepDir_ = check("chkKeepDir", "&Keep folder tree when export", 3, 0, false);
    chkNiceDirName_ = check("chkNiceDirName", "use readable folder caption", 4, 0, true);
    check("chkIgnoreTopNode", "&Top node not as a folder", 2, 1, false);
    check("chkIgnoreEmptyNode", "Ignore empty info items", 0, 1, false);
    check("chkSubItems", "Include sub items", 1, 1, false);
    chkNavLink_ = check("chkNavLink", "Make navigation with clickable links", 5, 0, false);
    chkMakePopupMenu_ = check("chkMakePopupMenu", "Make rollover menu for subitems", 6, 0, true);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    connect(chkKeepDir_, &QCheckBox::toggled, this, [this] { chkKeepDirClick(); });
    connect(chkNavLink_, &QCheckBox::toggled, this, [this] { chkNavLinkClick(); });

    layout->addSpacing(6);
    auto* encRow = new QHBoxLayout;
    auto* lblEncoding = PlainLabel("Default HTML encoding:", c);
    auto* cbbEncoding = EditableCombo(c, {"", "UTF-8", "GB2312", "BIG5"}, "");
    lblEncoding->setBuddy(cbbEncoding);
    encRow->addWidget(lblEncoding);
    encRow->addWidget(cbbEncoding);
    encRow->addStretch(1);
    layout->addLayout(encRow);
    tree_.Add(TComponentKind::Label, "lblEncoding", lblEncoding);
    tree_.Add(TComponentKind::ComboBox, "cbbEncoding", cbbEncoding);

    auto* lblFont = PlainLabel("Click the sample text below to change font settings for plain text", c);
    lblFont->setWordWrap(true);
    layout->addWidget(lblFont);
    tree_.Add(TComponentKind::Label, "lblFont", lblFont);

    auto* panel = new QFrame(c);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setAutoFillBackground(true);
    panel->setBackgroundRole(QPalette::Base);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(2, 2, 2, 2);
    lblFontPreview_ = new TClickLabel(panel);
    lblFontPreview_->setTextFormat(Qt::PlainText);
    lblFontPreview_->setText("I like Quillbook!");
    lblFontPreview_->setAlignment(Qt::AlignCenter);
    panelLayout->addWidget(lblFontPreview_);
    layout->addWidget(panel, 1);
    tree_.Add(TComponentKind::Label, "lblFontPreview", lblFontPreview_);
    lblFontPreview_->onClick = [this] { lblFontPreviewClick(); };
    ApplyFontPreview();
}

void TFrmMain::BuildFramePage(TWizardPage* page) {
    QWidget* c = page->Content();
    auto* layout = static_cast<QVBoxLayout*>(c->layout());
    layout->setSpacing(3);
    auto memo = [&](const char* labelName, const char* name, const char* text) {
        auto* label = PlainLabel(text, c);
        auto* box = new QPlainTextEdit(c);
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box->setTabChangesFocus(true);
        layout->addWidget(label);
        layout->addWidget(box, 1);
        tree_.Add(TComponentKind::Label, labelName, label);
        tree_.Add(TComponentKind::Edit, name, box);
    };
    memo("lblHeader", "mmoHeader", "Add your custom header for result HTML pages");
    layout->addSpacing(4);
    memo("lblFooter", "mmoFooter", "Add your custom footer for result HTML pages");
}

void TFrmMain::BuildCHMOptionsPage(TWizardPage* page) {
    QWidget* c = page->Content();
    auto* layout = static_cast<QVBoxLayout*>(c->layout());
    layout->setContentsMargins(10, 6, 10, 4);
    auto* columns = new QHBoxLayout;
    columns->setSpacing(8);
    layout->addLayout(columns, 1);

    // Left: language, window and the user-defined button.
    auto* left = new QVBoxLayout;
    left->setSpacing(3);
    columns->addLayout(left, 1);
    auto* form = new QGridLayout;
    form->setHorizontalSpacing(6);
    form->setVerticalSpacing(4);
    left->addLayout(form);
    auto* lblCHMLanguage = PlainLabel("C&HM Language:", c);
    lblCHMLanguage->setTextFormat(Qt::AutoText);
    cbbCHMLanguage_ = EditableCombo(c, {}, "");
    // The field is narrow; the list shows the names in full.
    cbbCHMLanguage_->view()->setMinimumWidth(320);
    // The settings and the locale list set its text after the window was fitted.
    connect(cbbCHMLanguage_, &QComboBox::editTextChanged, this, [this] { FitToContents(); });
    lblCHMLanguage->setBuddy(cbbCHMLanguage_);
    form->addWidget(lblCHMLanguage, 0, 0);
    form->addWidget(cbbCHMLanguage_, 0, 1);
    auto* lblCHMWinSize = new QLabel("Window &Size:", c);
    auto* cbbCHMWinSize = EditableCombo(c, {"[0,0,800,600]", "[0,0,1024,768]", "[0,0,1280,1024]"}, "");
    lblCHMWinSize->setBuddy(cbbCHMWinSize);
    form->addWidget(lblCHMWinSize, 1, 0);
    form->addWidget(cbbCHMWinSize, 1, 1);
    auto* lblCHMTitle = new QLabel("Window &Title:", c);
    edtCHMTitle_ = new QLineEdit(c);
    lblCHMTitle->setBuddy(edtCHMTitle_);
    form->addWidget(lblCHMTitle, 2, 0);
    form->addWidget(edtCHMTitle_, 2, 1);
    form->setColumnStretch(1, 1);
    left->addSpacing(2);
    left->addWidget(Check(c, "chkFullSearch", "&Full-text searchable"));
    left->addWidget(Check(c, "chkOnTop", "Always &keep on top"));
    left->addWidget(Check(c, "chkMakeIndex", "&Make item keyword index"));

    auto* grpUserButton = new QGroupBox("User Define Toolbar button", c);
    auto* userGrid = new QGridLayout(grpUserButton);
    userGrid->setContentsMargins(8, 4, 8, 6);
    userGrid->setVerticalSpacing(4);
    auto* lblUserDefBtnCaption = PlainLabel("Caption:", grpUserButton);
    auto* edtUserButtonCaption = new QLineEdit(grpUserButton);
    auto* lblUserDefBtnURL = PlainLabel("URL:", grpUserButton);
    edtUserButtonURL_ = new QLineEdit(grpUserButton);
    auto* btnBrowseJump1 = DotsButton(grpUserButton);
    userGrid->addWidget(lblUserDefBtnCaption, 0, 0);
    userGrid->addWidget(edtUserButtonCaption, 0, 1, 1, 2);
    userGrid->addWidget(lblUserDefBtnURL, 1, 0);
    userGrid->addWidget(edtUserButtonURL_, 1, 1);
    userGrid->addWidget(btnBrowseJump1, 1, 2);
    left->addStretch(1);
    left->addWidget(grpUserButton);

    // Right: navigator pane and toolbar, one check box a line.
    auto* right = new QVBoxLayout;
    right->setSpacing(3);
    columns->addLayout(right);
    auto* grpCHMTab = new QGroupBox("Na&vigator:", c);
    auto* tabGrid = new QGridLayout(grpCHMTab);
    tabGrid->setContentsMargins(6, 4, 6, 6);
    tabGrid->setVerticalSpacing(3);
    tabGrid->setHorizontalSpacing(4);
    auto* chkCHMTab = Check(grpCHMTab, "chkCHMTab", "&Enable, Width:");
    auto* edtCHMTabWidth = new QLineEdit(grpCHMTab);
    edtCHMTabWidth->setFixedWidth(44);
    auto* lblDefaultTab = new QLabel("&Default Tab:", grpCHMTab);
    auto* cbbDefaultTab = EditableCombo(grpCHMTab, {"Content", "Search", "Bookmark", "Index"}, "Content");
    cbbDefaultTab->setMinimumContentsLength(6);
    lblDefaultTab->setBuddy(cbbDefaultTab);
    chklstTabStyles_ =
        CheckList(grpCHMTab, {"Bookmarks", "Search", "Auto sync", "Closed when open ", "Auto show/hide"});
    chklstTabStyles_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chklstTabStyles_->setFixedHeight(5 * kCheckRow + 8);
    auto* widthRow = new QHBoxLayout;
    widthRow->setSpacing(4);
    widthRow->addWidget(chkCHMTab);
    widthRow->addWidget(edtCHMTabWidth);
    widthRow->addStretch(1);
    auto* tabRow = new QHBoxLayout;
    tabRow->setSpacing(4);
    tabRow->addWidget(lblDefaultTab);
    tabRow->addWidget(cbbDefaultTab, 1);
    tabGrid->addLayout(widthRow, 0, 0);
    tabGrid->addLayout(tabRow, 1, 0);
    tabGrid->addWidget(chklstTabStyles_, 2, 0);
    right->addWidget(grpCHMTab);

    auto* grpWinBtns = new QGroupBox("Toolba&r:", c);
    auto* btnLayout = new QVBoxLayout(grpWinBtns);
    btnLayout->setContentsMargins(6, 4, 6, 6);
    chklstWinBtns_ =
        CheckList(grpWinBtns, {"Menus", "Show/Hide", "Back", "Forward", "Stop", "Refresh", "Home", "Locator", "Options",
                               "Print", "Font", "Topic Next", "Topic Prev", "User Define", "About Quillbook"});
    // This list scrolls; it yields the height the navigator group needs.
    // Whole rows only: a half row reads as a clipped control.
    chklstWinBtns_->setFixedHeight(4 * kCheckRow + 2 * chklstWinBtns_->frameWidth());
    btnLayout->addWidget(chklstWinBtns_);
    right->addWidget(grpWinBtns, 1);
    grpCHMTab->setMinimumWidth(214);
    grpWinBtns->setMinimumWidth(214);

    tree_.Add(TComponentKind::Label, "lblCHMLanguage", lblCHMLanguage);
    tree_.Add(TComponentKind::ComboBox, "cbbCHMLanguage", cbbCHMLanguage_);
    tree_.Add(TComponentKind::Label, "lblCHMWinSize", lblCHMWinSize);
    tree_.Add(TComponentKind::ComboBox, "cbbCHMWinSize", cbbCHMWinSize);
    tree_.Add(TComponentKind::Label, "lblCHMTitle", lblCHMTitle);
    tree_.Add(TComponentKind::Edit, "edtCHMTitle", edtCHMTitle_);
    tree_.Add(TComponentKind::WinControl, "grpCHMTab", grpCHMTab);
    tree_.Add(TComponentKind::Edit, "edtCHMTabWidth", edtCHMTabWidth);
    tree_.Add(TComponentKind::Label, "lblDefaultTab", lblDefaultTab);
    tree_.Add(TComponentKind::ComboBox, "cbbDefaultTab", cbbDefaultTab);
    tree_.Add(TComponentKind::ListBox, "chklstTabStyles", chklstTabStyles_);
    tree_.Add(TComponentKind::WinControl, "grpWinBtns", grpWinBtns);
    tree_.Add(TComponentKind::ListBox, "chklstWinBtns", chklstWinBtns_);
    tree_.Add(TComponentKind::WinControl, "grpUserButton", grpUserButton);
    tree_.Add(TComponentKind::Label, "lblUserDefBtnCaption", lblUserDefBtnCaption);
    tree_.Add(TComponentKind::Edit, "edtUserButtonCaption", edtUserButtonCaption);
    tree_.Add(TComponentKind::Label, "lblUserDefBtnURL", lblUserDefBtnURL);
    tree_.Add(TComponentKind::Edit, "edtUserButtonURL", edtUserButtonURL_);
    tree_.Add(TComponentKind::WinControl, "btnBrowseJump1", btnBrowseJump1);
    connect(btnBrowseJump1, &QPushButton::clicked, this, [this] { btnBrowseJump1Click(); });
}

void TFrmMain::BuildMiscPage(TWizardPage* page) {
    QWidget* c = page->Content();
    auto* layout = static_cast<QVBoxLayout*>(c->layout());
    layout->setSpacing(2);
    auto fileRow = [&](const char* labelName, const char* text, QLineEdit*& edit, const char* editName,
                       const char* buttonName) {
        auto* label = PlainLabel(text, c);
        edit = new QLineEdit(c);
        auto* button = DotsButton(c);
        auto* row = new QHBoxLayout;
        row->setSpacing(4);
        row->addWidget(edit, 1);
        row->addWidget(button);
        layout->addWidget(label);
        layout->addLayout(row);
        layout->addSpacing(4);
        tree_.Add(TComponentKind::Label, labelName, label);
        tree_.Add(TComponentKind::Edit, editName, edit);
        tree_.Add(TComponentKind::WinControl, buttonName, button);
        return button;
    };
    QPushButton* b = fileRow("lblDefaultPage",
                             "Specify a home page for CHM .file(Leave blank to use default page):", edtDefaultPage_,
                             "edtDefaultPage", "btnBrowseDefaultPage");
    connect(b, &QPushButton::clicked, this, [this] { btnBrowseDefaultPageClick(); });
    b = fileRow("lblRootPath", "Specify an EMPTY folder for saving temporary files.", edtRootPath_, "edtRootPath",
                "btnBrowserPath");
    connect(b, &QPushButton::clicked, this, [this] { btnBrowserPathClick(); });

    auto* lblAttachFiles = PlainLabel("Select the attach files you want to include into the result .chm.", c);
    lstAttachFiles_ = new QListWidget(c);
    lstAttachFiles_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* btnAdd = new QPushButton("+", c);
    auto* btnRemove = new QPushButton("--", c);
    for (QPushButton* x : {btnAdd, btnRemove}) {
        x->setFixedWidth(28);
        x->setAutoDefault(false);
    }
    auto* listRow = new QHBoxLayout;
    listRow->setSpacing(4);
    listRow->addWidget(lstAttachFiles_, 1);
    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(btnAdd);
    listButtons->addWidget(btnRemove);
    listButtons->addStretch(1);
    listRow->addLayout(listButtons);
    layout->addWidget(lblAttachFiles);
    layout->addLayout(listRow, 1);
    layout->addSpacing(4);
    tree_.Add(TComponentKind::Label, "lblAttachFiles", lblAttachFiles);
    tree_.Add(TComponentKind::ListBox, "lstAttachFiles", lstAttachFiles_);
    tree_.Add(TComponentKind::WinControl, "btnAddAttachs", btnAdd);
    tree_.Add(TComponentKind::WinControl, "btnRemoveAttachs", btnRemove);
    connect(btnAdd, &QPushButton::clicked, this, [this] { btnAddAttachsClick(); });
    connect(btnRemove, &QPushButton::clicked, this, [this] { btnRemoveAttachsClick(); });

    b = fileRow("lblCHMFilename", "Determine the result .CHM output file path and name.", edtCHMFileName_,
                "edtCHMFileName", "btnChmFileName");
    connect(b, &QPushButton::clicked, this, [this] { btnChmFileNameClick(); });
    chkOpenCHMFile_ = Check(c, "chkOpenCHMFile", "Open compiled CHM file when done.");
    layout->addWidget(chkOpenCHMFile_);

    chkSite_ = new QCheckBox("Also write a website to this folder:", c);
    edtSiteFolder_ = new QLineEdit(c);
    auto* btnSite = DotsButton(c);
    auto* siteRow = new QHBoxLayout;
    siteRow->setSpacing(4);
    siteRow->addWidget(edtSiteFolder_, 1);
    siteRow->addWidget(btnSite);
    layout->addSpacing(4);
    layout->addWidget(chkSite_);
    layout->addLayout(siteRow);
    tree_.Add(TComponentKind::WinControl, "chkSite", chkSite_);
    tree_.Add(TComponentKind::Edit, "edtSiteFolder", edtSiteFolder_);
    tree_.Add(TComponentKind::WinControl, "btnSiteFolder", btnSite);
    edtSiteFolder_->setEnabled(false);
    btnSite->setEnabled(false);
    connect(chkSite_, &QCheckBox::toggled, this, [this, btnSite](bool on) {
        edtSiteFolder_->setEnabled(on);
        btnSite->setEnabled(on);
    });
    connect(btnSite, &QPushButton::clicked, this, [this] { btnSiteFolderClick(); });
}

void TFrmMain::BuildFinishedPage(TWizardPage* page) {
    QWidget* c = page->Content();
    auto* layout = static_cast<QVBoxLayout*>(c->layout());
    auto* top = new QHBoxLayout;
    auto* lblStart = PlainLabel("Press <Run> button to start converting...\nor <Stop> to abort the process.", c);
    btnRun_ = new QPushButton("&Run", c);
    btnRun_->setFont(PixelFont("Times New Roman", 16, true));
    btnRun_->setFixedSize(100, 34);
    btnRun_->setAutoDefault(false);
    top->addWidget(lblStart, 1);
    top->addWidget(btnRun_);
    layout->addLayout(top);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(6);
    pbPecent_ = new QProgressBar(c);
    pbPecent_->setOrientation(Qt::Vertical);
    pbPecent_->setTextVisible(false);
    pbPecent_->setRange(0, 100);
    pbPecent_->setValue(0);
    pbPecent_->setFixedWidth(16);
    pbPecent_->hide();
    mmoLogMsg_ = new QPlainTextEdit(c);
    mmoLogMsg_->setReadOnly(true);
    mmoLogMsg_->setFont(PixelFont("Courier New", 12));
    mmoLogMsg_->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmoLogMsg_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmoLogMsg_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    bottom->addWidget(pbPecent_);
    bottom->addWidget(mmoLogMsg_, 1);
    layout->addLayout(bottom, 1);
    tree_.Add(TComponentKind::Label, "lblStart", lblStart);
    tree_.Add(TComponentKind::WinControl, "btnRun", btnRun_);
    tree_.Add(TComponentKind::WinControl, "pbPecent", pbPecent_);
    tree_.Add(TComponentKind::Edit, "mmoLogMsg", mmoLogMsg_);
    connect(btnRun_, &QPushButton::clicked, this, [this] {
        if (runState_)
            StopClick();
        else
            btnRunClick();
    });
}

void TFrmMain::FormCreate() {
    ApplyLanguage(CurrentLanguage(), *this);
    pageIndex_ = 0;
    imgLogo_->setPixmap(LogoPixmap());
    for (QWidget* w : {static_cast<QWidget*>(lblWebSite_), static_cast<QWidget*>(lblMailUs_),
                       static_cast<QWidget*>(lblFontPreview_)})
        w->setCursor(Qt::PointingHandCursor);
    hostValues_.Clear();
    ShowPage();
    {
        // Names the language file already put into the list are not repeated.
        QSignalBlocker block(cbbLanguage_);
        const QString text = cbbLanguage_->currentText();
        for (const std::string& name : LanguageNames()) {
            bool present = false;
            for (int i = 0; i < cbbLanguage_->count(); ++i)
                present = present || EqualsNoCase(FromQ(cbbLanguage_->itemText(i)), name);
            if (!present) cbbLanguage_->addItem(ToQ(name));
        }
        cbbLanguage_->setCurrentIndex(-1);
        cbbLanguage_->setEditText(text);
    }
    {
        QSignalBlocker block(cbbCHMLanguage_);
        const QString text = cbbCHMLanguage_->currentText();
        for (const std::string& item : AvailableChmLanguages()) cbbCHMLanguage_->addItem(ToQ(item));
        cbbCHMLanguage_->setCurrentIndex(-1);
        cbbCHMLanguage_->setEditText(text);
    }
    ShowPage();
}

QWidget* TFrmMain::Control(const std::string& name) const {
    TUiNode* node = tree_.Find(name);
    return node ? node->Widget() : nullptr;
}

std::string TFrmMain::Caption() const { return FromQ(windowTitle()); }
void TFrmMain::SetCaption(const std::string& caption) { setWindowTitle(ToQ(caption)); }

TUiFont TFrmMain::Font() const {
    TUiFont f;
    f.name = FromQ(QDialog::font().family());
    f.size = PixelsToPoints(QDialog::font().pixelSize());
    return f;
}

void TFrmMain::SetFont(const TUiFont& font) {
    QFont f = QDialog::font();
    if (!font.name.empty()) f.setFamily(ToQ(font.name));
    if (font.size > 0) f.setPixelSize(PointsToPixels(font.size));
    QDialog::setFont(f);
}

}  // namespace qb
