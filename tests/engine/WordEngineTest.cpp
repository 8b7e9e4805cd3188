// Engine 1 over an automation server double: the calls made to the word
// processor, the page it is turned into, and a note that fails or hangs.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/Converters.h"
#include "engine/Engine.h"
#include "tests/support/TestSupport.h"

namespace {

using qb::os::AutomationArg;
using qb::os::AutomationPath;

const std::string kWordPage = "<html><body lang=EN-US>\r\n<div class=Section1>\r\n<p>Text</p>\r\n</div>\r\n" +
                              std::string(qb::kClosingText);

std::string Show(const AutomationArg& a) {
    if (const bool* b = std::get_if<bool>(&a)) return *b ? "true" : "false";
    if (const int* i = std::get_if<int>(&a)) return std::to_string(*i);
    if (const auto* s = std::get_if<std::string>(&a)) return *s;
    return "path:" + std::filesystem::path(std::get<AutomationPath>(a).path).filename().string();
}

// Records each call as one line; SaveAs writes a page and a part beside it.
class FakeWord : public qb::os::IAutomationServer {
public:
    struct Log {
        std::vector<std::string> calls;
        bool closed = false;
    };
    explicit FakeWord(std::shared_ptr<Log> log) : log_(std::move(log)) {}
    std::string failOn;     // "Member": raises qb::Error
    std::string timeoutOn;  // "Member": raises AutomationTimeout

    void Put(int object, const std::string& property, const AutomationArg& value) override {
        Record(object, "put " + property + " " + Show(value), property);
    }
    int GetObject(int object, const std::string& property) override {
        Record(object, "get " + property, property);
        return ++handles_;
    }
    int Call(int object, const std::string& method, const std::vector<AutomationArg>& args) override {
        std::string line = "call " + method;
        for (const AutomationArg& a : args) line += " " + Show(a);
        Record(object, line, method);
        if (method == "SaveAs") {
            const std::string page = std::get<AutomationPath>(args.at(0)).path;
            qbtest::WriteFile(page, kWordPage);
            const std::string parts = page.substr(0, page.size() - 5) + "_files";
            std::filesystem::create_directories(parts);
            qbtest::WriteFile(parts + "/image001.png", "PNG");
        }
        return method == "Open" ? ++handles_ : -1;
    }
    void Release(int) override {}
    void Close() override { log_->closed = true; }

private:
    void Record(int object, const std::string& line, const std::string& member) {
        if (log_->closed) throw qb::Error("called after Close: " + line);
        log_->calls.push_back((object == kApplication ? "app " : "obj ") + line);
        if (member == failOn) throw qb::Error(member + " failed: the document is damaged");
        if (member == timeoutOn) throw qb::os::AutomationTimeout("no answer from " + member);
    }
    std::shared_ptr<Log> log_;
    int handles_ = 0;
};

class WordEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        job.options.RootPath = out.path();
        job.options.ConvertMethod = 1;
        qbtest::WriteFile(out.path() + "Note.rtf", "{\\rtf1 Text}");
        qbtest::WriteFile(out.path() + "Other.rtf", "{\\rtf1 More}");
    }
    std::unique_ptr<qb::IConverterEngine> Start(std::unique_ptr<FakeWord> word) {
        return qb::CreateWordEngine(job.options, std::move(word));
    }
    std::unique_ptr<FakeWord> NewWord() { return std::make_unique<FakeWord>(log); }

    qbtest::TempDir out;
    qb::TParameters job;
    std::shared_ptr<FakeWord::Log> log = std::make_shared<FakeWord::Log>();
};

const std::vector<std::string> kSetUp = {
    "app put Visible false",          "app put DisplayAlerts false",
    "app put ScreenUpdating false",   "app get Options",
    "obj put AutoFormatReplaceHyperlinks true", "app call ChangeFileOpenDirectory path:"};

TEST_F(WordEngineTest, SetsUpOnceConvertsEachNoteAndQuitsAtTheEnd) {
    job.options.Header = "<p>HEAD</p>";
    job.options.Footer = "<p>FOOT</p>";
    auto engine = Start(NewWord());
    engine->Convert(job, out.path() + "Note.rtf", out.path() + "Note.html", "Note");
    engine->Convert(job, out.path() + "Other.rtf", out.path() + "Other.html", "Other");
    engine.reset();

    std::vector<std::string> expected = kSetUp;
    for (const char* name : {"Note", "Other"}) {
        expected.push_back("app get Documents");
        expected.push_back(std::string("obj call Open path:") + name + ".rtf");
        expected.push_back(std::string("obj call SaveAs path:") + name + ".html 8");
        expected.push_back("obj call Close");
    }
    expected.push_back("app call Quit false");
    EXPECT_EQ(expected, log->calls);
    EXPECT_TRUE(log->closed);

    // Header in front of the body section; the footer replaces the word processor's closing.
    EXPECT_EQ("<html><body lang=EN-US>\r\n<p>HEAD</p><div class=Section1>\r\n<p>Text</p>\r\n</div>\r\n<p>FOOT</p>" +
                  std::string(qb::kClosingText),
              qbtest::ReadFile(out.path() + "Note.html"));
    ASSERT_TRUE(job.FileList);
    EXPECT_TRUE(job.FileList->Contains(out.path() + "Note_files/image001.png")) << job.FileList->Text();
    EXPECT_TRUE(job.FileList->Contains(out.path() + "Other_files/image001.png")) << job.FileList->Text();
}

TEST_F(WordEngineTest, WithoutHeaderAndFooterThePageIsTheWordProcessorsOwn) {
    auto engine = Start(NewWord());
    engine->Convert(job, out.path() + "Note.rtf", out.path() + "Note.html", "Note");
    EXPECT_EQ(kWordPage, qbtest::ReadFile(out.path() + "Note.html"));
}

TEST_F(WordEngineTest, NoteThatFailsIsNamedItsDocumentClosedAndTheNextNoteConverts) {
    auto word = NewWord();
    word->failOn = "SaveAs";
    FakeWord* raw = word.get();
    auto engine = Start(std::move(word));
    try {
        engine->Convert(job, out.path() + "Note.rtf", out.path() + "Note.html", "Note");
        FAIL() << "no error";
    } catch (const qb::Error& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("Note.rtf")) << e.what();
        EXPECT_NE(std::string::npos, std::string(e.what()).find("the document is damaged")) << e.what();
    }
    // Closed without saving, so Quit neither saves nor asks about it.
    EXPECT_EQ("obj call Close false", log->calls.back());
    raw->failOn.clear();
    engine->Convert(job, out.path() + "Other.rtf", out.path() + "Other.html", "Other");
    EXPECT_EQ(kWordPage, qbtest::ReadFile(out.path() + "Other.html"));
}

TEST_F(WordEngineTest, NoteThatHangsEndsTheServerAndIsNamed) {
    auto word = NewWord();
    word->timeoutOn = "Open";
    auto engine = Start(std::move(word));
    try {
        engine->Convert(job, out.path() + "Note.rtf", out.path() + "Note.html", "Note");
        FAIL() << "no error";
    } catch (const qb::Error& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("Note.rtf")) << e.what();
    }
    EXPECT_TRUE(log->closed) << "the server is ended at once";
    // Nothing more goes to the ended server: no further note, no Quit.
    EXPECT_THROW(engine->Convert(job, out.path() + "Other.rtf", out.path() + "Other.html", "Other"), qb::Error);
    const std::size_t calls = log->calls.size();
    engine.reset();
    EXPECT_EQ(calls, log->calls.size());
    EXPECT_FALSE(std::filesystem::exists(out.path() + "Other.html"));
}

TEST_F(WordEngineTest, FailureWhileSettingUpQuitsTheServer) {
    auto word = NewWord();
    word->failOn = "ChangeFileOpenDirectory";
    EXPECT_THROW(Start(std::move(word)), qb::Error);
    EXPECT_EQ("app call Quit false", log->calls.back());
    EXPECT_TRUE(log->closed);
}

}  // namespace
