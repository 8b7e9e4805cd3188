// Windows: every path goes through the wide API; absolute paths get the
// "\\?\" prefix so that names beyond 260 characters work.
#include "support/os/Win32Util.h"
// After windows.h: it uses its types.
#include <malloc.h>
#include <shlobj.h>
#include <winternl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <random>

#include "support/Os.h"

namespace qb::os {

namespace win {

int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME: return ENOENT;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
        case ERROR_CANNOT_MAKE: return EACCES;
        case ERROR_DIRECTORY: return ENOTDIR;
        case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_NOT_SAME_DEVICE: return EXDEV;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_CANT_RESOLVE_FILENAME: return ELOOP;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ENOMEM;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA: return EPIPE;
        case ERROR_INVALID_HANDLE: return EBADF;
        default: return EINVAL;
    }
}

void SetErrno() { errno = ErrnoOf(::GetLastError()); }

// A drive letter, a UNC share or a root-relative name.
bool Absolute(const std::string& p) {
    if (p.size() >= 3 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':' && (p[2] == '\\' || p[2] == '/'))
        return true;
    return !p.empty() && (p[0] == '\\' || p[0] == '/');
}

std::wstring WidePath(const std::string& path) {
    std::wstring w = ToWide(path);
    for (wchar_t& c : w)
        if (c == L'/') c = L'\\';
    if (w.rfind(L"\\\\?\\", 0) == 0) return w;
    // The full path resolves "." and ".." first: the prefix turns that off.
    DWORD n = ::GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0) return w;
    std::wstring full(n, L'\0');
    n = ::GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
    full.resize(n);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::string Utf8Path(const std::wstring& wide) {
    std::wstring w = wide;
    if (w.rfind(L"\\\\?\\UNC\\", 0) == 0)
        w = L"\\\\" + w.substr(8);
    else if (w.rfind(L"\\\\?\\", 0) == 0)
        w = w.substr(4);
    return FromWide(w);
}

std::int64_t UnixSeconds(const FILETIME& ft) { return (UnixNs(ft)) / 1000000000; }

std::int64_t UnixNs(const FILETIME& ft) {
    const std::uint64_t ticks = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (static_cast<std::int64_t>(ticks) - 116444736000000000LL) * 100;
}

Handle* Of(Fd fd) { return fd >= 0 ? reinterpret_cast<Handle*>(fd) : nullptr; }

}  // namespace win

using namespace win;

namespace {

// Restores a handle's file position on the way out.
struct PositionKeeper {
    HANDLE h;
    LARGE_INTEGER at{};
    explicit PositionKeeper(HANDLE handle) : h(handle) {
        LARGE_INTEGER zero{};
        ::SetFilePointerEx(h, zero, &at, FILE_CURRENT);
    }
    ~PositionKeeper() { ::SetFilePointerEx(h, at, nullptr, FILE_BEGIN); }
};

std::wstring Join(Fd base, const std::string& name) {
    if (Absolute(name) || base == kCurrentDir || !Of(base)) return WidePath(name);
    // Through the full-path conversion again: the prefix would keep ".." literally.
    return WidePath(Utf8Path(Of(base)->path) + "\\" + name);
}

Kind KindOfAttributes(DWORD attrs) {
    if (attrs & FILE_ATTRIBUTE_REPARSE_POINT) return Kind::Link;
    if (attrs & FILE_ATTRIBUTE_DIRECTORY) return Kind::Folder;
    if (attrs & FILE_ATTRIBUTE_DEVICE) return Kind::Other;
    return Kind::File;
}

using NtQuery = LONG(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int);

NtQuery NtFunction(const char* name) {
    return reinterpret_cast<NtQuery>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name)));
}

// The serial number of the volume a full path lies on, asked once per drive
// or share through a handle on it: Wine answers every volume query through
// its mount manager, in another process. Below the output folder no mount
// point is followed, so a file there lies on its drive's volume.
std::uint64_t VolumeSerial(const std::wstring& path, HANDLE h) {
    std::wstring root = path;
    std::size_t at = root.rfind(L"\\\\?\\", 0) == 0 ? 4 : 0;
    if (root.compare(at, 4, L"UNC\\") == 0) {
        // \\?\UNC\server\share\: past the share's name.
        at = root.find(L'\\', at + 4);
        at = at == std::wstring::npos ? at : root.find(L'\\', at + 1);
    } else {
        at = root.find(L'\\', at);
    }
    if (at != std::wstring::npos) root.resize(at + 1);
    static std::mutex mutex;
    static std::map<std::wstring, std::uint64_t> serials;
    const std::lock_guard<std::mutex> lock(mutex);
    const auto known = serials.find(root);
    if (known != serials.end()) return known->second;
    // FILE_FS_VOLUME_INFORMATION, its label left out (a short buffer still gets the serial).
    struct {
        LARGE_INTEGER created;
        ULONG serial;
        ULONG labelLength;
        BOOLEAN objects;
        WCHAR label[64];
    } volume{};
    static const NtQuery query = NtFunction("NtQueryVolumeInformationFile");
    constexpr int kFileFsVolumeInformation = 1;
    IO_STATUS_BLOCK io{};
    const LONG status = query ? query(h, &io, &volume, sizeof volume, kFileFsVolumeInformation) : -1;
    // STATUS_BUFFER_OVERFLOW (a long label) still carries the serial.
    const bool answered = status >= 0 || static_cast<ULONG>(status) == 0x80000005UL;
    if (!answered) return 0;
    serials.emplace(root, volume.serial);
    return volume.serial;
}

// The file's index on its volume (the NTFS file reference), without the volume
// query that GetFileInformationByHandle and FileIdInfo make.
bool FileIndex(HANDLE h, std::uint64_t& index) {
    static const NtQuery query = NtFunction("NtQueryInformationFile");
    constexpr int kFileInternalInformation = 6;
    IO_STATUS_BLOCK io{};
    LARGE_INTEGER value{};
    if (!query || query(h, &io, &value, sizeof value, kFileInternalInformation) < 0) return false;
    index = static_cast<std::uint64_t>(value.QuadPart);
    return true;
}

// By handle, from the file's own records; path (full) names its volume.
bool FillInfo(HANDLE h, const std::wstring& path, FileInfo& info) {
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    if (!::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) ||
        !::GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard)) {
        // Pipes and consoles have no such information.
        if (::GetFileType(h) != FILE_TYPE_DISK) {
            info = FileInfo{};
            info.kind = Kind::Other;
            return true;
        }
        SetErrno();
        return false;
    }
    if (!FileIndex(h, info.inode)) {
        BY_HANDLE_FILE_INFORMATION bi;
        if (!::GetFileInformationByHandle(h, &bi)) {
            SetErrno();
            return false;
        }
        info.inode = (static_cast<std::uint64_t>(bi.nFileIndexHigh) << 32) | bi.nFileIndexLow;
    }
    info.device = VolumeSerial(path, h);
    info.kind = KindOfAttributes(basic.FileAttributes);
    info.size = static_cast<std::uint64_t>(standard.EndOfFile.QuadPart);
    info.links = standard.NumberOfLinks;
    FILETIME written;
    written.dwLowDateTime = basic.LastWriteTime.LowPart;
    written.dwHighDateTime = static_cast<DWORD>(basic.LastWriteTime.HighPart);
    info.mtime = UnixSeconds(written);
    info.ctimeNs = (basic.ChangeTime.QuadPart - 116444736000000000LL) * 100;
    info.mode = (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644;
    return true;
}

// Opens the entry itself (never what a link names) for its attributes.
HANDLE OpenForInfo(const std::wstring& path, bool follow) {
    return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

bool InfoOfPath(const std::wstring& path, FileInfo& info, bool follow) {
    HANDLE h = OpenForInfo(path, follow);
    if (h == INVALID_HANDLE_VALUE) {
        // A missing name needs no second look: under Wine each look at a name
        // that is not there reads its whole folder.
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) {
            errno = ErrnoOf(err);
            return false;
        }
        // Files the system keeps open exclusively still show their attributes.
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
            SetErrno();
            return false;
        }
        info = FileInfo{};
        info.kind = KindOfAttributes(data.dwFileAttributes);
        info.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        info.mtime = UnixSeconds(data.ftLastWriteTime);
        info.ctimeNs = UnixNs(data.ftLastWriteTime);
        return true;
    }
    const bool ok = FillInfo(h, path, info);
    ::CloseHandle(h);
    return ok;
}

Fd OpenWide(const std::wstring& path, unsigned flags) {
    DWORD access = 0;
    if (flags & kRead) access |= GENERIC_READ;
    if (flags & kWrite) access |= GENERIC_WRITE;
    if (!(flags & (kRead | kWrite))) access = GENERIC_READ;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (flags & kDirectory) {
        access = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
        // Held open, a folder cannot be renamed away and replaced by a link.
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    }
    DWORD disposition = OPEN_EXISTING;
    if ((flags & kCreate) && (flags & kExclusive))
        disposition = CREATE_NEW;
    else if ((flags & kCreate) && (flags & kTruncate))
        disposition = CREATE_ALWAYS;
    else if (flags & kCreate)
        disposition = OPEN_ALWAYS;
    else if (flags & kTruncate)
        disposition = TRUNCATE_EXISTING;
    DWORD attrs = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS;
    if (flags & kNoFollow) attrs |= FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE h = ::CreateFileW(path.c_str(), access, share, nullptr, disposition, attrs, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        // A folder at the name of a file to write.
        if (err == ERROR_ACCESS_DENIED && !(flags & kDirectory)) {
            const DWORD a = ::GetFileAttributesW(path.c_str());
            if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT)) {
                errno = EISDIR;
                return kNoFd;
            }
        }
        errno = ErrnoOf(err);
        return kNoFd;
    }
    FILE_BASIC_INFO bi{};
    const bool known = ::GetFileInformationByHandleEx(h, FileBasicInfo, &bi, sizeof bi) != 0;
    int fail = 0;
    if (known && (flags & kNoFollow) && (bi.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        fail = ELOOP;
    else if (known && (flags & kDirectory) && !(bi.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        fail = ENOTDIR;
    else if (known && !(flags & kDirectory) && (flags & kWrite) && (bi.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        fail = EISDIR;
    if (fail) {
        ::CloseHandle(h);
        errno = fail;
        return kNoFd;
    }
    auto* handle = new Handle{h, path, known && (bi.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
    return reinterpret_cast<Fd>(handle);
}

bool RemoveWide(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
        SetErrno();
        return false;
    }
    if (a & FILE_ATTRIBUTE_DIRECTORY) {
        // A junction or folder link goes as itself; a real folder is not a file.
        if (!(a & FILE_ATTRIBUTE_REPARSE_POINT)) {
            errno = EISDIR;
            return false;
        }
        if (::RemoveDirectoryW(path.c_str())) return true;
        SetErrno();
        return false;
    }
    if (::DeleteFileW(path.c_str())) return true;
    // Unlike unlink, a read-only file resists deletion.
    if (::GetLastError() == ERROR_ACCESS_DENIED && (a & FILE_ATTRIBUTE_READONLY) &&
        ::SetFileAttributesW(path.c_str(), a & ~FILE_ATTRIBUTE_READONLY) && ::DeleteFileW(path.c_str()))
        return true;
    SetErrno();
    return false;
}

bool List(const std::wstring& folder, std::vector<Entry>& entries) {
    WIN32_FIND_DATAW data;
    // A prefixed path is taken literally: a doubled separator would be a bad name.
    const std::wstring pattern = folder + (!folder.empty() && folder.back() == L'\\' ? L"*" : L"\\*");
    HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        SetErrno();
        return false;
    }
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back({FromWide(name), KindOfAttributes(data.dwFileAttributes)});
    } while (::FindNextFileW(find, &data));
    const DWORD err = ::GetLastError();
    ::FindClose(find);
    if (err != ERROR_NO_MORE_FILES) {
        errno = ErrnoOf(err);
        return false;
    }
    return true;
}

std::string RandomSuffix() {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 gen(std::random_device{}() ^ ::GetCurrentProcessId() ^ ::GetTickCount());
    std::string s;
    for (int i = 0; i < 6; ++i) s += kChars[gen() % 36];
    return s;
}

}  // namespace

std::string ErrorText(int err) {
    // The C runtime knows only the classic codes.
    switch (err) {
        case ELOOP: return "Too many levels of symbolic links";
        case ENOTEMPTY: return "Directory not empty";
        case ENAMETOOLONG: return "File name too long";
        default: return std::strerror(err);
    }
}

bool IsAbsolutePath(const std::string& path) { return Absolute(path); }

namespace {

std::string FinalPath(HANDLE h) {
    std::wstring out(MAX_PATH, L'\0');
    DWORD n = ::GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()), FILE_NAME_NORMALIZED);
    if (n >= out.size()) {
        out.resize(n + 1);
        n = ::GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()), FILE_NAME_NORMALIZED);
    }
    if (n == 0) return "";
    out.resize(n);
    return Utf8Path(out);
}

}  // namespace

std::string RealPath(const std::string& path) {
    HANDLE h = ::CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "";
    const std::string out = FinalPath(h);
    ::CloseHandle(h);
    return out;
}

std::string RealPathOf(Fd fd) {
    Handle* h = Of(fd);
    return h ? FinalPath(h->h) : std::string();
}

std::string CurrentDir() {
    const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return "";
    std::wstring w(n, L'\0');
    w.resize(::GetCurrentDirectoryW(n, w.data()));
    return Utf8Path(w);
}

namespace {

std::string KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string out;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path)) && path) out = FromWide(path);
    ::CoTaskMemFree(path);
    return out;
}

}  // namespace

std::string UserConfigHome() {
    const std::string dir = KnownFolder(FOLDERID_RoamingAppData);
    return dir.empty() ? TempDirectory() : dir;
}

std::string DocumentsFolder() {
    const std::string dir = KnownFolder(FOLDERID_Documents);
    return dir.empty() ? UserConfigHome() : dir;
}

Fd OpenAt(Fd base, const std::string& name, unsigned flags, unsigned) { return OpenWide(Join(base, name), flags); }

Fd Open(const std::string& path, unsigned flags, unsigned) { return OpenWide(WidePath(path), flags); }

void Close(Fd fd) {
    if (Handle* h = Of(fd)) {
        ::CloseHandle(h->h);
        if (h->removeOnClose) ::DeleteFileW(h->path.c_str());
        delete h;
    }
}

long long Read(Fd fd, void* buffer, std::size_t size) {
    Handle* h = Of(fd);
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!h || !::ReadFile(h->h, buffer, want, &got, nullptr)) {
        if (h && ::GetLastError() == ERROR_BROKEN_PIPE) return 0;
        SetErrno();
        return -1;
    }
    return got;
}

long long Write(Fd fd, const void* buffer, std::size_t size) {
    Handle* h = Of(fd);
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!h || !::WriteFile(h->h, buffer, want, &put, nullptr)) {
        SetErrno();
        return -1;
    }
    return put;
}

long long ReadAt(Fd fd, void* buffer, std::size_t size, std::uint64_t offset) {
    Handle* h = Of(fd);
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!h) {
        errno = EBADF;
        return -1;
    }
    // An offset read moves a synchronous handle's position: put it back, as pread leaves it.
    const PositionKeeper keep(h->h);
    if (!::ReadFile(h->h, buffer, want, &got, &ov)) {
        if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
        SetErrno();
        return -1;
    }
    return got;
}

long long WriteAt(Fd fd, const void* buffer, std::size_t size, std::uint64_t offset) {
    Handle* h = Of(fd);
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!h) {
        errno = EBADF;
        return -1;
    }
    const PositionKeeper keep(h->h);
    if (!::WriteFile(h->h, buffer, want, &put, &ov)) {
        SetErrno();
        return -1;
    }
    return put;
}

bool WriteAll(Fd fd, const void* buffer, std::size_t size) {
    const char* p = static_cast<const char*>(buffer);
    while (size > 0) {
        const long long n = Write(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::FILE* OpenStdio(const std::string& path, const char* mode) {
    return ::_wfopen(WidePath(path).c_str(), ToWide(mode).c_str());
}

bool Truncate(Fd fd, std::uint64_t size) {
    Handle* h = Of(fd);
    FILE_END_OF_FILE_INFO eof{};
    eof.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (h && ::SetFileInformationByHandle(h->h, FileEndOfFileInfo, &eof, sizeof eof)) {
        LARGE_INTEGER at{};
        ::SetFilePointerEx(h->h, at, nullptr, FILE_BEGIN);
        return true;
    }
    SetErrno();
    return false;
}

bool Sync(Fd fd) {
    Handle* h = Of(fd);
    if (h && ::FlushFileBuffers(h->h)) return true;
    SetErrno();
    return false;
}

bool SetMode(Fd fd, unsigned mode) {
    Handle* h = Of(fd);
    if (!h) return false;
    FILE_BASIC_INFO basic;
    if (!::GetFileInformationByHandleEx(h->h, FileBasicInfo, &basic, sizeof basic)) return false;
    // Only the write bit has a counterpart: the read-only attribute.
    const bool readOnly = (mode & 0200) == 0;
    const DWORD attrs = readOnly ? (basic.FileAttributes | FILE_ATTRIBUTE_READONLY)
                                 : (basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY);
    if (attrs == basic.FileAttributes) return true;
    basic.FileAttributes = attrs;
    return ::SetFileInformationByHandle(h->h, FileBasicInfo, &basic, sizeof basic) != 0;
}

bool Info(Fd fd, FileInfo& info) {
    Handle* h = Of(fd);
    if (!h) {
        errno = EBADF;
        return false;
    }
    return FillInfo(h->h, h->path, info);
}

bool InfoAt(Fd base, const std::string& name, FileInfo& info, bool follow) {
    return InfoOfPath(Join(base, name), info, follow);
}

bool PathInfo(const std::string& path, FileInfo& info, bool follow) {
    return !path.empty() && InfoOfPath(WidePath(path), info, follow);
}

bool PathKind(const std::string& path, Kind& kind, bool follow) {
    if (path.empty()) return false;
    const std::wstring wide = WidePath(path);
    // The attributes come without a handle: under Wine, without its server.
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        SetErrno();
        return false;
    }
    if (follow && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        FileInfo info;
        if (!InfoOfPath(wide, info, true)) return false;
        kind = info.kind;
        return true;
    }
    kind = KindOfAttributes(attributes);
    return true;
}

bool RemoveAt(Fd base, const std::string& name) { return RemoveWide(Join(base, name)); }

bool MakeFolderAt(Fd base, const std::string& name) {
    if (::CreateDirectoryW(Join(base, name).c_str(), nullptr)) return true;
    SetErrno();
    return false;
}

Fd MakeAndOpenFolderAt(Fd base, const std::string& name) {
    // One call makes and opens: CreateDirectory's handle is closed again, and
    // under Wine every open is a request to its server.
    using NtCreate = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, LARGE_INTEGER*, ULONG,
                                  ULONG, ULONG, ULONG, void*, ULONG);
    using ToDosError = ULONG(NTAPI*)(LONG);
    static const auto create = reinterpret_cast<NtCreate>(reinterpret_cast<void*>(NtFunction("NtCreateFile")));
    static const auto dosError = reinterpret_cast<ToDosError>(reinterpret_cast<void*>(NtFunction("RtlNtStatusToDosError")));
    std::wstring full = Join(base, name);
    if (!create || !dosError || full.rfind(L"\\\\?\\", 0) != 0 || full.size() > 32767) {
        if (!MakeFolderAt(base, name)) return kNoFd;
        return OpenAt(base, name, kRead | kDirectory | kNoFollow);
    }
    // The system's own spelling of a full path: "\??\" for "\\?\".
    std::wstring nt = full;
    nt[1] = L'?';
    UNICODE_STRING object;
    object.Buffer = nt.data();
    object.Length = static_cast<USHORT>(nt.size() * sizeof(wchar_t));
    object.MaximumLength = object.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &object, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE h = nullptr;
    constexpr ULONG kCreate = 2;  // FILE_CREATE
    constexpr ULONG kOptions = 0x1 | 0x20 | 0x4000 | 0x200000;  // folder, synchronous, backup intent, the link itself
    const LONG status = create(&h, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &io, nullptr,
                               FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, kCreate, kOptions, nullptr, 0);
    if (status < 0) {
        errno = ErrnoOf(dosError(status));
        return kNoFd;
    }
    return reinterpret_cast<Fd>(new Handle{h, std::move(full), true});
}

// A folder is opened without FILE_SHARE_DELETE: while held, nobody moves it.
bool OpenFoldersStayPut() { return true; }

bool RemoveFolder(const std::string& path) {
    if (::RemoveDirectoryW(WidePath(path).c_str())) return true;
    SetErrno();
    return false;
}

bool RemoveFile(const std::string& path) { return RemoveWide(WidePath(path)); }

bool AtomicReplace(const std::string& from, const std::string& to) {
    // rename() does not replace an existing file here.
    if (::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    SetErrno();
    return false;
}

bool HardLink(const std::string& from, const std::string& to) {
    if (::CreateHardLinkW(WidePath(to).c_str(), WidePath(from).c_str(), nullptr)) return true;
    SetErrno();
    return false;
}

std::string OtherKindName(const std::string&) { return "a device"; }

bool HardLinkAt(const std::string& from, Fd base, const std::string& name) {
    if (base == kCurrentDir || IsAbsolutePath(name)) return HardLink(from, name);
    const std::string folder = RealPathOf(base);
    if (folder.empty()) {
        errno = EBADF;
        return false;
    }
    return HardLink(from, folder + "/" + name);
}

bool ListFolder(const std::string& path, std::vector<Entry>& entries) { return List(WidePath(path), entries); }

bool ListFolderAt(Fd folder, std::vector<Entry>& entries) {
    Handle* h = Of(folder);
    return List(h ? h->path : WidePath("."), entries);
}

int TryLock(Fd fd) {
    Handle* h = Of(fd);
    if (!h) return -1;
    // A folder held open without sharing deletion cannot be removed by
    // another process: holding it is the lock.
    if (h->folder) return 1;
    OVERLAPPED ov{};
    if (::LockFileEx(h->h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &ov)) return 1;
    return ::GetLastError() == ERROR_LOCK_VIOLATION ? 0 : -1;
}

std::string TempDirectory() {
    wchar_t buf[MAX_PATH + 2];
    const DWORD n = ::GetTempPathW(MAX_PATH + 2, buf);
    std::string dir = n ? FromWide(std::wstring(buf, n)) : std::string();
    while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    if (dir.empty()) return "C:\\Windows\\Temp";
    return dir;
}

std::string MakeTempFolder(const std::string& prefix) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = prefix + RandomSuffix();
        if (::CreateDirectoryW(WidePath(path).c_str(), nullptr)) return path;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    SetErrno();
    return "";
}

Fd MakeTempFile(const std::string& prefix, std::string& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = prefix + RandomSuffix();
        const Fd fd = OpenWide(WidePath(path), kRead | kWrite | kCreate | kExclusive | kNoFollow);
        if (fd != kNoFd || errno != EEXIST) {
            if (fd == kNoFd) path.clear();
            return fd;
        }
    }
    path.clear();
    return kNoFd;
}

Fd ScratchFile(const std::string& folder) {
    // The storage library opens it by name without sharing deletion, so it
    // cannot be a delete-on-close file: it is removed as it is closed.
    std::string path;
    const Fd fd = MakeTempFile(folder + "\\quillbook-", path);
    if (fd != kNoFd) {
        ::SetFileAttributesW(Of(fd)->path.c_str(), FILE_ATTRIBUTE_TEMPORARY);
        Of(fd)->removeOnClose = true;
    }
    return fd;
}

std::string ScratchFileName(Fd fd) {
    Handle* h = Of(fd);
    return h ? Utf8Path(h->path) : std::string();
}

std::string ModulePath(const void* address) {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &module))
        return "";
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(module, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return "";
        if (n < buf.size()) {
            buf.resize(n);
            return Utf8Path(buf);
        }
        buf.resize(buf.size() * 2);
    }
}

namespace {
thread_local DWORD tLibraryError = 0;
}

void* OpenLibrary(const std::string& path) {
    // Only the library's own folder, not the current one, supplies its dependencies.
    HMODULE m = ::LoadLibraryExW(WidePath(path).c_str(), nullptr,
                                 Absolute(path) ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
    if (!m) tLibraryError = ::GetLastError();
    return reinterpret_cast<void*>(m);
}

void* LibrarySymbol(void* library, const char* name) {
    if (!library) return nullptr;
    FARPROC p = ::GetProcAddress(static_cast<HMODULE>(library), name);
    if (!p) tLibraryError = ::GetLastError();
    return reinterpret_cast<void*>(p);
}

void CloseLibrary(void* library) {
    if (library) ::FreeLibrary(static_cast<HMODULE>(library));
}

std::string LibraryError() { return SystemMessage(tLibraryError); }

std::string LibraryFileName(const std::string& base) { return base + ".dll"; }

std::string win::SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string out = n && text ? FromWide(std::wstring(text, n)) : "error " + std::to_string(error);
    if (text) ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return out;
}

bool IsExecutable(const std::string& path) {
    FileInfo info;
    return PathInfo(path, info, true) && info.kind == Kind::File;
}

char PathListSeparator() { return ';'; }

bool StdoutIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

int ProcessId() { return static_cast<int>(::GetCurrentProcessId()); }

int AnsiCodePage() { return static_cast<int>(::GetACP()); }

void ReturnFreedMemory() {
    _heapmin();
    ::HeapCompact(::GetProcessHeap(), 0);
}

void PreferSmallBlockHeap() {
    // The low-fragmentation heap serves small blocks without the heap's lock.
    // Windows turns it on by itself as a heap gets busy, Wine only when asked;
    // a heap that cannot have it stays as it is.
    ULONG lowFragmentation = 2;
    for (HANDLE heap : {reinterpret_cast<HANDLE>(_get_heap_handle()), ::GetProcessHeap()})
        ::HeapSetInformation(heap, HeapCompatibilityInformation, &lowFragmentation, sizeof lowFragmentation);
}

}  // namespace qb::os
