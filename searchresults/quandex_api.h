#pragma once
/* The exported entry of the search-result library (libQuandex.so), shared by
 * the library and its callers.
 *
 * Quandex(engine, page, reserved) parses `page`, the NUL-terminated Shift_JIS
 * text of a result page of search engine `engine` (0 yahoo, 1 goo, 2 excite,
 * 3 infoseek, 4 InfoNavigater, 5 LYCOS, 6 BIGLOBE, 7 iNET Guide, 8 Fresheye,
 * 9 nifty, 10 DragonNext, 11 J.O.Y., 12 DoKoDa, 13 WebGate, 16 Google), keeps
 * the links for that engine while the library stays loaded and shows them in
 * the modeless results dialog "検索結果". `page` must be writable: for goo and
 * InfoNavigater a NUL is written into it at the end of the result list. It is
 * read only during the call. `reserved` is not read. Always returns 0.
 *
 * What a host provides:
 *  - One thread: every call comes from the thread that runs the host's GUI
 *    event loop; calls must not overlap.
 *  - An event loop on that thread, because the dialog is modeless. A wxWidgets
 *    program needs nothing more: the dialog joins its wxApp (and never keeps
 *    it from exiting). A host without a wxApp may call Quandex all the same:
 *    the library then starts wxWidgets and GTK itself on the first call
 *    (it needs $DISPLAY or $WAYLAND_DISPLAY), and the host must run a GLib
 *    main loop on that thread (gtk_main, g_main_loop_run, or
 *    g_main_context_iteration(NULL, ...) in its own loop) for the dialog to
 *    respond. Without a display the page is parsed and kept, and no dialog
 *    is shown.
 *  - The current folder: the dialog's "保存" writes the results page there.
 *  - Unloading (dlclose) deletes the dialog and forgets the lists; when the
 *    library started wxWidgets itself it shuts it down again.
 */
#include "platform/export.h"

#ifdef __cplusplus
extern "C" {
#endif

MIREVA_EXPORT int MIREVA_STDCALL Quandex(int engine, char* page, int reserved);

typedef int(MIREVA_STDCALL* QuandexFunction)(int engine, char* page, int reserved);

#ifdef __cplusplus
}
#endif
