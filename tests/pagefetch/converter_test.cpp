// The code converter: the cases its callers rely on, the agreement with glibc
// iconv over the whole JIS X 0208 repertoire, UTF-8 pages, and bad input.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "pagefetch/code_converter.h"
#include "platform/text_helpers.h"
#include "tests/pagefetch/test_helpers.h"
#include "tests/support/test_server.h"

namespace mireva::hovrel {
namespace {

using test::CrLf;
using test::Iconv;

std::string Convert(const std::string& in) {
  std::vector<char> out(in.size() * 2 + 16);
  size_t n = ConvertToShiftJis(' ', in.size(), in.data(), out.data(), out.size());
  EXPECT_EQ(out[n], '\0');
  return std::string(out.data(), n);
}

std::string Normalize(const std::string& in) {
  std::vector<char> buf(in.size() * 3 + 16, '\0');
  std::memcpy(buf.data(), in.data(), in.size());
  NormalizePageText(buf.data(), buf.size());
  return std::string(buf.data());
}

// Literals are Shift_JIS in the program; these give the other encodings.
std::string Euc(const std::string& sjis) { return Iconv("EUC-JP", "SHIFT_JIS", sjis); }
std::string Jis(const std::string& sjis) { return Iconv("ISO-2022-JP", "SHIFT_JIS", sjis); }

TEST(CodeConverter, AsciiGainsCarriageReturnsOnly) {
  EXPECT_EQ(Convert("plain text\nline two\n"), "plain text\r\nline two\r\n");
  EXPECT_EQ(Convert("a\r\nb"), "a\r\r\nb");        // CR LF becomes CR CR LF
  EXPECT_EQ(Convert("<p>end</p>"), "<p>end</p>");  // the last byte is kept
  EXPECT_EQ(Convert(""), "");
}

TEST(CodeConverter, ConvertsIsoAndEucAndKeepsShiftJis) {
  const std::string text = "日本語のページ\n漢字かな交じり文。";
  EXPECT_EQ(Convert(Jis(text)), CrLf(text));
  EXPECT_EQ(Convert(Euc(text)), CrLf(text));
  EXPECT_EQ(Convert(text), CrLf(text));
  // Only lead bytes 0xE0-0xEF with second bytes above 0xA0: read as EUC-JP.
  const std::string level2 = "\xE0\xA1\xE5\xA2\xEA\xB0";
  ASSERT_FALSE(Iconv("SHIFT_JIS", "EUC-JP", level2).empty());
  EXPECT_EQ(Convert(level2), Iconv("SHIFT_JIS", "EUC-JP", level2));
  // The same lead bytes followed by a Shift_JIS-only byte: read as Shift_JIS.
  EXPECT_EQ(Convert("\xE0\xA1\x82\xA0"), "\xE0\xA1\x82\xA0");
}

TEST(CodeConverter, HalfWidthKatakanaBecomeFullWidth) {
  // Shifted out with ESC ( I, every half-width katakana 0xA1-0xDF in order.
  std::string seven = "\x1B(I";
  for (int c = 0x21; c <= 0x5F; ++c) seven += static_cast<char>(c);
  seven += "\x1B(Bx";
  EXPECT_EQ(Convert(seven),
            "。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノ"
            "ハヒフヘホマミムメモヤユヨラリルレロワン゛゜x");
  EXPECT_EQ(Convert("\x0E"
                    "1"
                    "\x0F"
                    "1"),
            "ア1");                                            // SO, SI
  EXPECT_EQ(Convert("\x1B(I6^J_3^6_\x1B(B"), "ガパウ゛カ゜");  // 7-bit marks
  EXPECT_EQ(Convert("\x0E\xA0"), "");  // not a kana in shift-out: a pair byte, dropped at end
}

TEST(CodeConverter, EucKatakanaFoldVoicedMarks) {
  std::string voiced, semi;
  for (int k : {0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,
                0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE})
    voiced += std::string("\x8E") + static_cast<char>(k) + "\x8E\xDE";
  for (int k = 0xCA; k <= 0xCE; ++k)
    semi += std::string("\x8E") + static_cast<char>(k) + "\x8E\xDF";
  // An EUC-JP character first establishes the EUC decoder.
  EXPECT_EQ(Convert(Euc("あ") + voiced), "あガギグゲゴザジズゼゾダヂヅデドバビブベボ");
  EXPECT_EQ(Convert(Euc("あ") + semi), "あパピプペポ");
  EXPECT_EQ(Convert(Euc("あ") + "\x8E\xB3\x8E\xDE"), "あウ゛");  // ｳ has no voiced form
  EXPECT_EQ(Convert(Euc("あ") + "\x8E\xB6\x8E\xB1"), "あカア");  // 0x8E then another kana
  EXPECT_EQ(Convert(Euc("あ") + "\x8E\xB6\x8E"), std::string("あカ\x8E"));
  EXPECT_EQ(Convert(Euc("あ") + "\x8E"), "あ");
}

TEST(CodeConverter, EscapeSequencesThatAreNotOursAreWrittenOut) {
  EXPECT_EQ(Convert("a\x1B"), "a\x1B");
  EXPECT_EQ(Convert("a\x1B$"), "a\x1B$");
  EXPECT_EQ(Convert("\x1B(Xq"), "\x1B(Xq");
  EXPECT_EQ(Convert("\x1B$(Dq"), "\x1B$(Dq");
  EXPECT_EQ(Convert("\x1BZ"), "\x1BZ");
  // In two-byte mode a lead byte followed by a control byte is dropped with it.
  EXPECT_EQ(Convert("\x1B$B\x30\n\x30\x21\x1B(B!"), "亜!");
}

TEST(CodeConverter, RemovesTheEucJpLabelOnly) {
  std::string page =
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=EUC-JP\">" + Euc("本文");
  EXPECT_EQ(Normalize(page), "<meta http-equiv=\"Content-Type\" content=\"text/html; \">本文");
  EXPECT_EQ(Normalize("charset=euc-jp charset=euc-jp x charset=x-euc-jp"), " charset=euc-jp x ");
}

TEST(CodeConverter, RecognisesAndConvertsUtf8) {
  const std::string sjis = "日本語のページ、ｶﾀｶﾅ";
  const std::string utf8 = Iconv("UTF-8", "CP932", sjis);
  EXPECT_TRUE(IsUtf8Text(utf8));
  EXPECT_TRUE(IsUtf8Text(utf8.substr(0, utf8.size() - 1)));  // cut inside the last character
  EXPECT_FALSE(IsUtf8Text(Euc("日本語")));
  EXPECT_FALSE(IsUtf8Text(sjis));
  EXPECT_FALSE(IsUtf8Text("plain ascii"));
  EXPECT_TRUE(IsUtf8Text("<meta charset=\"UTF-8\">ascii only"));
  EXPECT_FALSE(IsUtf8Text("charset=utf-8 \x1B$B"));  // 7-bit JIS wins over a label

  EXPECT_EQ(Normalize("\xEF\xBB\xBF" + utf8 + "\n"), sjis + "\r\n");
  // Characters that code page 932 lacks: decimal references.
  EXPECT_EQ(Normalize("\xE2\x82\xAC \xF0\x9F\x98\x80 " + utf8.substr(0, 3)),
            "&#8364; &#128512; 日");
  EXPECT_EQ(Normalize("<meta content=\"text/html; charset=utf-8\">" + utf8),
            "<meta content=\"text/html; \">" + sjis);
  EXPECT_EQ(Normalize("<meta charset=\"UTF-8\">x"), "<meta >x");
}

// One character at a time, with iconv for each: what the UTF-8 converter
// writes, whichever of its paths a character takes. Invalid bytes are skipped
// one by one, a character cut off by the end ends the text, and a character
// that does not fit in `capacity` (NUL included) ends it too.
std::string Utf8OneByOne(const std::string& in, size_t capacity) {
  std::string out;
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  size_t left = in.size();
  if (left >= 3 && in.compare(0, 3, "\xEF\xBB\xBF") == 0) p += 3, left -= 3;
  while (left > 0) {
    int len = Utf8SequenceLength(p, left);
    if (len < 0) break;
    if (len == 0) {
      ++p, --left;
      continue;
    }
    std::string ch(reinterpret_cast<const char*>(p), static_cast<size_t>(len));
    p += len, left -= static_cast<size_t>(len);
    std::string sjis = ch == "\n"                  ? "\r\n"
                       : ch == std::string(1, '\0') ? ch
                                                     : Iconv("CP932", "UTF-8", ch);
    if (sjis.empty()) {
      uint32_t cp = 0;
      std::string utf32 = Iconv("UTF-32LE", "UTF-8", ch);
      std::memcpy(&cp, utf32.data(), 4);
      sjis = "&#" + std::to_string(cp) + ";";
    }
    if (out.size() + sjis.size() > capacity - 1) break;
    out += sjis;
  }
  return out;
}

// The UTF-8 converter reads words of ASCII and runs of kana at a time; at
// every alignment, next to every kind of odd byte and at every end of the
// area it writes what a character-by-character conversion writes.
TEST(CodeConverter, Utf8FastPathsAgreeWithOneCharacterAtATime) {
  const char* pieces[] = {"a",         "<a href=\"x\">", "\n",           "\r\n",
                          "\xE3\x81\x82",  "\xE6\xBC\xA2",       "\xEF\xBD\xB6",  // あ 漢 ｶ
                          "\xC2\xA7",      "\xE2\x82\xAC",       "\xF0\x9F\x98\x80",  // § € 😀
                          "\x80",         "\xE3\x81",         "\xED\xA0\x80",  // stray, cut, surrogate
                          "\xE0\x81\x81",  "\xC0\xAF",         "\xFF",         "\xF0\x9F"};
  std::mt19937 rng(20240612);
  for (int round = 0; round < 2000; ++round) {
    std::string in;
    for (int n = static_cast<int>(rng() % 40); n > 0; --n) {
      in += pieces[rng() % std::size(pieces)];
      if (rng() % 4 == 0) in.append(rng() % 20, 'x');  // ASCII runs across word bounds
    }
    if (round % 5 == 0) in.push_back('\0');                 // a NUL is text too
    if (round % 3 == 0) in.resize(rng() % (in.size() + 1));  // cut inside a sequence
    size_t capacity = round % 2 ? in.size() * 10 + 1 : 1 + rng() % (in.size() * 2 + 2);
    std::vector<char> out(capacity + 1, '\x55');
    size_t n = Utf8ToShiftJis(in.size(), in.data(), out.data(), capacity);
    ASSERT_EQ(std::string(out.data(), n), Utf8OneByOne(in, capacity)) << "round " << round;
    ASSERT_EQ(out[n], '\0');
    ASSERT_EQ(out[capacity], '\x55');
  }
}

// Every character of JIS X 0208, in lines of 40 with some ASCII, encoded by
// iconv as EUC-JP, ISO-2022-JP and Shift_JIS, comes out as iconv's Shift_JIS.
TEST(CodeConverter, AgreesWithIconvOnTheWholeJisX0208Repertoire) {
  std::string euc;
  int count = 0;
  for (int row = 0xA1; row <= 0xFE; ++row) {
    for (int cell = 0xA1; cell <= 0xFE; ++cell) {
      std::string ch{static_cast<char>(row), static_cast<char>(cell)};
      if (Iconv("SHIFT_JIS", "EUC-JP", ch).size() != 2) continue;
      euc += ch;
      if (++count % 40 == 0) euc += " line " + std::to_string(count) + "\n";
    }
  }
  ASSERT_GT(count, 6800);
  // A real text as well, with its punctuation and mixed scripts.
  std::string prose = mireva::testing::ReadFile(mireva::testing::SourceDir() +
                                                "/tests/data/pagefetch/prose_utf8.txt");
  ASSERT_FALSE(prose.empty());
  euc += Iconv("EUC-JP", "UTF-8", prose);

  std::string sjis = Iconv("SHIFT_JIS", "EUC-JP", euc);
  std::string jis = Iconv("ISO-2022-JP", "EUC-JP", euc);
  ASSERT_FALSE(sjis.empty());
  ASSERT_FALSE(jis.empty());
  const std::string expected = CrLf(sjis);
  for (std::string* input : {&euc, &jis, &sjis}) {
    EXPECT_FALSE(IsUtf8Text(*input));
    std::string got = Normalize(*input);
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
  }
}

// Output never passes the capacity, whatever the input; run under the
// sanitizers the buffers are exactly as large as promised.
void ExpectBounded(const std::string& in, size_t capacity) {
  auto out = std::make_unique<char[]>(capacity + 8);
  std::memset(out.get(), 0x55, capacity + 8);
  size_t n = ConvertToShiftJis(' ', in.size(), in.data(), out.get(), capacity);
  ASSERT_LT(n, capacity == 0 ? 1 : capacity);
  if (capacity > 0) {
    EXPECT_EQ(out[n], '\0');
  }
  for (size_t i = capacity; i < capacity + 8; ++i) ASSERT_EQ(out[i], 0x55) << "wrote past the area";
}

TEST(CodeConverterBadInput, RandomBytesNeverOverrun) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 3000; ++round) {
    std::string in(rng() % 300, '\0');
    for (char& c : in) c = static_cast<char>(rng());
    if (round % 3 == 0)  // weight toward the interesting bytes
      for (char& c : in) c = "\x1B$B(I\x0E\x0F\x8E\xDE\xDF\xA1\x81\x9F\xE0\n^_"[rng() % 17];
    ExpectBounded(in, rng() % (in.size() * 2 + 3));
    // Text in place, as the library converts it, inside an exact-size area.
    size_t cap = in.size() + 1 + rng() % 4;
    auto area = std::make_unique<char[]>(cap);
    std::memset(area.get(), 0, cap);
    std::memcpy(area.get(), in.data(), in.size());
    NormalizePageText(area.get(), cap);
    EXPECT_LT(std::strlen(area.get()), cap);
  }
}

TEST(CodeConverterBadInput, TruncatedSequencesAndLoneLeadBytes) {
  for (const char* in : {"\x1B", "\x1B$", "\x1B(", "\x1B$B", "\x1B$B\x30", "\x81", "\xE0",
                         "\xE0\xA1", "\x8E", "\xA4", "a\x82", "\x1B(I", "\x0E", "\x0E\x36"}) {
    ExpectBounded(in, 1);
    ExpectBounded(in, 2);
    ExpectBounded(in, 16);
  }
  EXPECT_EQ(Convert("ab\x82"), "ab");  // a lead byte at the end is dropped
}

TEST(CodeConverterBadInput, LineFeedsAtTheBufferSizeStayInside) {
  for (size_t size : {1u, 2u, 3u, 49998u}) {
    // The text-mode area: size page bytes, size + 1 for the text and its NUL.
    auto area = std::make_unique<char[]>(size + 1);
    std::memset(area.get(), '\n', size);
    area[size] = '\0';
    NormalizePageText(area.get(), size + 1);
    size_t n = std::strlen(area.get());
    EXPECT_LE(n, size);
    EXPECT_EQ(n % 2, 0u);  // never half a line end
  }
  ExpectBounded(std::string(5000, '\n'), 5000);
  // UTF-8 text stops before a character that does not fit.
  std::string utf8 = Iconv("UTF-8", "CP932", "日本語");
  auto small = std::make_unique<char[]>(4);
  std::memcpy(small.get(), utf8.data(), 3);
  small[3] = '\0';
  EXPECT_EQ(Utf8ToShiftJis(utf8.size(), utf8.data(), small.get(), 4), 2u);
}

}  // namespace
}  // namespace mireva::hovrel
