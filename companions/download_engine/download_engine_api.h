/* The download engine's exports, shared by the engine library (libDownLoad.so)
 * and its callers. All strings are NUL-terminated Shift_JIS. Results of every
 * entry but MakeDownloadList are ignored by the callers.
 *   ALoad(page, ext)          every linked or embedded file of one extension
 *   DLoad(page, kind)         one of the nine kinds "1".."9" of the link menus
 *   ListLoad(list, coll)      the files of "Download.lst" into DownLoad/<coll>/
 *   Temporary(dir, pat, mode) sort cache files by type; mode "1" moves
 *   MakePatrolList(kind, page), MakeDownloadList(kind): lists for the collectors
 *   DlSetHost(...)            the host's progress and message callbacks
 */
#ifndef MIREVA_DOWNLOAD_ENGINE_API_H
#define MIREVA_DOWNLOAD_ENGINE_API_H

#include "platform/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Progress: a status text, bytes done and total (-1 when unknown). Returns
 * non-zero when the user asked to cancel. Message: a text for a message box. */
typedef int(MIREVA_STDCALL* DlProgressFn)(void* user, const char* text, long long done,
                                          long long total);
typedef void(MIREVA_STDCALL* DlMessageFn)(void* user, const char* text);

MIREVA_EXPORT void MIREVA_STDCALL ALoad(const char* page, const char* extension);
MIREVA_EXPORT void MIREVA_STDCALL DLoad(const char* page, const char* kind);
MIREVA_EXPORT void MIREVA_STDCALL ListLoad(const char* listFile, const char* collection);
MIREVA_EXPORT void MIREVA_STDCALL Temporary(const char* folder, const char* pattern,
                                            const char* mode);
MIREVA_EXPORT void MIREVA_STDCALL MakePatrolList(const char* kind, const char* page);
MIREVA_EXPORT int MIREVA_STDCALL MakeDownloadList(const char* kind);
MIREVA_EXPORT void MIREVA_STDCALL DlSetHost(DlProgressFn progress, DlMessageFn message,
                                            void* user);

typedef void(MIREVA_STDCALL* ALoadFn)(const char*, const char*);
typedef void(MIREVA_STDCALL* DLoadFn)(const char*, const char*);
typedef void(MIREVA_STDCALL* ListLoadFn)(const char*, const char*);
typedef void(MIREVA_STDCALL* TemporaryFn)(const char*, const char*, const char*);
typedef void(MIREVA_STDCALL* MakePatrolListFn)(const char*, const char*);
typedef int(MIREVA_STDCALL* MakeDownloadListFn)(const char*);
typedef void(MIREVA_STDCALL* DlSetHostFn)(DlProgressFn, DlMessageFn, void*);

#ifdef __cplusplus
}
#endif

#endif
