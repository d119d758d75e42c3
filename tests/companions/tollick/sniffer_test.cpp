#include <gtest/gtest.h>

#include <string>

#include "companions/tollick/content_sniffer.h"
#include "core/download_types.h"
#include "tests/companions/tollick/cache_samples.h"

namespace mireva::tollick {
namespace {

using testing::Bytes;

TypeMask Of(const char* key) {
  const auto& table = DownloadTypeTable();
  for (size_t i = 0; i < table.size(); ++i)
    if (std::string(table[i].key) == key) return TypeMask{1} << i;
  return 0;
}

std::string Pad(std::string s) { return s + std::string(80, '\x01'); }

TEST(ContentSniffer, KnowsEachTypeByItsFirstBytes) {
  std::string pe = "MZ" + std::string(0x3A, '\0') + Bytes("\x40\0\0\0", 4) + Bytes("PE\0\0", 4);
  const struct {
    const char* key;
    std::string head;
  } rows[] = {
      {"JPEG", testing::SampleJpeg()},
      {"GIF", "GIF89a\x01\0\x01\0"},
      {"GIF", "GIF87a\x01\0\x01\0"},
      {"PNG", testing::SamplePng()},
      {"TIF", Bytes("II*\0\x08\0\0\0", 8)},
      {"TIF", Bytes("MM\0*\0\0\0\x08", 8)},
      {"MIDI", Bytes("MThd\0\0\0\x06\0\x01", 10)},
      {"MP3", Bytes("ID3\x03\0\0\0\0\0\x10", 10)},
      {"MP3", Bytes("\xFF\xFB\x90\x64", 4)},
      {"AVI", Bytes("RIFF\x10\0\0\0AVI LIST", 16)},
      {"WAV", Bytes("RIFF\x10\0\0\0WAVEfmt ", 16)},
      {"PDF", "%PDF-1.4\n"},
      {"LZH", Bytes("\x25\x3C-lh5-", 7) + std::string(20, '\0')},
      {"EXE", pe},
      {"ZIP", Bytes("PK\x03\x04\x14\0", 6)},
      {"RAM", "rtsp://media.example/clip.rm\r\n"},
      {"RM", Bytes(".RMF\0\0\0\x12", 8)},
      {"SWF", Bytes("FWS\x06\x20\0\0\0", 8)},
      {"SWF", Bytes("CWS\x0A\x20\x01\0\0", 8)},
      {"ASX", "\r\n  <ASX version=\"3.0\">"},
  };
  for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    SCOPED_TRACE(std::to_string(i) + " " + rows[i].key);
    EXPECT_EQ(SniffTypes(Pad(rows[i].head)), Of(rows[i].key));
  }
}

TEST(ContentSniffer, SharedContainersMatchBothTypes) {
  EXPECT_EQ(SniffTypes(testing::SampleAsf()), Of("WMV") | Of("ASF"));
  EXPECT_EQ(SniffTypes(Pad(Bytes("\0\0\0\x14"
                                 "ftypqt  ",
                                 12))),
            Of("MOV") | Of("QT"));
  EXPECT_EQ(SniffTypes(Pad(Bytes("\0\0\x10\0moovmvhd", 12))),
            Of("MOV") | Of("QT"));
}

TEST(ContentSniffer, PagesAndTextAreNoDownloadType) {
  for (const std::string& text :
       {std::string("<!DOCTYPE html><html><head>"), std::string("GIF8"), std::string("MZ"),
        std::string("{\"json\": true}"), std::string("FWSx and more text"), std::string(),
        Bytes("\xFF\xFF\xFF\xFF", 4), std::string("http://example.com/a.rm")})
    EXPECT_EQ(SniffTypes(text), 0u) << text;
}

}  // namespace
}  // namespace mireva::tollick
