#include "hha/hha.h"

#include <cstdlib>
#include <cstring>
#include <exception>

#include "hha/HhaChmcmd.h"
#include "hha/HhaNative.h"
#include "hha/HhaProject.h"
#include "support/Error.h"
#include "support/Os.h"

extern "C" int HHA_CALL HHA_CompileHHP(const char* projectFile, hha_log_proc log, hha_continue_proc cont, int /*instance*/) {
    qb::hha::Session session(log, cont);
    try {
        if (!projectFile || !*projectFile) {
            session.Log("Error: no project file given");
            return 0;
        }
        qb::hha::Project project = qb::hha::ReadProject(projectFile);
        session.Poll();
        bool useChmcmd = qb::os::Environment("QB_HHA_BACKEND").value_or("") == "chmcmd";
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
