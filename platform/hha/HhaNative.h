#pragma once
#include "hha/HhaProject.h"

namespace qb::hha {

// Compiles the project with the built-in compiler. True when the target
// file was written; throws StopRequest (leaving no file) when asked to stop.
bool CompileNative(const Project& project, Session& session);

}  // namespace qb::hha
