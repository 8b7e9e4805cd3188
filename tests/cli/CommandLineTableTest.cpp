// What each command line answers: exit status, the stream it writes to and the message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "Utils/FileSys.h"
#include "tests/support/TestSupport.h"

using namespace qbtest;

namespace {

const std::string kExe = std::string(QB_OUT_DIR) + "/quillbook";

struct Answer {
    int status = -1;
    std::string out, err;
};

// Runs quillbook with stdout and stderr kept apart, in an environment without a display.
Answer RunQuillbook(const TempDir& dir, const std::vector<std::string>& args) {
    const std::string outFile = dir.path() + "stdout.txt", errFile = dir.path() + "stderr.txt";
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv{const_cast<char*>(kExe.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::string home = "HOME=" + dir.path();
        char* env[] = {const_cast<char*>("PATH=/usr/bin:/bin"), home.data(), nullptr};
        execve(kExe.c_str(), argv.data(), env);
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadFile(outFile), ReadFile(errFile)};
}

enum class Stream { Out, Err };

struct Row {
    std::vector<std::string> args;
    int status;
    Stream stream;
    std::string message;
};

std::string Join(const std::vector<std::string>& args) {
    std::string s = "quillbook";
    for (const auto& a : args) s += " " + a;
    return s;
}

class CommandLineTable : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string src = dir_.path() + "src/";
        WriteFile(src + "1/.caption", "Top\n");
        WriteFile(src + "1/_~_~_notes.rtf", "{\\rtf1\\ansi Top text\\par}");
        WriteFile(src + "1/2/.caption", "Child\n");
        WriteFile(src + "1/2/_~_~_notes.rtf", "{\\rtf1\\ansi Child text\\par}");
        WriteFile(src + "1/2/3/_~_~_notes.rtf", "{\\rtf1\\ansi Leaf\\par}");
        db_ = dir_.path() + "db.kvdb";
        ASSERT_EQ(0, RunQuillbook(dir_, {"db", "import", src, db_}).status);
        out_ = dir_.path() + "out/";
        WriteFile(dir_.path() + "notes.txt", "not a project\n");
        WriteFile(dir_.path() + "fake.hhp", "just text\n");
        WriteFile(dir_.path() + "n.rtf", "{\\rtf1\\ansi A\\par}");
    }

    void Check(const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            const Answer a = RunQuillbook(dir_, row.args);
            SCOPED_TRACE(Join(row.args) + "\n--- stdout:\n" + a.out + "--- stderr:\n" + a.err);
            EXPECT_EQ(row.status, a.status);
            const std::string& shown = row.stream == Stream::Out ? a.out : a.err;
            EXPECT_NE(std::string::npos, shown.find(row.message)) << "expected: " << row.message;
            if (row.stream == Stream::Out) {
                EXPECT_EQ("", a.err);
            } else {
                // Errors only on stderr, every line of them in the one form.
                EXPECT_EQ(std::string::npos, a.out.find(row.message));
                EXPECT_EQ(0u, a.err.rfind("quillbook: ", 0));
            }
            // Usage texts name the program, never the path it was started from.
            EXPECT_EQ(std::string::npos, (a.out + a.err).find(QB_OUT_DIR));
        }
    }

    TempDir dir_;
    std::string db_, out_;
};

TEST_F(CommandLineTable, CommandsHelpAndVersion) {
    Check({
        {{"--version"}, 0, Stream::Out, "quillbook 3.0.0"},
        {{"help"}, 0, Stream::Out, "Usage: quillbook [OPTIONS]"},
        {{"--help"}, 0, Stream::Out, "Usage: quillbook [OPTIONS]"},
        {{"help", "export"}, 0, Stream::Out, "Usage: quillbook export [OPTIONS]"},
        {{"help", "export"}, 0, Stream::Out, "(default 0, or the engine of --settings)"},
        {{"export", "--help"}, 0, Stream::Out, "Usage: quillbook export [OPTIONS]"},
        {{"help", "db", "tree"}, 0, Stream::Out, "Usage: quillbook db tree"},
        {{"frobnicate"},
         2,
         Stream::Err,
         "quillbook: 'frobnicate' is not a quillbook command; the commands are: export,"},
        {{"exprot", "--db", "x"}, 2, Stream::Err, "'exprot' is not a quillbook command; did you mean 'export'?"},
        {{"-q", "comple", "x.hhp"}, 2, Stream::Err, "did you mean 'compile'?"},
        {{"db", "improt", "a", "b"}, 2, Stream::Err, "'improt' is not a quillbook db command; did you mean 'import'?"},
        {{"help", "exprot"}, 2, Stream::Err, "did you mean 'export'?"},
        {{}, 2, Stream::Err, "quillbook: a command is required"},
        {{"export", "--whole", "--out", "o"}, 2, Stream::Err, "quillbook: export: missing --db. See 'quillbook help export'."},
        {{"export", "--bogus"}, 2, Stream::Err, "quillbook: export: "},
    });
}

TEST_F(CommandLineTable, ExportArgumentsAndFields) {
    Check({
        {{"export", "--list-fields"}, 0, Stream::Out, "RemoveTempFiles"},
        {{"export", "--list-fields"}, 0, Stream::Out, "ConvertMethod        0-255    \"0\""},
        // Where --settings reads a field; a field taken from the arguments is not read from there.
        {{"export", "--list-fields"}, 0, Stream::Out, "\"true\"           CHM/MakeIndex       write a keyword index"},
        {{"export", "--list-fields"}, 0, Stream::Out, "\"\"               -                   compiled help file"},
        {{"export", "--db", db_, "--whole", "--out", out_, "--method", "4"},
         2,
         Stream::Err,
         "quillbook: export: --method: Value 4 not in range 0 to 3"},
        {{"export", "--db", db_, "--whole", "--out", out_, "--method", "-1"}, 2, Stream::Err, "quillbook: export: "},
        {{"convert", "--method", "9", dir_.path() + "n.rtf"}, 2, Stream::Err, "quillbook: convert: --method"},
        {{"export", "--db", db_, "--whole", "--out", out_, "--set", "RootPath=/tmp/elsewhere"},
         2,
         Stream::Err,
         "quillbook: export: Option RootPath cannot be set"},
        {{"export", "--db", db_, "--whole", "--out", out_, "--set", "DatabaseHandle=99"},
         2,
         Stream::Err,
         "Option DatabaseHandle cannot be set"},
        {{"export", "--db", db_, "--whole", "--out", out_, "--set", "startpath=\\Organizer\\data\\1\\"},
         2,
         Stream::Err,
         "Option StartPath cannot be set"},
        {{"export", "--db", db_, "--whole", "--out", out_, "--set", "Nope=1"},
         2,
         Stream::Err,
         "quillbook: export: unknown --set field \"Nope\". 'quillbook export --list-fields' lists the fields."},
        {{"export", "--db", db_, "--out", out_},
         2,
         Stream::Err,
         "quillbook: export: missing one of --item PATH or --whole. See 'quillbook help export'."},
        {{"convert", dir_.path() + "none.rtf"}, 2, Stream::Err, "quillbook: convert: no such file"},
    });
    // The refused runs wrote nothing.
    EXPECT_FALSE(qb::fs::DirectoryExists(out_));
    EXPECT_FALSE(qb::fs::DirectoryExists("/tmp/elsewhere"));
}

TEST_F(CommandLineTable, CompileAndHostRefuseWhatTheyCannotDo) {
    Check({
        {{"compile", dir_.path() + "notes.txt"},
         2,
         Stream::Err,
         "quillbook: compile: " + dir_.path() + "notes.txt is not a help project"},
        {{"compile", dir_.path() + "fake.hhp"}, 2, Stream::Err, "it has no [OPTIONS] section"},
        {{"compile", dir_.path() + "none.hhp"}, 2, Stream::Err, "quillbook: compile: no such file"},
        {{"host", "--db", db_}, 1, Stream::Err, "quillbook: host: no display to show the wizard on"},
    });
    EXPECT_FALSE(qb::fs::FileExists(dir_.path() + "notes.chm"));
    EXPECT_FALSE(qb::fs::FileExists(dir_.path() + "fake.chm"));
}

TEST_F(CommandLineTable, LogAmountFollowsQuietAndVerbose) {
    Answer a = RunQuillbook(dir_, {"export", "--db", db_, "--whole", "--out", out_ + "n/"});
    ASSERT_EQ(0, a.status) << a.out << a.err;
    EXPECT_EQ("", a.err);
    EXPECT_NE(std::string::npos, a.out.find("Compiled help file: " + out_ + "n/db.chm")) << a.out;
    EXPECT_NE(std::string::npos, a.out.find("Finish clearing.")) << a.out;
    EXPECT_EQ(std::string::npos, a.out.find("|--")) << a.out;
    // The compiler's line for each page it stores is detail too.
    EXPECT_EQ(std::string::npos, a.out.find(".html\n")) << a.out;

    a = RunQuillbook(dir_, {"-v", "export", "--db", db_, "--whole", "--out", out_ + "v/"});
    ASSERT_EQ(0, a.status) << a.err;
    EXPECT_NE(std::string::npos, a.out.find("|  |  |--Child")) << a.out;
    EXPECT_NE(std::string::npos, a.out.find(".html\n")) << a.out;
    EXPECT_NE(std::string::npos, a.out.find("Compiled help file: ")) << a.out;

    a = RunQuillbook(dir_, {"export", "--quiet", "--db", db_, "--whole", "--out", out_ + "q/"});
    EXPECT_EQ(0, a.status) << a.err;
    EXPECT_EQ("", a.out);
    EXPECT_EQ("", a.err);
    EXPECT_TRUE(qb::fs::FileExists(out_ + "q/db.chm"));

    // A walk error reaches stderr in the one form even when the log is off; the log keeps it too.
    WriteFile(out_ + "w/2", "a file where the walk needs a folder");
    a = RunQuillbook(dir_, {"-q", "export", "--db", db_, "--item", "1", "--out", out_ + "w/"});
    EXPECT_EQ(3, a.status);
    EXPECT_EQ("", a.out);
    EXPECT_EQ(0u, a.err.rfind("quillbook: export: Cannot create folder", 0)) << a.err;
    a = RunQuillbook(dir_, {"export", "--db", db_, "--item", "1", "--out", out_ + "w/"});
    EXPECT_EQ(3, a.status);
    EXPECT_NE(std::string::npos, a.out.find("Cannot create folder")) << a.out;
}

}  // namespace
