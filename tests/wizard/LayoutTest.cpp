// The wizard as a user first sees it: the language chosen at start-up, and no control cut off.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>

#include "tests/wizard/WizardFixture.h"
#include "wizard/Widgets.h"

namespace wiztest {
namespace {

class WizardLayoutTest : public WizardTest {
protected:
    // The settings name German before the module starts, as after a user's earlier choice.
    void StartInGerman() {
        UseShippedLanguages();
        qbtest::WriteFile(tmp_ / "Quillbook.xml",
                          "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Quillbook><Config><Language>Deutsch</Language>"
                          "</Config></Quillbook>");
    }

    // Controls on the shown page narrower or lower than they need to show their text.
    std::vector<std::string> ClippedControls() {
        std::vector<std::string> clipped;
        QWidget* page = form_->findChild<QStackedWidget*>("pgcMain")->currentWidget();
        for (QWidget* w : page->findChildren<QWidget*>()) {
            if (!w->isVisible()) continue;
            if (!qobject_cast<QLabel*>(w) && !qobject_cast<QAbstractButton*>(w) && !qobject_cast<QComboBox*>(w) &&
                !qobject_cast<QListWidget*>(w))
                continue;
            if (auto* list = qobject_cast<QListWidget*>(w)) {
                // A list that scrolls shows whole rows; one that does not shows every row.
                const int row = list->sizeHintForRow(0), shown = list->viewport()->height();
                if (row > 0 && list->count() * row > shown && shown % row != 0)
                    clipped.push_back(w->objectName().toStdString() + " shows a part row: " + std::to_string(shown) +
                                      " % " + std::to_string(row));
                continue;
            }
            QSize need = w->minimumSizeHint();
            // An editable box's text shows in full ("0x409 English (United States)").
            if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->lineEdit()) {
                QLineEdit* edit = combo->lineEdit();
                if (edit->width() < edit->fontMetrics().horizontalAdvance(edit->text()) + 4)
                    clipped.push_back(w->objectName().toStdString() + " '" + edit->text().toStdString() + "' in " +
                                      std::to_string(edit->width()) + " px");
            }
            // Push buttons report a style minimum far wider than a "..." needs; their text is what counts.
            if (auto* b = qobject_cast<QPushButton*>(w))
                need.setWidth(b->fontMetrics().horizontalAdvance(b->text().remove('&')) + 8);
            const QRect inPage(w->mapTo(page, QPoint(0, 0)), w->size());
            if (w->width() < need.width() || w->height() < need.height() || !page->rect().contains(inPage))
                clipped.push_back(w->objectName().toStdString() + " '" +
                                  (qobject_cast<QLabel*>(w)            ? qobject_cast<QLabel*>(w)->text()
                                   : qobject_cast<QAbstractButton*>(w) ? qobject_cast<QAbstractButton*>(w)->text()
                                   : qobject_cast<QComboBox*>(w)       ? qobject_cast<QComboBox*>(w)->currentText()
                                                                       : QString())
                                      .toStdString() +
                                  "' " + std::to_string(w->width()) + "x" + std::to_string(w->height()) + " < " +
                                  std::to_string(need.width()) + "x" + std::to_string(need.height()));
        }
        return clipped;
    }

    void ExpectNothingClipped(const std::string& shotSuffix) {
        form_->show();
        for (int page = 0; page < 7; ++page) {
            QApplication::processEvents();
            SCOPED_TRACE("page " + std::to_string(page) + shotSuffix);
            EXPECT_EQ(ClippedControls(), std::vector<std::string>{});
            SaveScreenshot(form_.get(), "layout-page-" + std::to_string(page) + shotSuffix + ".png");
            form_->btnNextClick();
        }
        EXPECT_GE(form_->width(), 492);
        EXPECT_GE(form_->height(), 373);
        form_->hide();
    }
};

TEST_F(WizardLayoutTest, RangeCaptionsKeepTheLanguageChosenAtStartUp) {
    StartInGerman();
    Open(HostText(kTrip));
    auto* range = form_->findChild<qb::TRadioGroup*>("rgDataSource");
    EXPECT_EQ(range->Items()[0], "Aktueller Zweig: Trip: Rome?");
    EXPECT_EQ(range->Items()[1], "Aktuelle Datenbank: travel.db");
    // No item chosen: the default tab's text is the translated first item, still with no choice made.
    EXPECT_EQ(C<QComboBox>("cbbDefaultTab")->currentText(), "Inhalt");
    EXPECT_EQ(form_->Controls().Choice("cbbDefaultTab"), -1);
}

TEST_F(WizardLayoutTest, NoControlIsClippedInEnglish) {
    Open(HostText(kTrip));
    ExpectNothingClipped("");
}

TEST_F(WizardLayoutTest, NoControlIsClippedInGerman) {
    StartInGerman();
    Open(HostText(kTrip));
    ASSERT_EQ(C<QPushButton>("btnNext")->text(), "&Weiter >");
    ExpectNothingClipped("-de");
}

TEST_F(WizardLayoutTest, TheWindowGrowsForALargeSampleFontButNeverShrinks) {
    Open(HostText(kTrip));
    const QSize before = form_->size();
    qb::TFontValue big = form_->Controls().Font("lblFontPreview");
    big.size = 48;
    form_->Controls().SetFont("lblFontPreview", big);
    form_->show();
    for (int page = 0; page < 2; ++page) form_->btnNextClick();
    QApplication::processEvents();
    EXPECT_EQ(ClippedControls(), std::vector<std::string>{});
    EXPECT_GT(form_->height(), before.height());
    form_->hide();
}

}  // namespace
}  // namespace wiztest
