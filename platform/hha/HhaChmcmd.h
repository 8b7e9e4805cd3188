#pragma once
#include "hha/HhaProject.h"

namespace qb::hha {

// Compiles through chmcmd run as a child process on a normalised copy of the
// project. True only when chmcmd succeeded and the target file was written;
// throws StopRequest after killing chmcmd when the caller asks to stop.
bool CompileWithChmcmd(const Project& project, Session& session);

}  // namespace qb::hha
