// Command-line front end: runs the engine without a window. Windows hands
// the arguments over as UTF-16; everything inside takes UTF-8.
#include <string>
#include <vector>

#include "quillbook/Commands.h"
#include "support/Os.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.push_back(qb::os::FromWide(argv[i]));
    std::vector<char*> pointers;
    for (auto& a : args) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    return qbcli::Main(argc, pointers.data());
}
