#include "collectors/animated_gif_builder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <ctime>
#include <unistd.h>

#include "collectors/collector_settings.h"
#include "platform/file_util.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/text_encoding.h"

namespace mireva {
namespace {

constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kSeparator = 0x2C;
constexpr int kDelay = 10;  // hundredths of a second per frame
// Where a frame of the required form has its image separator: 13 bytes of
// header and screen descriptor, 768 of global colour table, 8 of graphic
// control extension.
constexpr size_t kHeaderSize = 13;
constexpr size_t kColourTableSize = 768;
constexpr size_t kGceSize = 8;
constexpr size_t kRequiredSeparator = kHeaderSize + kColourTableSize + kGceSize;

// Texts shown to the user.
constexpr const char* kNoSeparator = "セパレータがみつかりません";
constexpr const char* kNotGif = " GIF89a/GIF87a ファイルではありません";
constexpr const char* kCannotOpen = "GIF が開けません";
constexpr const char* kCannotRead = "GIF が読みとれませんでした";
constexpr const char* kNotFound = " が見つかりません";
constexpr const char* kAskConvert = "GIF89a タイプではありません。GIF89a に変換しますか。";
constexpr const char* kNeedConverter = "i_view32.exe が必要です。";
constexpr const char* kConvertFailed = "変換できませんでした。";
// Cases the builder handles beyond the classic texts.
constexpr const char* kTooLarge = " は大きすぎます (307200 バイトまで)";
constexpr const char* kWrongForm = " は連結できない形式の GIF です";
constexpr const char* kCannotCreate = " を作成できません。";

bool FileSize(const std::string& path, long* size) {
  struct stat st;
  if (::stat(HostPath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  *size = static_cast<long>(st.st_size);
  return true;
}

// The checks a frame must pass before its bytes are trusted: a 256-entry
// global colour table, a graphic control extension directly before the image
// descriptor, and nothing else in between.
bool HasRequiredForm(const uint8_t* gif, size_t s) {
  return s == kRequiredSeparator && (gif[10] & 0x87) == 0x87 && gif[s - 8] == 0x21 &&
         gif[s - 7] == 0xF9 && gif[s - 6] == 0x04;
}

}  // namespace

std::string FramePath(int k) { return "DownLoad/Weather/" + std::to_string(k) + ".gif"; }

AnimatedGifBuilder::AnimatedGifBuilder(Interaction& ui) : AnimatedGifBuilder(ui, Options()) {}

AnimatedGifBuilder::AnimatedGifBuilder(Interaction& ui, Options options)
    : ui_(ui),
      options_(std::move(options)),
      frameBuffer_(kBufferSize),
      outputBuffer_(kBufferSize) {}

AnimatedGifBuilder::~AnimatedGifBuilder() = default;

void AnimatedGifBuilder::Pause(int milliseconds) {
  if (options_.pause)
    options_.pause(milliseconds);
  else
  {
    // <chrono> cannot be compiled with the Shift_JIS execution character set.
    timespec t{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
  }
}

size_t AnimatedGifBuilder::FindImageSeparator(const uint8_t* buffer, size_t length) {
  // A GIF's header and global colour table are passed over first: a colour
  // table can hold three zero bytes followed by 0x2C (black, then a colour
  // whose red is 44), which is no separator.
  size_t start = 0;
  if (length >= kHeaderSize && std::memcmp(buffer, "GIF", 3) == 0) {
    start = kHeaderSize;
    if (buffer[10] & 0x80) start += 3u << ((buffer[10] & 0x07) + 1);
  }
  int zeros = 0;
  for (size_t i = start; i < length; ++i) {
    if (buffer[i] == kSeparator && zeros >= 3) return i;
    zeros = buffer[i] == 0x00 ? zeros + 1 : 0;
  }
  ui_.ShowMessage(kNoSeparator, MessageIcon::Stop);
  return 0;
}

size_t AnimatedGifBuilder::ReadGifFile(const std::string& path, uint8_t* buffer,
                                       size_t capacity) {
  FILE* f = std::fopen(HostPath(path).c_str(), "rb");
  if (!f) {
    ui_.ShowMessage(kCannotOpen, MessageIcon::Stop);
    return 0;
  }
  // Both buffers hold kBufferSize bytes; a larger frame is refused instead of
  // being cut, which would leave its image data truncated.
  struct stat st;
  if (::fstat(fileno(f), &st) == 0 && st.st_size > static_cast<off_t>(kBufferSize)) {
    std::fclose(f);
    ui_.ShowMessage(path + kTooLarge, MessageIcon::Stop);
    return 0;
  }
  if (capacity > kBufferSize) capacity = kBufferSize;
  size_t n = std::fread(buffer, 1, capacity, f);
  std::fclose(f);
  if (n == 0) {
    ui_.ShowMessage(kCannotRead, MessageIcon::Stop);
    return 0;
  }
  if (n >= 6 && std::memcmp(buffer, "GIF89a", 6) == 0) {
    isGif87a = false;
  } else if (n >= 6 && std::memcmp(buffer, "GIF87a", 6) == 0) {
    isGif87a = true;
  } else {
    ui_.ShowMessage(path + kNotGif, MessageIcon::Stop);
    return 0;
  }
  return n;
}

// Image block of one frame (n bytes, separator at s):
//   8      frame[s-8 .. s-1]   graphic control extension, delay low byte := delay
//   10     frame[s .. s+9]     image descriptor, packed := 0x87 (local table, 256)
//   s-21   frame[13 .. s-9]    the global colour table as the local one
//   n-s-11 frame[s+10 .. n-2]  image data, without the trailer
size_t AnimatedGifBuilder::BuildFrameBlock(const std::string& path, uint8_t* out, int delay) {
  frameUnopenable = false;
  long size = 0;
  if (!FileSize(path, &size)) {
    frameUnopenable = true;
    frameErrno = errno;
    return 0;
  }
  uint8_t* frame = frameBuffer_.data();
  size_t n = ReadGifFile(path, frame, static_cast<size_t>(size));
  if (n == 0) return 0;
  size_t s = FindImageSeparator(frame, n);
  if (s < 9) return 0;
  if (n < s + 10) return 0;
  if (!HasRequiredForm(frame, s) || n < s + 11) {
    ui_.ShowMessage(path + kWrongForm, MessageIcon::Stop);
    return 0;
  }
  std::memcpy(out, frame + s - 8, 8);
  out[4] = static_cast<uint8_t>(delay);
  std::memcpy(out + 8, frame + s, 10);
  out[17] = 0x87;
  std::memcpy(out + 18, frame + kHeaderSize, s - 21);
  std::memcpy(out + 18 + (s - 21), frame + s + 10, n - s - 11);
  return n - 13;
}

bool AnimatedGifBuilder::ConvertFrames(int first) {
  std::string converter = options_.converter;
  if (converter.find('/') == std::string::npos) converter = ProgramFolder() + "/" + converter;
  if (::access(converter.c_str(), X_OK) != 0) {
    ui_.ShowMessage(kNeedConverter, MessageIcon::None);
    return false;
  }
  // The converter gets absolute host paths; the working folder's host name is
  // used as it is, so a name that Shift_JIS cannot spell still works.
  char cwd[4096];
  const std::string folder = ::getcwd(cwd, sizeof cwd) ? cwd : ".";
  for (int k = first; k >= 1; --k) {
    long size = 0;
    // A missing frame ends the animation anyway; there is nothing to convert.
    if (!FileSize(FramePath(k), &size)) continue;
    const std::string p = folder + "/" + HostPath(FramePath(k));
    // The converter rewrites the file in place. It is waited for, so that the
    // next call never reads a frame that is still being written.
    int exitCode = -1;
    if (!StartProgram({converter, p, "/convert=" + p}, Wait::UntilExit, &exitCode) ||
        exitCode != 0) {
      ui_.ShowMessage(kConvertFailed, MessageIcon::None);
      return false;
    }
    Pause(600);
  }
  return true;
}

bool AnimatedGifBuilder::BuildAnimatedGif(const std::string& name) {
  std::string fileName = name;
  if (fileName.find(".gif") == std::string::npos && fileName.find(".GIF") == std::string::npos)
    fileName += ".gif";
  const std::string outPath = "DownLoad/Weather/" + fileName;
  // The output starts empty and is only ever replaced by a whole animation.
  if (!WriteFileAtomically(outPath, std::string())) {
    ui_.ShowMessage(outPath + kCannotCreate, MessageIcon::None);
    return false;
  }

  // The first frame: the oldest one larger than 4096 bytes.
  int first = kFrameCount;
  long firstSize = 0;
  for (; first >= 1; --first) {
    long size = 0;
    if (!FileSize(FramePath(first), &size)) {
      ui_.ShowMessage(FramePath(first) + kNotFound, MessageIcon::None);
      continue;
    }
    if (size > kMinFirstFrameSize) {
      firstSize = size;
      break;
    }
  }
  const std::string firstPath = FramePath(first == 0 ? 1 : first);
  if (first == 0) FileSize(firstPath, &firstSize);

  uint8_t* buf = outputBuffer_.data();
  size_t len = ReadGifFile(firstPath, buf, static_cast<size_t>(firstSize) + 14);
  if (len == 0) return false;

  if (isGif87a) {
    if (!ui_.AskYesNo(kAskConvert)) return false;
    // With no frame above 4096 bytes, frame 1 serves as the first frame: it is
    // the file that needs converting.
    if (!ConvertFrames(first == 0 ? 1 : first)) return false;
    justConverted = true;
    return true;
  }

  size_t s = FindImageSeparator(buf, len);
  if (s == 0) return false;
  if (s < kHeaderSize + kGceSize || len < s + 11 || buf[s - 8] != 0x21 || buf[s - 7] != 0xF9) {
    ui_.ShowMessage(firstPath + kWrongForm, MessageIcon::Stop);
    return false;
  }
  justConverted = false;

  // Head of the animation:
  //   first frame [0 .. s-9]           header, screen descriptor, global table
  //   21 FF 0B "NETSCAPE2.0" 03 01 00 00 00   loop for ever
  //   21 FE 1B <27 bytes> 00            the comment
  //   first frame [s-8 .. s+8]          control extension (delay 10), descriptor
  //   00                                packed: no local table
  //   first frame [s+10 .. len-2]       its image data
  std::string out;
  out.append(reinterpret_cast<const char*>(buf), s - 8);
  static const uint8_t kLoop[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P',
                                  'E',  '2',  '.',  '0', 0x03, 0x01, 0x00, 0x00, 0x00};
  out.append(reinterpret_cast<const char*>(kLoop), sizeof kLoop);
  static const char kCommentText[] = "Rotary by Velmorantis";
  out.append("\x21\xFE\x1B", 3);
  std::string comment(kCommentText);
  comment.resize(27, '\0');
  out += comment;
  out += '\0';
  std::string control(reinterpret_cast<const char*>(buf + s - 8), 17);
  control[4] = static_cast<char>(kDelay);
  out += control;
  out += '\0';
  out.append(reinterpret_cast<const char*>(buf + s + 10), len - s - 11);

  for (int k = first; k >= 1; --k) {
    const std::string path = FramePath(k);
    size_t b = BuildFrameBlock(path, buf, kDelay);
    if (frameUnopenable) {
      // A frame that vanished or cannot be read at all: the animation would
      // silently lack it, so nothing is written and the user is told which.
      ui_.ShowMessage(SystemErrorText(frameErrno) + " : " + path, MessageIcon::Stop);
      return false;
    }
    if (b == 0) break;
    out.append(reinterpret_cast<const char*>(buf), b - 1);
  }
  out += static_cast<char>(kTrailer);

  if (!WriteFileAtomically(outPath, out)) {
    ui_.ShowMessage(outPath + kCannotCreate, MessageIcon::None);
    return false;
  }
  return true;
}

}  // namespace mireva
