#pragma once
#include <QDialog>

#include "settings/UiComponent.h"
#include "wizard/UiNodes.h"

namespace qb {

// Product name, version and credits; a window the language files can translate.
class TFrmAbout : public QDialog, public IUiComponent {
public:
    explicit TFrmAbout(QWidget* owner);
    TComponentKind Kind() const override { return TComponentKind::Window; }
    std::string Name() const override { return "FrmAbout"; }
    std::string ClassName() const override { return "TFrmAbout"; }
    std::string Caption() const override;
    void SetCaption(const std::string& caption) override;
    TUiFont Font() const override;
    void SetFont(const TUiFont& font) override;
    std::vector<IUiComponent*> Owned() const override { return tree_.Components(); }

private:
    TUiTree tree_;
};

// The logo resource as a pixmap (null when the module carries none).
QPixmap LogoPixmap();

}  // namespace qb
