#pragma once
// Shared helpers of the collector tests: a fake view, a working folder of its
// own for each test, GIF frames made with giflib, and the fake engine's log.
#include <functional>
#include <string>
#include <vector>

#include "app/view_context.h"
#include "patrol/download_engine.h"
#include "platform/testing/fake_browser.h"
#include "platform/testing/fake_interaction.h"

namespace mireva::testing {

// The folder of the fake libDownLoad.so (and a link to libPngCompo.so).
std::string FakeEngineFolder();

class FakeView : public ViewContext {
 public:
  explicit FakeView(const std::string& libraryFolder = FakeEngineFolder())
      : engine(ui, libraryFolder) {}
  std::string AddressField() const override { return address; }
  void SetAddressField(const std::string& a) override { address = a; }
  BrowserControl& Browser() override { return browser; }
  Interaction& Ui() override { return ui; }
  void SetStatusText(const std::string& text) override { status = text; }
  DownloadEngine& Engine() override { return engine; }
  wxWindow* DialogParent() override { return nullptr; }
  void AddDocumentCompleteHook(std::function<void(const std::string&)>) override {}
  void SetMosaicCollection() override { mosaicCollection = true; }
  void KeepAlive() override {}

  std::string address;
  std::string status;
  bool mosaicCollection = false;
  FakeBrowser browser;
  FakeInteraction ui;
  DownloadEngine engine;
};

// Makes a fresh temporary folder, changes into it (with "DownLoad/Weather"
// and "DownLoad/JapanMap" made) and points the fake engine's log into it;
// the destructor changes back and removes everything.
class WorkingFolder {
 public:
  WorkingFolder();
  ~WorkingFolder();
  const std::string& Path() const { return path_; }
  // The fake engine's calls so far, one line each.
  std::vector<std::string> EngineCalls() const;

 private:
  std::string path_;
  std::string previous_;
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
