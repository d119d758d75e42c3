// gifconvert <input> /convert=<output>
//
// Rewrites the first image of a GIF (87a or 89a) as a GIF89a in the one form
// the animated-GIF builder joins without decoding:
//   "GIF89a", logical screen descriptor with a 256-entry global colour table,
//   the table (768 bytes), a graphic control extension (21 F9 04 ...) directly
//   before the image descriptor, the image with no local table and not
//   interlaced, the trailer.
// The output is written to a temporary file beside it, flushed to disk and
// renamed, so a conversion in place replaces the input only with a whole file,
// even across a crash. A file that
// cannot be read is left untouched; the reason goes to standard error.
// Exit codes: 0 converted, 1 unreadable input, 2 output not written, 64 usage.
#include <gif_lib.h>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

bool ReadFirstImage(const char* path, Image* image, std::string* error) {
  int err = 0;
  GifFileType* gif = DGifOpenFileName(path, &err);
  if (!gif) {
    *error = std::string("cannot read ") + path + ": " + GifError(err);
    return false;
  }
  if (DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
    *error = std::string("not a readable GIF: ") + path + ": " + GifError(gif->Error);
    DGifCloseFile(gif, &err);
    return false;
  }
  const SavedImage& first = gif->SavedImages[0];
  const GifImageDesc& d = first.ImageDesc;
  const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
  if (!map || d.Width <= 0 || d.Height <= 0 || d.Width > kMaxSide || d.Height > kMaxSide ||
      static_cast<long>(d.Width) * d.Height > kMaxPixels || gif->SWidth > kMaxSide ||
      gif->SHeight > kMaxSide) {
    *error = std::string("unsupported GIF (no colour table or too large): ") + path;
    DGifCloseFile(gif, &err);
    return false;
  }
  image->screenWidth = gif->SWidth;
  image->screenHeight = gif->SHeight;
  image->left = d.Left;
  image->top = d.Top;
  image->width = d.Width;
  image->height = d.Height;
  // The palette is padded to 256 entries (black); pixel values stay valid.
  for (int i = 0; i < map->ColorCount && i < 256; ++i) image->colours[i] = map->Colors[i];
  image->background = gif->SBackGroundColor;
  GraphicsControlBlock gcb;
  if (DGifSavedExtensionToGCB(gif, 0, &gcb) == GIF_OK) {
    image->transparent = gcb.TransparentColor;
    image->delay = gcb.DelayTime;
  }
  // DGifSlurp has already put interlaced rows in display order.
  image->pixels.assign(first.RasterBits,
                       first.RasterBits + static_cast<size_t>(d.Width) * d.Height);
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

// A unique temporary name beside `path`, beginning with a dot so that folder
// sweeps pass it over: ".<name>.tmpXXXXXX". Created with mode 0666 through the
// umask (never changing the umask), exclusively and without following links.
int CreateTemporaryBeside(const std::string& path, std::string* tmp) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.size() > 200) name.resize(200);
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char bytes[6] = {};
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
      unsigned v = static_cast<unsigned>(getpid()) * 2654435761u + static_cast<unsigned>(attempt) +
                   static_cast<unsigned>(time(nullptr));
      for (unsigned char& b : bytes) b = static_cast<unsigned char>(v >>= 3);
    }
    *tmp = folder + "." + name + ".tmp";
    for (unsigned char b : bytes) *tmp += kChars[b % (sizeof kChars - 1)];
    int fd = ::open(tmp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// The frame is replaced crash-safely: written under a temporary name, flushed
// to disk, renamed over the target, and the folder flushed, so after a crash
// the target is the old frame or the whole new one.
bool WriteImage(const std::string& path, const Image& image, std::string* error) {
  std::string tmp;
  int fd = CreateTemporaryBeside(path, &tmp);
  if (fd < 0) {
    *error = "cannot create a file beside " + path;
    return false;
  }
  // giflib closes the handle it is given; this one stays for the flush.
  int gifFd = ::dup(fd);
  int err = 0;
  GifFileType* gif = gifFd < 0 ? nullptr : EGifOpenFileHandle(gifFd, &err);
  if (!gif) {
    if (gifFd >= 0) ::close(gifFd);
    ::close(fd);
    ::unlink(tmp.c_str());
    *error = std::string("cannot write ") + path + ": " + GifError(err);
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
  if (EGifCloseFile(gif, &err) != GIF_OK) ok = false;  // closes gifFd
  GifFreeMapObject(map);
  if (ok && ::fsync(fd) != 0 && errno != EINVAL) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    *error = "cannot write " + path;
    return false;
  }
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // The classic command line is "<file> /convert=<file>"; "-o <file>" and a
  // lone input (converted in place) are accepted as well.
  std::string input, output;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("/convert=", 0) == 0)
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

  Image image;
  std::string error;
  if (!ReadFirstImage(input.c_str(), &image, &error)) return Fail(1, error);
  NormaliseForBuilder(&image);
  if (!WriteImage(output, image, &error)) return Fail(2, error);
  return 0;
}
