#include "app/script_runner.h"

#include <wx/clipbrd.h>
#include <wx/time.h>

#include "app/browser_view.h"
#include "app/main_frame.h"
#include "platform/process.h"
#include "platform/test_hooks.h"
#include "platform/wx/wx_text.h"

namespace mireva {

ScriptRunner::ScriptRunner(MainFrame* frame, std::vector<std::string> lines)
    : frame_(frame), lines_(std::move(lines)), timer_(this) {
  Bind(wxEVT_TIMER, &ScriptRunner::OnTimer, this);
}

void ScriptRunner::Start() { timer_.Start(50); }

void ScriptRunner::OnTimer(wxTimerEvent&) {
  // One step a tick, so that page events and painting run between steps.
  while (next_ < lines_.size()) {
    if (!Step(lines_[next_])) return;
    ++next_;
    waiting_ = false;
    if (next_ < lines_.size()) return;
  }
  timer_.Stop();
}

bool ScriptRunner::Step(const std::string& line) {
  if (line.empty() || line[0] == '#') return true;
  size_t sp = line.find(' ');
  std::string verb = line.substr(0, sp);
  std::string arg = sp == std::string::npos ? std::string() : line.substr(sp + 1);
  long now = static_cast<long>(wxGetLocalTimeMillis().GetValue());

  if (verb == "command") {
    frame_->IssueCommand(std::atoi(arg.c_str()));
  } else if (verb == "state") {
    int id = std::atoi(arg.c_str());
    TestLog("state", arg + (frame_->CommandEnabled(id) ? " enabled" : " disabled"));
  } else if (verb == "wait-complete") {
    if (!waiting_) {
      waiting_ = true;
      waitUntilMs_ = now + (arg.empty() ? 20000 : std::atol(arg.c_str()));
    }
    if (frame_->View().CompletedDocuments() > completionsTaken_) {
      ++completionsTaken_;
      return true;
    }
    if (now < waitUntilMs_) return false;
    TestLog("timeout", "wait-complete");
  } else if (verb == "sleep") {
    if (!waiting_) {
      waiting_ = true;
      waitUntilMs_ = now + std::atol(arg.c_str());
    }
    if (now < waitUntilMs_) return false;
  } else if (verb == "address") {
    frame_->SetAddressText(Utf8ToSjis(arg));
  } else if (verb == "enter-address") {
    // Types into the address field and presses Enter through the X server,
    // as a user would.
    frame_->SetAddressText(Utf8ToSjis(arg));
    frame_->FocusAddress();
    // The toolkit's Enter event of the field, as the key raises it.
    frame_->PressEnterInAddress();
  } else if (verb == "log-address") {
    TestLog("address", frame_->AddressText());
  } else if (verb == "clipboard") {
    if (wxTheClipboard->Open()) {
      wxTheClipboard->SetData(new wxTextDataObject(wxString::FromUTF8(arg)));
      wxTheClipboard->Close();
    }
  } else if (verb == "log-clipboard") {
    std::string text;
    if (wxTheClipboard->Open()) {
      wxTextDataObject data;
      if (wxTheClipboard->IsSupported(wxDF_UNICODETEXT) && wxTheClipboard->GetData(data))
        text = FromWx(data.GetText());
      wxTheClipboard->Close();
    }
    TestLog("clipboard", text);
  } else if (verb == "log-textsize") {
    TestLog("textsize", std::to_string(frame_->View().Browser().TextSize()));
  } else if (verb == "screenshot") {
    frame_->Update();
    StartProgram({"import", "-window", "root", arg}, Wait::UntilExit);
    TestLog("screenshot", Utf8ToSjis(arg));
  } else if (verb == "quit") {
    timer_.Stop();
    next_ = lines_.size();
    frame_->Close();
  } else {
    TestLog("script-error", Utf8ToSjis(line));
  }
  return true;
}

}  // namespace mireva
