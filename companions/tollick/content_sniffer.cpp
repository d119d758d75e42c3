#include "companions/tollick/content_sniffer.h"

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

bool StartsWith(std::string_view s, std::string_view prefix, size_t at = 0) {
  return s.size() >= at + prefix.size() && s.compare(at, prefix.size(), prefix) == 0;
}

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
  return pe >= 0x40 && pe < s.size() && StartsWith(s, std::string_view("PE\0\0", 4), pe);
}

bool IsAsx(std::string_view s) {
  size_t i = 0;
  if (StartsWith(s, "\xEF\xBB\xBF")) i = 3;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) ++i;
  if (s.size() < i + 5 || s[i] != '<') return false;
  const char* word = "asx";
  for (int k = 0; k < 3; ++k)
    if ((s[i + 1 + k] | 0x20) != word[k]) return false;
  char after = s[i + 4];
  return after == ' ' || after == '>' || after == '\t' || after == '\r' || after == '\n';
}

}  // namespace

TypeMask SniffTypes(std::string_view s, Strictness strictness) {
  const bool whole = strictness == Strictness::WholeFile;
  if (StartsWith(s, "\xFF\xD8\xFF")) return Bit(kJpeg);
  if (StartsWith(s, "GIF87a") || StartsWith(s, "GIF89a")) return Bit(kGif);
  if (StartsWith(s, "\x89PNG\r\n\x1A\n")) return Bit(kPng);
  if (StartsWith(s, std::string_view("II*\0\x08\0\0\0", 8)) ||
      (whole && StartsWith(s, std::string_view("II*\0", 4))) ||
      StartsWith(s, std::string_view("MM\0*\0\0\0\x08", 8)) ||
      (whole && StartsWith(s, std::string_view("MM\0*", 4))))
    return Bit(kTif);
  if (StartsWith(s, std::string_view("MThd\0\0\0\x06", 8))) return Bit(kMidi);
  if (StartsWith(s, "ID3") && s.size() >= 10 && Byte(s, 3) >= 2 && Byte(s, 3) <= 4 &&
      Byte(s, 4) == 0)
    return Bit(kMp3);
  if (whole && IsMp3Frame(s)) return Bit(kMp3);
  if (StartsWith(s, "RIFF") && StartsWith(s, "AVI ", 8)) return Bit(kAvi);
  if (StartsWith(s, "RIFF") && StartsWith(s, "WAVE", 8)) return Bit(kWav);
  if (StartsWith(s, "%PDF-")) return Bit(kPdf);
  if (IsLzh(s)) return Bit(kLzh);
  if (StartsWith(s, "MZ") && (IsPe(s) || (whole && s.size() >= 0x40))) return Bit(kExe);
  if (StartsWith(s, "PK\x03\x04") || (whole && StartsWith(s, "PK\x05\x06"))) return Bit(kZip);
  if (whole && (StartsWith(s, "rtsp://") || StartsWith(s, "pnm://"))) return Bit(kRam);
  if (StartsWith(s, std::string_view(".RMF\0", 5))) return Bit(kRm);
  if ((StartsWith(s, "FWS") || StartsWith(s, "CWS") || StartsWith(s, "ZWS")) && s.size() >= 8 &&
      Byte(s, 3) >= 1 && Byte(s, 3) <= 50 && Le32(s, 4) >= 8)
    return Bit(kSwf);
  if (StartsWith(s, "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C"))
    return Bit(kWmv) | Bit(kAsf);
  if (StartsWith(s, "ftypqt  ", 4)) return Bit(kMov) | Bit(kQt);
  if (whole && s.size() >= 8 &&
      (StartsWith(s, "moov", 4) || StartsWith(s, "mdat", 4) || StartsWith(s, "wide", 4) ||
       (StartsWith(s, "free", 4) && s.size() >= 16)))
    return Bit(kMov) | Bit(kQt);
  if (IsAsx(s) && (whole || s[0] == '<')) return Bit(kAsx);
  return 0;
}

bool FindEmbeddedBody(std::string_view record, size_t* offset, TypeMask* types) {
  for (size_t i = 0; i < record.size(); ++i) {
    // Cheap first-byte filter before the full test.
    switch (static_cast<unsigned char>(record[i])) {
      case 0xFF:
      case 'G':
      case 0x89:
      case 'I':
      case 'M':
      case 'R':
      case '%':
      case 'P':
      case '.':
      case 'F':
      case 'C':
      case 'Z':
      case 0x30:
      case '<':
        break;
      default:
        if (i + 2 < record.size() && record[i + 2] == '-') break;  // LZH: "-lh" at 2
        if (i + 4 < record.size() && record[i + 4] == 'f') break;  // QuickTime: "ftyp" at 4
        continue;
    }
    if (TypeMask t = SniffTypes(record.substr(i), Strictness::Embedded)) {
      *offset = i;
      *types = t;
      return true;
    }
  }
  return false;
}

}  // namespace mireva::tollick
