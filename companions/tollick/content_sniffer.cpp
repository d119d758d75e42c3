#include "companions/tollick/content_sniffer.h"

#include "platform/text_helpers.h"

namespace mireva::tollick {
namespace {

enum Type {
  kJpeg,
  kGif,
  kPng,
  kTif,
  kMidi,
  kMp3,
  kAvi,
  kWav,
  kPdf,
  kLzh,
  kExe,
  kZip,
  kRam,
  kRm,
  kSwf,
  kWmv,
  kMov,
  kAsf,
  kAsp,
  kAsx,
  kQt,
};

constexpr TypeMask Bit(int t) { return TypeMask{1} << t; }

unsigned char Byte(std::string_view s, size_t i) { return static_cast<unsigned char>(s[i]); }

uint32_t Le32(std::string_view s, size_t at) {
  return static_cast<uint32_t>(Byte(s, at)) | static_cast<uint32_t>(Byte(s, at + 1)) << 8 |
         static_cast<uint32_t>(Byte(s, at + 2)) << 16 |
         static_cast<uint32_t>(Byte(s, at + 3)) << 24;
}

bool IsMp3Frame(std::string_view s) {
  if (s.size() < 4 || Byte(s, 0) != 0xFF) return false;
  unsigned b1 = Byte(s, 1), b2 = Byte(s, 2);
  return (b1 & 0xE6) == 0xE2                    // frame sync and layer III
         && ((b1 >> 3) & 3) != 1                // a defined MPEG version
         && (b2 >> 4) != 0xF && (b2 >> 4) != 0  // a real bit rate
         && ((b2 >> 2) & 3) != 3;               // a defined sample rate
}

bool IsLzh(std::string_view s) {
  if (s.size() < 22 || Byte(s, 2) != '-' || Byte(s, 6) != '-') return false;
  if (!(s[3] == 'l' && (s[4] == 'h' || s[4] == 'z'))) return false;
  char m = s[5];
  return (m >= '0' && m <= '7') || m == 'd' || m == 's';
}

bool IsPe(std::string_view s) {
  if (s.size() < 0x40) return false;
  uint32_t pe = Le32(s, 0x3C);
  return pe >= 0x40 && pe < s.size() && BytesAt(s, pe, std::string_view("PE\0\0", 4));
}

bool IsAsx(std::string_view s) {
  if (s.starts_with("\xEF\xBB\xBF")) s.remove_prefix(3);
  s = TrimStart(s, " \t\r\n");
  if (s.size() < 5 || s[0] != '<' || !StartsWithNoCase(s.substr(1), "asx")) return false;
  char after = s[4];
  return after == ' ' || after == '>' || after == '\t' || after == '\r' || after == '\n';
}

}  // namespace

TypeMask SniffTypes(std::string_view s) {
  if (s.starts_with("\xFF\xD8\xFF")) return Bit(kJpeg);
  if (s.starts_with("GIF87a") || s.starts_with("GIF89a")) return Bit(kGif);
  if (s.starts_with("\x89PNG\r\n\x1A\n")) return Bit(kPng);
  if (s.starts_with(std::string_view("II*\0\x08\0\0\0", 8)) ||
      (s.starts_with(std::string_view("II*\0", 4))) ||
      s.starts_with(std::string_view("MM\0*\0\0\0\x08", 8)) ||
      (s.starts_with(std::string_view("MM\0*", 4))))
    return Bit(kTif);
  if (s.starts_with(std::string_view("MThd\0\0\0\x06", 8))) return Bit(kMidi);
  if (s.starts_with("ID3") && s.size() >= 10 && Byte(s, 3) >= 2 && Byte(s, 3) <= 4 &&
      Byte(s, 4) == 0)
    return Bit(kMp3);
  if (IsMp3Frame(s)) return Bit(kMp3);
  if (s.starts_with("RIFF") && BytesAt(s, 8, "AVI ")) return Bit(kAvi);
  if (s.starts_with("RIFF") && BytesAt(s, 8, "WAVE")) return Bit(kWav);
  if (s.starts_with("%PDF-")) return Bit(kPdf);
  if (IsLzh(s)) return Bit(kLzh);
  if (s.starts_with("MZ") && (IsPe(s) || s.size() >= 0x40)) return Bit(kExe);
  if (s.starts_with("PK\x03\x04") || (s.starts_with("PK\x05\x06"))) return Bit(kZip);
  if ((s.starts_with("rtsp://") || s.starts_with("pnm://"))) return Bit(kRam);
  if (s.starts_with(std::string_view(".RMF\0", 5))) return Bit(kRm);
  if ((s.starts_with("FWS") || s.starts_with("CWS") || s.starts_with("ZWS")) && s.size() >= 8 &&
      Byte(s, 3) >= 1 && Byte(s, 3) <= 50 && Le32(s, 4) >= 8)
    return Bit(kSwf);
  if (s.starts_with(
          std::string_view("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16)))
    return Bit(kWmv) | Bit(kAsf);
  if (BytesAt(s, 4, "ftypqt  ")) return Bit(kMov) | Bit(kQt);
  if (s.size() >= 8 &&
      (BytesAt(s, 4, "moov") || BytesAt(s, 4, "mdat") || BytesAt(s, 4, "wide") ||
       (BytesAt(s, 4, "free") && s.size() >= 16)))
    return Bit(kMov) | Bit(kQt);
  if (IsAsx(s)) return Bit(kAsx);
  return 0;
}

}  // namespace mireva::tollick
