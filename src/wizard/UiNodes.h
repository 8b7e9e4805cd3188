#pragma once
#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "settings/UiComponent.h"

// The language binding's view of the wizard's Qt widgets: one node per named
// control, answering by the control's kind.
namespace qb {

QString ToQ(const std::string& text);
std::string FromQ(const QString& text);

// Points from a font's pixel size at the 96 dpi the window is designed for.
int PixelsToPoints(int pixels);
int PointsToPixels(int points);

class TUiNode : public IUiComponent {
public:
    // widget may be null for components that are no controls (dialogs).
    TUiNode(TComponentKind kind, std::string name, QWidget* widget);
    TComponentKind Kind() const override { return kind_; }
    std::string Name() const override { return name_; }
    std::string Caption() const override;
    void SetCaption(const std::string& caption) override;
    std::string Hint() const override;
    void SetHint(const std::string& hint) override;
    std::vector<std::string> Items() const override;
    void SetItems(const std::vector<std::string>& items) override;
    TUiFont Font() const override;
    void SetFont(const TUiFont& font) override;
    QWidget* Widget() const { return widget_; }

private:
    TComponentKind kind_;
    std::string name_;
    QPointer<QWidget> widget_;
    std::string hint_;  // components without a widget keep theirs here
    std::int32_t charset_ = 0;
};

// The owned components of a window, in creation order.
class TUiTree {
public:
    TUiNode& Add(TComponentKind kind, const std::string& name, QWidget* widget);
    std::vector<IUiComponent*> Components() const;
    TUiNode* Find(const std::string& name) const;

private:
    std::vector<std::unique_ptr<TUiNode>> nodes_;
};

}  // namespace qb
