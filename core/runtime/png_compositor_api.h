/* The compositing library's export, shared by libPngCompo.so and its callers.
 *
 *   PngCompo(nw, ne, sw, se, out)
 *     Joins four PNG quarters of one map sheet (north-west, north-east,
 *     south-west, south-east) 2x2 into one RGBA PNG written to `out`. All five
 *     are NUL-terminated Shift_JIS paths. Quarters of any bit depth and colour
 *     type are converted to 8-bit RGBA first; quarters of different sizes sit
 *     in the top-left corner of their cell (a column is as wide as its widest
 *     quarter, a row as high as its highest). A quarter that is missing or
 *     unreadable leaves its cell blank (transparent) and is reported on
 *     standard error.
 *     Returns 0 when all four were joined, a positive mask of the quarters
 *     left blank (1 NW, 2 NE, 4 SW, 8 SE) when the others were joined, and -1
 *     when nothing was written (no quarter readable, image too large, output
 *     not writable). The output file is replaced only by a whole image.
 */
#ifndef MIREVA_PNG_COMPOSITOR_API_H
#define MIREVA_PNG_COMPOSITOR_API_H

#include "platform/export.h"

#ifdef __cplusplus
extern "C" {
#endif

#define PNGCOMPO_NW 1
#define PNGCOMPO_NE 2
#define PNGCOMPO_SW 4
#define PNGCOMPO_SE 8

MIREVA_EXPORT int MIREVA_STDCALL PngCompo(const char* northWest, const char* northEast,
                                          const char* southWest, const char* southEast,
                                          const char* output);

typedef int(MIREVA_STDCALL* PngCompoFn)(const char*, const char*, const char*, const char*,
                                        const char*);

#ifdef __cplusplus
}
#endif

#endif
