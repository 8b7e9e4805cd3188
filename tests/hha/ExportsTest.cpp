// The shared libraries export their C interface and nothing else: the base
// library linked into each stays private, so neither binds to the other's copy.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "tests/hha/GenProject.h"

namespace {

bool HaveNm() { return hhatest::RunCommand("command -v nm >/dev/null 2>&1 && echo yes") == "yes\n"; }

// Names of the library's dynamic symbols: defined ones, or undefined ones.
std::set<std::string> DynamicSymbols(const std::string& library, bool defined, int* status) {
    const std::string out = hhatest::RunCommand(
        "nm -D " + std::string(defined ? "--defined-only" : "--undefined-only") + " '" + library + "'", status);
    std::set<std::string> names;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const std::size_t space = line.rfind(' ');
        names.insert(line.substr(space == std::string::npos ? 0 : space + 1));
    }
    return names;
}

bool IsCInterface(const std::string& library, const std::string& name) {
    if (library == "libhha.so") return name == "HHA_CompileHHP" || name == "HHA_CompileHHPKept";
    return name.rfind("dvo_", 0) == 0;
}

}  // namespace

TEST(SharedLibraries, OnlyTheCInterfaceLeavesThem) {
    if (!HaveNm()) GTEST_SKIP() << "nm is not installed (binutils)";
    for (const std::string library : {"libdvo.so", "libhha.so"}) {
        SCOPED_TRACE(library);
        const std::string path = std::string(QB_OUT_DIR) + "/" + library;
        int status = -1;
        const std::set<std::string> defined = DynamicSymbols(path, true, &status);
        ASSERT_EQ(0, status) << path;
        int entries = 0;
        for (const std::string& name : defined) {
            EXPECT_TRUE(IsCInterface(library, name)) << name << " leaves " << library;
            entries += IsCInterface(library, name);
        }
        EXPECT_GE(entries, library == "libhha.so" ? 2 : 10);
        // Nothing of the base library is left to be found in another library.
        for (const std::string& name : DynamicSymbols(path, false, &status))
            EXPECT_EQ(std::string::npos, name.find("_ZN2qb")) << library << " looks up " << name;
    }
}
