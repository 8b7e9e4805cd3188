// The storage library's C interface for callers that hold UTF-8: its texts are
// in the ANSI code page, its wide names in the system's wide characters.
#pragma once
#include <string>

#include "dvo/dvo.h"
#include "support/Os.h"

namespace qb::dvo {

inline std::string FromLibrary(const char* text) { return text ? os::FromAnsi(text) : std::string(); }
inline std::string ToLibrary(const std::string& utf8) { return os::ToAnsi(utf8); }

// dvo_open and dvo_import with names of any script.
inline int OpenDatabase(const std::string& fileName) { return dvo_open_w(os::ToWide(fileName).c_str()); }
inline bool ImportDatabase(const std::string& srcFolder, const std::string& dbFile) {
    return dvo_import_w(os::ToWide(srcFolder).c_str(), os::ToWide(dbFile).c_str()) == 1;
}
inline std::string LastError() { return FromLibrary(dvo_last_error()); }
inline std::string DbLastError(int db) { return FromLibrary(dvo_db_last_error(db)); }
inline std::string Hint(int db, const std::string& path) {
    return FromLibrary(dvo_get_hint(db, ToLibrary(path).c_str()));
}

}  // namespace qb::dvo
