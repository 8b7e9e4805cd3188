#include "wizard/UiNodes.h"

#include <cmath>

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>

#include "Utils/StringList.h"
#include "wizard/Widgets.h"

namespace qb {

QString ToQ(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string FromQ(const QString& text) {
    QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

int PixelsToPoints(int pixels) { return static_cast<int>(std::lround(pixels * 72.0 / 96.0)); }
int PointsToPixels(int points) { return static_cast<int>(std::lround(points * 96.0 / 72.0)); }

namespace {

// Item texts of a list widget or combo box as they are shown.
std::vector<std::string> ListItems(const QWidget* w) {
    std::vector<std::string> items;
    if (auto* combo = qobject_cast<const QComboBox*>(w)) {
        for (int i = 0; i < combo->count(); ++i) items.push_back(FromQ(combo->itemText(i)));
    } else if (auto* list = qobject_cast<const QListWidget*>(w)) {
        for (int i = 0; i < list->count(); ++i) items.push_back(FromQ(list->item(i)->text()));
    }
    return items;
}

}  // namespace

TUiNode::TUiNode(TComponentKind kind, std::string name, QWidget* widget)
    : kind_(kind), name_(std::move(name)), widget_(widget) {}

std::string TUiNode::Caption() const {
    QWidget* w = widget_;
    if (!w) return "";
    if (auto* page = dynamic_cast<TWizardPage*>(w)) return FromQ(page->Title());
    if (auto* label = qobject_cast<QLabel*>(w)) return FromQ(label->text().replace('\n', "\r\n"));
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return FromQ(button->text());
    if (auto* group = qobject_cast<QGroupBox*>(w)) return FromQ(group->title());
    if (w->isWindow()) return FromQ(w->windowTitle());
    return "";
}

void TUiNode::SetCaption(const std::string& caption) {
    QWidget* w = widget_;
    if (!w) return;
    const QString text = ToQ(caption);
    if (auto* page = dynamic_cast<TWizardPage*>(w))
        page->SetTitle(text);
    else if (auto* label = qobject_cast<QLabel*>(w))
        label->setText(QString(text).replace("\r\n", "\n").replace('\r', '\n'));
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(w))
        group->setTitle(text);
    else if (w->isWindow())
        w->setWindowTitle(text);
}

std::string TUiNode::Hint() const { return widget_ ? FromQ(widget_->toolTip()) : hint_; }

void TUiNode::SetHint(const std::string& hint) {
    if (widget_)
        widget_->setToolTip(ToQ(hint));
    else
        hint_ = hint;
}

std::vector<std::string> TUiNode::Items() const {
    QWidget* w = widget_;
    if (!w) return {};
    if (auto* radio = dynamic_cast<TRadioGroup*>(w)) {
        std::vector<std::string> items;
        for (const QString& s : radio->Items()) items.push_back(FromQ(s));
        return items;
    }
    return ListItems(w);
}

void TUiNode::SetItems(const std::vector<std::string>& items) {
    QWidget* w = widget_;
    if (!w) return;
    if (auto* radio = dynamic_cast<TRadioGroup*>(w)) {
        std::vector<QString> texts;
        for (const auto& s : items) texts.push_back(ToQ(s));
        radio->SetItems(texts);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        // A new item list is no edit by the user: the text stays, no change event.
        QSignalBlocker block(combo);
        const QString text = combo->currentText();
        // Typed text may differ from the item the box last chose.
        const int index =
            combo->currentIndex() >= 0 && combo->itemText(combo->currentIndex()) == text ? combo->currentIndex() : -1;
        QStringList oldItems;
        for (int i = 0; i < combo->count(); ++i) oldItems << combo->itemText(i);
        combo->clear();
        for (const auto& s : items) combo->addItem(ToQ(s));
        // A chosen item stays chosen by number (its text may now be translated),
        // except where the text itself is the value (the language box).
        combo->setCurrentIndex(-1);
        if (index >= 0 && index < combo->count() && !combo->property("qbKeepText").toBool())
            combo->setCurrentIndex(index);
        else if (combo->isEditable()) {
            // A shown text that is one of the old items (the default tab's "Content") follows its translation.
            const int shown = combo->property("qbKeepText").toBool() ? -1 : oldItems.indexOf(text);
            combo->setEditText(shown >= 0 && shown < combo->count() ? combo->itemText(shown) : text);
        }
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        const bool checkable = list->property("qbCheckList").toBool();
        const int rowHeight = list->property("qbRowHeight").toInt();
        list->clear();
        for (const auto& s : items) {
            auto* item = new QListWidgetItem(ToQ(s), list);
            if (checkable) {
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(Qt::Unchecked);
            }
            if (rowHeight > 0) item->setSizeHint(QSize(0, rowHeight));
        }
    }
}

TUiFont TUiNode::Font() const {
    TUiFont font;
    font.charset = charset_;
    if (!widget_) return font;
    const QFont f = widget_->font();
    font.name = FromQ(f.family());
    font.size = f.pixelSize() > 0 ? PixelsToPoints(f.pixelSize()) : static_cast<int>(std::lround(f.pointSizeF()));
    return font;
}

void TUiNode::SetFont(const TUiFont& font) {
    charset_ = font.charset;
    if (!widget_) return;
    QFont f = widget_->font();
    bool changed = false;
    if (!font.name.empty() && f.family() != ToQ(font.name)) {
        f.setFamily(ToQ(font.name));
        changed = true;
    }
    const int size = f.pixelSize() > 0 ? PixelsToPoints(f.pixelSize()) : static_cast<int>(std::lround(f.pointSizeF()));
    if (font.size > 0 && font.size != size) {
        f.setPixelSize(PointsToPixels(font.size));
        changed = true;
    }
    if (changed) widget_->setFont(f);
}

TUiNode& TUiTree::Add(TComponentKind kind, const std::string& name, QWidget* widget) {
    if (widget) widget->setObjectName(ToQ(name));
    nodes_.push_back(std::make_unique<TUiNode>(kind, name, widget));
    return *nodes_.back();
}

std::vector<IUiComponent*> TUiTree::Components() const {
    std::vector<IUiComponent*> out;
    for (const auto& n : nodes_) out.push_back(n.get());
    return out;
}

TUiNode* TUiTree::Find(const std::string& name) const {
    for (const auto& n : nodes_)
        if (EqualsNoCase(n->Name(), name)) return n.get();
    return nullptr;
}

}  // namespace qb
