// The GIF converter companion on any input file, converted into a separate
// output and in place. The program's own main is built into the target under
// another name and called with the command line the builder gives it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"

int GifConvertMain(int argc, char** argv);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = mireva::fuzz::WriteScratch("frame.gif", data, size);
  std::string output = "/convert=" + mireva::fuzz::ScratchFolder() + "/converted.gif";
  std::string program = "gifconvert", in = input, inPlace = "/convert=" + input;

  char* separate[] = {program.data(), in.data(), output.data(), nullptr};
  const int rc = GifConvertMain(3, separate);
  if (rc != 0 && rc != 1) std::abort();  // 2 would be an output not written
  char* same[] = {program.data(), in.data(), inPlace.data(), nullptr};
  if (GifConvertMain(3, same) != rc) std::abort();
  return 0;
}
