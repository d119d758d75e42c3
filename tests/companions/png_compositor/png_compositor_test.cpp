// libPngCompo.so loaded by name, its export resolved and called as the map
// collector calls it; the joined image decoded and compared pixel for pixel.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <time.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csetjmp>
#include <filesystem>
#include <functional>
#include <vector>

#include "core/runtime/png_compositor_api.h"
#include "platform/dynamic_library.h"
#include "platform/text_encoding.h"
#include "tests/support/test_server.h"

namespace mireva::testing {
namespace {

long long Microseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
}

struct Rgba {
  unsigned char r, g, b, a;
  bool operator==(const Rgba&) const = default;
};

// The pixels a quarter should come out as.
struct Picture {
  int width = 0, height = 0;
  std::vector<Rgba> pixels;
  Rgba At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

struct Format {
  int colourType;
  int bitDepth;
  bool interlaced = false;
};

// Writes a PNG of the given format whose pixels, converted to 8-bit RGBA,
// are exactly `truth` (the truth is chosen to be representable).
void WritePng(const std::string& path, const Format& f, const Picture& truth) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(file);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    std::fclose(file);
    FAIL() << "libpng error writing " << path;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(truth.width), static_cast<png_uint_32>(truth.height),
               f.bitDepth, f.colourType, f.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  std::vector<png_byte> alpha;
  if (f.colourType == PNG_COLOR_TYPE_PALETTE) {
    for (int i = 0; i < 16; ++i) {
      palette.push_back({static_cast<png_byte>(i * 16), static_cast<png_byte>(255 - i * 16),
                         static_cast<png_byte>(i * 5)});
      alpha.push_back(static_cast<png_byte>(i == 3 ? 0 : 255 - i));
    }
    png_set_PLTE(png, info, palette.data(), 16);
    png_set_tRNS(png, info, alpha.data(), 16, nullptr);
  }
  png_write_info(png, info);
  const int channels = f.colourType == PNG_COLOR_TYPE_RGB ? 3
                       : f.colourType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                       : f.colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : 1;
  std::vector<std::vector<png_byte>> rows(static_cast<size_t>(truth.height));
  for (int y = 0; y < truth.height; ++y) {
    std::vector<png_byte>& row = rows[static_cast<size_t>(y)];
    row.assign(static_cast<size_t>(truth.width) * channels * 2 + 8, 0);
    for (int x = 0; x < truth.width; ++x) {
      Rgba p = truth.At(x, y);
      int values[4] = {p.r, p.g, p.b, p.a};
      if (f.colourType == PNG_COLOR_TYPE_GRAY || f.colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        values[1] = p.a;
      } else if (f.colourType == PNG_COLOR_TYPE_PALETTE) {
        values[0] = p.b / 5;  // index i has blue 5*i
      }
      if (f.bitDepth == 16) {
        for (int c = 0; c < channels; ++c) {
          row[static_cast<size_t>((x * channels + c) * 2)] = static_cast<png_byte>(values[c]);
          row[static_cast<size_t>((x * channels + c) * 2 + 1)] = static_cast<png_byte>(values[c]);
        }
      } else if (f.bitDepth == 8) {
        for (int c = 0; c < channels; ++c) row[static_cast<size_t>(x * channels + c)] = static_cast<png_byte>(values[c]);
      } else {  // packed samples, most significant first
        const int perByte = 8 / f.bitDepth;
        const int maxValue = (1 << f.bitDepth) - 1;
        int v = f.colourType == PNG_COLOR_TYPE_PALETTE ? values[0] : values[0] * maxValue / 255;
        row[static_cast<size_t>(x / perByte)] |=
            static_cast<png_byte>(v << ((perByte - 1 - x % perByte) * f.bitDepth));
      }
    }
  }
  std::vector<png_bytep> pointers;
  for (auto& r : rows) pointers.push_back(r.data());
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

Picture Make(int w, int h, const std::function<Rgba(int, int)>& at) {
  Picture p;
  p.width = w;
  p.height = h;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p.pixels.push_back(at(x, y));
  return p;
}

Picture ReadBack(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Picture p;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
  image.format = PNG_FORMAT_RGBA;
  p.width = static_cast<int>(image.width);
  p.height = static_cast<int>(image.height);
  p.pixels.resize(static_cast<size_t>(p.width) * p.height);
  if (!png_image_finish_read(&image, nullptr, p.pixels.data(), 0, nullptr)) return Picture();
  return p;
}

class PngCompositorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempFolder("mireva-pngcompo");
    ASSERT_TRUE(library.Open("PNG")) << library.Error();
    pngCompo = library.Entry<PngCompoFn>("PngCompo");
    ASSERT_NE(pngCompo, nullptr);
  }
  void TearDown() override { RemoveFolder(dir); }

  int Join(const std::string& base) {
    return pngCompo((base + "50.png").c_str(), (base + "55.png").c_str(), (base + "00.png").c_str(),
                    (base + "05.png").c_str(), (base + ".png").c_str());
  }

  // The expected joined picture of four quarters (empty ones blank).
  static Picture Expected(const Picture q[4]) {
    int colW[2], rowH[2], maxW = 0, maxH = 0;
    for (int i = 0; i < 4; ++i) {
      maxW = std::max(maxW, q[i].width);
      maxH = std::max(maxH, q[i].height);
    }
    for (int c = 0; c < 2; ++c) colW[c] = std::max(q[c].width, q[c + 2].width);
    for (int r = 0; r < 2; ++r) rowH[r] = std::max(q[2 * r].height, q[2 * r + 1].height);
    for (int& w : colW) w = w ? w : maxW;
    for (int& h : rowH) h = h ? h : maxH;
    Picture out = Make(colW[0] + colW[1], rowH[0] + rowH[1], [](int, int) { return Rgba{0, 0, 0, 0}; });
    for (int i = 0; i < 4; ++i)
      for (int y = 0; y < q[i].height; ++y)
        for (int x = 0; x < q[i].width; ++x)
          out.pixels[static_cast<size_t>((y + (i < 2 ? 0 : rowH[0])) * out.width + x +
                                         (i % 2 ? colW[0] : 0))] = q[i].At(x, y);
    return out;
  }

  std::string dir;
  DynamicLibrary library;
  PngCompoFn pngCompo = nullptr;
};

void ExpectSame(const Picture& got, const Picture& want) {
  ASSERT_EQ(got.width, want.width);
  ASSERT_EQ(got.height, want.height);
  for (int y = 0; y < want.height; ++y)
    for (int x = 0; x < want.width; ++x) {
      Rgba g = got.At(x, y), w = want.At(x, y);
      ASSERT_TRUE(g == w) << "pixel " << x << "," << y << ": got " << int(g.r) << " " << int(g.g)
                          << " " << int(g.b) << " " << int(g.a) << " want " << int(w.r) << " "
                          << int(w.g) << " " << int(w.b) << " " << int(w.a);
    }
}

TEST_F(PngCompositorTest, JoinsEqualQuartersTwoByTwo) {
  Picture q[4];
  const char* suffix[4] = {"50", "55", "00", "05"};
  for (int i = 0; i < 4; ++i) {
    q[i] = Make(6, 4, [i](int x, int y) {
      return Rgba{static_cast<unsigned char>(x * 40), static_cast<unsigned char>(y * 60),
                  static_cast<unsigned char>(i * 80), 255};
    });
    WritePng(dir + "/m" + suffix[i] + ".png", {PNG_COLOR_TYPE_RGB, 8}, q[i]);
  }
  EXPECT_EQ(Join(dir + "/m"), 0);
  ExpectSame(ReadBack(dir + "/m.png"), Expected(q));
}

TEST_F(PngCompositorTest, ConvertsUnequalSizesAndFormatsToOne) {
  Picture q[4];
  // NW: 1-bit gray, 5x3.
  q[0] = Make(5, 3, [](int x, int y) {
    unsigned char v = (x + y) % 2 ? 255 : 0;
    return Rgba{v, v, v, 255};
  });
  WritePng(dir + "/s50.png", {PNG_COLOR_TYPE_GRAY, 1}, q[0]);
  // NE: 16-bit RGBA, 7x2.
  q[1] = Make(7, 2, [](int x, int y) {
    return Rgba{static_cast<unsigned char>(x * 30), static_cast<unsigned char>(200 - y),
                static_cast<unsigned char>(x + y), static_cast<unsigned char>(100 + x)};
  });
  WritePng(dir + "/s55.png", {PNG_COLOR_TYPE_RGB_ALPHA, 16}, q[1]);
  // SW: 4-bit palette with transparency, 3x6, interlaced.
  q[2] = Make(3, 6, [](int x, int y) {
    int i = (x * 3 + y) % 16;
    return Rgba{static_cast<unsigned char>(i * 16), static_cast<unsigned char>(255 - i * 16),
                static_cast<unsigned char>(i * 5), static_cast<unsigned char>(i == 3 ? 0 : 255 - i)};
  });
  WritePng(dir + "/s00.png", {PNG_COLOR_TYPE_PALETTE, 4, true}, q[2]);
  // SE: 16-bit gray with alpha, 4x4.
  q[3] = Make(4, 4, [](int x, int y) {
    unsigned char v = static_cast<unsigned char>(x * 50 + y);
    return Rgba{v, v, v, static_cast<unsigned char>(255 - y * 10)};
  });
  WritePng(dir + "/s05.png", {PNG_COLOR_TYPE_GRAY_ALPHA, 16}, q[3]);

  EXPECT_EQ(Join(dir + "/s"), 0);
  Picture got = ReadBack(dir + "/s.png");
  EXPECT_EQ(got.width, 12);
  EXPECT_EQ(got.height, 9);
  ExpectSame(got, Expected(q));
}

TEST_F(PngCompositorTest, MissingAndBrokenQuartersAreLeftBlankAndReported) {
  Picture q[4];
  q[0] = Make(3, 3, [](int x, int) { return Rgba{static_cast<unsigned char>(x), 1, 2, 255}; });
  q[3] = Make(2, 5, [](int, int y) { return Rgba{9, static_cast<unsigned char>(y), 9, 255}; });
  WritePng(dir + "/b50.png", {PNG_COLOR_TYPE_RGB, 8}, q[0]);
  WritePng(dir + "/b05.png", {PNG_COLOR_TYPE_RGB, 8}, q[3]);
  // NE truncated in its image data, SW missing.
  WritePng(dir + "/b55.png", {PNG_COLOR_TYPE_RGB, 8}, q[0]);
  std::string broken = ReadFile(dir + "/b55.png");
  WriteFile(dir + "/b55.png", broken.substr(0, broken.size() - 20));
  EXPECT_EQ(Join(dir + "/b"), PNGCOMPO_NE | PNGCOMPO_SW);
  ExpectSame(ReadBack(dir + "/b.png"), Expected(q));
}

TEST_F(PngCompositorTest, NothingWrittenWhenNothingCanBeJoined) {
  EXPECT_EQ(Join(dir + "/none"), -1);
  EXPECT_FALSE(std::filesystem::exists(dir + "/none.png"));

  Picture p = Make(2, 2, [](int, int) { return Rgba{1, 2, 3, 255}; });
  for (const char* s : {"50", "55", "00", "05"}) WritePng(dir + "/w" + std::string(s) + ".png", {PNG_COLOR_TYPE_RGB, 8}, p);
  EXPECT_EQ(pngCompo((dir + "/w50.png").c_str(), (dir + "/w55.png").c_str(), (dir + "/w00.png").c_str(),
                     (dir + "/w05.png").c_str(), (dir + "/no/such/folder/w.png").c_str()),
            -1);
  EXPECT_EQ(pngCompo(nullptr, nullptr, nullptr, nullptr, nullptr), -1);
}

TEST_F(PngCompositorTest, OversizedQuarterIsRefused) {
  Picture wide = Make(9000, 1, [](int, int) { return Rgba{255, 255, 255, 255}; });
  WritePng(dir + "/o50.png", {PNG_COLOR_TYPE_GRAY, 1}, wide);
  Picture small = Make(2, 2, [](int, int) { return Rgba{4, 5, 6, 255}; });
  WritePng(dir + "/o05.png", {PNG_COLOR_TYPE_RGB, 8}, small);
  EXPECT_EQ(Join(dir + "/o"), PNGCOMPO_NW | PNGCOMPO_NE | PNGCOMPO_SW);
  EXPECT_EQ(ReadBack(dir + "/o.png").width, 4);
}

// A text chunk that claims 1.6 GB in a file of 116 bytes (found by fuzzing):
// the quarter is left blank without the memory it claims.
TEST_F(PngCompositorTest, ChunkLengthsAreNotTakenOnTrust) {
  Picture p = Make(2, 2, [](int, int) { return Rgba{1, 2, 3, 255}; });
  WritePng(dir + "/t50.png", {PNG_COLOR_TYPE_RGB, 8}, p);
  std::string bytes = ReadFile(dir + "/t50.png").substr(0, 33);  // signature and IHDR
  bytes += std::string("\x63\x00\x00\x25tEXtdate:mod", 16);
  WriteFile(dir + "/t50.png", bytes);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(Join(dir + "/t") == -1 ? 0 : 1);
  int status = 0;
  struct rusage usage {};
  ASSERT_EQ(wait4(pid, &status, 0, &usage), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_LT(usage.ru_maxrss, 512 * 1024) << "peak memory in KB";
}

// A process joining map sheets over and over is killed at random moments:
// the sheet is always the old or the new whole file, and whatever a kill
// leaves behind is a dot-named temporary, which folder sweeps pass over.
TEST_F(PngCompositorTest, KilledJoinLeavesTheOldOrTheNewSheet) {
  const char* suffix[4] = {"50", "55", "00", "05"};
  for (const char* set : {"a", "b"})
    for (int i = 0; i < 4; ++i) {
      const unsigned shift = static_cast<unsigned>(i + (set[0] == 'b' ? 4 : 0));
      WritePng(dir + "/" + set + suffix[i] + ".png", {PNG_COLOR_TYPE_RGB, 8},
               Make(400, 300, [shift](int x, int y) {
                 const unsigned v = static_cast<unsigned>(x * 7919 + y * 104729) >> shift;
                 return Rgba{static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                             static_cast<unsigned char>(x ^ y), 255};
               }));
    }
  const std::string sheet = dir + "/sheet.png";
  auto join = [&](const std::string& set) {
    return pngCompo((dir + "/" + set + "50.png").c_str(), (dir + "/" + set + "55.png").c_str(),
                    (dir + "/" + set + "00.png").c_str(), (dir + "/" + set + "05.png").c_str(),
                    sheet.c_str());
  };
  const long long start = Microseconds();
  ASSERT_EQ(join("b"), 0);
  const long long took = Microseconds() - start;
  const std::string joinedB = ReadFile(sheet);
  ASSERT_EQ(join("a"), 0);
  const std::string joinedA = ReadFile(sheet);
  ASSERT_NE(joinedA, joinedB);

  unsigned seed = 11;
  for (int round = 0; round < 20; ++round) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
      for (int k = 0;; ++k) join(k % 2 ? "a" : "b");
    usleep(static_cast<useconds_t>(rand_r(&seed) % (took * 3 + 1)));
    kill(pid, SIGKILL);
    ASSERT_EQ(waitpid(pid, nullptr, 0), pid);
    const std::string now = ReadFile(sheet);
    ASSERT_TRUE(now == joinedA || now == joinedB)
        << "round " << round << ": " << now.size() << " bytes";
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      ASSERT_TRUE(name[0] == '.' || name.size() == 7 || name == "sheet.png") << name;
    }
  }
}

TEST_F(PngCompositorTest, TakesShiftJisPaths) {
  // Literals are Shift_JIS in this program; the files are made under the
  // host's (UTF-8) names and the library is handed the Shift_JIS path.
  const std::string base = dir + "/地図/東京";
  const std::string hostBase = SjisToUtf8(base);
  std::filesystem::create_directories(SjisToUtf8(dir + "/地図"));
  Picture q[4];
  const char* suffix[4] = {"50", "55", "00", "05"};
  for (int i = 0; i < 4; ++i) {
    q[i] = Make(2, 2, [i](int, int) { return Rgba{static_cast<unsigned char>(i), 0, 0, 255}; });
    WritePng(hostBase + suffix[i] + ".png", {PNG_COLOR_TYPE_RGB, 8}, q[i]);
  }
  EXPECT_EQ(Join(base), 0);
  ExpectSame(ReadBack(hostBase + ".png"), Expected(q));
}

}  // namespace
}  // namespace mireva::testing
