// The animated-GIF builder on frames made for each case, the result read back
// by giflib.
#include "collectors/animated_gif_builder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/collectors/collector_test_support.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

using testing::DecodeGif;
using testing::FrameRgb;
using testing::FrameShape;
using testing::MakeGif;

const char* kOutput = "DownLoad/Weather/Himawari.gif";

FrameShape Frame(int k) {
  FrameShape shape;
  shape.seed = static_cast<unsigned>(k);
  return shape;  // 64x64 random pixels: well above 4096 bytes
}

void PutFrame(int k, const FrameShape& shape) { testing::WriteFile(FramePath(k), MakeGif(shape)); }

void PutFrames(int from, int to) {
  for (int k = from; k <= to; ++k) PutFrame(k, Frame(k));
}

long SizeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

bool NoTemporaryLeft() {
  for (const auto& e : std::filesystem::directory_iterator("DownLoad/Weather"))
    if (e.path().filename().string().find(".tmp") != std::string::npos) return false;
  return true;
}

AnimatedGifBuilder::Options NoPause() {
  AnimatedGifBuilder::Options options;
  options.converter = testing::BinDir() + "/gifconvert";
  options.pause = [](int) {};
  return options;
}

class AnimatedGifBuilderTest : public ::testing::Test {
 protected:
  testing::CollectorFolder folder;
  FakeInteraction ui;
};

TEST_F(AnimatedGifBuilderTest, TwentyFramesGiveTwentyOneImagesOldestTwiceLoopingWithDelayTen) {
  PutFrames(1, 20);
  AnimatedGifBuilder builder(ui);
  ASSERT_TRUE(builder.BuildAnimatedGif("Himawari.gif"));
  EXPECT_FALSE(builder.justConverted);
  EXPECT_TRUE(ui.log.empty());

  testing::DecodedGif gif = DecodeGif(kOutput);
  ASSERT_TRUE(gif.ok);
  ASSERT_EQ(gif.imageCount, 21);
  EXPECT_EQ(gif.loopCount, 0);
  for (int i = 0; i < 21; ++i) EXPECT_EQ(gif.delays[static_cast<size_t>(i)], 10) << i;
  // Frame 20 twice (first with the global table), then 19 .. 1 with local tables.
  EXPECT_EQ(gif.rgb[0], FrameRgb(Frame(20)));
  EXPECT_FALSE(gif.localTable[0]);
  for (int i = 1; i < 21; ++i) {
    EXPECT_EQ(gif.rgb[static_cast<size_t>(i)], FrameRgb(Frame(21 - i))) << i;
    EXPECT_TRUE(gif.localTable[static_cast<size_t>(i)]) << i;
  }
}

TEST_F(AnimatedGifBuilderTest, HeadHasTheExactByteLayout) {
  PutFrames(1, 2);
  AnimatedGifBuilder builder(ui);
  ASSERT_TRUE(builder.BuildAnimatedGif("Himawari"));  // ".gif" is added
  const std::string frame = MakeGif(Frame(2));
  const std::string out = testing::ReadFile(kOutput);
  const size_t s = 13 + 768 + 8;
  ASSERT_EQ(frame[s], ',');
  std::string expected = frame.substr(0, s - 8);
  expected += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
  expected += std::string("\x21\xFE\x1BRotary by Velmorantis", 24) + std::string(7, '\0');
  std::string control = frame.substr(s - 8, 17);
  control[4] = 10;
  expected += control + std::string(1, '\0');
  ASSERT_GE(out.size(), expected.size());
  EXPECT_EQ(out.substr(0, expected.size()), expected);
  EXPECT_EQ(out.back(), '\x3B');
  // Head + first image data, then blocks of n-14 bytes for frames 2 and 1, trailer.
  const size_t n2 = frame.size(), n1 = MakeGif(Frame(1)).size();
  EXPECT_EQ(out.size(), (s + 60 + (n2 - s - 11)) + (n2 - 14) + (n1 - 14) + 1);
}

TEST_F(AnimatedGifBuilderTest, MissingOldestFramesAreReportedAndTheNextOneLeads) {
  PutFrames(1, 18);
  AnimatedGifBuilder builder(ui);
  ASSERT_TRUE(builder.BuildAnimatedGif("Himawari.gif"));
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0], "DownLoad/Weather/20.gif が見つかりません");
  EXPECT_EQ(ui.messages[1], "DownLoad/Weather/19.gif が見つかりません");
  testing::DecodedGif gif = DecodeGif(kOutput);
  ASSERT_EQ(gif.imageCount, 19);
  EXPECT_EQ(gif.rgb[0], FrameRgb(Frame(18)));
  EXPECT_EQ(gif.rgb[1], FrameRgb(Frame(18)));
  EXPECT_EQ(gif.rgb[18], FrameRgb(Frame(1)));
}

TEST_F(AnimatedGifBuilderTest, FrameOf4096BytesIsPassedOverSilentlyAnd4097IsUsed) {
  PutFrames(1, 19);
  FrameShape small;
  small.width = small.height = 16;
  small.seed = 20;
  small.exactSize = 4096;
  PutFrame(20, small);
  ASSERT_EQ(SizeOf(FramePath(20)), 4096);
  {
    AnimatedGifBuilder builder(ui);
    ASSERT_TRUE(builder.BuildAnimatedGif("Himawari.gif"));
    EXPECT_TRUE(ui.messages.empty());
    testing::DecodedGif gif = DecodeGif(kOutput);
    ASSERT_EQ(gif.imageCount, 20);
    EXPECT_EQ(gif.rgb[0], FrameRgb(Frame(19)));
  }
  small.exactSize = 4097;
  PutFrame(20, small);
  ASSERT_EQ(SizeOf(FramePath(20)), 4097);
  AnimatedGifBuilder builder(ui);
  ASSERT_TRUE(builder.BuildAnimatedGif("Himawari.gif"));
  testing::DecodedGif gif = DecodeGif(kOutput);
  ASSERT_EQ(gif.imageCount, 21);
  EXPECT_EQ(gif.rgb[0], FrameRgb(small));
  EXPECT_EQ(gif.rgb[1], FrameRgb(small));
}

TEST_F(AnimatedGifBuilderTest, NoLargeFrameMakesFrameOneTheOnlyImage) {
  FrameShape small;
  small.width = small.height = 8;
  PutFrame(1, small);
  AnimatedGifBuilder builder(ui);
  ASSERT_TRUE(builder.BuildAnimatedGif("Himawari.gif"));
  EXPECT_EQ(ui.messages.size(), 19u);  // frames 20 .. 2 are missing
  testing::DecodedGif gif = DecodeGif(kOutput);
  ASSERT_EQ(gif.imageCount, 1);
  EXPECT_EQ(gif.rgb[0], FrameRgb(small));
}

TEST_F(AnimatedGifBuilderTest, Gif87aFirstFrameAnsweredNoLeavesAnEmptyOutput) {
  PutFrames(1, 19);
  FrameShape old = Frame(20);
  old.gif87a = true;
  PutFrame(20, old);
  testing::WriteFile(kOutput, "an older animation");
  ui.yesNoAnswers.push_back(false);
  AnimatedGifBuilder builder(ui);
  EXPECT_FALSE(builder.BuildAnimatedGif("Himawari.gif"));
  ASSERT_EQ(ui.log.size(), 1u);
  EXPECT_EQ(ui.log[0], "yesno:GIF89a タイプではありません。GIF89a に変換しますか。");
  EXPECT_EQ(SizeOf(kOutput), 0);
  EXPECT_TRUE(NoTemporaryLeft());
}

TEST_F(AnimatedGifBuilderTest, Gif87aFramesAreConvertedThenTheNextCallBuilds) {
  for (int k = 1; k <= 20; ++k) {
    FrameShape shape = Frame(k);
    shape.gif87a = true;
    shape.interlaced = k % 2 == 0;
    PutFrame(k, shape);
  }
  ui.yesNoAnswers.push_back(true);
  AnimatedGifBuilder builder(ui, NoPause());
  ASSERT_TRUE(builder.BuildAnimatedGif("Himawari.gif"));
  EXPECT_TRUE(builder.justConverted);
  EXPECT_EQ(SizeOf(kOutput), 0);
  EXPECT_EQ(testing::ReadFile(FramePath(7)).substr(0, 6), "GIF89a");

  ASSERT_TRUE(builder.BuildAnimatedGif("Himawari.gif"));
  EXPECT_FALSE(builder.justConverted);
  testing::DecodedGif gif = DecodeGif(kOutput);
  ASSERT_EQ(gif.imageCount, 21);
  EXPECT_EQ(gif.rgb[0], FrameRgb(Frame(20)));
  EXPECT_EQ(gif.rgb[20], FrameRgb(Frame(1)));
}

TEST_F(AnimatedGifBuilderTest, ConversionNeedsTheConverter) {
  FrameShape old = Frame(20);
  old.gif87a = true;
  PutFrame(20, old);
  PutFrames(1, 19);
  ui.yesNoAnswers.push_back(true);
  AnimatedGifBuilder::Options options = NoPause();
  options.converter = folder.Path() + "/no-such-converter";
  AnimatedGifBuilder builder(ui, options);
  EXPECT_FALSE(builder.BuildAnimatedGif("Himawari.gif"));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "i_view32.exe が必要です。");
}

TEST_F(AnimatedGifBuilderTest, FailedConversionIsReported) {
  FrameShape old = Frame(20);
  old.gif87a = true;
  PutFrame(20, old);
  testing::WriteFile(FramePath(19), "GIF87a but broken");
  ui.yesNoAnswers.push_back(true);
  AnimatedGifBuilder builder(ui, NoPause());
  EXPECT_FALSE(builder.BuildAnimatedGif("Himawari.gif"));
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back(), "変換できませんでした。");
}

TEST_F(AnimatedGifBuilderTest, FrameWithTooEarlySeparatorEndsTheSequence) {
  PutFrames(1, 20);
  // "GIF89a" then three zero bytes and the separator at index 9, the smallest
  // index after a signature; padded past 20 bytes.
  std::string bad = std::string("GIF89a\0\0\0,", 10) + std::string(30, '\x01') + "\x3B";
  testing::WriteFile(FramePath(15), bad);
  AnimatedGifBuilder builder(ui);
  ASSERT_TRUE(builder.BuildAnimatedGif("Himawari.gif"));
  testing::DecodedGif gif = DecodeGif(kOutput);
  ASSERT_TRUE(gif.ok);
  EXPECT_EQ(gif.imageCount, 6);  // 20 twice, 19 .. 16
  EXPECT_EQ(gif.rgb[5], FrameRgb(Frame(16)));
}

TEST_F(AnimatedGifBuilderTest, FrameBlockNeedsTheFullColourTable) {
  FrameShape twoColours = Frame(3);
  twoColours.colours = 2;
  PutFrame(3, twoColours);
  AnimatedGifBuilder builder(ui);
  std::vector<uint8_t> out(AnimatedGifBuilder::kBufferSize);
  EXPECT_EQ(builder.BuildFrameBlock(FramePath(3), out.data(), 10), 0u);
  EXPECT_FALSE(builder.frameUnopenable);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("DownLoad/Weather/3.gif"), std::string::npos);
}

TEST_F(AnimatedGifBuilderTest, FrameBlockLayout) {
  PutFrame(4, Frame(4));
  const std::string frame = MakeGif(Frame(4));
  const size_t n = frame.size(), s = 789;
  AnimatedGifBuilder builder(ui);
  std::vector<uint8_t> out(AnimatedGifBuilder::kBufferSize);
  ASSERT_EQ(builder.BuildFrameBlock(FramePath(4), out.data(), 10), n - 13);
  std::string block(reinterpret_cast<const char*>(out.data()), n - 14);
  std::string control = frame.substr(s - 8, 8);
  control[4] = 10;
  std::string descriptor = frame.substr(s, 10);
  descriptor[9] = '\x87';
  EXPECT_EQ(block, control + descriptor + frame.substr(13, 768) + frame.substr(s + 10, n - s - 11));
}

TEST_F(AnimatedGifBuilderTest, OversizedFramesAreRefusedWithoutOverrun) {
  PutFrames(1, 20);
  std::string huge = MakeGif(Frame(12));
  huge.insert(huge.size() - 1, std::string(AnimatedGifBuilder::kBufferSize, '\0'));
  testing::WriteFile(FramePath(12), huge);
  AnimatedGifBuilder builder(ui);
  ASSERT_TRUE(builder.BuildAnimatedGif("Himawari.gif"));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("DownLoad/Weather/12.gif"), std::string::npos);
  EXPECT_EQ(DecodeGif(kOutput).imageCount, 9);  // 20 twice, 19 .. 13

  testing::WriteFile(FramePath(20), huge);
  AnimatedGifBuilder again(ui);
  EXPECT_FALSE(again.BuildAnimatedGif("Himawari.gif"));
  EXPECT_EQ(SizeOf(kOutput), 0);
}

TEST_F(AnimatedGifBuilderTest, FrameThatCannotBeOpenedPartWayLeavesNoHalfAnimation) {
  PutFrames(1, 20);
  std::filesystem::remove(FramePath(9));
  AnimatedGifBuilder builder(ui);
  EXPECT_FALSE(builder.BuildAnimatedGif("Himawari.gif"));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find(" : DownLoad/Weather/9.gif"), std::string::npos);
  EXPECT_EQ(ui.icons[0], MessageIcon::Stop);
  EXPECT_EQ(SizeOf(kOutput), 0);
  EXPECT_TRUE(NoTemporaryLeft());
}

TEST_F(AnimatedGifBuilderTest, OutputThatCannotBeCreatedIsReported) {
  PutFrames(1, 20);
  std::filesystem::create_directories(kOutput);  // a folder where the file should go
  AnimatedGifBuilder builder(ui);
  EXPECT_FALSE(builder.BuildAnimatedGif("Himawari.gif"));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], std::string(kOutput) + " を作成できません。");
  EXPECT_TRUE(NoTemporaryLeft());
}

TEST_F(AnimatedGifBuilderTest, ReadGifFileMessages) {
  AnimatedGifBuilder builder(ui);
  std::vector<uint8_t> buf(AnimatedGifBuilder::kBufferSize);
  EXPECT_EQ(builder.ReadGifFile("DownLoad/Weather/none.gif", buf.data(), 100), 0u);
  testing::WriteFile("empty.gif", "");
  EXPECT_EQ(builder.ReadGifFile("empty.gif", buf.data(), 100), 0u);
  testing::WriteFile("text.gif", "hello, world");
  EXPECT_EQ(builder.ReadGifFile("text.gif", buf.data(), 100), 0u);
  ASSERT_EQ(ui.messages.size(), 3u);
  EXPECT_EQ(ui.messages[0], "GIF が開けません");
  EXPECT_EQ(ui.messages[1], "GIF が読みとれませんでした");
  EXPECT_EQ(ui.messages[2], "text.gif GIF89a/GIF87a ファイルではありません");
  for (MessageIcon icon : ui.icons) EXPECT_EQ(icon, MessageIcon::Stop);

  testing::WriteFile("old.gif", "GIF87a....");
  EXPECT_EQ(builder.ReadGifFile("old.gif", buf.data(), 1000), 10u);
  EXPECT_TRUE(builder.isGif87a);
  testing::WriteFile("new.gif", "GIF89a....");
  EXPECT_EQ(builder.ReadGifFile("new.gif", buf.data(), 8), 8u);  // up to the capacity
  EXPECT_FALSE(builder.isGif87a);
}

TEST_F(AnimatedGifBuilderTest, FindImageSeparatorNeedsThreeZerosBefore) {
  AnimatedGifBuilder builder(ui);
  const uint8_t atEight[] = {1, 2, 3, 4, 5, 0, 0, 0, ',', 9};
  EXPECT_EQ(builder.FindImageSeparator(atEight, sizeof atEight), 8u);
  const uint8_t twoZeros[] = {1, 0, 0, ',', 0, 0, 0, 0, ',', 0};
  EXPECT_EQ(builder.FindImageSeparator(twoZeros, sizeof twoZeros), 8u);
  EXPECT_TRUE(ui.messages.empty());
  // Three zeros and 0x2C inside a colour table are no separator.
  std::string table = MakeGif(Frame(1));
  table.replace(13 + 30, 4, std::string("\0\0\0,", 4));
  EXPECT_EQ(builder.FindImageSeparator(reinterpret_cast<const uint8_t*>(table.data()), table.size()),
            789u);
  const uint8_t none[] = {0, 0, ',', 1, 0, 0};
  EXPECT_EQ(builder.FindImageSeparator(none, sizeof none), 0u);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "セパレータがみつかりません");
}

}  // namespace
}  // namespace mireva
