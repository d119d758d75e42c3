/* The download engine's exports, shared by the engine library (libDownLoad.so)
 * and its callers. All strings are NUL-terminated Shift_JIS. What a call did
 * reaches the caller as values through the result host (DlSetResultHost): one
 * report per file and one per call. The progress texts are for the eye only.
 *   ALoad(page, ext)          every linked or embedded file of one extension
 *   DLoad(page, kind)         one of the nine kinds "1".."9" of the link menus
 *   ListLoad(list, coll)      the files of "Download.lst" into DownLoad/<coll>/
 *   Temporary(dir, pat, mode) sort cache files by type; mode "1" moves
 *   MakePatrolList(kind, page), MakeDownloadList(kind): lists for the collectors
 *   DlSetHost(...)            the host's progress and message callbacks
 *   DlSetResultHost(...)      the host's result callbacks (the program's own)
 *   DlLoadSelection(page, folder, items, existing)  the files the user chose
 *                             (the program's own)
 *   DlSetWaitHost(...)        the host's callback for hosts waited for (optional)
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

/* What became of one file a call set out to fetch. */
enum DlFileOutcome {
  DL_FILE_SAVED = 0,   /* saved whole as savedPath */
  DL_FILE_FAILED = 1,  /* not saved; reason (and status when the server answered) say why */
  DL_FILE_KNOWN = 2,   /* not fetched: the download history has the address already */
  DL_FILE_EXISTS = 3   /* not fetched: a file of its name is in the folder already */
};

typedef struct DlFileResult {
  int outcome;               /* DlFileOutcome */
  const char* address;       /* the address asked for */
  const char* finalAddress;  /* after redirects; "" when no answer came */
  const char* savedPath;     /* relative to the working folder; "" unless saved */
  long long size;            /* bytes saved */
  long status;               /* the server's HTTP status; 0 when none came */
  const char* reason;        /* why it failed, for the user; "" unless failed */
} DlFileResult;

/* How a call ended. */
enum DlCallOutcome {
  DL_CALL_DONE = 0,       /* it ran to its end (some files may have failed) */
  DL_CALL_FAILED = 1,     /* it could not do its work: reason says why */
  DL_CALL_CANCELLED = 2,  /* the host asked to cancel */
  DL_CALL_STOPPED = 3     /* a full disk or the run's time limit stopped it: reason */
};

/* The page a call read its links from. */
enum DlPageState { DL_PAGE_NONE = 0, DL_PAGE_FETCHED = 1, DL_PAGE_FAILED = 2 };

typedef struct DlCallResult {
  int outcome;            /* DlCallOutcome */
  int page;               /* DlPageState */
  const char* pageAddress;  /* the page after redirects ("" when none) */
  const char* folder;     /* where files were saved, relative to the working folder ("" none) */
  long found;             /* files the call set out to fetch, skipped ones included */
  long saved;
  long failed;
  long skipped;           /* known to the history or already in the folder */
  long entries;           /* MakePatrolList and MakeDownloadList: the entries written */
  const char* reason;     /* for the user; "" when there is nothing to say */
} DlCallResult;

/* Count: files finished of the files the running call fetches, told as it
 * changes. File: one per file the call set out to fetch, skipped ones
 * included. Call: once, last. The pointers live for the callback only. */
typedef void(MIREVA_STDCALL* DlCountFn)(void* user, long done, long total);
typedef void(MIREVA_STDCALL* DlFileResultFn)(void* user, const DlFileResult* result);
typedef void(MIREVA_STDCALL* DlCallResultFn)(void* user, const DlCallResult* result);

/* Wait: the engine holds its next request to `host` for `waitMs` more (a 429
 * or 503 back-off, or the pause between requests set in the rules file;
 * only waits of half a second or more are told); waitMs 0: it waits no longer.
 * Told again when the wait changes. */
typedef void(MIREVA_STDCALL* DlHostWaitFn)(void* user, const char* host, long long waitMs);

MIREVA_EXPORT void MIREVA_STDCALL ALoad(const char* page, const char* extension);
MIREVA_EXPORT void MIREVA_STDCALL DLoad(const char* page, const char* kind);
MIREVA_EXPORT void MIREVA_STDCALL ListLoad(const char* listFile, const char* collection);
MIREVA_EXPORT void MIREVA_STDCALL Temporary(const char* folder, const char* pattern,
                                            const char* mode);
MIREVA_EXPORT void MIREVA_STDCALL MakePatrolList(const char* kind, const char* page);
MIREVA_EXPORT int MIREVA_STDCALL MakeDownloadList(const char* kind);
MIREVA_EXPORT void MIREVA_STDCALL DlSetHost(DlProgressFn progress, DlMessageFn message,
                                            void* user);
/* Each call reports to the result callbacks set when it began. */
MIREVA_EXPORT void MIREVA_STDCALL DlSetResultHost(DlCountFn count, DlFileResultFn file,
                                                  DlCallResultFn call, void* user);

/* The files the user chose in the link-selection window. `items` holds one
 * file a line, "<address>\t<name>\n", the name relative to `folder` ("/"
 * makes subfolders; each part is made safe again). `folder` is absolute or
 * relative to the working folder and is made when missing. `existing` says
 * what a taken name gets: "rename" (a numbered name), "skip" (not fetched, nor
 * an address the history knows) or "overwrite". `page` goes as referrer. */
MIREVA_EXPORT void MIREVA_STDCALL DlLoadSelection(const char* page, const char* folder,
                                                  const char* items, const char* existing);
/* Each call tells the wait callback set when it began. An older engine
 * without this entry simply tells no waits. */
MIREVA_EXPORT void MIREVA_STDCALL DlSetWaitHost(DlHostWaitFn wait, void* user);

typedef void(MIREVA_STDCALL* ALoadFn)(const char*, const char*);
typedef void(MIREVA_STDCALL* DLoadFn)(const char*, const char*);
typedef void(MIREVA_STDCALL* ListLoadFn)(const char*, const char*);
typedef void(MIREVA_STDCALL* TemporaryFn)(const char*, const char*, const char*);
typedef void(MIREVA_STDCALL* MakePatrolListFn)(const char*, const char*);
typedef int(MIREVA_STDCALL* MakeDownloadListFn)(const char*);
typedef void(MIREVA_STDCALL* DlSetHostFn)(DlProgressFn, DlMessageFn, void*);
typedef void(MIREVA_STDCALL* DlLoadSelectionFn)(const char*, const char*, const char*,
                                                const char*);
typedef void(MIREVA_STDCALL* DlSetResultHostFn)(DlCountFn, DlFileResultFn, DlCallResultFn, void*);
typedef void(MIREVA_STDCALL* DlSetWaitHostFn)(DlHostWaitFn, void*);

#ifdef __cplusplus
}
#endif

#endif
