#pragma once
// Shared by the Windows implementation files only; includes windows.h.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <string>

#include "support/Os.h"

namespace qb::os::win {

// What an Fd points to: the handle and the full wide path it was opened by
// (folders are bases for relative names).
struct Handle {
    HANDLE h;
    std::wstring path;
    bool folder;
    bool removeOnClose = false;  // a scratch file that others open by name
};

Handle* Of(Fd fd);
int ErrnoOf(DWORD error);
// errno from GetLastError().
void SetErrno();
bool Absolute(const std::string& path);
// Full, "\\?\"-prefixed wide path ("/" taken as "\").
std::wstring WidePath(const std::string& path);
// UTF-8 path without the "\\?\" prefix.
std::string Utf8Path(const std::wstring& wide);
std::int64_t UnixNs(const FILETIME& ft);
std::int64_t UnixSeconds(const FILETIME& ft);
std::string SystemMessage(DWORD error);

}  // namespace qb::os::win
