// The range rules both wizards share: the texts of the range items, the help
// file's base name and the integer fields.
#include <gtest/gtest.h>

#include "engine/WizardRules.h"
#include "support/Error.h"
#include "tests/support/SampleDatabase.h"

namespace {

TEST(WizardRules, RangeItemNeverSticksTheHostTextToTheColon) {
    EXPECT_EQ("Current branch: Our history", qb::RangeItemText("Current branch: ", "Our history"));
    EXPECT_EQ("Current database: sample.kvdb", qb::RangeItemText("Current database:", "sample.kvdb"));
    // Applying a caption twice gives one copy of the host's text: the caption is kept apart.
    EXPECT_EQ("Aktueller Zweig: x", qb::RangeItemText("Aktueller Zweig:", "x"));
    EXPECT_EQ("Current database:", qb::RangeItemText("Current database:", ""));
}

TEST(WizardRules, RangeNameIsTheSafeCaptionOrTheDatabaseFileName) {
    EXPECT_EQ("Trip__Rome_", qb::RangeName(0, "Trip: Rome?", "C:\\db\\notes.kvdb"));
    EXPECT_EQ("notes", qb::RangeName(1, "Trip: Rome?", "C:\\db\\notes.kvdb"));
}

TEST(WizardRules, ItemCaptionComesFromTheDatabaseAndIsEmptyWithoutOne) {
    qbtest::SampleDatabase db;
    ASSERT_NE(0, db.Handle());
    EXPECT_EQ("Our history", qb::CurrentItemCaption(db.Handle(), "\\Organizer\\data\\2\\3\\"));
    EXPECT_EQ("", qb::CurrentItemCaption(0, "\\Organizer\\data\\2\\3\\"));
    EXPECT_EQ("", qb::CurrentItemCaption(db.Handle(), ""));
}

TEST(WizardRules, IntegersAreWholeTextsAndOthersRaise) {
    EXPECT_EQ(300, qb::WizardStrToInt(" 300 "));
    EXPECT_EQ(16, qb::WizardStrToInt("0x10"));
    EXPECT_THROW(qb::WizardStrToInt("3x0"), qb::Error);
    EXPECT_THROW(qb::WizardStrToInt("99999999999"), qb::Error);
}

TEST(WizardRules, RangeChoosesTheStartPathAndKeepsItWhenNoneIsChosen) {
    qb::TStringList host;
    host.SetText("TreeView.CurNode_DvoPath=\\Organizer\\data\\2\\\r\nDatabase.RootLocation=\\Organizer\\data\\\r\n"
                 "Database.FullPath=C:\\db\\notes.kvdb\r\n");
    qb::TConvertOptions o;
    qb::RangeIntoOptions(host, 0, o);
    EXPECT_EQ("\\Organizer\\data\\2\\", o.StartPath);
    EXPECT_EQ("notes.kvdb", o.DatabaseFileName);
    qb::RangeIntoOptions(host, 1, o);
    EXPECT_EQ("\\Organizer\\data\\", o.StartPath);
    qb::RangeIntoOptions(host, -1, o);
    EXPECT_EQ("\\Organizer\\data\\", o.StartPath);
}

}  // namespace
