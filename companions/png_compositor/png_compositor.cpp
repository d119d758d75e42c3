// The compositing library: reads the four quarters of a map sheet with libpng,
// converts each to 8-bit RGBA and writes them joined 2x2.
//
// libpng reports errors by longjmp. Every libpng call runs inside a function
// that owns its setjmp and keeps only plain C data (no object with a
// destructor) alive across it, so an error in a damaged file never unwinds
// through C++ frames and never ends the process.
//
// The quarters come from files or from memory, and the joined image goes to
// a file (through a ReplacementFile) or to memory; the joining is the same.
#include "core/runtime/png_compositor_api.h"

#include <png.h>

#include <csetjmp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "companions/png_compositor/png_compositor_memory.h"
#include "platform/file_util.h"
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

// A quarter's bytes: an open file, or else bytes in memory.
struct Source {
  FILE* file = nullptr;
  const unsigned char* bytes = nullptr;
  size_t left = 0;
};

size_t Take(Source* source, unsigned char* into, size_t n) {
  if (source->file) return std::fread(into, 1, n, source->file);
  if (n > source->left) n = source->left;
  std::memcpy(into, source->bytes, n);
  source->bytes += n;
  source->left -= n;
  return n;
}

void ReadData(png_structp png, png_bytep into, size_t n) {
  if (Take(static_cast<Source*>(png_get_io_ptr(png)), into, n) != n) png_error(png, "Read Error");
}

// Where the joined image goes: a replacement file, or else a string.
struct Sink {
  mireva::ReplacementFile* file = nullptr;
  std::string* bytes = nullptr;
};

void WriteData(png_structp png, png_bytep data, size_t n) {
  auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
  const char* text = reinterpret_cast<const char*>(data);
  if (sink->file) {
    if (!sink->file->Write(std::string_view(text, n))) png_error(png, "Write Error");
  } else {
    sink->bytes->append(text, n);
  }
}

void FlushData(png_structp) {}

// Reads one PNG into 8-bit RGBA. False (nothing allocated) on any failure.
bool ReadRgba(Source* source, Raster* out, char* errorText) {
  unsigned char sig[8];
  if (Take(source, sig, 8) != 8 || png_sig_cmp(sig, 0, 8) != 0) {
    std::snprintf(errorText, 200, "not a PNG file");
    return false;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, errorText, Error, Warn);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_read_struct(png ? &png : nullptr, nullptr, nullptr);
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
    return false;
  }
  png_set_user_limits(png, kMaxQuarterSide, kMaxQuarterSide);
  png_set_chunk_malloc_max(png, 8 * 1024 * 1024);
  // Ancillary chunks other than tRNS play no part in the pixels: skip them
  // unread. libpng otherwise allocates (and clears) a text chunk's whole
  // declared length, up to 2 GB for a file of a hundred bytes.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_set_read_fn(png, source, ReadData);
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
  out->width = w;
  out->height = h;
  out->rgba = pixels;
  return true;
}

// Writes RGBA rows as a PNG. False on any libpng error.
bool WriteRgba(Sink* sink, const unsigned char* rgba, png_uint_32 w, png_uint_32 h,
               char* errorText) {
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
  png_set_write_fn(png, sink, WriteData, FlushData);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (png_uint_32 y = 0; y < h; ++y)
    png_write_row(png, const_cast<png_bytep>(rgba + static_cast<size_t>(y) * w * 4));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

// A quarter to read: `source` (null when there is none, with the reason in
// `errorText`), named `name` in the messages.
struct Quarter {
  Source* source = nullptr;
  std::string name;
  char errorText[200] = {};
};

// Joins the quarters that can be read into `sink` (made by `open`, which gives
// false when there is nowhere to write) and finishes it with `commit`. The
// mask of the blank quarters, or -1 when nothing was written. With `report`,
// quarters left blank and a join refused are told on standard error.
template <typename Open, typename Commit>
int Join(Quarter quarters[4], bool report, Open&& open, Commit&& commit) {
  static const char* const kQuarter[4] = {"north-west", "north-east", "south-west", "south-east"};
  Raster q[4];
  int blank = 0;
  char errorText[200];
  for (int i = 0; i < 4; ++i) {
    Quarter& quarter = quarters[i];
    if (!quarter.source || !ReadRgba(quarter.source, &q[i], quarter.errorText)) {
      blank |= 1 << i;
      if (report)
        std::fprintf(stderr, "PngCompo: %s quarter %s left blank: %s\n", kQuarter[i],
                     quarter.name.c_str(), quarter.errorText);
    }
  }
  auto cleanup = [&q] {
    for (Raster& r : q) std::free(r.rgba);
  };
  if (blank == 0xF) {
    if (report)
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
    if (report)
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

  Sink sink;
  if (!open(&sink)) {
    std::free(joined);
    return -1;
  }
  errorText[0] = '\0';
  bool ok = WriteRgba(&sink, joined, w, h, errorText);
  std::free(joined);
  return commit(ok, errorText) ? blank : -1;
}

// The quarter files opened for reading; a missing name or file is no source.
struct QuarterFiles {
  Source sources[4];
  Quarter quarters[4];

  explicit QuarterFiles(const char* const names[4]) {
    for (int i = 0; i < 4; ++i) {
      Quarter& quarter = quarters[i];
      quarter.name = names[i] ? mireva::HostPath(names[i]) : std::string();
      if (quarter.name.empty()) continue;
      sources[i].file = std::fopen(quarter.name.c_str(), "rbe");
      if (sources[i].file)
        quarter.source = &sources[i];
      else
        std::snprintf(quarter.errorText, sizeof quarter.errorText, "%s", std::strerror(errno));
    }
  }
  ~QuarterFiles() {
    for (Source& source : sources)
      if (source.file) std::fclose(source.file);
  }
  QuarterFiles(const QuarterFiles&) = delete;
  QuarterFiles& operator=(const QuarterFiles&) = delete;
};

int JoinFiles(const char* const names[4], const char* outputName) {
  QuarterFiles files(names);
  // The output replaces its target only as a whole file: a dot-named
  // temporary beside it, flushed to disk and renamed, the folder flushed.
  const std::string target = mireva::HostPath(outputName);
  std::optional<mireva::ReplacementFile> output;
  auto open = [&](Sink* sink) {
    output.emplace(target);
    if (!output->IsOpen()) {
      std::fprintf(stderr, "PngCompo: cannot create %s: %s\n", target.c_str(),
                   std::strerror(errno));
      return false;
    }
    sink->file = &*output;
    return true;
  };
  auto commit = [&](bool ok, const char* errorText) {
    if (ok && output->Commit()) return true;
    output->Discard();
    std::fprintf(stderr, "PngCompo: cannot write %s %s\n", target.c_str(), errorText);
    return false;
  };
  return Join(files.quarters, true, open, commit);
}

}  // namespace

namespace mireva::pngcompo {

int JoinInMemory(const std::string* const quarters[4], std::string* png) {
  Source sources[4];
  Quarter q[4];
  for (int i = 0; i < 4; ++i) {
    if (!quarters[i]) {
      std::snprintf(q[i].errorText, sizeof q[i].errorText, "%s", "missing");
      continue;
    }
    sources[i].bytes = reinterpret_cast<const unsigned char*>(quarters[i]->data());
    sources[i].left = quarters[i]->size();
    q[i].source = &sources[i];
  }
  png->clear();
  auto open = [png](Sink* sink) {
    sink->bytes = png;
    return true;
  };
  auto commit = [png](bool ok, const char*) {
    if (!ok) png->clear();
    return ok;
  };
  return Join(q, false, open, commit);
}

}  // namespace mireva::pngcompo

extern "C" MIREVA_EXPORT int MIREVA_STDCALL PngCompo(const char* northWest, const char* northEast,
                                                     const char* southWest, const char* southEast,
                                                     const char* output) {
  if (!output || !*output) return -1;
  const char* names[4] = {northWest, northEast, southWest, southEast};
  try {
    return JoinFiles(names, output);
  } catch (...) {
    // Nothing may cross the export; std::string can only fail for memory.
    return -1;
  }
}
