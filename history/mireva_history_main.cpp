// mireva-history: lists, forgets and counts the download history of the
// working folder ($MIREVA_HOME, else the program's default), for users and scripts.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "platform/folders.h"
#include "platform/text_encoding.h"

namespace {

const char kUsage[] =
    "Usage: mireva-history COMMAND [options]\n"
    "Shows and edits the download history of Mireva's working folder\n"
    "($MIREVA_HOME, else ~/.local/share/mireva).\n"
    "\n"
    "  list [--since YYYY-MM-DD] [--site HOST] [TEXT]\n"
    "                 the fetched files, newest first, one per line:\n"
    "                 time TAB size TAB address TAB file\n"
    "                 --site also takes the hosts below HOST; TEXT is looked for\n"
    "                 in the address and the file name\n"
    "  forget TEXT    forgets the entries whose address or file holds TEXT, so\n"
    "                 that they are fetched again, and prints how many\n"
    "  stats          per site: site TAB files TAB bytes TAB newest time\n"
    "  -h, --help     show this help\n"
    "\n"
    "Exit status: 0 on success, 1 for a bad database or bad arguments.\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "mireva-history: %s\nTry 'mireva-history --help'.\n", problem.c_str());
  return 1;
}

// ISO 8601 in local time with the offset: 2026-05-01T09:30:00+09:00.
std::string IsoTime(long long t) {
  std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  localtime_r(&tt, &tm);
  char buf[40];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S%z", &tm);
  const std::string s = buf;
  if (s.size() < 5) return s;
  return s.substr(0, s.size() - 2) + ":" + s.substr(s.size() - 2);
}

// Local midnight of YYYY-MM-DD; false for anything else or a day that does not exist.
bool ParseDay(const std::string& text, long long* out) {
  int y, m, d;
  char tail;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-' ||
      std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3)
    return false;
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = m - 1;
  tm.tm_mday = d;
  tm.tm_isdst = -1;
  std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1) || tm.tm_year != y - 1900 || tm.tm_mon != m - 1 ||
      tm.tm_mday != d)
    return false;
  *out = static_cast<long long>(t);
  return true;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& a : args) {
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  if (args.empty()) return Usage("a command is needed: list, forget or stats");
  const std::string command = args[0];
  if (command != "list" && command != "forget" && command != "stats")
    return Usage("unknown command '" + command + "'");

  mireva::HistoryFilter filter;
  std::vector<std::string> texts;
  for (size_t i = 1; i < args.size(); ++i) {
    std::string a = args[i];
    std::string value;
    bool hasValue = false;
    if (size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = a.substr(eq + 1);
      a.erase(eq);
      hasValue = true;
    }
    auto need = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    if (command == "list" && a == "--since") {
      if (!need() || !ParseDay(value, &filter.since))
        return Usage("--since needs a day as YYYY-MM-DD");
    } else if (command == "list" && a == "--site") {
      if (!need() || value.empty()) return Usage("--site needs a host");
      filter.site = Lower(mireva::Utf8ToSjis(value));
    } else if (a == "--") {
      texts.insert(texts.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage("unknown option '" + args[i] + "' for " + command);
    } else {
      texts.push_back(a);
    }
  }
  if (command == "stats" && !texts.empty()) return Usage("stats takes no text");
  if (texts.size() > 1) return Usage("only one TEXT is taken");
  if (!texts.empty()) filter.text = mireva::Utf8ToSjis(texts[0]);
  if (command == "forget" && filter.text.empty())
    return Usage("forget needs the TEXT of the entries to forget");

  mireva::HistoryStore store;
  const bool opened = store.Open(mireva::WorkingFolder());
  if (!store.Message().empty())
    std::fprintf(stderr, "mireva-history: %s\n", mireva::SjisToUtf8(store.Message()).c_str());
  if (!opened || !store.Message().empty()) return 1;

  if (command == "list") {
    for (const mireva::HistoryEntry& e : store.List(filter)) {
      std::printf("%s\t%lld\t%s\t%s\n", IsoTime(e.fetchedAt).c_str(), e.size,
                  mireva::SjisToUtf8(e.address).c_str(), mireva::SjisToUtf8(e.file).c_str());
    }
  } else if (command == "forget") {
    std::optional<long long> n = store.Forget(filter);
    if (n) std::printf("%lld\n", *n);
  } else {
    for (const mireva::SiteTotals& t : store.Stats()) {
      std::printf("%s\t%lld\t%lld\t%s\n", t.site.empty() ? "-" : mireva::SjisToUtf8(t.site).c_str(),
                  t.files, t.bytes, IsoTime(t.newest).c_str());
    }
  }
  if (!store.Message().empty()) {
    std::fprintf(stderr, "mireva-history: %s\n", mireva::SjisToUtf8(store.Message()).c_str());
    return 1;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
