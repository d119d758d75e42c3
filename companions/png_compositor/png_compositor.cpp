// The compositing library: reads the four quarters of a map sheet with libpng,
// converts each to 8-bit RGBA and writes them joined 2x2.
//
// libpng reports errors by longjmp. Every libpng call runs inside a function
// that owns its setjmp and keeps only plain C data (no object with a
// destructor) alive across it, so an error in a damaged file never unwinds
// through C++ frames and never ends the process.
#include "companions/png_compositor/png_compositor_api.h"

#include <png.h>

#include <csetjmp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/text_encoding.h"

namespace {

// Bounds: a quarter at most 8192 pixels a side, the joined image at most
// 64 mega-pixels (256 MB of RGBA).
constexpr png_uint_32 kMaxQuarterSide = 8192;
constexpr unsigned long long kMaxJoinedPixels = 64ULL * 1024 * 1024;

struct Raster {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  unsigned char* rgba = nullptr;  // width * height * 4, malloc'd
};

void Warn(png_structp, png_const_charp) {}

void Error(png_structp png, png_const_charp message) {
  auto* text = static_cast<char*>(png_get_error_ptr(png));
  if (text) {
    std::strncpy(text, message, 199);
    text[199] = '\0';
  }
  png_longjmp(png, 1);
}

// Reads one PNG into 8-bit RGBA. False (nothing allocated) on any failure.
bool ReadRgba(const char* hostPath, Raster* out, char* errorText) {
  FILE* f = std::fopen(hostPath, "rb");
  if (!f) {
    std::snprintf(errorText, 200, "%s", std::strerror(errno));
    return false;
  }
  unsigned char sig[8];
  if (std::fread(sig, 1, 8, f) != 8 || png_sig_cmp(sig, 0, 8) != 0) {
    std::fclose(f);
    std::snprintf(errorText, 200, "not a PNG file");
    return false;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, errorText, Error, Warn);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_read_struct(png ? &png : nullptr, nullptr, nullptr);
    std::fclose(f);
    std::snprintf(errorText, 200, "out of memory");
    return false;
  }
  // Locals changed after setjmp and read after a longjmp are volatile.
  unsigned char* volatile pixels = nullptr;
  png_bytep* volatile rows = nullptr;
  if (setjmp(png_jmpbuf(png))) {
    std::free(pixels);
    std::free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return false;
  }
  png_set_user_limits(png, kMaxQuarterSide, kMaxQuarterSide);
  png_set_chunk_malloc_max(png, 8 * 1024 * 1024);
  // Ancillary chunks other than tRNS play no part in the pixels: skip them
  // unread. libpng otherwise allocates (and clears) a text chunk's whole
  // declared length, up to 2 GB for a file of a hundred bytes.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_init_io(png, f);
  png_set_sig_bytes(png, 8);
  png_read_info(png, info);

  // Every colour type and bit depth to 8-bit RGBA.
  const png_byte colourType = png_get_color_type(png, info);
  png_set_expand(png);  // palette to RGB, gray below 8 bits to 8, tRNS to alpha
  png_set_scale_16(png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);  // no-op when alpha is present
  png_set_interlace_handling(png);
  png_read_update_info(png, info);

  const png_uint_32 w = png_get_image_width(png, info);
  const png_uint_32 h = png_get_image_height(png, info);
  if (png_get_rowbytes(png, info) != static_cast<size_t>(w) * 4) png_error(png, "unexpected row format");
  pixels = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(w) * h * 4));
  rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * h));
  if (!pixels || !rows) png_error(png, "out of memory");
  for (png_uint_32 y = 0; y < h; ++y) rows[y] = pixels + static_cast<size_t>(y) * w * 4;
  png_read_image(png, rows);
  png_read_end(png, nullptr);

  std::free(rows);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  out->width = w;
  out->height = h;
  out->rgba = pixels;
  return true;
}

// Writes RGBA rows to an open file. False on any libpng error.
bool WriteRgba(FILE* f, const unsigned char* rgba, png_uint_32 w, png_uint_32 h, char* errorText) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, errorText, Error, Warn);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(png ? &png : nullptr, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (png_uint_32 y = 0; y < h; ++y)
    png_write_row(png, const_cast<png_bytep>(rgba + static_cast<size_t>(y) * w * 4));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

int Join(const char* const names[4], const char* outputName) {
  static const char* const kQuarter[4] = {"north-west", "north-east", "south-west", "south-east"};
  Raster q[4];
  int blank = 0;
  char errorText[200];
  for (int i = 0; i < 4; ++i) {
    errorText[0] = '\0';
    const std::string host = names[i] ? mireva::HostPath(names[i]) : std::string();
    if (host.empty() || !ReadRgba(host.c_str(), &q[i], errorText)) {
      blank |= 1 << i;
      std::fprintf(stderr, "PngCompo: %s quarter %s left blank: %s\n", kQuarter[i], host.c_str(),
                   errorText);
    }
  }
  auto cleanup = [&q] {
    for (Raster& r : q) std::free(r.rgba);
  };
  if (blank == 0xF) {
    std::fprintf(stderr, "PngCompo: no quarter could be read; nothing written\n");
    return -1;
  }
  // Columns as wide as their widest quarter, rows as high as their highest;
  // a cell with no quarter at all takes the size of the largest one present.
  png_uint_32 fallbackW = 0, fallbackH = 0;
  for (const Raster& r : q) {
    if (r.width > fallbackW) fallbackW = r.width;
    if (r.height > fallbackH) fallbackH = r.height;
  }
  png_uint_32 colW[2], rowH[2];
  for (int c = 0; c < 2; ++c) {
    colW[c] = q[c].width > q[c + 2].width ? q[c].width : q[c + 2].width;
    if (colW[c] == 0) colW[c] = fallbackW;
  }
  for (int r = 0; r < 2; ++r) {
    rowH[r] = q[2 * r].height > q[2 * r + 1].height ? q[2 * r].height : q[2 * r + 1].height;
    if (rowH[r] == 0) rowH[r] = fallbackH;
  }
  const png_uint_32 w = colW[0] + colW[1];
  const png_uint_32 h = rowH[0] + rowH[1];
  if (static_cast<unsigned long long>(w) * h > kMaxJoinedPixels) {
    std::fprintf(stderr, "PngCompo: joined image of %ux%u is too large\n", w, h);
    cleanup();
    return -1;
  }
  // Blank is fully transparent.
  auto* joined = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(w) * h, 4));
  if (!joined) {
    cleanup();
    return -1;
  }
  for (int i = 0; i < 4; ++i) {
    const Raster& r = q[i];
    const size_t x0 = i % 2 == 0 ? 0 : colW[0];
    const size_t y0 = i < 2 ? 0 : rowH[0];
    for (png_uint_32 y = 0; y < r.height; ++y)
      std::memcpy(joined + ((y0 + y) * w + x0) * 4, r.rgba + static_cast<size_t>(y) * r.width * 4,
                  static_cast<size_t>(r.width) * 4);
  }
  cleanup();

  // Written beside the target and renamed, so the output is never half a file.
  const std::string target = mireva::HostPath(outputName);
  std::string tmp = target + ".tmpXXXXXX";
  int fd = mkstemp(tmp.data());
  FILE* f = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  if (!f) {
    if (fd >= 0) {
      ::close(fd);
      ::unlink(tmp.c_str());
    }
    std::fprintf(stderr, "PngCompo: cannot create %s: %s\n", target.c_str(), std::strerror(errno));
    std::free(joined);
    return -1;
  }
  errorText[0] = '\0';
  bool ok = WriteRgba(f, joined, w, h, errorText);
  std::free(joined);
  if (std::fflush(f) != 0 || ::fsync(fileno(f)) != 0) ok = false;
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fileno(f), 0666 & ~mask);
  if (std::fclose(f) != 0) ok = false;
  if (ok && std::rename(tmp.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) {
    ::unlink(tmp.c_str());
    std::fprintf(stderr, "PngCompo: cannot write %s %s\n", target.c_str(), errorText);
    return -1;
  }
  return blank;
}

}  // namespace

extern "C" MIREVA_EXPORT int MIREVA_STDCALL PngCompo(const char* northWest, const char* northEast,
                                                     const char* southWest, const char* southEast,
                                                     const char* output) {
  if (!output || !*output) return -1;
  const char* names[4] = {northWest, northEast, southWest, southEast};
  try {
    return Join(names, output);
  } catch (...) {
    // Nothing may cross the export; std::string can only fail for memory.
    return -1;
  }
}
