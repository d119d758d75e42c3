// The GIF converter companion on any input. The conversion runs in memory:
// what it writes is in the builder's form, and converting that again gives
// the same bytes. One input in 64 also goes through the program itself, its
// main built into the target under another name and called with the command
// line the builder gives it, into a separate output and in place: the same
// result and the same bytes as in memory, the input untouched when it cannot
// be read, and no temporary left beside the files.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "companions/gif_converter/gif_convert.h"
#include "fuzz/fuzz_support.h"

int GifConvertMain(int argc, char** argv);

namespace {

using mireva::fuzz::Check;

using mireva::fuzz::OneIn64;


// The layout the builder joins without decoding: a 256-entry global table,
// the control extension with zero delay high byte and transparent index right
// before an image with no local table, not interlaced.
void CheckBuilderForm(const std::string& gif) {
  Check(gif.size() > 800 && gif.starts_with("GIF89a"));
  Check((static_cast<unsigned char>(gif[10]) & 0x87) == 0x87);
  const size_t s = 13 + 768 + 8;
  Check(gif.compare(s - 8, 3, "\x21\xF9\x04") == 0);
  Check(gif[s - 3] == 0 && gif[s - 2] == 0 && gif[s - 1] == 0);
  Check(gif[s] == ',' && gif[s + 9] == 0 && gif.back() == '\x3B');
}

// The program on `input` with the builder's command line; its exit code.
int RunProgram(const std::string& input, const std::string& output) {
  std::string program = "gifconvert", in = input, convert = "/convert=" + output;
  char* argv[] = {program.data(), in.data(), convert.data(), nullptr};
  return GifConvertMain(3, argv);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using mireva::gifconvert::ConvertGif;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string converted, error;
  const int rc = ConvertGif(bytes, "frame.gif", &converted, &error);
  Check(rc == 0 || rc == 1);  // 2 would be an output not encoded
  if (rc == 0) {
    CheckBuilderForm(converted);
    std::string again;
    Check(ConvertGif(converted, "again.gif", &again, &error) == 0 && again == converted);
  }
  if (!OneIn64(data, size)) return 0;

  namespace fs = std::filesystem;
  const std::string folder = mireva::fuzz::ScratchFolder() + "/program";
  static const bool made = fs::create_directories(folder);
  (void)made;
  const std::string input = folder + "/frame.gif", output = folder + "/converted.gif";
  std::error_code ec;
  fs::remove(output, ec);
  mireva::fuzz::WriteScratch("program/frame.gif", data, size);
  Check(RunProgram(input, output) == rc);
  Check(rc == 0 ? mireva::fuzz::ReadScratch(output) == converted : !fs::exists(output));
  Check(RunProgram(input, input) == rc);
  Check(mireva::fuzz::ReadScratch(input) == (rc == 0 ? converted : std::string(bytes)));
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    (void)entry;
    ++files;
  }
  Check(files == (rc == 0 ? 2u : 1u));
  return 0;
}
