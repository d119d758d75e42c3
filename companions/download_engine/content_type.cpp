#include "companions/download_engine/content_type.h"

#include <string_view>

#include "platform/text_helpers.h"

namespace mireva::dl {

using namespace std::string_view_literals;

std::string SniffType(const std::string& h) {
  if (h.starts_with("\xFF\xD8\xFF")) return "jpg";
  if (h.starts_with("GIF87a") || h.starts_with("GIF89a")) return "gif";
  if (h.starts_with("\x89PNG\r\n\x1A\n")) return "png";
  if (h.starts_with("II*\0"sv) || h.starts_with("MM\0*"sv)) return "tif";
  if (h.starts_with("%PDF-")) return "pdf";
  if (h.starts_with("PK\x03\x04")) return "zip";
  if (h.size() >= 7 && h[2] == '-' && h[3] == 'l' && h[4] == 'h' && h[6] == '-') return "lzh";
  if (h.starts_with("MThd")) return "mid";
  if (h.starts_with("ID3") || (h.size() >= 2 && static_cast<unsigned char>(h[0]) == 0xFF &&
                               (static_cast<unsigned char>(h[1]) & 0xE6) == 0xE2))
    return "mp3";
  if (h.starts_with("RIFF") && BytesAt(h, 8, "WAVE")) return "wav";
  if (h.starts_with("RIFF") && BytesAt(h, 8, "AVI ")) return "avi";
  if (h.starts_with("\x30\x26\xB2\x75\x8E\x66\xCF\x11")) return "wmv";
  if (BytesAt(h, 4, "ftypqt") || BytesAt(h, 4, "moov") || BytesAt(h, 4, "mdat")) return "mov";
  if (BytesAt(h, 4, "ftyp")) return "mp4";
  if (h.starts_with("FWS") || h.starts_with("CWS") || h.starts_with("ZWS")) return "swf";
  if (h.starts_with("MZ")) return "exe";
  if (h.starts_with("BM") && h.size() >= 14) return "bmp";
  // Markup: the first non-blank bytes open a document or an html element.
  std::string_view text = h;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  text = TrimStart(text, " \t\n\v\f\r");
  if (StartsWithNoCase(text, "<!doc") || StartsWithNoCase(text, "<html") ||
      StartsWithNoCase(text, "<head"))
    return "html";
  return "";
}

}  // namespace mireva::dl
