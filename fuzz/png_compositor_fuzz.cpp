// The PNG compositor on any quarter: the input stands as the north-west and
// south-east quarters, the other two are missing. The joining runs in memory;
// either both readable quarters were joined into a PNG or nothing was written.
// One input in 64 also goes through the export itself with files: the same
// result and bytes, the output replaced whole or not at all, and no temporary
// left beside it.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/runtime/png_compositor_api.h"
#include "companions/png_compositor/png_compositor_memory.h"
#include "fuzz/fuzz_support.h"

namespace {

using mireva::fuzz::Check;

using mireva::fuzz::OneIn64;


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string quarter(reinterpret_cast<const char*>(data), size);
  const std::string* quarters[4] = {&quarter, nullptr, nullptr, &quarter};
  std::string png;
  const int rc = mireva::pngcompo::JoinInMemory(quarters, &png);
  Check(rc == -1 ? png.empty() : rc == (PNGCOMPO_NE | PNGCOMPO_SW));
  Check(rc == -1 || png.starts_with("\x89PNG\r\n\x1a\n"));
  if (!OneIn64(data, size)) return 0;

  namespace fs = std::filesystem;
  const std::string folder = mireva::fuzz::ScratchFolder() + "/export";
  static const bool made = fs::create_directories(folder);
  (void)made;
  const std::string path = mireva::fuzz::WriteScratch("export/quarter.png", data, size);
  const std::string output = folder + "/joined.png", missing = folder + "/missing.png";
  mireva::fuzz::WriteScratch("export/joined.png", reinterpret_cast<const uint8_t*>("old"), 3);
  Check(PngCompo(path.c_str(), missing.c_str(), missing.c_str(), path.c_str(), output.c_str()) ==
        rc);
  Check(mireva::fuzz::ReadScratch(output) == (rc == -1 ? std::string("old") : png));
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    (void)entry;
    ++files;
  }
  Check(files == 2);
  return 0;
}
