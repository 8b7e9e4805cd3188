// A handle closed while the process exits, from a static object's destructor,
// finds the library still working.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "dvo/dvo.h"
#include "tests/dvo/DvoTestUtil.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr const char* kChildDb = "QB_DVO_EXIT_DB";

struct CloseAtExit {
    int db = 0;
    ~CloseAtExit() {
        if (db > 0) dvo_close(db);
    }
};

}  // namespace

TEST(DvoExit, AHandleClosedAsTheProcessEndsNeitherHangsNorCrashes) {
    if (const char* db = std::getenv(kChildDb)) {
        // The process of our own started below: made before the library's
        // first call, the holder is destroyed after the library's statics.
        static CloseAtExit holder;
        holder.db = dvo_open(db);
        ASSERT_GT(holder.db, 0) << dvo_last_error();
        return;
    }
    qbtest::TempDir dir;
    qbtest::WriteFile(dir / "src/5/.caption", "A\n");
    dvotest::MustImport(dir / "src/", dir / "db.kvdb");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setenv(kChildDb, (dir / "db.kvdb").c_str(), 1);
        ::alarm(30);  // a hang at exit ends here, by the signal
        ::execl("/proc/self/exe", "dvo_test",
                "--gtest_filter=DvoExit.AHandleClosedAsTheProcessEndsNeitherHangsNorCrashes",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(0, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}
