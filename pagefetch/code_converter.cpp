#include "pagefetch/code_converter.h"

#include <iconv.h>
#include <algorithm>
#include <cctype>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "pagefetch/host.h"
#include "platform/text_helpers.h"

namespace mireva::hovrel {
namespace {

// Half-width katakana (JIS X 0201, byte 0xA0-0xDF) as JIS X 0208 pairs,
// row in the high byte, cell in the low byte. 0xA0 has no katakana and maps
// to the ideographic space.
constexpr uint16_t kFullWidth[64] = {
    0x2121, 0x2123, 0x2156, 0x2157, 0x2122, 0x2126, 0x2572, 0x2521,  // A0  。「」、・ヲァ
    0x2523, 0x2525, 0x2527, 0x2529, 0x2563, 0x2565, 0x2567, 0x2543,  // A8 ィゥェォャュョッ
    0x213C, 0x2522, 0x2524, 0x2526, 0x2528, 0x252A, 0x252B, 0x252D,  // B0 ーアイウエオカキ
    0x252F, 0x2531, 0x2533, 0x2535, 0x2537, 0x2539, 0x253B, 0x253D,  // B8 クケコサシスセソ
    0x253F, 0x2541, 0x2544, 0x2546, 0x2548, 0x254A, 0x254B, 0x254C,  // C0 タチツテトナニヌ
    0x254D, 0x254E, 0x254F, 0x2552, 0x2555, 0x2558, 0x255B, 0x255E,  // C8 ネノハヒフヘホマ
    0x255F, 0x2560, 0x2561, 0x2562, 0x2564, 0x2566, 0x2568, 0x2569,  // D0 ミムメモヤユヨラ
    0x256A, 0x256B, 0x256C, 0x256D, 0x256F, 0x2573, 0x212B, 0x212C,  // D8 リルレロワン゛゜
};

// Voiced forms: ｶ-ﾄ (0xB6-0xC4) and ﾊ-ﾎ (0xCA-0xCE) only; ｳ has none here.
// Semi-voiced forms: ﾊ-ﾎ only. The voiced kana follow their base in JIS X 0208
// (カ 0x252B, ガ 0x252C), the semi-voiced ones one further (ハ 0x254F, パ 0x2551).
constexpr uint16_t Voiced(int k) {
  return ((k >= 0xB6 && k <= 0xC4) || (k >= 0xCA && k <= 0xCE)) ? kFullWidth[k - 0xA0] + 1 : 0;
}
constexpr uint16_t SemiVoiced(int k) {
  return (k >= 0xCA && k <= 0xCE) ? kFullWidth[k - 0xA0] + 2 : 0;
}
static_assert(Voiced(0xB6) == 0x252C && Voiced(0xC2) == 0x2545 && Voiced(0xB3) == 0);
static_assert(SemiVoiced(0xCA) == 0x2551 && SemiVoiced(0xCE) == 0x255D);

enum class InputMode { Ascii, Jis0208, Kana };

// The output stage for every pair of 0x21-0x7E, precomputed for the fast runs:
// entry [(row - 0x21) * 94 + cell - 0x21] holds the two Shift_JIS bytes.
struct SjisPairTable {
  uint8_t bytes[94 * 94][2];
  constexpr SjisPairTable() : bytes{} {
    for (int row = 0x21; row <= 0x7E; ++row)
      for (int cell = 0x21; cell <= 0x7E; ++cell) {
        uint8_t* b = bytes[(row - 0x21) * 94 + cell - 0x21];
        b[0] = static_cast<uint8_t>(((row - 1) >> 1) + (row <= 0x5E ? 0x71 : 0xB1));
        b[1] = static_cast<uint8_t>((row & 1) ? cell + (cell < 0x60 ? 0x1F : 0x20) : cell + 0x7E);
      }
  }
};
constexpr SjisPairTable kSjisPairs;

// Bytes that an ASCII run copies as they are: below 0x7F except shift-out,
// escape and line feed (which the general path turns into CR LF).
struct AsciiRunTable {
  bool copy[256];
  constexpr AsciiRunTable() : copy{} {
    for (int c = 0; c < 0x7F; ++c) copy[c] = c != 0x0E && c != 0x1B && c != '\n';
  }
};
constexpr AsciiRunTable kAsciiRunTable;
constexpr const bool* kAsciiRun = kAsciiRunTable.copy;

// One conversion. The output may overlap the caller's input buffer because
// the input is read from a private copy.
class Converter {
 public:
  enum class Decoder { Guess, ShiftJis, Euc };
  Converter(const uint8_t* in, size_t length, uint8_t* out, size_t room,
            Decoder decoder = Decoder::Guess)
      : in_(in), left_(length), out_(out), outStart_(out), outEnd_(out + room),
        sjis_(decoder == Decoder::ShiftJis), established_(decoder != Decoder::Guess),
        declared_(decoder != Decoder::Guess) {}

  size_t Run();

 private:
  static constexpr int kEnd = -1;

  int Next() {
    if (left_ == 0) return kEnd;
    --left_;
    return *in_++;
  }
  void PutBack() {
    --in_;
    ++left_;
  }

  // Output stage. A character that does not fit ends the conversion.
  void Single(int b) {
    if (b == '\n') {
      if (outEnd_ - out_ < 2) return Stop();
      *out_++ = '\r';
      *out_++ = '\n';
      return;
    }
    if (out_ == outEnd_) return Stop();
    *out_++ = static_cast<uint8_t>(b);
  }
  // JIS X 0208 pair to Shift_JIS:
  //   first  = ((row - 1) >> 1) + (row <= 0x5E ? 0x71 : 0xB1)
  //   second = odd row: cell + (cell < 0x60 ? 0x1F : 0x20); even row: cell + 0x7E
  void Pair(int row, int cell) {
    if (row < 0x20 || row > 0x7E || cell < 0x20 || cell > 0x7E) {
      // Not a character: dropped, and the next 8-bit lead byte is judged
      // afresh (unless the page declared its encoding).
      established_ = declared_;
      return;
    }
    if (outEnd_ - out_ < 2) return Stop();
    *out_++ = static_cast<uint8_t>(((row - 1) >> 1) + (row <= 0x5E ? 0x71 : 0xB1));
    if (row & 1)
      *out_++ = static_cast<uint8_t>(cell + (cell < 0x60 ? 0x1F : 0x20));
    else
      *out_++ = static_cast<uint8_t>(cell + 0x7E);
  }
  void PairOf(uint16_t jis) { Pair(jis >> 8, jis & 0xFF); }
  void Stop() {
    full_ = true;
    left_ = 0;
  }

  // An 8-bit pair through the current decoder.
  void DecodeWith(int lead, int second) {
    if (!sjis_) return Pair(lead & 0x7F, second & 0x7F);
    // Shift_JIS: row = 2L - 0xE1 (L < 0xA0) or 2L - 0x161; the second byte
    // chooses the odd row (below 0x9F) or the even row after it.
    int row = lead < 0xA0 ? 2 * lead - 0xE1 : 2 * lead - 0x161;
    int cell;
    if (second >= 0x9F) {
      ++row;
      cell = second - 0x7E;
    } else {
      cell = second < 0x80 ? second - 0x1F : second - 0x20;
    }
    Pair(row & 0x7F, cell & 0x7F);
  }
  void Decode(int lead, int second) {
    if (mode_ == InputMode::Jis0208) return Pair(lead & 0x7F, second & 0x7F);
    DecodeWith(lead, second);
  }

  void FastRuns();
  void Escape();
  void Guess(int lead, int second);
  void KatakanaSevenBit(int k);
  void KatakanaAfterSs2();

  const uint8_t* in_;
  size_t left_;
  uint8_t* out_;
  uint8_t* const outStart_;
  uint8_t* const outEnd_;  // one past the last byte the text may use
  bool full_ = false;
  bool sjis_ = false;  // the decoder: Shift_JIS, else EUC
  bool established_ = false;
  const bool declared_ = false;  // the page declared the decoder: never guessed
  InputMode mode_ = InputMode::Ascii;
  bool shiftOut_ = false;
  int pending_ = 0;  // lead byte waiting for its second byte
};

size_t Converter::Run() {
  for (;;) {
    if (pending_ == 0) FastRuns();
    int c = Next();
    if (c == kEnd) break;
    if (pending_ == 0) {
      if (c < 0x80) {
        if (c <= 0x20 || c == 0x7F) {
          if (c == 0x0F)
            shiftOut_ = false;
          else if (c == 0x0E)
            shiftOut_ = true;
          else if (c == 0x1B)
            Escape();
          else
            Single(c);
        } else if (shiftOut_) {
          int k = c + 0x80;
          if (k <= 0xDF)
            KatakanaSevenBit(k);
          else
            Single(k);
        } else if (mode_ == InputMode::Jis0208) {
          pending_ = c;
        } else {
          Single(c);
        }
      } else if (!established_) {
        if (c <= 0x9F) {
          sjis_ = true;
          established_ = true;
        } else if (c <= 0xDF) {
          sjis_ = false;
          established_ = true;
        }
        pending_ = c;
      } else if (c >= 0xA0 && c <= 0xDF && sjis_ && declared_) {
        Single(c);  // Shift_JIS half-width katakana, one byte each, kept
      } else if (c <= 0x9F && c != 0x8E && !sjis_ && declared_) {
        // Not EUC-JP: dropped.
      } else if (c >= 0xA0 && c <= 0xDF && sjis_) {
        // Shift_JIS half-width katakana are taken as the start of EUC-JP text.
        sjis_ = false;
        pending_ = c;
      } else if (c == 0x8E && !sjis_) {
        KatakanaAfterSs2();
      } else if (c <= 0x9F && !sjis_) {
        sjis_ = true;
        pending_ = c;
      } else {
        pending_ = c;
      }
      continue;
    }
    int lead = pending_;
    pending_ = 0;
    if (lead < 0x80) {
      if (c > 0x20 && c != 0x7F) Pair(lead, c);
    } else if (!established_) {
      if (c > 0xA0) {
        Guess(lead, c);
      } else if (c >= 0x40) {
        sjis_ = true;
        established_ = true;
        Decode(lead, c);
      }
    } else if (c >= 0x40) {
      Decode(lead, c);
    }
  }
  *out_ = '\0';
  return static_cast<size_t>(out_ - outStart_);
}

// The bulk of a page, handled without the byte-at-a-time state machine:
// runs of ASCII, of EUC-JP pairs, of Shift_JIS pairs and of 7-bit JIS pairs.
// Each run produces exactly the bytes the general path would; anything
// unusual (a control byte, a katakana, a byte that changes the decoder, the
// end of the area) leaves the run for the general path.
void Converter::FastRuns() {
  if (full_ || shiftOut_) return;
  // Locals, not members: stores through the output pointer could otherwise
  // alias the members and force the compiler to reload them at every byte.
  const uint8_t* in = in_;
  const uint8_t* const inEnd = in_ + left_;
  uint8_t* out = out_;
  uint8_t* const outEnd = outEnd_;
  InputMode mode = mode_;
  for (;;) {
    const bool twoByteMode = mode == InputMode::Jis0208;
    const bool asciiMode = mode == InputMode::Ascii;
    const bool eucPairs = established_ && !sjis_ && !twoByteMode;
    const bool sjisPairs = established_ && sjis_ && !twoByteMode;
    const uint8_t* runStart = in;
    if (asciiMode) {
      // A shift-in byte in such a run is copied, not dropped. A line feed
      // becomes CR LF here as in the general path, when both fit.
      for (;;) {
        while (in < inEnd && out < outEnd && kAsciiRun[*in]) *out++ = *in++;
        if (in == inEnd || *in != '\n' || outEnd - out < 2) break;
        out[0] = '\r';
        out[1] = '\n';
        out += 2;
        ++in;
      }
    } else if (twoByteMode) {
      while (inEnd - in >= 2 && outEnd - out >= 2) {
        uint8_t c = in[0], b = in[1];
        if (c < 0x21 || c > 0x7E || b < 0x21 || b > 0x7E) break;
        std::memcpy(out, kSjisPairs.bytes[(c - 0x21) * 94 + b - 0x21], 2);
        out += 2;
        in += 2;
      }
    }
    if (eucPairs) {
      // EUC-JP: both bytes 0xA1-0xFE.
      while (inEnd - in >= 2 && outEnd - out >= 2) {
        uint8_t c = in[0], b = in[1];
        if (c < 0xA1 || c == 0xFF || b < 0xA1 || b == 0xFF) break;
        std::memcpy(out, kSjisPairs.bytes[(c - 0xA1) * 94 + b - 0xA1], 2);
        out += 2;
        in += 2;
      }
    } else if (sjisPairs) {
      // Shift_JIS: lead 0x81-0x9F or 0xE0-0xEF, second 0x40-0xFC but 0x7F.
      // Decoding such a pair and encoding it again gives the same two bytes.
      while (inEnd - in >= 2 && outEnd - out >= 2) {
        uint8_t c = in[0], b = in[1];
        if (c < 0x81 || (c >= 0xA0 && c <= 0xDF) || c > 0xEF || b < 0x40 || b > 0xFC || b == 0x7F)
          break;
        out[0] = c;
        out[1] = b;
        out += 2;
        in += 2;
      }
    }
    // The escape sequences of ISO-2022-JP between the runs, as Escape() takes
    // them (shift-out is clear here, and stays so).
    if (inEnd - in >= 3 && in[0] == 0x1B) {
      const uint8_t e = in[1], f = in[2];
      if (e == '$' && (f == '@' || f == 'B')) {
        mode = InputMode::Jis0208;
        in += 3;
        continue;
      }
      if (e == '(' && (f == 'B' || f == 'J' || f == 'H')) {
        mode = InputMode::Ascii;
        in += 3;
        continue;
      }
    }
    if (in == runStart) break;
  }
  mode_ = mode;
  left_ = static_cast<size_t>(inEnd - in);
  in_ = in;
  out_ = out;
}

// After ESC: "$@" or "$B" enter JIS X 0208, "(I" enters katakana, "(B", "(J"
// and "(H" return to ASCII; any other sequence is written out as it came.
void Converter::Escape() {
  int e = Next();
  if (e == kEnd) return Single(0x1B);
  if (e != '$' && e != '(') {
    Single(0x1B);
    return Single(e);
  }
  int f = Next();
  if (f == kEnd) {
    Single(0x1B);
    return Single(e);
  }
  if (e == '$' && (f == '@' || f == 'B')) {
    mode_ = InputMode::Jis0208;
    shiftOut_ = false;
  } else if (e == '(' && f == 'I') {
    mode_ = InputMode::Kana;
    shiftOut_ = true;
  } else if (e == '(' && (f == 'B' || f == 'J' || f == 'H')) {
    mode_ = InputMode::Ascii;
    shiftOut_ = false;
  } else {
    Single(0x1B);
    Single(e);
    Single(f);
  }
}

// An 8-bit pair that fits both EUC-JP and Shift_JIS: hold up to 32 pairs
// until a byte decides, then send them all through the decoder chosen by then.
// Held pairs with lead 0 are single bytes and are not interpreted.
void Converter::Guess(int lead, int second) {
  uint8_t hold[64];
  size_t n = 0;
  hold[n++] = static_cast<uint8_t>(lead);
  hold[n++] = static_cast<uint8_t>(second);
  int waiting = 0;
  while (n < sizeof hold) {
    int c = Next();
    if (c == kEnd) break;  // a waiting lead byte is dropped
    if (waiting == 0) {
      if (c < 0x80) {
        hold[n++] = 0;
        hold[n++] = static_cast<uint8_t>(c);
        continue;
      }
      if (c <= 0x9F) {
        sjis_ = true;
        established_ = true;
      } else if (c <= 0xDF) {
        sjis_ = false;
        established_ = true;
      }
      waiting = c;
      continue;
    }
    int l = waiting;
    waiting = 0;
    if (!established_) {
      if (c >= 0x40 && c <= 0xA0) {
        sjis_ = true;
        established_ = true;
      } else if (c < 0x40) {
        l = 0;
      }
    }
    hold[n++] = static_cast<uint8_t>(l);
    hold[n++] = static_cast<uint8_t>(c);
    if (established_) break;
  }
  for (size_t i = 0; i < n && !full_; i += 2) {
    if (hold[i] == 0)
      Single(hold[i + 1]);
    else
      DecodeWith(hold[i], hold[i + 1]);
  }
}

// Half-width katakana from a shift-out section; "^" and "_" after it are the
// shifted-out voiced and semi-voiced marks.
void Converter::KatakanaSevenBit(int k) {
  uint16_t voiced = Voiced(k), semi = SemiVoiced(k);
  if (!voiced && !semi) return PairOf(kFullWidth[k - 0xA0]);
  int c = Next();
  if (c == '^') return PairOf(voiced);
  if (c == '_' && semi) return PairOf(semi);
  if (c != kEnd) PutBack();
  PairOf(kFullWidth[k - 0xA0]);
}

// EUC-JP half-width katakana (0x8E k), with a following 0x8E 0xDE or 0x8E 0xDF
// folded into the voiced or semi-voiced kana.
void Converter::KatakanaAfterSs2() {
  int c = Next();
  while (c != kEnd) {
    if (c < 0xA0 || c > 0xDF) return Single(c);
    int k = c;
    uint16_t voiced = Voiced(k), semi = SemiVoiced(k);
    if (!voiced && !semi) return PairOf(kFullWidth[k - 0xA0]);
    int n = Next();
    if (n == kEnd) return PairOf(kFullWidth[k - 0xA0]);
    if (n != 0x8E) {
      PutBack();
      return PairOf(kFullWidth[k - 0xA0]);
    }
    int m = Next();
    if (m == kEnd) {
      PairOf(kFullWidth[k - 0xA0]);
      return Single(0x8E);
    }
    if (m == 0xDE) return PairOf(voiced);
    if (m == 0xDF && semi) return PairOf(semi);
    // Not a mark: k stands alone and m is the next katakana after 0x8E.
    PairOf(kFullWidth[k - 0xA0]);
    if (full_) return;
    c = m;
  }
}

// ---- UTF-8 ----------------------------------------------------------------

uint32_t Utf8Decode(const uint8_t* p, int len) {
  if (len == 1) return p[0];
  uint32_t cp = p[0] & (0xFF >> (len + 1));
  for (int i = 1; i < len; ++i) cp = (cp << 6) | (p[i] & 0x3F);
  return cp;
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  if (word.size() > text.size()) return false;
  for (size_t i = 0; i + word.size() <= text.size(); ++i) {
    size_t j = 0;
    while (j < word.size() && AsciiLower(text[i + j]) == word[j]) ++j;
    if (j == word.size()) return true;
  }
  return false;
}

// Code page 932 for every code point of the Basic Multilingual Plane, as the
// bytes to write: the first byte in the low half, the second (if any) in the
// high half, so a nonzero high half means two bytes. 0 means the code page
// lacks the character (U+0000 itself is the byte 0). The line feed is CR LF.
// Built once from glibc's table, which is also what the host's text uses.
const uint16_t* Cp932Table() {
  static std::vector<uint16_t> table;
  static std::once_flag once;
  std::call_once(once, [] {
    table.assign(0x10000, 0);
    for (uint32_t c = 0; c < 0x80; ++c) table[c] = static_cast<uint16_t>(c);
    table['\n'] = '\r' | ('\n' << 8);  // a line feed is written as CR LF
    iconv_t cd = iconv_open("CP932", "UTF-32LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return;
    for (uint32_t cp = 0x80; cp < 0x10000; ++cp) {
      if (cp >= 0xD800 && cp <= 0xDFFF) continue;
      uint8_t in[4] = {static_cast<uint8_t>(cp), static_cast<uint8_t>(cp >> 8), 0, 0};
      char out[8];
      char* inPtr = reinterpret_cast<char*>(in);
      size_t inLeft = 4;
      char* outPtr = out;
      size_t outLeft = sizeof out;
      if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) {
        size_t n = sizeof out - outLeft;
        if (n == 1)
          table[cp] = static_cast<uint8_t>(out[0]);
        else if (n == 2)
          table[cp] = static_cast<uint16_t>(static_cast<uint8_t>(out[0]) |
                                            (static_cast<uint8_t>(out[1]) << 8));
      }
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
  });
  return table.data();
}

// "&#N;" for a character that code page 932 lacks; returns its length.
int DecimalReference(uint32_t cp, uint8_t* out) {
  uint8_t digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<uint8_t>('0' + cp % 10);
    cp /= 10;
  } while (cp != 0);
  out[0] = '&';
  out[1] = '#';
  for (int i = 0; i < n; ++i) out[2 + i] = digits[n - 1 - i];
  out[2 + n] = ';';
  return n + 3;
}

// The fast loop checks the space once per round: a word of ASCII bytes (8),
// then characters of at most 2 bytes while half the room lasts, then one
// character through the general step ("&#1114111;", 10 bytes).
constexpr ptrdiff_t kFastOutRoom = 32;
constexpr ptrdiff_t kLongestReference = 10;
// One word of input; a whole sequence is then in reach as well.
constexpr ptrdiff_t kFastInRoom = 8;

constexpr uint64_t kHighBits = 0x8080808080808080ULL, kLowBits = 0x0101010101010101ULL;

// The top bit of each byte that is not ASCII or is a line feed. Exact for the
// lowest such byte (a borrow can only flag bytes after it).
inline uint64_t StopBits(uint64_t w) {
  const uint64_t x = w ^ (kLowBits * '\n');
  return (w & kHighBits) | ((x - kLowBits) & ~x & kHighBits);
}

// UTF-8 to code page 932 while at least kFastInRoom bytes remain and
// kFastOutRoom bytes of room are left; the caller finishes the rest one
// character at a time with exact bounds. Produces the same bytes as that
// careful path: ASCII and three-byte characters that the code page holds are
// done here, and everything else through the general step, which is the
// careful path's.
void Utf8FastRun(const uint8_t*& inRef, const uint8_t* inEnd, uint8_t*& outRef,
                 const uint8_t* outEnd, const uint16_t* table) {
  static_assert(std::endian::native == std::endian::little, "words are read little-endian");
  const uint8_t* in = inRef;
  uint8_t* out = outRef;
  while (inEnd - in >= kFastInRoom && outEnd - out >= kFastOutRoom) {
    // The ASCII bytes up to the first line feed or non-ASCII byte are copied
    // as one word; the bytes stored past them are overwritten next.
    uint64_t w;
    std::memcpy(&w, in, 8);
    std::memcpy(out, &w, 8);
    const uint64_t stop = StopBits(w);
    if (stop == 0) {
      in += 8;
      out += 8;
      continue;
    }
    const int plain = __builtin_ctzll(stop) >> 3;  // the first byte is the lowest
    in += plain;
    out += plain;

    // Running text: kana and kanji (three bytes each) mixed with short ASCII
    // runs, one character at a time from a 4-byte load. A line feed comes from
    // the table as CR LF. The run ends where a sequence could reach past the
    // input or a reference past the room.
    const ptrdiff_t runBytes =
        std::min<ptrdiff_t>(inEnd - in - 3, (outEnd - out - kLongestReference) / 2);
    const uint8_t* const runEnd = in + std::max<ptrdiff_t>(runBytes, 0);
    while (in < runEnd) {
      uint32_t x;
      std::memcpy(&x, in, 4);
      if ((x & 0x80) == 0) {
        // A longer ASCII run (markup): back to whole words.
        if ((x & 0x80808080u) == 0 && runEnd - in >= 8) {
          std::memcpy(&w, in, 8);
          if (StopBits(w) == 0) {
            std::memcpy(out, &w, 8);
            in += 8;
            out += 8;
            continue;
          }
        }
        const uint16_t code = table[x & 0x7F];
        if (code == 0) break;  // NUL: the general step
        out[0] = static_cast<uint8_t>(code);
        out[1] = static_cast<uint8_t>(code >> 8);
        out += 1 + (code > 0xFF);
        ++in;
        continue;
      }
      // 1110xxxx 10xxxxxx 10xxxxxx, not overlong (U+0800 and up); surrogates
      // have no table entry.
      if ((x & 0xC0C0F0) != 0x8080E0) break;
      const uint32_t cp = ((x & 0x0Fu) << 12) | ((x & 0x3F00u) >> 2) | ((x >> 16) & 0x3Fu);
      if (cp < 0x800) break;
      const uint16_t code = table[cp];
      if (code == 0) break;  // a reference, or a surrogate to skip
      in += 3;
      out[0] = static_cast<uint8_t>(code);
      out[1] = static_cast<uint8_t>(code >> 8);
      out += 1 + (code > 0xFF);
    }
    if (in >= runEnd) continue;

    // The general step: any other sequence, a byte that begins none, a
    // character the code page lacks, NUL.
    const int len = Utf8SequenceLength(in, static_cast<size_t>(inEnd - in));
    if (len < 0) break;  // cut off by the end: the careful path ends the text
    if (len == 0) {
      ++in;
      continue;
    }
    const uint32_t cp = Utf8Decode(in, len);
    in += len;
    const uint16_t code = cp < 0x10000 ? table[cp] : 0;
    if (code != 0 || cp == 0) {
      out[0] = static_cast<uint8_t>(code);
      out[1] = static_cast<uint8_t>(code >> 8);
      out += (code >> 8) ? 2 : 1;
    } else {
      out += DecimalReference(cp, out);
    }
  }
  inRef = in;
  outRef = out;
}

}  // namespace

// The conversion of the legacy encodings with the given decoder; `output`
// may overlap `input`.
static size_t ConvertLegacy(size_t length, const char* input, char* output, size_t capacity,
                     Converter::Decoder decoder) {
  if (capacity == 0) return 0;
  // Output that overlaps the input (the library converts in place) needs a
  // private copy of the input; separate buffers are read directly.
  std::unique_ptr<uint8_t[]> copy;
  const uint8_t* source = reinterpret_cast<const uint8_t*>(input);
  auto begin = reinterpret_cast<uintptr_t>(input), outBegin = reinterpret_cast<uintptr_t>(output);
  if (outBegin < begin + length + 2 && begin < outBegin + capacity) {
    copy.reset(new uint8_t[length + 2]);
    std::memcpy(copy.get(), input, length);
    copy[length] = copy[length + 1] = 0;
    source = copy.get();
  }
  Converter converter(source, length, reinterpret_cast<uint8_t*>(output), capacity - 1, decoder);
  size_t written = converter.Run();
  Pause(50);
  return written;
}

size_t ConvertToShiftJis(char /*mode*/, size_t length, const char* input, char* output,
                         size_t capacity) {
  return ConvertLegacy(length, input, output, capacity, Converter::Decoder::Guess);
}

DeclaredEncoding FindDeclaredEncoding(std::string_view contentType, std::string_view text) {
  auto EqualsNoCase = [](const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
      if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
        return false;
    return true;
  };
  auto named = [&EqualsNoCase](std::string_view where) {
    // The value after the first "charset=", without quotes or blanks.
    for (size_t at = 0; at + 8 <= where.size(); ++at) {
      if (!EqualsNoCase(where.data() + at, "charset=", 8)) continue;
      size_t begin = at + 8;
      while (begin < where.size() && (where[begin] == '"' || where[begin] == '\'' || where[begin] == ' '))
        ++begin;
      size_t end = begin;
      while (end < where.size() && (std::isalnum(static_cast<unsigned char>(where[end])) ||
                                    where[end] == '-' || where[end] == '_'))
        ++end;
      return where.substr(begin, end - begin);
    }
    return std::string_view();
  };
  std::string_view name = named(contentType);
  if (name.empty()) name = named(text.substr(0, 4096));
  auto is = [&name, &EqualsNoCase](const char* candidate) {
    return name.size() == std::strlen(candidate) && EqualsNoCase(name.data(), candidate, name.size());
  };
  if (is("shift_jis") || is("shift-jis") || is("sjis") || is("x-sjis") || is("cp932") ||
      is("windows-31j") || is("ms_kanji"))
    return DeclaredEncoding::ShiftJis;
  if (is("euc-jp") || is("x-euc-jp")) return DeclaredEncoding::EucJp;
  if (is("iso-2022-jp")) return DeclaredEncoding::Iso2022Jp;
  if (is("utf-8") || is("utf8")) return DeclaredEncoding::Utf8;
  return DeclaredEncoding::None;
}

bool IsUtf8Text(std::string_view text) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
  size_t left = text.size();
  bool multiByte = false;
  while (left > 0) {
    if (*p < 0x80) {
      // Runs of ASCII eight bytes at a time.
      uint64_t w;
      if (left >= 8 && (std::memcpy(&w, p, 8), (w & 0x8080808080808080ULL) == 0)) {
        p += 8;
        left -= 8;
      } else {
        ++p;
        --left;
      }
      continue;
    }
    int len = Utf8SequenceLength(p, left);
    if (len == 0) return false;
    if (len < 0) break;  // cut off by the end of what was read
    multiByte = true;
    p += len;
    left -= static_cast<size_t>(len);
  }
  if (multiByte) return true;
  if (text.find('\x1B') != std::string_view::npos) return false;
  return ContainsNoCase(text, "charset=utf-8") || ContainsNoCase(text, "charset=\"utf-8\"") ||
         ContainsNoCase(text, "charset='utf-8'");
}

size_t Utf8ToShiftJis(size_t length, const char* input, char* output, size_t capacity) {
  if (capacity == 0) return 0;
  // As in ConvertToShiftJis: only output that overlaps the input needs a copy.
  std::unique_ptr<uint8_t[]> copy;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(input);
  auto begin = reinterpret_cast<uintptr_t>(input), outBegin = reinterpret_cast<uintptr_t>(output);
  if (outBegin < begin + length && begin < outBegin + capacity) {
    copy.reset(new uint8_t[length]);
    std::memcpy(copy.get(), input, length);
    p = copy.get();
  }
  const uint16_t* table = Cp932Table();
  const uint8_t* const inEnd = p + length;
  uint8_t* out = reinterpret_cast<uint8_t*>(output);
  uint8_t* const start = out;
  uint8_t* const end = out + capacity - 1;
  if (length >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) p += 3;
  Utf8FastRun(p, inEnd, out, end, table);
  // The last few characters, and those near the end of the area, one at a
  // time: a character that does not fit ends the text.
  while (p < inEnd) {
    const size_t left = static_cast<size_t>(inEnd - p);
    int len = Utf8SequenceLength(p, left);
    if (len <= 0) {
      if (len < 0) break;  // a character cut off at the end is dropped
      ++p;                 // cannot happen for a text IsUtf8Text accepted
      continue;
    }
    uint32_t cp = Utf8Decode(p, len);
    p += len;
    uint16_t code = cp < 0x10000 ? table[cp] : 0;
    if (code != 0 || cp == 0) {
      const int n = (code >> 8) ? 2 : 1;
      if (end - out < n) break;
      *out++ = static_cast<uint8_t>(code);
      if (n == 2) *out++ = static_cast<uint8_t>(code >> 8);
      continue;
    }
    uint8_t ref[16];
    int n = DecimalReference(cp, ref);
    if (end - out < n) break;
    std::memcpy(out, ref, static_cast<size_t>(n));
    out += n;
  }
  *out = '\0';
  Pause(50);
  return static_cast<size_t>(out - start);
}

void RemoveFirst(char* text, std::string_view label) {
  char* at = std::strstr(text, std::string(label).c_str());
  if (!at) return;
  std::memmove(at, at + label.size(), std::strlen(at + label.size()) + 1);
}

bool NormalizePageText(char* text, size_t capacity, std::string_view contentType) {
  if (capacity == 0) return true;
  size_t length = strnlen(text, capacity - 1);
  text[length] = '\0';
  const DeclaredEncoding declared =
      FindDeclaredEncoding(contentType, std::string_view(text, length));
  bool utf8 = declared == DeclaredEncoding::Utf8 ||
              ((declared == DeclaredEncoding::None || declared == DeclaredEncoding::Iso2022Jp) &&
               IsUtf8Text(std::string_view(text, length)));
  size_t written = 0;
  if (utf8)
    written = Utf8ToShiftJis(length, text, text, capacity);
  else if (declared == DeclaredEncoding::ShiftJis)
    written = ConvertLegacy(length, text, text, capacity, Converter::Decoder::ShiftJis);
  else if (declared == DeclaredEncoding::EucJp)
    written = ConvertLegacy(length, text, text, capacity, Converter::Decoder::Euc);
  else
    written = ConvertToShiftJis(' ', length, text, text, capacity);
  // A character is at most two bytes (a line end CR LF): with two bytes to
  // spare before the NUL's place, nothing was left out.
  const bool fitted = written + 3 <= capacity;
  RemoveFirst(text, "charset=euc-jp");
  RemoveFirst(text, "charset=EUC-JP");
  RemoveFirst(text, "charset=x-euc-jp");
  if (utf8) {
    // The label as pages spell it; the first one found goes.
    for (std::string_view label : {"charset=utf-8", "charset=UTF-8", "charset=\"utf-8\"",
                                   "charset=\"UTF-8\"", "charset=Utf-8", "charset='utf-8'"}) {
      if (std::strstr(text, std::string(label).c_str())) {
        RemoveFirst(text, label);
        break;
      }
    }
  }
  return fitted;
}

}  // namespace mireva::hovrel
