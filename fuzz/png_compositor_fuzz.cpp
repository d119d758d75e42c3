// The PNG compositor on any quarter file: the input stands as the north-west
// and south-east quarters, the other two are missing. The output is written
// whole or not at all.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "companions/png_compositor/png_compositor_api.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string quarter = mireva::fuzz::WriteScratch("quarter.png", data, size);
  const std::string output = mireva::fuzz::ScratchFolder() + "/joined.png";
  const std::string missing = mireva::fuzz::ScratchFolder() + "/missing.png";
  const int rc = PngCompo(quarter.c_str(), missing.c_str(), missing.c_str(), quarter.c_str(),
                          output.c_str());
  // Either both readable quarters were joined or nothing was written.
  if (rc != -1 && rc != (PNGCOMPO_NE | PNGCOMPO_SW)) std::abort();
  return 0;
}
