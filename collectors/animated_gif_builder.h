#pragma once
// Joins the weather collector's frame files "DownLoad/Weather/1.gif" (newest)
// .. "20.gif" (oldest) into one endlessly looping GIF89a animation, working on
// the GIF byte stream directly: each frame's image data is copied as it is and
// its global colour table becomes a local one. Frames stored as GIF87a are
// first rewritten by the converter companion ("gifconvert").
//
// Paths are Shift_JIS and relative to the working folder (the current folder).
// All messages go through Interaction. The output is replaced atomically: it is
// either empty (a call that failed or converted the frames) or a whole
// animation, never half of one.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/interaction.h"

namespace mireva {

class AnimatedGifBuilder {
 public:
  static constexpr size_t kBufferSize = 307200;
  static constexpr int kFrameCount = 20;
  // A frame of this size or smaller is not taken as the first frame.
  static constexpr long kMinFirstFrameSize = 4096;

  struct Options {
    // The converter program; a bare name is looked up in the program's folder.
    std::string converter = "gifconvert";
    // The pause after each converter start (600 ms); tests shorten it.
    std::function<void(int milliseconds)> pause;
  };

  explicit AnimatedGifBuilder(Interaction& ui);
  AnimatedGifBuilder(Interaction& ui, Options options);
  virtual ~AnimatedGifBuilder();
  AnimatedGifBuilder(const AnimatedGifBuilder&) = delete;
  AnimatedGifBuilder& operator=(const AnimatedGifBuilder&) = delete;

  // Builds "DownLoad/Weather/" + name (".gif" appended when missing). After
  // true, justConverted tells whether the frames were converted instead, in
  // which case the caller calls again to build.
  bool BuildAnimatedGif(const std::string& name);

  // Reads up to `capacity` bytes (never more than the buffer holds); 0 on
  // failure with its message. Sets isGif87a from the signature.
  size_t ReadGifFile(const std::string& path, uint8_t* buffer, size_t capacity);
  // Index of the image separator (the first 0x2C after three or more 0x00
  // bytes, looked for after a GIF's header and global colour table), 0 with a
  // message when there is none.
  size_t FindImageSeparator(const uint8_t* buffer, size_t length);
  // Builds the image block of one frame into `out` (kBufferSize bytes); returns
  // the block's length plus one (the frame's trailer), 0 when the frame does not
  // have the required form. A frame that cannot be opened at all also sets
  // frameUnopenable.
  size_t BuildFrameBlock(const std::string& path, uint8_t* out, int delay);

  bool justConverted = false;
  bool isGif87a = false;
  bool frameUnopenable = false;
  int frameErrno = 0;  // why the frame could not be opened

 private:
  bool ConvertFrames(int first);
  void Pause(int milliseconds);

  Interaction& ui_;
  Options options_;
  std::vector<uint8_t> frameBuffer_;
  std::vector<uint8_t> outputBuffer_;
};

// "DownLoad/Weather/<k>.gif"
std::string FramePath(int k);

}  // namespace mireva
