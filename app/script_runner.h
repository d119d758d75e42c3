#pragma once
// Runs a script of steps against the running program, for automated tests and
// scripted use. One step a line:
//   command N          issue command id N as the menu would
//   state N            log "state\tN\tenabled|disabled"
//   wait-complete [ms] wait for the next completed document (default 20000 ms);
//                      each wait takes one completion, in order
//   sleep MS           wait
//   address TEXT       type TEXT into the address field
//   enter-address TEXT type TEXT into the address field and press Enter (the
//                      field's Enter event, as the key raises it)
//   log-address        log the address field
//   clipboard TEXT     put TEXT on the clipboard
//   log-clipboard      log the clipboard's text
//   log-textsize       log the browser's text size (0-4)
//   screenshot PATH    save a picture of the screen (ImageMagick's import)
//   quit               close the main window
// Texts are UTF-8. Lines starting with "#" are comments.
#include <string>
#include <vector>

#include <wx/timer.h>

namespace mireva {

class MainFrame;

class ScriptRunner : public wxEvtHandler {
 public:
  ScriptRunner(MainFrame* frame, std::vector<std::string> lines);
  void Start();

 private:
  void OnTimer(wxTimerEvent&);
  bool Step(const std::string& line);  // false: come back later (waiting)

  MainFrame* frame_;
  std::vector<std::string> lines_;
  size_t next_ = 0;
  int completionsTaken_ = 0;
  long waitUntilMs_ = 0;
  bool waiting_ = false;
  wxTimer timer_;
};

}  // namespace mireva
