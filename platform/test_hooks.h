#pragma once
// Hooks that let the real program be driven by automated tests.
//  - MIREVA_TEST_LOG=<file>: the program appends one UTF-8 line per event
//    ("title\t...", "complete\t...", "address\t...", "message\t...", ...), and
//    message boxes are logged instead of shown, so a test never blocks on one.
//  - MIREVA_TEST_ANSWERS=<file>: answers for questions and dialogs, one per
//    line, taken in order: "yes", "no", "file <path>", "cancel",
//    "password <user> <pass>". A question without an answer left gets "no"/cancel.
// Without these variables every function here does nothing.
#include <optional>
#include <string>

namespace mireva {

bool TestModeActive();
// Appends "kind\tvalue" (value in Shift_JIS, written as UTF-8) to the test log.
void TestLog(const std::string& kind, const std::string& sjisValue);
// The next answer line, or nothing when none is left.
std::optional<std::string> NextTestAnswer();

}  // namespace mireva
