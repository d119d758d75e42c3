// The animated-GIF builder's reading of GIF frames: the input is cut into up
// to three frame files, read one by one, and joined into an animation in a
// scratch working folder. Frames in the old form would start the converter,
// which is not there, so the builder stops at its message.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "collectors/animated_gif_builder.h"
#include "fuzz/fuzz_support.h"

using namespace mireva;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The builder works relative to the current folder.
  std::filesystem::create_directories(fuzz::ScratchFolder() + "/DownLoad/Weather");
  if (::chdir(fuzz::ScratchFolder().c_str()) != 0) std::abort();
  return 0;
}

// An input writes frames 1 to kMostFrames, no others.
constexpr int kMostFrames = 3;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int frames = in.ConsumeIntegralInRange<int>(1, kMostFrames);
  std::vector<std::string> bytes;
  for (int k = 1; k <= frames; ++k)
    bytes.push_back(k == frames ? in.ConsumeRemainingBytesAsString()
                                : in.ConsumeRandomLengthString(size));
  // The frames an earlier input wrote and this one does not write again go.
  std::error_code ec;
  for (int k = frames + 1; k <= kMostFrames; ++k) std::filesystem::remove(FramePath(k), ec);
  for (int k = 1; k <= frames; ++k) {
    const std::string& b = bytes[static_cast<size_t>(k - 1)];
    fuzz::WriteScratch(FramePath(k), reinterpret_cast<const uint8_t*>(b.data()), b.size());
  }

  // One builder for the whole run, as the program keeps one for its session.
  static fuzz::QuietInteraction ui;
  static AnimatedGifBuilder builder(ui, [] {
    AnimatedGifBuilder::Options options;
    options.converter = "/nonexistent/gifconvert";
    options.pause = [](int) {};
    return options;
  }());
  static std::vector<uint8_t> block(AnimatedGifBuilder::kBufferSize);
  for (int k = 1; k <= frames; ++k) {
    const size_t n = builder.BuildFrameBlock(FramePath(k), block.data(), 10);
    if (n > AnimatedGifBuilder::kBufferSize) std::abort();
  }
  (void)builder.BuildAnimatedGif("anim");
  return 0;
}
