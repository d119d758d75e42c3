#pragma once
// Small files of each download type, as the first bytes of real ones.
#include <string>

namespace mireva::tollick::testing {

inline std::string Bytes(const char* s, size_t n) { return std::string(s, n); }

inline std::string SampleJpeg(char tag = 'a') {
  return Bytes("\xFF\xD8\xFF\xE0\0\x10JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 20) +
         std::string(40, tag) + "\xFF\xD9";
}
inline std::string SamplePng() {
  return Bytes("\x89PNG\r\n\x1A\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0", 29) +
         std::string(30, 'p');
}
inline std::string SampleAsf() {
  return Bytes("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16) +
         std::string(40, 'w');
}
}  // namespace mireva::tollick::testing
