// The walk stops with an error, never silently, when a file cannot be written
// or the tree loops back on itself.
#include <map>

#include "support/Error.h"
#include "tests/engine/EngineFixture.h"

using namespace qbtest;

namespace {

// FakeStorage with faults: attachments that cannot be written, and an item
// that is reached again below itself.
class FaultyStorage : public FakeStorage {
public:
    std::map<std::string, std::string> failWith;  // file name -> error; "" -> false result
    std::map<std::string, std::string> alias;     // item path -> the item it really is
    bool ExportFile(int db, const std::string& path, const std::string& dest) override {
        for (const auto& [name, error] : failWith)
            if (path.size() >= name.size() && path.compare(path.size() - name.size(), name.size(), name) == 0) {
                if (error.empty()) return false;
                throw qb::Error(error);
            }
        return FakeStorage::ExportFile(db, path, dest);
    }
    std::uintptr_t ItemKey(int, const std::string& path) override {
        auto it = alias.find(path);
        const std::string& real = it == alias.end() ? path : it->second;
        return std::hash<std::string>{}(qb::LowerAscii(real)) | 1;
    }
};

class WalkFaults : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        useStorage = &faulty;
        top = faulty.AddItem("\\Organizer\\data\\", "1", "Top");
        faulty.AddNote(top, "Top");
        faulty.AddFile(top, "a.bin", "AAAA");
        faulty.AddFile(top, "big.bin", "BBBB");
        sub = faulty.AddItem(top, "2", "Sub");
        faulty.AddNote(sub, "Sub");
        options.StartPath = top;
    }
    bool LoggedError(const std::string& part) const {
        for (const auto& e : recorder.events)
            if (e.position == -1 && e.text.find(part) != std::string::npos) return true;
        return false;
    }
    FaultyStorage faulty;
    std::string top, sub;
};

}  // namespace

TEST_F(WalkFaults, AttachmentThatCannotBeWrittenIsAWalkError) {
    faulty.failWith["big.bin"] = "Cannot write /out/big.bin: No space left on device";
    Run();
    EXPECT_NE(std::string::npos, walkError.find("No space left on device")) << walkError;
    EXPECT_TRUE(LoggedError("big.bin"));
    EXPECT_TRUE(Exists("a.bin"));
}

// Nothing stored under a name the storage cannot address is no write failure.
TEST_F(WalkFaults, FileTheStorageDoesNotFindDoesNotStopTheWalk) {
    faulty.failWith["big.bin"] = "";
    Run();
    EXPECT_EQ("", walkError);
    EXPECT_TRUE(Exists("Sub.html"));
}

// A note listed but not found in the storage gives its item a page without
// text, never the text of the note converted before it.
TEST_F(WalkFaults, NoteTheStorageDoesNotFindNeverShowsTheNoteBeforeIt) {
    faulty.AddNote(faulty.AddItem(top, "3", "Before"), "Text of the note before");
    faulty.AddNote(faulty.AddItem(top, "4", "Missing"), "never read");
    faulty.failWith["4\\_~_~_notes.rtf"] = "";
    Run();
    EXPECT_EQ("", walkError);
    EXPECT_NE(std::string::npos, Read("Before.html").find("Text of the note before"));
    ASSERT_TRUE(Exists("Missing.html"));
    EXPECT_EQ(std::string::npos, Read("Missing.html").find("Text of the note before")) << Read("Missing.html");
}

TEST_F(WalkFaults, NoteThatCannotBeWrittenIsAWalkError) {
    faulty.failWith["2\\_~_~_notes.rtf"] = "Cannot write note.rtf: No space left on device";
    Run();
    EXPECT_NE(std::string::npos, walkError.find("No space left on device")) << walkError;
}

TEST_F(WalkFaults, ItemMetAgainBelowItselfStopsTheWalk) {
    // Sub has a sub-item that is really Top: Top\Sub\Top\Sub\... for ever.
    const std::string again = faulty.AddItem(sub, "3", "Top again");
    faulty.AddItem(again, "4", "Deeper");
    faulty.alias[again] = top;
    Run();
    EXPECT_NE(std::string::npos, walkError.find("loops")) << walkError;
    EXPECT_NE(std::string::npos, walkError.find("\\3\\")) << walkError;
    for (const auto& line : recorder.Lines()) EXPECT_EQ(std::string::npos, line.find("Deeper")) << line;
}
