#ifndef QUILLBOOK_EXPORTS_H
#define QUILLBOOK_EXPORTS_H
/* The host's add-on protocol: the four functions Quillbook.so exports.
   Texts are zero-terminated UTF-8. Buffers the host passes must hold
   QB_HOST_BUFFER_SIZE bytes: the plug-in writes at most that many bytes
   including the terminating zero, cutting a longer text at a UTF-8
   character boundary. No error escapes from any of them. */
#ifdef __cplusplus
extern "C" {
#endif

#define QB_HOST_BUFFER_SIZE 4096

/* The host calls its add-ons with the system's convention for library
   functions; the build defines both (CMakeLists.txt). */
#if !defined(QB_STDCALL) || !defined(QB_EXPORT)
#error "QB_STDCALL and QB_EXPORT come from the build"
#endif
#define QB_HOST_CALL QB_STDCALL
#define QB_HOST_EXPORT QB_EXPORT

/* Handshake: a + b with 32-bit wrap-around; runs no start-up. */
QB_HOST_EXPORT int QB_HOST_CALL _kvn_addon_checkdll(int a, int b);
/* Writes the plug-in's description (message 19) into buffer; returns 0. */
QB_HOST_EXPORT int QB_HOST_CALL _kvn_addon_description(char* buffer, int unused);
/* Writes the menu description into buffer; returns 1. */
QB_HOST_EXPORT int QB_HOST_CALL _kvn_addon_queryinterface(char* buffer, int unused);
/* The menu command: opens the wizard over the host's key=value lines; returns 0. */
QB_HOST_EXPORT int QB_HOST_CALL _kvn_addon_ovel2html(const char* hostValues, int unused);

typedef int(QB_HOST_CALL* kvn_checkdll_proc)(int, int);
typedef int(QB_HOST_CALL* kvn_buffer_proc)(char*, int);
typedef int(QB_HOST_CALL* kvn_command_proc)(const char*, int);

#ifdef __cplusplus
}
#endif
#endif
