#pragma once
// Small files of each download type, as the first bytes of real ones, and a
// cache record that carries a body inline after its key and headers.
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
// A WebKit cache record: metadata, the key (the address), the response
// headers, then the body.
inline std::string Record(const std::string& body) {
  return Bytes("\x0F\0\0\0\x20\0\0\0", 8) + "Resource\0http://127.0.0.1:8080/img/photo.jpg\0" +
         Bytes("\x3A\x9F\x11\x02\x80\x44\x19\xA2\x07\x55\x0C\xD4\x6E\x21\x98\x33\x01\x77\x42\x10",
               20) +
         "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nServer: GIF89 FWSx II*x MZ\r\n\r\n" + body;
}

}  // namespace mireva::tollick::testing
