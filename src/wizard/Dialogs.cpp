#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include "settings/Colors.h"
#include "wizard/MainForm.h"

namespace qb {

namespace {

// The colours a Windows font dialog offers, after the window-text colour.
const char* const kFontColors[] = {"clWindowText", "clBlack", "clMaroon",  "clGreen",  "clOlive", "clNavy",
                                   "clPurple",     "clTeal",  "clGray",    "clSilver", "clRed",   "clLime",
                                   "clYellow",     "clBlue",  "clFuchsia", "clAqua",   "clWhite"};

QColor ToQColor(std::uint32_t color) {
    const std::uint32_t rgb = SystemColorToRgb(color);
    return QColor(static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>((rgb >> 16) & 0xFF));
}

QPixmap Swatch(std::uint32_t color) {
    QPixmap p(14, 10);
    p.fill(ToQColor(color));
    return p;
}

bool RunFontDialog(QWidget* owner, TFontValue& font, int& style) {
    QDialog dlg(owner);
    dlg.setObjectName("dlgFont");
    dlg.setWindowTitle("Font");
    auto* form = new QFormLayout;
    auto* face = new QFontComboBox(&dlg);
    face->setCurrentFont(QFont(ToQ(font.name)));
    form->addRow("&Font:", face);
    auto* size = new QSpinBox(&dlg);
    size->setRange(6, 72);
    size->setValue(font.size > 0 ? font.size : 12);
    form->addRow("&Size:", size);
    auto* styles = new QHBoxLayout;
    auto* bold = new QCheckBox("&Bold", &dlg);
    auto* italic = new QCheckBox("&Italic", &dlg);
    auto* underline = new QCheckBox("&Underline", &dlg);
    auto* strike = new QCheckBox("Stri&keout", &dlg);
    bold->setChecked(style & fsBold);
    italic->setChecked(style & fsItalic);
    underline->setChecked(style & fsUnderline);
    strike->setChecked(style & fsStrikeOut);
    for (QCheckBox* c : {bold, italic, underline, strike}) styles->addWidget(c);
    form->addRow("Style:", styles);
    auto* color = new QComboBox(&dlg);
    int current = -1;
    for (const char* name : kFontColors) {
        const std::uint32_t value = *IdentToColor(name);
        QString label = QString::fromLatin1(name + 2);
        if (value == kColorWindowText) label = "Window text";
        color->addItem(QIcon(Swatch(value)), label, QVariant::fromValue<uint>(value));
        if (value == font.color) current = color->count() - 1;
    }
    if (current < 0) {
        // A colour from the settings that the list lacks stays choosable.
        color->addItem(QIcon(Swatch(font.color)), ToQ(ColorToString(font.color)),
                       QVariant::fromValue<uint>(font.color));
        current = color->count() - 1;
    }
    color->setCurrentIndex(current);
    form->addRow("&Colour:", color);
    auto* sample = new QLabel("AaBbYyZz", &dlg);
    sample->setAlignment(Qt::AlignCenter);
    sample->setMinimumHeight(48);
    sample->setFrameShape(QFrame::StyledPanel);
    auto update = [&] {
        QFont f = face->currentFont();
        f.setPixelSize(PointsToPixels(size->value()));
        f.setBold(bold->isChecked());
        f.setItalic(italic->isChecked());
        f.setUnderline(underline->isChecked());
        f.setStrikeOut(strike->isChecked());
        sample->setFont(f);
        QPalette pal = sample->palette();
        pal.setColor(QPalette::WindowText, ToQColor(color->currentData().toUInt()));
        sample->setPalette(pal);
    };
    QObject::connect(face, &QFontComboBox::currentFontChanged, &dlg, update);
    QObject::connect(size, &QSpinBox::valueChanged, &dlg, update);
    for (QCheckBox* c : {bold, italic, underline, strike}) QObject::connect(c, &QCheckBox::toggled, &dlg, update);
    QObject::connect(color, &QComboBox::currentIndexChanged, &dlg, update);
    update();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dlg);
    layout->addLayout(form);
    layout->addWidget(sample);
    layout->addWidget(buttons);
    if (dlg.exec() != QDialog::Accepted) return false;
    font.name = FromQ(face->currentFont().family());
    font.size = size->value();
    font.color = color->currentData().toUInt();
    style = (bold->isChecked() ? fsBold : 0) | (italic->isChecked() ? fsItalic : 0) |
            (underline->isChecked() ? fsUnderline : 0) | (strike->isChecked() ? fsStrikeOut : 0);
    return true;
}

bool RunFileDialog(QWidget* owner, bool save, const QString& filter, const QString& suffix, QString& name) {
    QFileDialog dlg(owner);
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dlg.setNameFilter(filter);
    dlg.setDefaultSuffix(suffix);
    if (!name.isEmpty()) dlg.selectFile(name);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
    name = dlg.selectedFiles().first();
    return true;
}

}  // namespace

TWizardDialogs QtWizardDialogs() {
    TWizardDialogs d;
    d.font = RunFontDialog;
    d.saveFile = [](QWidget* owner, const QString& filter, const QString& suffix, QString& name) {
        return RunFileDialog(owner, true, filter, suffix, name);
    };
    d.openFile = [](QWidget* owner, const QString& filter, const QString& suffix, QString& name) {
        return RunFileDialog(owner, false, filter, suffix, name);
    };
    d.openFiles = [](QWidget* owner) {
        QFileDialog dlg(owner);
        dlg.setFileMode(QFileDialog::ExistingFiles);
        dlg.setOption(QFileDialog::ReadOnly, false);
        dlg.setSizeGripEnabled(true);
        return dlg.exec() == QDialog::Accepted ? dlg.selectedFiles() : QStringList();
    };
    d.inputText = [](QWidget* owner, const QString& caption, const QString& prompt, QString& text) {
        bool ok = false;
        const QString value = QInputDialog::getText(owner, caption, prompt, QLineEdit::Normal, text, &ok);
        if (ok) text = value;
        return ok;
    };
    return d;
}

}  // namespace qb
