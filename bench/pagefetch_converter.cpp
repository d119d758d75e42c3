// Throughput of the page-fetch library's code converter (without its fixed
// pause) against glibc iconv, converting to Shift_JIS from EUC-JP, ISO-2022-JP
// and UTF-8: on a real text, the SKK dictionary of Debian's skkdic package
// (EUC-JP, turned into the other encodings with iconv here), and on a
// generated page of markup and the whole JIS X 0208 repertoire. Each figure is
// the best of several passes, in processor time. The converter's output is checked against
// iconv's (with CR LF line ends) before anything is timed.
//
// Usage: pagefetch_converter_bench [dictionary]   (default /usr/share/skk/SKK-JISYO.L)
// Prints one line per figure: what, converter MB/s, iconv MB/s, ratio, goal, met.
#include <iconv.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pagefetch/code_converter.h"
#include "pagefetch/host.h"

namespace {

constexpr double kGoal = 2.0;
constexpr int kPasses = 7;

// The converting thread's processor time: other work on a busy machine
// (builds) then takes time from neither side. Both sides run in this thread.
double Now() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// iconv over the whole text; characters the target lacks are skipped (one
// input character each), so a corpus can be narrowed to a repertoire.
std::string Iconv(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
  std::string out(in.size() * 3 + 64, '\0');
  char* ip = const_cast<char*>(in.data());
  size_t il = in.size();
  char* op = out.data();
  size_t ol = out.size();
  while (il > 0) {
    if (iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1)) break;
    if (errno != EILSEQ) break;
    // Skip one character of the (UTF-8) input.
    do {
      ++ip;
      --il;
    } while (il > 0 && (static_cast<unsigned char>(*ip) & 0xC0) == 0x80);
  }
  iconv(cd, nullptr, nullptr, &op, &ol);
  iconv_close(cd);
  out.resize(out.size() - ol);
  return out;
}

std::string CrLf(const std::string& s) {
  std::string out;
  out.reserve(s.size() + s.size() / 16);
  for (char c : s) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// A page-like EUC-JP text: paragraphs of kana and kanji with markup and
// ASCII between them, cycling through the JIS X 0208 repertoire.
std::string MakeEucPage(size_t bytes) {
  std::vector<std::string> chars;
  for (int row = 0xA1; row <= 0xF4; ++row)
    for (int cell = 0xA1; cell <= 0xFE; ++cell) {
      std::string ch{static_cast<char>(row), static_cast<char>(cell)};
      if (Iconv("SHIFT_JIS", "EUC-JP", ch).size() == 2) chars.push_back(ch);
    }
  std::string page;
  size_t i = 0;
  while (page.size() < bytes) {
    page += "<p class=\"body\">";
    for (int k = 0; k < 40; ++k) {
      // Mostly hiragana and common kanji, as running text has.
      size_t pick = (k % 3 == 0) ? (i * 7919) % chars.size() : 250 + (i % 83);
      page += chars[pick % chars.size()];
      ++i;
    }
    page += "</p> 2024-06-11 <a href=\"/news/item.html\">link</a>\n";
  }
  return page;
}

bool gAllMet = true;

// One figure: the converter against iconv on the same input.
void Run(const char* what, const std::string& input, const char* iconvFrom, const char* iconvTo,
         bool utf8, const std::string& expected) {
  std::vector<char> out(input.size() * 2 + 16, '\0');  // both write into touched memory
  auto convert = [&] {
    return utf8 ? mireva::hovrel::Utf8ToShiftJis(input.size(), input.data(), out.data(), out.size())
                : mireva::hovrel::ConvertToShiftJis(' ', input.size(), input.data(), out.data(),
                                                    out.size());
  };
  size_t n = convert();
  if (std::string(out.data(), n) != expected) {
    std::printf("%-44s output differs from iconv's: no figure\n", what);
    gAllMet = false;
    return;
  }
  double oursSec = 1e9, iconvSec = 1e9;
  for (int pass = 0; pass < kPasses; ++pass) {
    double t0 = Now();
    convert();
    oursSec = std::min(oursSec, Now() - t0);

    iconv_t cd = iconv_open(iconvTo, iconvFrom);
    char* ip = const_cast<char*>(input.data());
    size_t il = input.size();
    char* op = out.data();
    size_t ol = out.size();
    t0 = Now();
    size_t r = iconv(cd, &ip, &il, &op, &ol);
    iconv(cd, nullptr, nullptr, &op, &ol);
    iconvSec = std::min(iconvSec, Now() - t0);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) {
      std::printf("%-44s iconv stopped early: no figure\n", what);
      gAllMet = false;
      return;
    }
  }
  const double mb = static_cast<double>(input.size()) / 1e6;
  const double ratio = iconvSec / oursSec;
  const bool met = ratio >= kGoal;
  if (!met) gAllMet = false;
  std::printf("%-44s %9.0f MB/s %9.0f MB/s %6.2fx  >= %.1fx  %s\n", what, mb / oursSec,
              mb / iconvSec, ratio, kGoal, met ? "met" : "NOT met");
}

// `text` is UTF-8; it is narrowed to what Shift_JIS (JIS X 0208) holds, the
// repertoire all three encodings share, and encoded in each.
void RunAll(const char* source, const std::string& text) {
  const std::string sjis = Iconv("SHIFT_JIS", "UTF-8", text);
  const std::string base = Iconv("EUC-JP", "SHIFT_JIS", sjis);
  const std::string jis = Iconv("ISO-2022-JP", "SHIFT_JIS", sjis);
  const std::string utf8 = Iconv("UTF-8", "SHIFT_JIS", sjis);
  const std::string expected = CrLf(sjis);
  // The UTF-8 path writes code page 932, so that is iconv's target there too;
  // on this repertoire it gives the same bytes as Shift_JIS.
  const std::string expected932 = CrLf(Iconv("CP932", "UTF-8", utf8));
  char what[96];
  std::snprintf(what, sizeof what, "converter EUC-JP, %s", source);
  Run(what, base, "EUC-JP", "SHIFT_JIS", false, expected);
  std::snprintf(what, sizeof what, "converter ISO-2022-JP, %s", source);
  Run(what, jis, "ISO-2022-JP", "SHIFT_JIS", false, expected);
  std::snprintf(what, sizeof what, "converter UTF-8, %s", source);
  Run(what, utf8, "UTF-8", "CP932", true, expected932);
}

}  // namespace

int main(int argc, char** argv) {
  mireva::hovrel::testing::SetPausesEnabled(false);
  const char* path = argc > 1 ? argv[1] : "/usr/share/skk/SKK-JISYO.L";
  std::ifstream file(path, std::ios::binary);
  std::string dictionary((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // Warm the converter's tables before anything is timed.
  char warm[8];
  mireva::hovrel::Utf8ToShiftJis(3, "\xE3\x81\x82", warm, sizeof warm);

  std::printf("%-44s %14s %14s %7s  %-6s %s\n", "figure", "converter", "iconv", "ratio", "goal",
              "result");
  if (dictionary.empty()) {
    std::printf("%-44s not found (Debian package skkdic): no figure\n", path);
    gAllMet = false;
  } else {
    // The dictionary is EUC-JP with a few JIS X 0212 characters, which
    // RunAll leaves out.
    char source[64];
    std::snprintf(source, sizeof source, "skkdic %.1f MB",
                  static_cast<double>(dictionary.size()) / 1e6);
    RunAll(source, Iconv("UTF-8", "EUC-JP", dictionary));
  }
  RunAll("generated page 16.8 MB", Iconv("UTF-8", "EUC-JP", MakeEucPage(16u << 20)));
  return gAllMet ? 0 : 1;
}
