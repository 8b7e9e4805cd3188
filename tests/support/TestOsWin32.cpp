#include "tests/support/TestOs.h"

namespace qbtest {

bool OnWindows() { return true; }

bool MakeFifo(const std::string&) { return false; }

// No per-process file-size limit here.
FileSizeLimit::FileSizeLimit(unsigned long long) {}
FileSizeLimit::~FileSizeLimit() = default;

// Beyond Linux's path limit is a case of its own; Windows' limit (32,767
// characters) is tested by the long-path tests.
bool MakeDeepChain(const std::string&, int) { return false; }
void RemoveDeepChain(const std::string&, int) {}

}  // namespace qbtest
