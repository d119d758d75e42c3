// quandex: shows saved search-engine result pages in Quandex's results dialog.
//
//   quandex ENGINE PAGE [ENGINE PAGE ...]   hand each page to libQuandex.so and
//                                           run until the dialog is closed
//   quandex --list ENGINE PAGE [...]        print the parsed results instead:
//                                           the hit count, then one line per link,
//                                           "address<TAB>description", in UTF-8
//   quandex --help                          usage and the engine indices
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/timer.h>
#include <wx/toplevel.h>

#include "platform/dynamic_library.h"
#include "platform/text_encoding.h"
#include "searchresults/engine_table.h"
#include "searchresults/quandex_api.h"
#include "searchresults/result_page_parser.h"

namespace {

constexpr std::streamsize kMaxPageBytes = 16 * 1024 * 1024;

struct PageArg {
  int engine = 0;
  std::string path;
  std::vector<char> text;  // NUL-terminated and writable, as the export wants it
};

void PrintUsage(FILE* out) {
  std::fputs(
      "Usage: quandex [--list] ENGINE PAGE [ENGINE PAGE ...]\n"
      "       quandex --help\n"
      "Shows saved search-engine result pages (Shift_JIS) in the results dialog\n"
      "and runs until the dialog is closed. With --list, prints the parsed results\n"
      "instead: the hit count, then one line per link, address<TAB>description (UTF-8).\n"
      "\nEngine indices:\n",
      out);
  for (const mireva::EngineInfo& e : mireva::Engines())
    std::fprintf(out, "  %2d  %s\n", mireva::EngineIndex(e.id),
                 mireva::SjisToUtf8(e.caption).c_str());
}

bool ReadPage(PageArg& arg) {
  std::ifstream in(arg.path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  std::streamsize size = in.tellg();
  if (size < 0 || size > kMaxPageBytes) return false;
  in.seekg(0);
  arg.text.assign(static_cast<size_t>(size) + 1, '\0');
  in.read(arg.text.data(), size);
  return in.gcount() == size;
}

bool ParseEngine(const char* s, int* engine) {
  char* end = nullptr;
  long v = std::strtol(s, &end, 10);
  if (end == s || *end != '\0' || v < -1000000 || v > 1000000) return false;
  *engine = static_cast<int>(v);
  return true;
}

int List(std::vector<PageArg>& pages) {
  mireva::ResultPageParser parser;
  for (PageArg& p : pages) {
    const mireva::EngineResults& r = parser.Parse(p.engine, p.text.data());
    std::printf("%d\n", static_cast<int>(r.hits));
    for (int i = 0; i < r.count; ++i) {
      const mireva::ResultEntry& e = r.entries[static_cast<size_t>(i)];
      std::printf("%s\t%s\n", mireva::SjisToUtf8(e.url).c_str(),
                  mireva::SjisToUtf8(e.text).c_str());
    }
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

std::vector<PageArg>* gPages = nullptr;

// The program's wx application: loads the library, hands it the pages and
// ends when no window of it is shown any more.
class QuandexApp : public wxApp {
 public:
  bool OnInit() override {
    if (!library_.Open("Quandex")) {
      std::fprintf(stderr, "quandex: %s\n", library_.Error().c_str());
      return false;
    }
    auto entry = library_.Entry<QuandexFunction>("Quandex");
    if (!entry) {
      std::fprintf(stderr, "quandex: libQuandex.so has no entry Quandex\n");
      return false;
    }
    for (PageArg& p : *gPages) entry(p.engine, p.text.data(), 0);
    // The dialog hides rather than goes away when it is closed, so watch for it.
    timer_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
      for (wxWindow* w : wxTopLevelWindows)
        if (w->IsShown()) return;
      ExitMainLoop();
    });
    timer_.Start(150);
    return true;
  }

  int OnExit() override {
    timer_.Stop();
    // Unload while wx still runs, so the library deletes its own dialog.
    library_.Close();
    return wxApp::OnExit();
  }

 private:
  mireva::DynamicLibrary library_;
  wxTimer timer_;
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(QuandexApp);

int main(int argc, char** argv) {
  bool list = false;
  std::vector<const char*> rest;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintUsage(stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--list") == 0) {
      list = true;
    } else {
      rest.push_back(argv[i]);
    }
  }
  if (rest.empty() || rest.size() % 2 != 0) {
    PrintUsage(stderr);
    return 2;
  }
  std::vector<PageArg> pages(rest.size() / 2);
  for (size_t i = 0; i < pages.size(); ++i) {
    if (!ParseEngine(rest[2 * i], &pages[i].engine)) {
      std::fprintf(stderr, "quandex: not an engine index: %s\n", rest[2 * i]);
      return 2;
    }
    pages[i].path = rest[2 * i + 1];
    if (!ReadPage(pages[i])) {
      std::fprintf(stderr, "quandex: cannot read %s\n", pages[i].path.c_str());
      return 1;
    }
  }
  if (list) return List(pages);

  gPages = &pages;
  int wxArgc = 1;
  char* wxArgv[] = {argv[0], nullptr};
  return wxEntry(wxArgc, wxArgv);
}
