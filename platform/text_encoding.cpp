#include "platform/text_encoding.h"

#include <cerrno>
#include <iconv.h>

namespace mireva {
namespace {

// Runs iconv over the whole input; an input byte it cannot take is replaced by
// `replacement` and skipped, so the conversion always completes.
std::string Convert(const char* to, const char* from, std::string_view in,
                    std::string_view replacement, size_t skipOnError) {
  std::string out;
  if (in.empty()) return out;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  out.reserve(in.size() * 3 / 2 + 8);
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  char buf[4096];
  while (inLeft > 0) {
    char* outPtr = buf;
    size_t outLeft = sizeof buf;
    size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buf, static_cast<size_t>(outPtr - buf));
    if (rc == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a truncated sequence at the end): replace and go on.
      out.append(replacement);
      size_t skip = skipOnError < inLeft ? skipOnError : inLeft;
      if (errno == EILSEQ && skipOnError > 1) {
        // A UTF-8 character that CP932 lacks: skip the whole sequence.
        unsigned char lead = static_cast<unsigned char>(*inPtr);
        size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        skip = len < inLeft ? len : inLeft;
      }
      inPtr += skip;
      inLeft -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* outPtr = buf;
  size_t outLeft = sizeof buf;
  iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
  out.append(buf, static_cast<size_t>(outPtr - buf));
  iconv_close(cd);
  return out;
}

}  // namespace

bool IsAscii(std::string_view text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

std::string SjisToUtf8(std::string_view sjis) {
  if (IsAscii(sjis)) return std::string(sjis);
  return Convert("UTF-8", "CP932", sjis, "\xEF\xBF\xBD", 1);
}

std::string Utf8ToSjis(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  return Convert("CP932", "UTF-8", utf8, "?", 4);
}

}  // namespace mireva
