// gifconvert <input> /convert=<output>
//
// Rewrites the first image of a GIF (87a or 89a) as a GIF89a in the one form
// the animated-GIF builder joins without decoding:
//   "GIF89a", logical screen descriptor with a 256-entry global colour table,
//   the table (768 bytes), a graphic control extension (21 F9 04 ...) directly
//   before the image descriptor, the image with no local table and not
//   interlaced, the trailer.
// The output replaces its target through a ReplacementFile (a dot-named
// temporary beside it, flushed to disk and renamed), so a conversion in place
// replaces the input only with a whole file, even across a crash. A file that
// cannot be read is left untouched; the reason goes to standard error.
// Exit codes: 0 converted, 1 unreadable input, 2 output not written, 64 usage.
#include "companions/gif_converter/gif_convert.h"

#include <gif_lib.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_util.h"

namespace mireva::gifconvert {
namespace {

constexpr int kMaxSide = 16384;
constexpr long kMaxPixels = 64L * 1024 * 1024;

// giflib's text for an error code; it has none for some codes (a header cut
// short leaves the code at 0), and a null would end the program.
std::string GifError(int code) {
  const char* text = GifErrorString(code);
  return text ? text : "error " + std::to_string(code);
}

int Fail(int code, const std::string& what) {
  std::fprintf(stderr, "gifconvert: %s\n", what.c_str());
  return code;
}

struct Image {
  int screenWidth = 0, screenHeight = 0;
  int left = 0, top = 0, width = 0, height = 0;
  GifColorType colours[256] = {};
  int background = 0;
  int transparent = -1;
  int delay = 0;
  std::vector<GifByteType> pixels;
};

// giflib reads the input from memory through this.
struct Source {
  const char* next;
  size_t left;
};

int ReadSource(GifFileType* gif, GifByteType* into, int wanted) {
  auto* source = static_cast<Source*>(gif->UserData);
  const size_t n = std::min(source->left, static_cast<size_t>(wanted < 0 ? 0 : wanted));
  std::memcpy(into, source->next, n);
  source->next += n;
  source->left -= n;
  return static_cast<int>(n);
}

int AppendOutput(GifFileType* gif, const GifByteType* data, int n) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data),
                                                   static_cast<size_t>(n));
  return n;
}

// Reads the whole GIF as giflib's DGifSlurp would, every image decoded so
// that a damaged file is refused, but keeps only the first image and its
// control extension. Sizes are checked before anything is allocated for an
// image (a file of fifty bytes can declare 65535 x 65535 pixels); the later
// images are decoded one row at a time.
bool ReadFirstImage(std::string_view input, const char* path, Image* image, std::string* error) {
  int err = 0;
  Source source{input.data(), input.size()};
  GifFileType* gif = DGifOpen(&source, ReadSource, &err);
  if (!gif) {
    *error = std::string("cannot read ") + path + ": " + GifError(err);
    return false;
  }
  auto fail = [&](const std::string& what) {
    *error = what;
    DGifCloseFile(gif, &err);
    return false;
  };
  auto unreadable = [&](int code) {
    return fail(std::string("not a readable GIF: ") + path + ": " + GifError(code));
  };
  bool haveImage = false, sawControl = false;
  std::vector<GifByteType> row;
  GifRecordType type = UNDEFINED_RECORD_TYPE;
  do {
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return unreadable(gif->Error);
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return unreadable(gif->Error);
      // The first control extension before the first image counts, valid or not.
      if (!haveImage && !sawControl && code == GRAPHICS_EXT_FUNC_CODE && block) {
        sawControl = true;
        GraphicsControlBlock gcb;
        if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK) {
          image->transparent = gcb.TransparentColor;
          image->delay = gcb.DelayTime;
        }
      }
      while (block)
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return unreadable(gif->Error);
    } else if (type == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(gif) == GIF_ERROR) return unreadable(gif->Error);
      const GifImageDesc& d = gif->Image;
      if (d.Width <= 0 || d.Height <= 0) return unreadable(gif->Error);
      if (haveImage) {
        row.resize(static_cast<size_t>(d.Width));
        for (int y = 0; y < d.Height; ++y)
          if (DGifGetLine(gif, row.data(), d.Width) == GIF_ERROR) return unreadable(gif->Error);
        continue;
      }
      const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
      if (!map || d.Width > kMaxSide || d.Height > kMaxSide ||
          static_cast<long>(d.Width) * d.Height > kMaxPixels || gif->SWidth > kMaxSide ||
          gif->SHeight > kMaxSide)
        return fail(std::string("unsupported GIF (no colour table or too large): ") + path);
      image->screenWidth = gif->SWidth;
      image->screenHeight = gif->SHeight;
      image->left = d.Left;
      image->top = d.Top;
      image->width = d.Width;
      image->height = d.Height;
      // The palette is padded to 256 entries (black); pixel values stay valid.
      for (int i = 0; i < map->ColorCount && i < 256; ++i) image->colours[i] = map->Colors[i];
      image->background = gif->SBackGroundColor;
      image->pixels.resize(static_cast<size_t>(d.Width) * d.Height);
      // Interlaced rows are put in display order.
      static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
      const int passes = d.Interlace ? 4 : 1;
      for (int pass = 0; pass < passes; ++pass) {
        const int first = d.Interlace ? kStart[pass] : 0, step = d.Interlace ? kStep[pass] : 1;
        for (int y = first; y < d.Height; y += step)
          if (DGifGetLine(gif, image->pixels.data() + static_cast<size_t>(y) * d.Width,
                          d.Width) == GIF_ERROR)
            return unreadable(gif->Error);
      }
      haveImage = true;
    }
  } while (type != TERMINATE_RECORD_TYPE);
  if (!haveImage) return unreadable(D_GIF_ERR_NO_IMAG_DSCR);
  DGifCloseFile(gif, &err);
  return true;
}

// The builder needs the control extension's last bytes (delay high byte,
// transparent index) to be zero: delays above 255 hundredths are cut, and a
// transparent colour is moved to index 0 by swapping two palette entries.
void NormaliseForBuilder(Image* image) {
  if (image->delay > 255) image->delay = 255;
  if (image->delay < 0) image->delay = 0;
  const int t = image->transparent;
  if (t > 0 && t < 256) {
    std::swap(image->colours[0], image->colours[t]);
    for (GifByteType& p : image->pixels) {
      if (p == t)
        p = 0;
      else if (p == 0)
        p = static_cast<GifByteType>(t);
    }
    if (image->background == t)
      image->background = 0;
    else if (image->background == 0)
      image->background = t;
    image->transparent = 0;
  }
}

// The image in the builder's form.
bool EncodeImage(const Image& image, const std::string& name, std::string* output,
                 std::string* error) {
  output->clear();
  int err = 0;
  GifFileType* gif = EGifOpen(output, AppendOutput, &err);
  if (!gif) {
    *error = std::string("cannot convert ") + name + ": " + GifError(err);
    return false;
  }
  ColorMapObject* map = GifMakeMapObject(256, image.colours);
  EGifSetGifVersion(gif, true);
  GifByteType control[4] = {0, static_cast<GifByteType>(image.delay & 0xFF), 0, 0};
  if (image.transparent == 0) control[0] = 0x01;
  bool ok = map && EGifPutScreenDesc(gif, image.screenWidth, image.screenHeight, 8,
                                     image.background, map) == GIF_OK &&
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK &&
            EGifPutImageDesc(gif, image.left, image.top, image.width, image.height, false,
                             nullptr) == GIF_OK;
  for (int y = 0; ok && y < image.height; ++y) {
    auto* row = const_cast<GifByteType*>(image.pixels.data() + static_cast<size_t>(y) * image.width);
    ok = EGifPutLine(gif, row, image.width) == GIF_OK;
  }
  if (EGifCloseFile(gif, &err) != GIF_OK) ok = false;
  GifFreeMapObject(map);
  if (!ok) *error = "cannot convert " + name;
  return ok;
}

// The whole input file: 0, or giflib's code for a file it could not open or
// read.
int ReadInput(const std::string& path, std::string* bytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return D_GIF_ERR_OPEN_FAILED;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      return n == 0 ? 0 : D_GIF_ERR_READ_FAILED;
    }
    bytes->append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace

int ConvertGif(std::string_view input, const std::string& name, std::string* output,
               std::string* error) {
  Image image;
  if (!ReadFirstImage(input, name.c_str(), &image, error)) return 1;
  NormaliseForBuilder(&image);
  return EncodeImage(image, name, output, error) ? 0 : 2;
}

}  // namespace mireva::gifconvert

int main(int argc, char** argv) {
  using namespace mireva::gifconvert;
  // The classic command line is "<file> /convert=<file>"; "-o <file>" and a
  // lone input (converted in place) are accepted as well.
  std::string input, output;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.starts_with("/convert="))
      output = a.substr(9);
    else if (a == "-o" && i + 1 < argc)
      output = argv[++i];
    else if (input.empty())
      input = a;
    else
      return Fail(64, "usage: gifconvert <file> /convert=<file>");
  }
  if (input.empty()) return Fail(64, "usage: gifconvert <file> /convert=<file>");
  if (output.empty()) output = input;

  std::string bytes, converted, error;
  if (int code = ReadInput(input, &bytes); code != 0)
    return Fail(1, "cannot read " + input + ": " + GifError(code));
  if (int rc = ConvertGif(bytes, input, &converted, &error); rc != 0) return Fail(rc, error);
  // The frame is replaced crash-safely: after a crash the target is the old
  // frame or the whole new one.
  mireva::ReplacementFile file(output);
  if (!file.IsOpen()) return Fail(2, "cannot create a file beside " + output);
  if (!file.Write(converted) || !file.Commit()) return Fail(2, "cannot write " + output);
  return 0;
}
