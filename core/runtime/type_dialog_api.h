/* The type dialog library (libTavish2.so), shared by the library and its callers.
 *   LoadTypeDlg()  shows the dialog of the 21 download file types with a check
 *                  box each, preset from "TollickApp.ini" of the current folder
 *                  (section "TollickApp", "on"/"off"); OK writes the file and
 *                  returns non-zero, cancel returns zero and writes nothing.
 * A host without a wx application of its own may call it too: the library
 * then starts wx for the time of the call. */
#ifndef MIREVA_TYPE_DIALOG_API_H
#define MIREVA_TYPE_DIALOG_API_H

#include "platform/export.h"

#ifdef __cplusplus
extern "C" {
#endif

MIREVA_EXPORT int MIREVA_STDCALL LoadTypeDlg(void);

typedef int(MIREVA_STDCALL* LoadTypeDlgFn)(void);

#ifdef __cplusplus
}
#endif

#endif
