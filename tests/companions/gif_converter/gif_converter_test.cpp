// gifconvert: rewrites a GIF in place in the one form the animated-GIF builder
// joins, and leaves a file it cannot read untouched.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "tests/support/test_server.h"

namespace mireva::testing {
namespace {

long long Microseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
}

struct Source {
  bool gif87a = true;
  bool interlaced = false;
  int colours = 16;
  int transparent = -1;
  int width = 37;
  int height = 23;
};

int Append(GifFileType* gif, const GifByteType* data, int n) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), n);
  return n;
}

std::string MakeSource(const Source& s) {
  std::string bytes;
  int err = 0;
  GifFileType* gif = EGifOpen(&bytes, Append, &err);
  std::vector<GifColorType> colours(static_cast<size_t>(s.colours));
  for (int i = 0; i < s.colours; ++i)
    colours[static_cast<size_t>(i)] = {static_cast<GifByteType>(i * 15), static_cast<GifByteType>(255 - i),
                                       static_cast<GifByteType>(i * 7 + 3)};
  ColorMapObject* map = GifMakeMapObject(s.colours, colours.data());
  EGifSetGifVersion(gif, !s.gif87a);
  EGifPutScreenDesc(gif, s.width, s.height, 4, 0, map);
  if (s.transparent >= 0) {
    GifByteType control[4] = {1, 5, 0, static_cast<GifByteType>(s.transparent)};
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
  }
  EGifPutImageDesc(gif, 0, 0, s.width, s.height, s.interlaced, nullptr);
  std::vector<GifByteType> rows(static_cast<size_t>(s.width) * s.height);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<GifByteType>((i * 7 + i / 5) % s.colours);
  auto put = [&](int y) { EGifPutLine(gif, rows.data() + static_cast<size_t>(y) * s.width, s.width); };
  if (s.interlaced) {
    const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
    for (int p = 0; p < 4; ++p)
      for (int y = start[p]; y < s.height; y += step[p]) put(y);
  } else {
    for (int y = 0; y < s.height; ++y) put(y);
  }
  EGifCloseFile(gif, &err);
  GifFreeMapObject(map);
  return bytes;
}

// Decoded pixels as RGB, with transparent pixels written as "T".
std::string Rgb(const std::string& path) {
  int err = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &err);
  if (!gif || DGifSlurp(gif) != GIF_OK) return "unreadable";
  GraphicsControlBlock gcb{};
  int transparent = DGifSavedExtensionToGCB(gif, 0, &gcb) == GIF_OK ? gcb.TransparentColor : -1;
  const SavedImage& image = gif->SavedImages[0];
  const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
  std::string rgb;
  for (int i = 0; i < image.ImageDesc.Width * image.ImageDesc.Height; ++i) {
    int p = image.RasterBits[i];
    if (p == transparent) {
      rgb += "TTT";
      continue;
    }
    rgb += static_cast<char>(map->Colors[p].Red);
    rgb += static_cast<char>(map->Colors[p].Green);
    rgb += static_cast<char>(map->Colors[p].Blue);
  }
  DGifCloseFile(gif, &err);
  return rgb;
}

class GifConverterTest : public ::testing::Test {
 protected:
  void SetUp() override { dir = MakeTempFolder("mireva-gifconvert"); }
  void TearDown() override { RemoveFolder(dir); }
  // Runs the converter with the builder's arguments; returns its exit code.
  int Convert(const std::string& in, const std::string& out) {
    std::string command = "'" + BinDir() + "/gifconvert' '" + in + "' '/convert=" + out + "' 2>'" +
                          dir + "/stderr.txt'";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string dir;
};

void ExpectBuilderForm(const std::string& gif) {
  ASSERT_GT(gif.size(), 800u);
  EXPECT_EQ(gif.substr(0, 6), "GIF89a");
  EXPECT_EQ(static_cast<unsigned char>(gif[10]) & 0x87, 0x87);  // 256-entry global table
  const size_t s = 13 + 768 + 8;
  EXPECT_EQ(gif.substr(s - 8, 3), "\x21\xF9\x04");
  EXPECT_EQ(gif.substr(s - 3, 3), std::string(3, '\0'));  // delay high, transparent index, end
  EXPECT_EQ(gif[s], ',');
  EXPECT_EQ(gif[s + 9], '\0');  // no local table, not interlaced
  EXPECT_EQ(gif.back(), '\x3B');
}

TEST_F(GifConverterTest, RewritesGif87aInPlaceInTheBuildersForm) {
  for (bool interlaced : {false, true}) {
    Source s;
    s.interlaced = interlaced;
    const std::string path = dir + "/frame.gif";
    WriteFile(path, MakeSource(s));
    const std::string before = Rgb(path);
    ASSERT_EQ(Convert(path, path), 0);
    ExpectBuilderForm(ReadFile(path));
    EXPECT_EQ(Rgb(path), before) << interlaced;
  }
}

TEST_F(GifConverterTest, TransparentColourMovesToIndexZero) {
  Source s;
  s.gif87a = false;
  s.transparent = 5;
  const std::string path = dir + "/t.gif";
  WriteFile(path, MakeSource(s));
  const std::string before = Rgb(path);
  ASSERT_EQ(Convert(path, path), 0);
  const std::string gif = ReadFile(path);
  ExpectBuilderForm(gif);
  EXPECT_EQ(gif[13 + 768 + 3], '\x01');  // transparency flag kept
  EXPECT_EQ(gif[13 + 768 + 4], '\x05');  // delay kept
  EXPECT_EQ(Rgb(path), before);
}

TEST_F(GifConverterTest, SeparateOutputLeavesTheInput) {
  const std::string in = dir + "/in.gif", out = dir + "/out.gif";
  const std::string bytes = MakeSource(Source());
  WriteFile(in, bytes);
  ASSERT_EQ(Convert(in, out), 0);
  EXPECT_EQ(ReadFile(in), bytes);
  ExpectBuilderForm(ReadFile(out));
}

TEST_F(GifConverterTest, BrokenFileIsLeftUntouchedAndReported) {
  const std::string path = dir + "/broken.gif";
  std::string bytes = MakeSource(Source());
  bytes.resize(bytes.size() / 2);
  WriteFile(path, bytes);
  EXPECT_EQ(Convert(path, path), 1);
  EXPECT_EQ(ReadFile(path), bytes);
  EXPECT_NE(ReadFile(dir + "/stderr.txt").find("broken.gif"), std::string::npos);

  WriteFile(path, "GIF87a and then nothing useful");
  EXPECT_EQ(Convert(path, path), 1);
  EXPECT_EQ(ReadFile(path), "GIF87a and then nothing useful");
  // Cut inside the screen descriptor: giflib gives no error text for it.
  const std::string cut("GIF89a\x08\x00", 8);
  WriteFile(path, cut);
  EXPECT_EQ(Convert(path, path), 1);
  EXPECT_EQ(ReadFile(path), cut);
  EXPECT_EQ(Convert(dir + "/missing.gif", dir + "/missing.gif"), 1);
}

// The converter killed at random moments while it replaces a large frame:
// the frame is always the old or the new whole file, and whatever a kill
// leaves behind is a dot-named temporary, which folder sweeps pass over.
TEST_F(GifConverterTest, KilledConversionLeavesTheOldOrTheNewFrame) {
  Source a, b;
  a.colours = b.colours = 256;
  a.width = b.width = 1600;
  a.height = b.height = 1200;
  b.interlaced = true;
  b.transparent = 5;
  const std::string sourceA = dir + "/a.gif", sourceB = dir + "/b.gif", frame = dir + "/frame.gif";
  WriteFile(sourceA, MakeSource(a));
  WriteFile(sourceB, MakeSource(b));
  const long long start = Microseconds();
  ASSERT_EQ(Convert(sourceA, frame), 0);
  const long long took = Microseconds() - start;
  const std::string convertedA = ReadFile(frame);
  ASSERT_EQ(Convert(sourceB, frame), 0);
  const std::string convertedB = ReadFile(frame);
  ASSERT_NE(convertedA, convertedB);

  const std::string program = BinDir() + "/gifconvert";
  unsigned seed = 7;
  for (int round = 0; round < 20; ++round) {
    const std::string source = round % 2 ? sourceB : sourceA, convert = "/convert=" + frame;
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      execl(program.c_str(), program.c_str(), source.c_str(), convert.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    // Mostly late in the run, where the converter writes.
    usleep(static_cast<useconds_t>(took / 2 + rand_r(&seed) % (took * 3 / 4 + 1)));
    kill(pid, SIGKILL);
    ASSERT_EQ(waitpid(pid, nullptr, 0), pid);
    const std::string now = ReadFile(frame);
    ASSERT_TRUE(now == convertedA || now == convertedB)
        << "round " << round << ": " << now.size() << " bytes";
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      ASSERT_TRUE(name[0] == '.' || name == "a.gif" || name == "b.gif" || name == "frame.gif" ||
                  name == "stderr.txt")
          << name;
    }
  }
}

TEST_F(GifConverterTest, UsageErrors) {
  int status = std::system(("'" + BinDir() + "/gifconvert' 2>/dev/null").c_str());
  EXPECT_EQ(WEXITSTATUS(status), 64);
}

}  // namespace
}  // namespace mireva::testing
