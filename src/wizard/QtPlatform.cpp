#include "wizard/QtPlatform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFont>
#include <QMessageBox>
#include <QUrl>

#include "wizard/UiNodes.h"

namespace qb {

namespace {

QWidget* ActiveOwner() { return QApplication::activeWindow(); }

}  // namespace

PlatformServices QtPlatformServices() {
    PlatformServices s;
    s.showInfo = [](const std::string& text) {
        OnUiThread([&] { QMessageBox::information(ActiveOwner(), "Quillbook", ToQ(text)); });
    };
    s.askConfirm = [](const std::string& text) {
        return OnUiThread([&] {
            return QMessageBox::warning(ActiveOwner(), "Quillbook", ToQ(text), QMessageBox::Ok | QMessageBox::Cancel,
                                        QMessageBox::Cancel) == QMessageBox::Ok;
        });
    };
    s.showError = [](const std::string& text) {
        OnUiThread([&] { QMessageBox::critical(ActiveOwner(), "Error", ToQ(text)); });
    };
    s.shellOpen = [](const std::string& target) {
        OnUiThread([&] {
            const QString t = ToQ(target);
            // Web and mail addresses as they are; anything else is a local file.
            const QUrl url =
                t.contains("://") || t.startsWith("mailto:", Qt::CaseInsensitive) ? QUrl(t) : QUrl::fromLocalFile(t);
            QDesktopServices::openUrl(url);
        });
    };
    s.browseForFolder = [](void* owner, std::string& path, const std::string& title, int, const std::string&) {
        return OnUiThread([&] {
            const QString chosen =
                QFileDialog::getExistingDirectory(static_cast<QWidget*>(owner), ToQ(title), ToQ(path));
            if (chosen.isEmpty()) return false;
            path = FromQ(chosen);
            return true;
        });
    };
    return s;
}

void InstallFontSubstitutes() {
    // Tahoma has no free twin; the Arial-metric sans keeps texts within the
    // widths the pages were laid out for.
    QFont::insertSubstitutions("Tahoma", {"Liberation Sans", "DejaVu Sans"});
    QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "DejaVu Sans"});
    QFont::insertSubstitutions("Arial", {"Liberation Sans", "DejaVu Sans"});
    QFont::insertSubstitutions("Courier New", {"Liberation Mono", "DejaVu Sans Mono"});
    QFont::insertSubstitutions("Times New Roman", {"Liberation Serif", "DejaVu Serif"});
}

}  // namespace qb
