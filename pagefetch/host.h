#pragma once
// The library's way out to its host: message boxes, the password prompt and
// the fixed pauses. The host registers its callbacks through HovrelSetHost;
// without them messages go to standard error as UTF-8 and the prompt cancels.
#include <string>

#include "core/runtime/hovrel_api.h"

namespace mireva::hovrel {

void SetHost(HovrelMessageFn message, HovrelPasswordFn password, void* user);

// Shows a warning message (Shift_JIS).
void ShowMessage(const std::string& text);

struct Login {
  std::string user;
  std::string password;
};
// Asks for a user name and password for `site` and `realm`; false on cancel.
bool AskPassword(const std::string& site, const std::string& realm, Login* login);

// A fixed pause (100 ms after a successful fetch, 50 ms after a text
// conversion or a tag adjustment); a caller that fetches page after page is
// paced by it.
void Pause(int milliseconds);

namespace testing {
// Lets the library's own tests and the converter benchmark run without the
// fixed pauses. Not exported: the shared library always pauses.
void SetPausesEnabled(bool enabled);
}  // namespace testing

}  // namespace mireva::hovrel
