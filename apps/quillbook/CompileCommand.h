#pragma once
#include <string>

namespace qb {

// `quillbook compile PROJECT.hhp`: compiles the project through libhha.so
// (beside the executable first, else on the library search path), printing
// the compiler's lines. Returns 0 only when the compiled file was written;
// Ctrl-C asks the compiler to stop. quiet keeps the compiler's lines back.
int CmdCompile(const std::string& hhpFile, bool quiet = false);

}  // namespace qb
