#pragma once
// Three independent readers of a compiled help file, for round-trip checks.
#include <map>
#include <string>

namespace hhatest {

// chmlib: every enumerated file (name -> bytes), each also resolved by name;
// a name enumerated twice is reported in *duplicates.
std::map<std::string, std::string> ReadWithChmlib(const std::string& chm, std::string* duplicates = nullptr);
// chmlib look-up of one name; false when it does not resolve.
bool ChmlibLookup(const std::string& chm, const std::string& name, std::string& bytes);
// libmspack's CHM decompressor: user files and system files by name.
std::map<std::string, std::string> ReadWithMspack(const std::string& chm);
// `7z x` into folder; stored names ("/a/b.html") -> bytes of the extracted files.
std::map<std::string, std::string> ReadWith7z(const std::string& chm, const std::string& folder);

}  // namespace hhatest
