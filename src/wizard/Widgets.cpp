#include "wizard/Widgets.h"

#include <algorithm>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QFrame>
#include <QMouseEvent>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qb {

namespace {
constexpr int kBandHeight = 57;
}

TRadioGroup::TRadioGroup(QWidget* parent)
    : QGroupBox(parent), group_(new QButtonGroup(this)), layout_(new QVBoxLayout(this)) {
    group_->setExclusive(true);
    layout_->setContentsMargins(10, 6, 10, 6);
    layout_->setSpacing(6);
    QObject::connect(group_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked && onChange) onChange();
    });
}

std::vector<QString> TRadioGroup::Items() const {
    std::vector<QString> items;
    for (QAbstractButton* b : group_->buttons()) items.push_back(b->text());
    return items;
}

void TRadioGroup::SetItems(const std::vector<QString>& items) {
    const int selected = ItemIndex();
    for (QAbstractButton* b : group_->buttons()) {
        group_->removeButton(b);
        delete b;  // owned by this group box; Qt has no other owner
    }
    for (int i = 0; i < static_cast<int>(items.size()); ++i) {
        auto* button = new QRadioButton(items[static_cast<std::size_t>(i)], this);
        group_->addButton(button, i);
        layout_->addWidget(button);
        button->setEnabled(ItemEnabled(i));
    }
    const int count = static_cast<int>(items.size());
    // Keeping the selection must not look like a user's choice.
    QSignalBlocker block(group_);
    if (selected >= 0 && count > 0) {
        QAbstractButton* b = group_->button(std::min(selected, count - 1));
        if (b) b->setChecked(true);
    }
}

void TRadioGroup::SetItemText(int index, const QString& text) {
    if (QAbstractButton* b = group_->button(index)) b->setText(text);
}

int TRadioGroup::ItemIndex() const { return group_->checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
    if (index == ItemIndex()) return;
    if (QAbstractButton* b = group_->button(index)) {
        b->setChecked(true);
        return;
    }
    // No item: uncheck all without firing a change.
    QSignalBlocker block(group_);
    group_->setExclusive(false);
    for (QAbstractButton* b : group_->buttons()) b->setChecked(false);
    group_->setExclusive(true);
}

void TRadioGroup::SetItemEnabled(int index, bool enabled) {
    if (index < 0) return;
    if (static_cast<std::size_t>(index) >= disabled_.size()) disabled_.resize(static_cast<std::size_t>(index) + 1);
    disabled_[static_cast<std::size_t>(index)] = !enabled;
    if (QAbstractButton* b = group_->button(index)) b->setEnabled(enabled);
}

bool TRadioGroup::ItemEnabled(int index) const {
    return index < 0 || static_cast<std::size_t>(index) >= disabled_.size() ||
           !disabled_[static_cast<std::size_t>(index)];
}

QWidget* TRadioGroup::Button(int index) const { return group_->button(index); }

TWizardPage::TWizardPage(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* band = new QWidget(this);
    band->setFixedHeight(kBandHeight);
    band->setAutoFillBackground(true);
    QPalette pal = band->palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    band->setPalette(pal);
    title_ = new QLabel(band);
    QFont titleFont("Tahoma");
    titleFont.setPixelSize(16);
    titleFont.setBold(true);
    title_->setFont(titleFont);
    // Room on the right for the logo that sits over the band.
    title_->setGeometry(12, 0, 400, kBandHeight);
    title_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->addWidget(band);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    content_ = new QWidget(this);
    layout->addWidget(content_, 1);
}

QString TWizardPage::Title() const { return title_->text(); }
void TWizardPage::SetTitle(const QString& title) { title_->setText(title); }

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick) onClick();
}

}  // namespace qb
