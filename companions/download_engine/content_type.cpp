#include "companions/download_engine/content_type.h"

#include <strings.h>

#include <cctype>

namespace mireva::dl {

namespace {
bool StartsWith(const std::string& s, const char* prefix, size_t len, size_t at = 0) {
  return s.size() >= at + len && s.compare(at, len, prefix, len) == 0;
}
}  // namespace

std::string SniffType(const std::string& h) {
  if (StartsWith(h, "\xFF\xD8\xFF", 3)) return "jpg";
  if (StartsWith(h, "GIF87a", 6) || StartsWith(h, "GIF89a", 6)) return "gif";
  if (StartsWith(h, "\x89PNG\r\n\x1A\n", 8)) return "png";
  if (StartsWith(h, "II*\0", 4) || StartsWith(h, "MM\0*", 4)) return "tif";
  if (StartsWith(h, "%PDF-", 5)) return "pdf";
  if (StartsWith(h, "PK\x03\x04", 4)) return "zip";
  if (h.size() >= 7 && h[2] == '-' && h[3] == 'l' && h[4] == 'h' && h[6] == '-') return "lzh";
  if (StartsWith(h, "MThd", 4)) return "mid";
  if (StartsWith(h, "ID3", 3) ||
      (h.size() >= 2 && static_cast<unsigned char>(h[0]) == 0xFF &&
       (static_cast<unsigned char>(h[1]) & 0xE6) == 0xE2))
    return "mp3";
  if (StartsWith(h, "RIFF", 4) && StartsWith(h, "WAVE", 4, 8)) return "wav";
  if (StartsWith(h, "RIFF", 4) && StartsWith(h, "AVI ", 4, 8)) return "avi";
  if (StartsWith(h, "\x30\x26\xB2\x75\x8E\x66\xCF\x11", 8)) return "wmv";
  if (StartsWith(h, "ftypqt", 6, 4) || StartsWith(h, "moov", 4, 4) || StartsWith(h, "mdat", 4, 4))
    return "mov";
  if (StartsWith(h, "ftyp", 4, 4)) return "mp4";
  if (StartsWith(h, "FWS", 3) || StartsWith(h, "CWS", 3) || StartsWith(h, "ZWS", 3)) return "swf";
  if (StartsWith(h, "MZ", 2)) return "exe";
  if (StartsWith(h, "BM", 2) && h.size() >= 14) return "bmp";
  // Markup: the first non-blank bytes open a document or an html element.
  size_t i = 0;
  if (StartsWith(h, "\xEF\xBB\xBF", 3)) i = 3;
  while (i < h.size() && std::isspace(static_cast<unsigned char>(h[i]))) ++i;
  if (h.size() >= i + 5 && (strncasecmp(h.c_str() + i, "<!doc", 5) == 0 ||
                            strncasecmp(h.c_str() + i, "<html", 5) == 0 ||
                            strncasecmp(h.c_str() + i, "<head", 5) == 0))
    return "html";
  return "";
}

}  // namespace mireva::dl
