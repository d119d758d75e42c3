#include "tests/collectors/collector_test_support.h"

#include <gif_lib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/support/test_server.h"

namespace mireva::testing {

std::string FakeEngineFolder() { return BinDir() + "/collectors_fake_engine"; }

CollectorFolder::CollectorFolder() : WorkingFolder("mireva-collectors") {
  std::filesystem::create_directories(Path() + "/DownLoad/Weather");
  std::filesystem::create_directories(Path() + "/DownLoad/JapanMap");
  ::setenv("MIREVA_FAKE_ENGINE_LOG", (Path() + "/engine.log").c_str(), 1);
  ::unsetenv("MIREVA_FAKE_ENGINE_SOURCE");
  ::unsetenv("MIREVA_FAKE_ENGINE_RESULT");
}

CollectorFolder::~CollectorFolder() {
  ::unsetenv("MIREVA_FAKE_ENGINE_LOG");
  ::unsetenv("MIREVA_FAKE_ENGINE_SOURCE");
  ::unsetenv("MIREVA_FAKE_ENGINE_RESULT");
}

std::vector<std::string> CollectorFolder::EngineCalls() const {
  std::vector<std::string> calls;
  std::ifstream in(Path() + "/engine.log");
  std::string line;
  while (std::getline(in, line)) calls.push_back(line);
  return calls;
}

namespace {

GifColorType PaletteEntry(unsigned seed, int i) {
  GifColorType c;
  c.Red = static_cast<GifByteType>(i);
  c.Green = static_cast<GifByteType>((i * 37 + seed * 11) & 0xFF);
  c.Blue = static_cast<GifByteType>((i * 91 + seed * 29 + 7) & 0xFF);
  return c;
}

int AppendOutput(GifFileType* gif, const GifByteType* data, int length) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data),
                                                   static_cast<size_t>(length));
  return length;
}

}  // namespace

std::vector<unsigned char> FramePixels(const FrameShape& shape) {
  std::vector<unsigned char> pixels(static_cast<size_t>(shape.width) * shape.height);
  unsigned state = shape.seed * 2654435761u + 12345u;
  for (auto& p : pixels) {
    state = state * 1103515245u + 12345u;
    p = static_cast<unsigned char>((state >> 16) % static_cast<unsigned>(shape.colours));
  }
  return pixels;
}

std::string MakeGif(const FrameShape& shape) {
  std::string bytes;
  int err = 0;
  GifFileType* gif = EGifOpen(&bytes, AppendOutput, &err);
  if (!gif) return std::string();
  std::vector<GifColorType> colours(static_cast<size_t>(shape.colours));
  for (int i = 0; i < shape.colours; ++i) colours[static_cast<size_t>(i)] = PaletteEntry(shape.seed, i);
  ColorMapObject* map = GifMakeMapObject(shape.colours, colours.data());
  EGifSetGifVersion(gif, !shape.gif87a);
  EGifPutScreenDesc(gif, shape.width, shape.height, 8, 0, map);
  if (!shape.gif87a) {
    GifByteType control[4] = {0, 0, 0, 0};
    if (shape.transparent >= 0) {
      control[0] = 1;
      control[3] = static_cast<GifByteType>(shape.transparent);
    }
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
  }
  EGifPutImageDesc(gif, 0, 0, shape.width, shape.height, shape.interlaced, nullptr);
  std::vector<unsigned char> pixels = FramePixels(shape);
  auto row = [&](int y) { return pixels.data() + static_cast<size_t>(y) * shape.width; };
  if (shape.interlaced) {
    static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = kStart[pass]; y < shape.height; y += kStep[pass]) EGifPutLine(gif, row(y), shape.width);
  } else {
    for (int y = 0; y < shape.height; ++y) EGifPutLine(gif, row(y), shape.width);
  }
  EGifCloseFile(gif, &err);
  GifFreeMapObject(map);
  if (shape.exactSize > bytes.size()) {
    // A comment extension before the trailer brings the file to the exact size.
    size_t pad = shape.exactSize - bytes.size();
    if (pad < 4) return std::string();
    std::string comment = "\x21\xFE";
    size_t remaining = pad - 3;
    while (remaining > 0) {
      size_t chunk = remaining - 1 < 255 ? remaining - 1 : 255;
      if (remaining - 1 - chunk == 1) --chunk;
      comment += static_cast<char>(chunk);
      comment.append(chunk, 'x');
      remaining -= chunk + 1;
    }
    comment += '\0';
    bytes.insert(bytes.size() - 1, comment);
  }
  return bytes;
}

std::string FrameRgb(const FrameShape& shape) {
  std::string rgb;
  for (unsigned char p : FramePixels(shape)) {
    GifColorType c = PaletteEntry(shape.seed, p);
    rgb += static_cast<char>(c.Red);
    rgb += static_cast<char>(c.Green);
    rgb += static_cast<char>(c.Blue);
  }
  return rgb;
}

DecodedGif DecodeGif(const std::string& path) {
  DecodedGif out;
  int err = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &err);
  if (!gif) return out;
  if (DGifSlurp(gif) != GIF_OK) {
    DGifCloseFile(gif, &err);
    return out;
  }
  out.ok = true;
  out.imageCount = gif->ImageCount;
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& image = gif->SavedImages[i];
    for (int b = 0; b + 1 < image.ExtensionBlockCount; ++b) {
      const ExtensionBlock& e = image.ExtensionBlocks[b];
      const ExtensionBlock& next = image.ExtensionBlocks[b + 1];
      if (e.Function == APPLICATION_EXT_FUNC_CODE && e.ByteCount == 11 &&
          std::memcmp(e.Bytes, "NETSCAPE2.0", 11) == 0 && next.ByteCount >= 3 && next.Bytes[0] == 1)
        out.loopCount = next.Bytes[1] | (next.Bytes[2] << 8);
    }
    GraphicsControlBlock gcb;
    out.delays.push_back(DGifSavedExtensionToGCB(gif, i, &gcb) == GIF_OK ? gcb.DelayTime : -1);
    const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
    out.localTable.push_back(image.ImageDesc.ColorMap != nullptr);
    std::string rgb;
    const size_t n = static_cast<size_t>(image.ImageDesc.Width) * image.ImageDesc.Height;
    for (size_t p = 0; p < n; ++p) {
      const GifColorType& c = map->Colors[image.RasterBits[p]];
      rgb += static_cast<char>(c.Red);
      rgb += static_cast<char>(c.Green);
      rgb += static_cast<char>(c.Blue);
    }
    out.rgb.push_back(rgb);
  }
  DGifCloseFile(gif, &err);
  return out;
}

}  // namespace mireva::testing
