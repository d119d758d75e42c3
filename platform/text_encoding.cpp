#include "platform/text_encoding.h"

#include <cctype>
#include <cerrno>
#include <string>
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

// Whether the whole text is valid in `from`.
bool Decodes(const char* from, std::string_view in) {
  iconv_t cd = iconv_open("UTF-8", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  bool ok = true;
  char buf[4096];
  while (inLeft > 0) {
    char* outPtr = buf;
    size_t outLeft = sizeof buf;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) && errno != E2BIG) {
      ok = false;
      break;
    }
  }
  iconv_close(cd);
  return ok;
}

// Bytes 0x80-0x9F begin most Shift_JIS characters (kana and kanji) and
// never stand in EUC-JP text but as its single shifts 0x8E and 0x8F.
bool HasShiftJisLeadBytes(std::string_view page) {
  for (unsigned char c : page)
    if (c >= 0x80 && c <= 0x9F && c != 0x8E && c != 0x8F) return true;
  return false;
}

// The encoding named after the first "charset=" of the page's head, as iconv
// names it; nullptr when there is none it knows.
const char* DeclaredCharset(std::string_view page) {
  std::string head(page.substr(0, 4096));
  for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  size_t at = head.find("charset=");
  if (at == std::string::npos) return nullptr;
  at += 8;
  while (at < head.size() && (head[at] == '"' || head[at] == '\'' || head[at] == ' ')) ++at;
  size_t end = at;
  while (end < head.size() && (std::isalnum(static_cast<unsigned char>(head[end])) ||
                               head[end] == '-' || head[end] == '_'))
    ++end;
  const std::string name = head.substr(at, end - at);
  if (name == "shift_jis" || name == "shift-jis" || name == "sjis" || name == "x-sjis" ||
      name == "cp932" || name == "windows-31j" || name == "ms_kanji")
    return "CP932";
  if (name == "euc-jp" || name == "x-euc-jp") return "EUC-JP";
  if (name == "iso-2022-jp") return "ISO-2022-JP";
  if (name == "utf-8" || name == "utf8") return "UTF-8";
  return nullptr;
}

}  // namespace

std::string PageBytesToUtf8(std::string_view page) {
  if (IsAscii(page) || Decodes("UTF-8", page)) return std::string(page);
  const char* from = DeclaredCharset(page);
  if (!from) {
    if (page.find("\x1B$B") != std::string_view::npos || page.find("\x1B$@") != std::string_view::npos)
      from = "ISO-2022-JP";
    else if (Decodes("EUC-JP", page) && !HasShiftJisLeadBytes(page))
      from = "EUC-JP";
    else
      from = "CP932";
  }
  if (std::string_view(from) == "UTF-8") return Convert("UTF-8", "UTF-8", page, "\xEF\xBF\xBD", 1);
  return Convert("UTF-8", from, page, "\xEF\xBF\xBD", 1);
}

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
