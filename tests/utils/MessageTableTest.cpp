#include <gtest/gtest.h>

#include "Utils/Format.h"
#include "settings/MessageTable.h"

using namespace qb;

namespace {

class MessageTableTest : public ::testing::Test {
protected:
    void SetUp() override { ResetMessageTable(); }
    void TearDown() override { ResetMessageTable(); }
};

}  // namespace

TEST_F(MessageTableTest, FormattedRunLogAndCaptionTexts) {
    EXPECT_EQ("Find 12 node item(s). Now exporting, Please waiting...", Format(Msg(8), {12}));
    EXPECT_EQ("Quillbook - 3 of 7 steps", Format(Msg(2), {"Quillbook", 3, 7}));
}

TEST_F(MessageTableTest, PhaseEndTextsLeaveAnEmptyLine) {
    EXPECT_EQ("\r\nExport finished.", Msg(12));
    EXPECT_EQ("\r\nCompile finished.", Msg(13));
    EXPECT_EQ("\r\nCompiling, please waiting...", Msg(14));
}

TEST_F(MessageTableTest, BuiltInTextsByteForByte) {
    const struct {
        int id;
        const char* text;
    } texts[] = {
        {0, "Export to CHM..."},
        {1, "Export database or current branch to CHM..."},
        {2, "%s - %d of %d steps"},
        {3, "Do you really want to stop exporting and compiling?"},
        {4, "Please select a directory to store the HTML file(s), image(s), attachment(s), temporary files: "},
        {5, "&Stop"},
        {6, "&Run"},
        {7, "Prepare to export..."},
        {8, "Find %d node item(s). Now exporting, Please waiting..."},
        {9, ""},
        {10, ""},
        {11, ""},
        {15, "User cancelled."},
        {16, "Please select another RTF convert engine and try again."},
        {17, "RTF2HTML engine not exists.\r\n"},
        {18,
         "Can't create Word object. Please make sure you had installed the MS Word 2000 or higher "
         "version.\r\n"},
        {20, "Please input the language name"},
        {21, "No data file opened at this time."},
        {22, "Quillbook maybe not run correctly. Unknown error: "},
        {23, "Can't find library HHA.DLL."},
        {24, "Start clear temporary files..."},
        {25, "Finish clearing."},
        {26, ""},
        {27, "Some files not register correctly, did you want register it now?"},
        {28, "Error during register library, Quillbook maybe not run correctly!"},
        {29, "Process labels..."},
        {30, "Custom Labels"},
    };
    for (const auto& t : texts) {
        EXPECT_EQ(t.text, Msg(t.id)) << "id " << t.id;
        EXPECT_EQ(t.text, BuiltInMsg(t.id)) << "id " << t.id;
    }
}

TEST_F(MessageTableTest, DescriptionIsNameVersionAndOneMoreLine) {
    const std::string d = Msg(19);
    const std::string head = "Quillbook 3.0.0\r\n";
    ASSERT_EQ(head, d.substr(0, head.size()));
    const std::string rest = d.substr(head.size());
    EXPECT_FALSE(rest.empty());
    EXPECT_EQ(std::string::npos, rest.find_first_of("\r\n"));
}

TEST_F(MessageTableTest, ReplacedEntriesAreReadAtTheTimeOfUse) {
    SetMsg(8, "%d Elemente");
    EXPECT_EQ("3 Elemente", Format(Msg(8), {3}));
    EXPECT_EQ("Find %d node item(s). Now exporting, Please waiting...", BuiltInMsg(8));
    SetMsg(26, "reserved but stored");
    EXPECT_EQ("reserved but stored", Msg(26));
    ResetMessageTable();
    EXPECT_EQ(BuiltInMsg(8), Msg(8));
    EXPECT_EQ("", Msg(26));
}

TEST_F(MessageTableTest, IdsOutsideTheTable) {
    // The wizard's 31 messages, the website's fixed words and its file types.
    EXPECT_EQ(86, kMessageCount);
    SetMsg(-1, "x");
    SetMsg(86, "x");
    EXPECT_EQ("", Msg(-1));
    EXPECT_EQ("", Msg(86));
    EXPECT_EQ("", BuiltInMsg(86));
    for (int id = 0; id < kMessageCount; ++id) EXPECT_EQ(BuiltInMsg(id), Msg(id)) << id;
}
