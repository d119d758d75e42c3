#include "pagefetch/tag_adjust.h"

#include <cstring>
#include <vector>

#include "pagefetch/host.h"
#include "pagefetch/markup.h"
#include "platform/text_helpers.h"

namespace mireva::hovrel {

int AdjustTags(FetchRequest& request, char* url, char* dst, size_t size) {
  // Room for a page a little longer than the caller's area; the extra 4096
  // bytes are taken in by the markup that the passes remove.
  const size_t capacity = size + 4096;
  std::vector<char> work(capacity, '\0');
  if (FetchForAdjust(request, url, work.data(), capacity) == AdjustRead::NothingRead) return 0;

  char* text = work.data();
  if (std::strstr(text, "<NOFRAMES>") || std::strstr(text, "<noframes>")) {
    char* section = std::strstr(text, "NOFRAMES");
    if (!section) section = std::strstr(text, "noframes");
    char* link = std::strstr(section, "http");
    char* quote = link ? std::strchr(link, '"') : nullptr;
    if (quote && static_cast<size_t>(quote - link) < HOVREL_URL_CAPACITY) {
      *quote = '\0';
      std::memmove(url, link, static_cast<size_t>(quote - link) + 1);
      // What the frame's page brings (or nothing) replaces the frameset.
      FetchForAdjust(request, url, text, size);
    }
  }

  ApplyTagTable(text);
  if (size > 0) {
    size_t length = SjisCutLength(text, size - 1);
    std::memcpy(dst, text, length);
    dst[length] = '\0';
  }
  Pause(50);
  return 1;
}

}  // namespace mireva::hovrel
