/* The page-fetch library's exports (libHovrel.so), shared by the library and
 * its callers. All strings are NUL-terminated Shift_JIS; no memory crosses the
 * boundary in either direction, and no call is re-entrant (one at a time).
 *
 *   Hovrel(url, markup, reload, mode, dst, size)
 *       mode 'D'/'d': save the body to the file named in dst (a path of at most
 *       size + 1 bytes); any other mode: text mode, the page converted to
 *       Shift_JIS with CR LF line ends, at most size page bytes read, the text
 *       in dst (dst must hold size + 2 bytes; at most size + 1 are written).
 *       markup 'S'/'s' removes all markup (text mode); reload 'F'/'f' asks
 *       for a copy that no cache answers. Returns 0 only when the output file
 *       could not be created or written, else 1 (failed downloads have been
 *       reported through the host's message callback and leave dst empty),
 *       or HOVREL_TEXT_FULL in text mode when size page bytes were read: the
 *       page may go on beyond them, and a caller that wants all of it calls
 *       again with a larger size.
 *   htmTagadjust(url, dst, size)
 *       fetches url, follows a frameset's no-frames link (written back into
 *       url, which must hold HOVREL_URL_CAPACITY bytes), strips layout markup
 *       and copies at most size bytes (with the NUL) into dst. 1 when a page
 *       was read, 0 when nothing could be read (dst and url untouched).
 *   loadFile(url, path, progress, transferId)
 *       saves the body of url to path, calling progress (may be NULL) after
 *       the first read and after every further non-empty read of at most
 *       32768 bytes with the text "<transferId> <total bytes so far>".
 *   HovrelSetHost(message, password, user)
 *       registers the host's message box and password prompt. Without a host,
 *       messages go to standard error (as UTF-8) and the prompt answers cancel.
 */
#ifndef MIREVA_HOVREL_API_H
#define MIREVA_HOVREL_API_H

#include "platform/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Capacity callers give the url buffer of htmTagadjust (the no-frames address
 * written back is never longer than HOVREL_URL_CAPACITY - 1 bytes). */
#define HOVREL_URL_CAPACITY 260

/* Hovrel's answer in text mode when the page filled size bytes. */
#define HOVREL_TEXT_FULL 2

/* A warning message (Shift_JIS) to show modally. */
typedef void(MIREVA_STDCALL* HovrelMessageFn)(void* user, const char* text);
/* The password prompt for `site` (host name) and `realm`: fills the user name
 * and password (NUL-terminated, truncated to the capacities) and returns
 * non-zero to retry the request, or returns 0 to cancel. */
typedef int(MIREVA_STDCALL* HovrelPasswordFn)(void* user, const char* site, const char* realm,
                                              char* userName, unsigned userCapacity, char* password,
                                              unsigned passwordCapacity);
/* One progress report of a save: `first` is 1 for the report after the first
 * read and 0 after later ones; `text` is "<transferId> <total>", `length` its
 * length without the NUL. */
typedef void(MIREVA_STDCALL* HovrelProgressFn)(void* user, int first, const char* text,
                                               unsigned length);

/* Where a save's progress reports go: the callback and the pointer it is
 * given back. */
typedef struct HovrelProgressTarget {
  HovrelProgressFn report;
  void* user;
} HovrelProgressTarget;

MIREVA_EXPORT int MIREVA_STDCALL Hovrel(const char* url, int markupOption, int reloadOption,
                                        char mode, char* dst, unsigned size);
MIREVA_EXPORT int MIREVA_STDCALL htmTagadjust(char* url, char* dst, unsigned size);
MIREVA_EXPORT int MIREVA_STDCALL loadFile(const char* url, const char* path,
                                          const HovrelProgressTarget* progress,
                                          unsigned short transferId);
MIREVA_EXPORT void MIREVA_STDCALL HovrelSetHost(HovrelMessageFn message, HovrelPasswordFn password,
                                                void* user);

typedef int(MIREVA_STDCALL* HovrelFn)(const char*, int, int, char, char*, unsigned);
typedef int(MIREVA_STDCALL* HtmTagadjustFn)(char*, char*, unsigned);
typedef int(MIREVA_STDCALL* LoadFileFn)(const char*, const char*, const HovrelProgressTarget*,
                                        unsigned short);
typedef void(MIREVA_STDCALL* HovrelSetHostFn)(HovrelMessageFn, HovrelPasswordFn, void*);

#ifdef __cplusplus
}
#endif

#endif
