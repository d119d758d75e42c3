#pragma once
// Shared helpers of the collector tests: a working folder of its own for each
// test, GIF frames made with giflib, and the fake engine's log. The view is the
// shared FakeViewContext over FakeEngineFolder().
#include <string>
#include <vector>

#include "tests/support/fake_view_context.h"
#include "tests/support/working_folder.h"

namespace mireva::testing {

// The folder of the fake libDownLoad.so (and a link to libPngCompo.so).
std::string FakeEngineFolder();

// A test's working folder (see WorkingFolder) with "DownLoad/Weather" and
// "DownLoad/JapanMap" made in it and the fake engine's log pointed into it.
class CollectorFolder : public WorkingFolder {
 public:
  CollectorFolder();
  ~CollectorFolder();
  // The fake engine's calls so far, one line each.
  std::vector<std::string> EngineCalls() const;
};

struct FrameShape {
  int width = 64;
  int height = 64;
  unsigned seed = 1;
  bool gif87a = false;     // 87a: no control extension
  bool interlaced = false;
  int colours = 256;       // size of the global colour table
  int transparent = -1;    // transparent index (89a only)
  size_t exactSize = 0;    // pad with a comment before the trailer to this size
};

// A GIF file's bytes made with giflib from seeded random pixels.
std::string MakeGif(const FrameShape& shape);
// The pixels (colour indices) MakeGif puts into the image.
std::vector<unsigned char> FramePixels(const FrameShape& shape);

// Every image of a GIF decoded by giflib: its pixels as RGB triples.
struct DecodedGif {
  bool ok = false;
  int imageCount = 0;
  int loopCount = -1;              // from the NETSCAPE2.0 extension, -1 when absent
  std::vector<int> delays;         // per image, -1 without control extension
  std::vector<std::string> rgb;    // per image, width*height*3 bytes
  std::vector<bool> localTable;    // per image
};
DecodedGif DecodeGif(const std::string& path);

// The RGB pixels of a frame made from `shape`, as DecodeGif would give them.
std::string FrameRgb(const FrameShape& shape);

}  // namespace mireva::testing
