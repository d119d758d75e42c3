// Builds a 20-frame animation from frames of about 300 KB with the animated-GIF
// builder and with `gifsicle --merge --loopcount=forever --delay=10` on the
// same frames, in one run, and prints both times and their ratio.
// Usage: collectors_gif_bench [repetitions]   (goal: builder >= 5x faster)
#include <gif_lib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "collectors/animated_gif_builder.h"
#include "platform/process.h"

namespace {

class SilentInteraction : public mireva::Interaction {
 public:
  int messages = 0;
  void ShowMessage(const std::string&, mireva::MessageIcon, const std::string&) override {
    ++messages;
  }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  std::optional<std::string> ChooseFileToOpen(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> ChooseFileToSave(const std::string&, const std::string&,
                                              const std::string&) override {
    return std::nullopt;
  }
  std::optional<mireva::Credentials> AskPassword(const std::string&, const std::string&) override {
    return std::nullopt;
  }
};

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

int Append(GifFileType* gif, const GifByteType* data, int n) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), n);
  return n;
}

// A frame in the form the weather service delivers after conversion: GIF89a,
// 256-colour global table, control extension, one image. Satellite-like
// content: smooth bands with noise, so that LZW does not shrink it to nothing.
std::string MakeFrame(int width, int height, unsigned seed) {
  std::string bytes;
  int err = 0;
  GifFileType* gif = EGifOpen(&bytes, Append, &err);
  GifColorType colours[256];
  for (int i = 0; i < 256; ++i)
    colours[i] = {static_cast<GifByteType>(i), static_cast<GifByteType>(i),
                  static_cast<GifByteType>(255 - i)};
  ColorMapObject* map = GifMakeMapObject(256, colours);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, width, height, 8, 0, map);
  GifByteType control[4] = {0, 0, 0, 0};
  EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
  EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr);
  std::vector<GifByteType> row(static_cast<size_t>(width));
  unsigned state = seed * 2654435761u + 1u;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      state = state * 1103515245u + 12345u;
      row[static_cast<size_t>(x)] = static_cast<GifByteType>(((x + y) / 3 + (state >> 16) % 24) & 0xFF);
    }
    EGifPutLine(gif, row.data(), width);
  }
  EGifCloseFile(gif, &err);
  GifFreeMapObject(map);
  return bytes;
}

void Write(const std::string& path, const std::string& data) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::exit(1);
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  char templ[] = "/tmp/mireva-gif-bench-XXXXXX";
  if (!mkdtemp(templ)) return 1;
  const std::string folder = templ;
  std::filesystem::create_directories(folder + "/DownLoad/Weather");
  if (::chdir(folder.c_str()) != 0) return 1;

  // Frames of about 300 KB, below the builder's 307,200-byte limit.
  const int width = 640;
  int height = 480;
  std::string probe = MakeFrame(width, height, 1);
  height = static_cast<int>(height * 300000.0 / static_cast<double>(probe.size()));
  size_t total = 0;
  for (int k = 1; k <= 20; ++k) {
    std::string frame = MakeFrame(width, height, static_cast<unsigned>(k));
    while (frame.size() > mireva::AnimatedGifBuilder::kBufferSize)
      frame = MakeFrame(width, --height, static_cast<unsigned>(k));
    total += frame.size();
    Write(mireva::FramePath(k), frame);
  }
  std::printf("frames: 20 of %dx%d, %.0f KB on average\n", width, height, total / 20.0 / 1024.0);

  SilentInteraction ui;
  std::vector<double> ours;
  for (int r = 0; r < repetitions; ++r) {
    mireva::AnimatedGifBuilder builder(ui);
    double t0 = Now();
    bool ok = builder.BuildAnimatedGif("Himawari.gif");
    ours.push_back(Now() - t0);
    if (!ok || ui.messages) {
      std::printf("builder failed\n");
      return 1;
    }
  }
  const double oursMedian = Median(ours);
  std::printf("builder:  %8.2f ms (median of %d)\n", oursMedian * 1e3, repetitions);

  if (mireva::FindProgram("gifsicle").empty()) {
    std::printf("gifsicle: not installed, no comparison\n");
  } else {
    std::vector<std::string> argv2 = {"gifsicle", "--merge", "--loopcount=forever", "--delay=10"};
    for (int k = 20; k >= 1; --k) argv2.push_back(folder + "/" + mireva::FramePath(k));
    argv2.push_back("-o");
    argv2.push_back(folder + "/gifsicle.gif");
    std::vector<double> theirs;
    for (int r = 0; r < repetitions; ++r) {
      int code = -1;
      double t0 = Now();
      bool started = mireva::StartProgram(argv2, mireva::Wait::UntilExit, &code);
      theirs.push_back(Now() - t0);
      if (!started || code != 0) {
        std::printf("gifsicle failed\n");
        return 1;
      }
    }
    const double theirsMedian = Median(theirs);
    std::printf("gifsicle: %8.2f ms (median of %d)\n", theirsMedian * 1e3, repetitions);
    std::printf("ratio:    %8.2fx faster (goal: 5x)\n", theirsMedian / oursMedian);
  }
  std::filesystem::remove_all(folder);
  return 0;
}
