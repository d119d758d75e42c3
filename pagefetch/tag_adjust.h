#pragma once
// The procedure behind htmTagadjust: fetch a page, replace a frameset by the
// page its no-frames section links to, strip the layout markup of the tag
// table and copy the result into the caller's area.
#include <cstddef>

#include "pagefetch/fetch.h"

namespace mireva::hovrel {

// `url` is NUL-terminated in a buffer of HOVREL_URL_CAPACITY bytes; a
// no-frames address that fits is written back into it (a longer one is not
// followed). At most `size` bytes, NUL included, go into `dst`, cut on a
// character boundary. 1 when a page was read, 0 when nothing could be read
// (then `dst` and `url` are untouched).
int AdjustTags(FetchRequest& request, char* url, char* dst, size_t size);

}  // namespace mireva::hovrel
