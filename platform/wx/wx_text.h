#pragma once
// Shift_JIS text to and from wxString, the GUI's side of the host boundary.
#include <string>
#include <wx/string.h>

#include "platform/text_encoding.h"

namespace mireva {

inline wxString ToWx(const std::string& sjis) { return wxString::FromUTF8(SjisToUtf8(sjis)); }
inline std::string FromWx(const wxString& text) {
  const wxScopedCharBuffer utf8 = text.utf8_str();
  return Utf8ToSjis(std::string(utf8.data(), utf8.length()));
}

}  // namespace mireva
