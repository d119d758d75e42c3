#pragma once
// Shared helpers of the page-fetch tests: iconv for expected bytes, a
// recording host for the library's messages and password prompt.
#include <iconv.h>

#include <deque>
#include <string>
#include <vector>

#include "pagefetch/host.h"

namespace mireva::hovrel::test {

// Converts with glibc iconv; empty when `in` holds something `to` lacks.
inline std::string Iconv(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string out(in.size() * 4 + 16, '\0');
  char* ip = const_cast<char*>(in.data());
  size_t il = in.size();
  char* op = out.data();
  size_t ol = out.size();
  size_t rc = iconv(cd, &ip, &il, &op, &ol);
  if (rc != static_cast<size_t>(-1)) rc = iconv(cd, nullptr, nullptr, &op, &ol);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return {};
  out.resize(out.size() - ol);
  return out;
}

// LF to CR LF, as the converter writes line ends.
inline std::string CrLf(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

inline std::string Hex(const std::string& bytes) {
  static const char* d = "0123456789abcdef";
  std::string h;
  for (unsigned char c : bytes) {
    h += d[c >> 4];
    h += d[c & 15];
  }
  return h;
}

// Records what the library shows and answers its password prompts in turn.
struct RecordingHost {
  std::vector<std::string> messages;
  std::vector<std::string> prompts;                        // "site|realm"
  std::deque<std::pair<std::string, std::string>> logins;  // empty: cancel

  void Install() { SetHost(&OnMessage, &OnPassword, this); }
  static void Uninstall() { SetHost(nullptr, nullptr, nullptr); }

  static void MIREVA_STDCALL OnMessage(void* user, const char* text) {
    static_cast<RecordingHost*>(user)->messages.push_back(text);
  }
  static int MIREVA_STDCALL OnPassword(void* user, const char* site, const char* realm, char* name,
                                       unsigned nameCap, char* pass, unsigned passCap) {
    auto* self = static_cast<RecordingHost*>(user);
    self->prompts.push_back(std::string(site) + "|" + realm);
    if (self->logins.empty()) return 0;
    auto login = self->logins.front();
    self->logins.pop_front();
    snprintf(name, nameCap, "%s", login.first.c_str());
    snprintf(pass, passCap, "%s", login.second.c_str());
    return 1;
  }
};

}  // namespace mireva::hovrel::test
