#include "companions/download_engine/safe_name.h"

#include "platform/text_encoding.h"
#include "platform/text_helpers.h"

namespace mireva::dl {

namespace {

bool Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Splits at the last dot when it leaves a short extension; "" when none.
size_t ExtensionStart(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || name.size() - dot > 16) return name.size();
  return dot;
}

std::string FitLength(const std::string& name) {
  if (name.size() <= kMaxNameBytes) return name;
  size_t ext = ExtensionStart(name);
  std::string tail = name.substr(ext);
  return CutNameBase(name.substr(0, ext), kMaxNameBytes - tail.size()) + tail;
}

}  // namespace

std::string CutUtf8(const std::string& text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t end = maxBytes;
  while (end > 0 && Continuation(static_cast<unsigned char>(text[end]))) --end;
  return text.substr(0, end);
}

std::string CutNameBase(const std::string& base, size_t maxBytes) {
  std::string cut = CutUtf8(base, maxBytes);
  // A cut that ends in a dot would meet the extension's dot ("aaa." + ".jpg").
  while (!cut.empty() && (cut.back() == '.' || cut.back() == ' ')) cut.pop_back();
  return cut.empty() ? std::string("_") : cut;
}

std::string SafeFileName(const std::string& raw, const std::string& fallback) {
  // Names on the web are mostly UTF-8; older Japanese pages give Shift_JIS.
  std::string text = IsValidUtf8(raw) ? raw : SjisToUtf8(raw);
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    char put = ch;
    if (c < 0x20 || c == 0x7F || ch == '/' || ch == '\\') put = '_';
    // Runs of dots shrink to one, so ".." never appears.
    if (put == '.' && !out.empty() && out.back() == '.') continue;
    out += put;
  }
  size_t lead = 0;
  while (lead < out.size() && (out[lead] == '.' || out[lead] == '-' || out[lead] == ' ')) ++lead;
  out.erase(0, lead);
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  if (out.empty()) return fallback;
  return FitLength(out);
}

bool IsSafeFileName(const std::string& name) {
  if (name.empty() || name.size() > kMaxNameBytes || !IsValidUtf8(name)) return false;
  if (name[0] == '.' || name[0] == '-' || name[0] == ' ') return false;
  if (name.find("..") != std::string::npos) return false;
  for (char ch : name) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F || ch == '/' || ch == '\\') return false;
  }
  return true;
}

std::string NumberedName(const std::string& safeName, int n) {
  size_t ext = ExtensionStart(safeName);
  std::string tail = "(" + std::to_string(n) + ")" + safeName.substr(ext);
  return CutNameBase(safeName.substr(0, ext), kMaxNameBytes - tail.size()) + tail;
}

}  // namespace mireva::dl
