#include "hha/hha.h"

#include <cstdlib>
#include <cstring>
#include <exception>

#include "hha/HhaChmcmd.h"
#include "hha/HhaNative.h"
#include "hha/HhaProject.h"
#include "support/Error.h"
#include "support/Os.h"

namespace {

bool UseChmcmd() { return qb::os::Environment("QB_HHA_BACKEND").value_or("") == "chmcmd"; }

int Compile(const char* projectFile, hha_log_proc log, hha_continue_proc cont, hha_kept_proc kept, void* context) {
    qb::hha::Session session(log, cont);
    try {
        if (!projectFile || !*projectFile) {
            session.Log("Error: no project file given");
            return 0;
        }
        qb::hha::Project project = qb::hha::ReadProject(projectFile);
        project.kept = {kept, context};
        session.Poll();
        const bool useChmcmd = UseChmcmd();
        bool ok = useChmcmd ? qb::hha::CompileWithChmcmd(project, session) : qb::hha::CompileNative(project, session);
        return ok ? 1 : 0;
    } catch (const qb::hha::StopRequest&) {
        session.Log("Compilation stopped.");
    } catch (const std::exception& e) {
        session.Log(e.what());
    } catch (...) {
        session.Log("Error: compilation failed");
    }
    return 0;
}

}  // namespace

extern "C" int HHA_CALL HHA_CompileHHP(const char* projectFile, hha_log_proc log, hha_continue_proc cont, int /*instance*/) {
    return Compile(projectFile, log, cont, nullptr, nullptr);
}

extern "C" int HHA_CALL HHA_CompileHHPKept(const char* projectFile, hha_log_proc log, hha_continue_proc cont,
                                          int /*instance*/, hha_kept_proc kept, void* context) {
    // The other program reads every file from disk.
    if (UseChmcmd()) return -1;
    return Compile(projectFile, log, cont, kept, context);
}
