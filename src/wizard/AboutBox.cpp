#include "wizard/AboutBox.h"

#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "Utils/Utils.h"
#include "Utils/Version.h"

namespace qb {

QPixmap LogoPixmap() {
    const std::string bytes = LoadTextResource("logo", "BITMAP");
    QPixmap pixmap;
    pixmap.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<uint>(bytes.size()));
    return pixmap;
}

TFrmAbout::TFrmAbout(QWidget* owner) : QDialog(owner) {
    setObjectName("FrmAbout");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle("About Quillbook");
    QFont base("Tahoma");
    base.setPixelSize(12);
    QDialog::setFont(base);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setHorizontalSpacing(16);

    auto* logo = new QLabel(this);
    logo->setPixmap(LogoPixmap());
    logo->setAlignment(Qt::AlignTop);
    layout->addWidget(logo, 0, 0, 4, 1);

    auto* product = new QLabel("Quillbook", this);
    QFont big = base;
    big.setPixelSize(18);
    big.setBold(true);
    product->setFont(big);
    layout->addWidget(product, 0, 1);
    auto* version = new QLabel("Version " QB_VERSION, this);
    layout->addWidget(version, 1, 1);
    auto* credits = new QLabel(
        "Exports an outliner database or one branch of it to HTML pages\n"
        "and compiles them into one help file.\n\n"
        "Thanks to everyone who reported problems and sent translations.",
        this);
    layout->addWidget(credits, 2, 1);
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 3, 1, Qt::AlignRight);

    tree_.Add(TComponentKind::GraphicControl, "imgLogo", logo);
    tree_.Add(TComponentKind::Label, "lblProduct", product);
    tree_.Add(TComponentKind::Label, "lblVersion", version);
    tree_.Add(TComponentKind::Label, "lblCredits", credits);
    tree_.Add(TComponentKind::WinControl, "btnOK", ok);
    setFixedSize(sizeHint());
}

std::string TFrmAbout::Caption() const { return FromQ(windowTitle()); }
void TFrmAbout::SetCaption(const std::string& caption) { setWindowTitle(ToQ(caption)); }

TUiFont TFrmAbout::Font() const {
    TUiFont f;
    f.name = FromQ(QDialog::font().family());
    f.size = PixelsToPoints(QDialog::font().pixelSize());
    return f;
}

void TFrmAbout::SetFont(const TUiFont& font) {
    QFont f = QDialog::font();
    if (!font.name.empty()) f.setFamily(ToQ(font.name));
    if (font.size > 0) f.setPixelSize(PointsToPixels(font.size));
    QDialog::setFont(f);
}

}  // namespace qb
