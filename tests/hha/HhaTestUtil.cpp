#include "tests/hha/HhaTestUtil.h"

#include "hha/hha.h"

namespace hhatest {

namespace {
CompileRun* g_run = nullptr;
int g_stopAfter = -1;
int g_stopAfterLines = -1;

void RecordLog(const char* text) { g_run->log.emplace_back(text); }
int Continue(long) {
    ++g_run->polls;
    if (g_stopAfterLines >= 0 && static_cast<int>(g_run->log.size()) >= g_stopAfterLines) return 0;
    return g_stopAfter >= 0 && g_run->polls > g_stopAfter ? 0 : 1;
}
}  // namespace

bool CompileRun::Logged(const std::string& text) const {
    for (const auto& line : log)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

CompileRun Compile(const std::string& hhp, int stopAfter, int stopAfterLines) {
    CompileRun run;
    g_run = &run;
    g_stopAfter = stopAfter;
    g_stopAfterLines = stopAfterLines;
    run.result = HHA_CompileHHP(hhp.c_str(), RecordLog, Continue, 0);
    g_run = nullptr;
    return run;
}

EnvVar::EnvVar(const char* name, const std::string& value) : name_(name) {
    if (const char* v = std::getenv(name)) old_ = v;
    ::setenv(name, value.c_str(), 1);
}

EnvVar::~EnvVar() {
    if (old_)
        ::setenv(name_.c_str(), old_->c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

}  // namespace hhatest
