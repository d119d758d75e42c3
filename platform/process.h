#pragma once
// Starting other programs with an argument vector, never through a shell, so
// that addresses and names from pages can never become shell syntax.
// Arguments are host (UTF-8) strings. A bare program name (no "/") is looked up
// in the program's folder first, then on PATH.
#include <string>
#include <vector>

namespace mireva {

enum class Wait { No, UntilExit };

// Starts argv[0] with argv. With Wait::UntilExit, returns after the program has
// ended and stores its exit status in *exitCode (-1 when it died by a signal).
// False when the program could not be started.
bool StartProgram(const std::vector<std::string>& argv, Wait wait = Wait::No,
                  int* exitCode = nullptr);

// Resolves a bare program name as StartProgram does; empty when not found.
std::string FindProgram(const std::string& name);

// Opens a web address or document with the desktop's handler (xdg-open).
bool OpenWithDesktop(const std::string& target);

// The user's text editor for a file: $VISUAL, else an installed desktop text
// editor, else xdg-open. With Wait::UntilExit the call returns when it closes.
bool OpenInTextEditor(const std::string& hostPath, Wait wait);

// What OpenInTextEditor tries, in its order, for telling the user when nothing
// started: "$VISUAL" ("$VISUAL=<value>" when set), the desktop text editors it
// looks for, "xdg-open". Host (UTF-8) text.
std::vector<std::string> TextEditorsTried();

}  // namespace mireva
