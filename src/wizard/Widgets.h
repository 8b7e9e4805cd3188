#pragma once
#include <functional>
#include <string>
#include <vector>

#include <QGroupBox>
#include <QLabel>
#include <QWidget>

class QButtonGroup;
class QVBoxLayout;

// Small widgets the wizard is made of, without a meta-object of their own:
// events go to std::function members.
namespace qb {

// A group box of radio buttons addressed by item number.
class TRadioGroup : public QGroupBox {
public:
    explicit TRadioGroup(QWidget* parent = nullptr);
    std::vector<QString> Items() const;
    // Replaces the buttons; the selection and the disabled items are kept
    // where the new list still has them.
    void SetItems(const std::vector<QString>& items);
    void SetItemText(int index, const QString& text);
    int ItemIndex() const;
    // Selects an item (-1: none); runs onChange when the selection changes.
    void SetItemIndex(int index);
    void SetItemEnabled(int index, bool enabled);
    bool ItemEnabled(int index) const;
    QWidget* Button(int index) const;

    std::function<void()> onChange;

private:
    QButtonGroup* group_;
    QVBoxLayout* layout_;
    std::vector<bool> disabled_;
};

// One wizard page: a white title band with the page's title above its content.
class TWizardPage : public QWidget {
public:
    explicit TWizardPage(QWidget* parent = nullptr);
    QString Title() const;
    void SetTitle(const QString& title);
    // Where the page's controls go.
    QWidget* Content() const { return content_; }
    QLabel* TitleLabel() const { return title_; }

private:
    QLabel* title_;
    QWidget* content_;
};

// A label that reacts to a click (links and the font sample).
class TClickLabel : public QLabel {
public:
    explicit TClickLabel(QWidget* parent = nullptr) : QLabel(parent) {}
    std::function<void()> onClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace qb
