#include "wizard/WidgetBinding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

#include "support/Error.h"
#include "wizard/UiNodes.h"
#include "wizard/Widgets.h"

namespace qb {

namespace {

// CR LF in stored texts, LF in Qt's text widgets.
QString ToWidgetText(const std::string& text) { return ToQ(text).replace("\r\n", "\n").replace('\r', '\n'); }
std::string FromWidgetText(const QString& text) { return FromQ(QString(text).replace('\n', "\r\n")); }

TControlKind KindOf(const std::string& control) {
    const TControlDecl* decl = FindControl(control);
    if (!decl) throw Error("No control \"" + control + "\" in the option schema");
    return decl->kind;
}

}  // namespace

void TWidgetBinding::Custom(const std::string& control, std::function<TControlValue()> get,
                            std::function<void(const TControlValue&)> set) {
    custom_[control] = {std::move(get), std::move(set)};
}

QWidget* TWidgetBinding::Widget(const std::string& control) const {
    QWidget* w = lookup_(control);
    if (!w) throw Error("The wizard has no control \"" + control + "\"");
    return w;
}

TControlValue TWidgetBinding::Get(const std::string& control, int item) const {
    if (auto it = custom_.find(control); it != custom_.end()) return it->second.get();
    const TControlKind kind = KindOf(control);
    QWidget* w = Widget(control);
    if (auto* box = qobject_cast<QCheckBox*>(w)) return box->isChecked();
    if (auto* group = dynamic_cast<TRadioGroup*>(w)) return static_cast<std::int32_t>(group->ItemIndex());
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (kind == TControlKind::Choice) return static_cast<std::int32_t>(combo->currentIndex());
        return FromQ(combo->currentText());
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return FromQ(edit->text());
    if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) return FromWidgetText(memo->toPlainText());
    if (auto* list = qobject_cast<QListWidget*>(w)) {
        if (kind == TControlKind::CheckList) {
            const QListWidgetItem* it = list->item(item);
            return it && it->checkState() == Qt::Checked;
        }
        std::vector<std::string> entries;
        for (int i = 0; i < list->count(); ++i) entries.push_back(FromQ(list->item(i)->text()));
        return entries;
    }
    throw Error("The wizard's control \"" + control + "\" is of no kind the binding knows");
}

void TWidgetBinding::Set(const std::string& control, int item, const TControlValue& value) {
    if (auto it = custom_.find(control); it != custom_.end()) return it->second.set(value);
    const TControlKind kind = KindOf(control);
    QWidget* w = Widget(control);
    if (auto* box = qobject_cast<QCheckBox*>(w)) return box->setChecked(std::get<bool>(value));
    if (auto* group = dynamic_cast<TRadioGroup*>(w)) return group->SetItemIndex(std::get<std::int32_t>(value));
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (kind == TControlKind::Choice) {
            const int index = std::get<std::int32_t>(value);
            if (index >= 0 && index < combo->count()) return combo->setCurrentIndex(index);
            // No item chosen: the box keeps showing its text.
            const QString text = combo->currentText();
            combo->setCurrentIndex(-1);
            return combo->setEditText(text);
        }
        combo->setEditText(ToQ(std::get<std::string>(value)));
        // Show where the text begins (the number and the name of a help-file language).
        if (QLineEdit* edit = combo->lineEdit()) edit->setCursorPosition(0);
        return;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->setText(ToQ(std::get<std::string>(value)));
    if (auto* memo = qobject_cast<QPlainTextEdit*>(w))
        return memo->setPlainText(ToWidgetText(std::get<std::string>(value)));
    if (auto* list = qobject_cast<QListWidget*>(w)) {
        if (kind == TControlKind::CheckList) {
            if (QListWidgetItem* it = list->item(item))
                it->setCheckState(std::get<bool>(value) ? Qt::Checked : Qt::Unchecked);
            return;
        }
        list->clear();
        for (const std::string& entry : std::get<std::vector<std::string>>(value)) list->addItem(ToQ(entry));
        return;
    }
    throw Error("The wizard's control \"" + control + "\" is of no kind the binding knows");
}

}  // namespace qb
