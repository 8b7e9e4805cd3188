#pragma once
// Help compiler library: compiles an HTML Help project (.hhp) into a .chm.

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// The system's convention for library functions, the same in the library and
// in every caller; the build defines both (CMakeLists.txt).
#if !defined(QB_STDCALL) || !defined(QB_EXPORT)
#error "QB_STDCALL and QB_EXPORT come from the build"
#endif
#define HHA_CALL QB_STDCALL
#define HHA_EXPORT QB_EXPORT

// Receives one zero-terminated line of compiler output.
typedef void (*hha_log_proc)(const char* text);
// Polled while compiling; returning 0 asks the compiler to stop.
typedef int (*hha_continue_proc)(long arg);

// Compiles projectFile (relative to the current folder) into the file named by
// its "Compiled file=" line; nonzero only when that file was written.
// Backend: the built-in compiler, or chmcmd when QB_HHA_BACKEND=chmcmd.
HHA_EXPORT int HHA_CALL HHA_CompileHHP(const char* projectFile, hha_log_proc log, hha_continue_proc cont,
                                       int instance);
typedef int(HHA_CALL* hha_compile_proc)(const char* projectFile, hha_log_proc log, hha_continue_proc cont,
                                        int instance);

// Points bytes and size at a file the caller keeps in memory at name (its
// path below the project's folder, "/" between folders); 0 when none.
typedef int (*hha_kept_proc)(void* context, const char* name, const char** bytes, size_t* size);
// HHA_CompileHHP, reading the files kept names from the caller's memory
// before the disk; -1, having done nothing, when this backend cannot.
HHA_EXPORT int HHA_CALL HHA_CompileHHPKept(const char* projectFile, hha_log_proc log, hha_continue_proc cont,
                                           int instance, hha_kept_proc kept, void* context);
typedef int(HHA_CALL* hha_compile_kept_proc)(const char* projectFile, hha_log_proc log, hha_continue_proc cont,
                                             int instance, hha_kept_proc kept, void* context);

#ifdef __cplusplus
}
#endif
