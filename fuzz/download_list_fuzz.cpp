// "Download.lst" and the engine's patrol list: read, written back, read
// again to the same list.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "companions/download_engine/list_files.h"

using namespace mireva::dl;

namespace {

using mireva::fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const DownloadList list = ParseDownloadList(text, 1000);
  Check(list.paths.size() <= 1000);
  for (const std::string& path : list.paths) (void)JoinTopAndPath(list.top, path);
  (void)FormatDownloadList(list);

  const auto addresses = ParsePatrolList(text, 1000);
  Check(addresses.size() <= 1000);
  (void)ParsePatrolList(FormatPatrolList(addresses), 1000);
  return 0;
}
