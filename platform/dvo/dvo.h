#ifndef QUILLBOOK_DVO_H
#define QUILLBOOK_DVO_H
/* Host storage library: read access to an outliner database stored in one
   SQLite file. Storage paths use "\" and items end with "\"; the database root
   is "\Organizer\data\". Every text, paths and file names included, is in the
   system's ANSI code page (GetACP() on Windows, UTF-8 elsewhere), as the host's
   own library hands them out. A name or caption that code page cannot hold is
   never handed out altered: the call fails and dvo_db_last_error names the
   item. Returned texts are owned by the library and stay valid until the next
   call on the same thread. */
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int (*dvo_enum_proc)(unsigned char isFolder, const char* name, const char* caption, int value, void* userData);

/* Opens a database file; returns a handle > 0, or 0 when it cannot be opened. */
int dvo_open(const char* fileName);
/* The same with the name in the system's wide characters (UTF-16 on Windows),
   for names the ANSI code page cannot hold. Ours only. */
int dvo_open_w(const wchar_t* fileName);
void dvo_close(int db);
/* Text of the last failure of dvo_open/dvo_import on this thread. */
const char* dvo_last_error(void);
/* Why the most recent call on the database failed to read it (SQLite's own
   reason); "" when that call met no error. A path that names nothing is not an
   error. Valid until the next call on this thread. */
const char* dvo_db_last_error(int db);

/* Caption of the item; "" when it has none or the path names nothing. */
const char* dvo_get_hint(int db, const char* path);
/* Number of sub-items (depth -1: direct sub-items); 0 when the path names nothing. */
int dvo_get_foldercount(int db, const char* path, int depth);
/* Opaque folder reference, or null when the path names nothing; owned by the
   database. An item has the same reference on every call, so it identifies the item. */
void* dvo_get_folder(int db, const char* path, int flags);
/* Sub-items at every depth below the folder (recursive != 0) or direct ones;
   0 with dvo_db_last_error set when the item is stored below itself. */
int dvo_folder_subfoldercount(void* folder, int recursive);
/* Calls proc once per file (byte order of names) then per sub-item (tree order).
   Stops early when proc returns 0. Returns the number of entries reported.
   value is a file's size (at most INT_MAX) and 0 for a sub-item. */
int dvo_enum_entries(int db, const char* path, dvo_enum_proc proc, int flags, void* userData);
/* 1 when an item or file is stored at the path. */
int dvo_path_exists(int db, const char* path);
/* Writes the stored file's bytes to destFile; 1 on success. */
int dvo_export_file(int db, const char* path, const char* destFile);

/* Writes the stored file's bytes to the open file fd (the program's own file
   handle, as its operating-system layer gives it), from its current offset;
   1 on success. Ours only: the caller looks it up at run time. */
int dvo_export_file_fd(int db, const char* path, intptr_t fd);

/* "" when every item is linked to the root by its parents; else how many are
   not (a parent loop or a missing parent) and which, as text. Ours only. */
const char* dvo_unreachable_items(int db);

/* Copies the stored file's first bytes (at most bufferSize) into buffer and
   returns the file's whole size; -1 when no file is stored there. */
long long dvo_read_file(int db, const char* path, void* buffer, long long bufferSize);

/* Size in bytes of the stored file at the path; -1 when no file is stored there. */
long long dvo_get_filesize(int db, const char* path);

/* Builds a database file from a database folder tree; 1 on success,
   0 with dvo_last_error() set otherwise. An existing dbFile is replaced. */
int dvo_import(const char* srcFolder, const char* dbFile);
/* The same with wide names. Ours only. */
int dvo_import_w(const wchar_t* srcFolder, const wchar_t* dbFile);

#ifdef __cplusplus
}
#endif
#endif
