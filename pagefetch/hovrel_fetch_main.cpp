// hovrel-fetch: fetches one page through libHovrel.so, for users and scripts.
// Loads the library by name from its own folder, as the browser does.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/runtime/hovrel_api.h"
#include "platform/dynamic_library.h"
#include "platform/file_util.h"
#include "platform/text_encoding.h"
#include "platform/text_helpers.h"

namespace {

constexpr unsigned kDefaultSize = 49998;  // the browser's text-mode size

const char kUsage[] =
    "Usage: hovrel-fetch [options] ADDRESS\n"
    "Fetches an http:// or https:// page through the page-fetch library.\n"
    "\n"
    "Text mode (default): the page converted to Shift_JIS with CR LF line ends.\n"
    "Save mode (--save): the body as the server sent it.\n"
    "\n"
    "  -o, --output FILE    write to FILE instead of standard output\n"
    "  -s, --save           save mode (progress on standard error)\n"
    "  -S, --strip          text mode: remove all markup\n"
    "  -f, --reload         ask for a copy that no cache answers\n"
    "  -n, --size BYTES     text mode: read at most BYTES of the page (default 49998)\n"
    "  -u, --user NAME:PASS answer a password request with these credentials\n"
    "  -q, --quiet          no progress on standard error\n"
    "  -h, --help           show this help\n"
    "\n"
    "Exit status: 0 when the page arrived, 1 when the library reported a failure,\n"
    "2 for a usage error or a missing library. After a failure an existing output\n"
    "file is left as it was.\n";

struct Host {
  bool failed = false;
  std::string user;
  std::string password;
  bool haveLogin = false;
};

void MIREVA_STDCALL OnMessage(void* user, const char* text) {
  static_cast<Host*>(user)->failed = true;
  std::string line = mireva::SjisToUtf8(text);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  std::fprintf(stderr, "hovrel-fetch: %s\n", line.c_str());
}

void CopyCut(char* dst, unsigned capacity, const std::string& s) {
  if (capacity == 0) return;
  size_t n = s.size() < capacity - 1 ? s.size() : capacity - 1;
  std::memcpy(dst, s.data(), n);
  dst[n] = '\0';
}

int MIREVA_STDCALL OnPassword(void* user, const char* site, const char* realm, char* name,
                              unsigned nameCapacity, char* password, unsigned passwordCapacity) {
  auto* host = static_cast<Host*>(user);
  if (!host->haveLogin) {
    std::fprintf(stderr, "hovrel-fetch: %s (%s) asks for a password; use --user\n",
                 mireva::SjisToUtf8(site).c_str(), mireva::SjisToUtf8(realm).c_str());
    return 0;
  }
  host->haveLogin = false;  // one retry only
  CopyCut(name, nameCapacity, mireva::Utf8ToSjis(host->user));
  CopyCut(password, passwordCapacity, mireva::Utf8ToSjis(host->password));
  return 1;
}

void MIREVA_STDCALL OnProgress(void*, int, const char* text, unsigned) {
  const char* space = std::strchr(text, ' ');
  std::fprintf(stderr, "\r%s bytes", space ? space + 1 : text);
}

bool CopyFileTo(const std::string& path, FILE* out) {
  FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return false;
  char buf[65536];
  size_t n;
  bool ok = true;
  while ((n = std::fread(buf, 1, sizeof buf, in)) > 0)
    if (std::fwrite(buf, 1, n, out) != n) ok = false;
  std::fclose(in);
  return ok && std::fflush(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string output, address;
  bool save = false, strip = false, reload = false, quiet = false;
  unsigned size = kDefaultSize;
  Host host;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* what) -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "hovrel-fetch: %s needs a value\n", what);
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "-o" || a == "--output") {
      output = value("--output");
    } else if (a == "-s" || a == "--save") {
      save = true;
    } else if (a == "-S" || a == "--strip") {
      strip = true;
    } else if (a == "-f" || a == "--reload") {
      reload = true;
    } else if (a == "-q" || a == "--quiet") {
      quiet = true;
    } else if (a == "-n" || a == "--size") {
      std::string v = value("--size");
      char* end = nullptr;
      unsigned long n = std::strtoul(v.c_str(), &end, 10);
      if (!end || *end || n == 0 || n > 256UL * 1024 * 1024) {
        std::fprintf(stderr, "hovrel-fetch: --size wants 1 to 268435456 bytes\n");
        return 2;
      }
      size = static_cast<unsigned>(n);
    } else if (a == "-u" || a == "--user") {
      std::string v = value("--user");
      size_t colon = v.find(':');
      host.user = v.substr(0, colon);
      host.password = colon == std::string::npos ? "" : v.substr(colon + 1);
      host.haveLogin = true;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "hovrel-fetch: unknown option %s (see --help)\n", a.c_str());
      return 2;
    } else if (address.empty()) {
      address = a;
    } else {
      std::fprintf(stderr, "hovrel-fetch: one address only (see --help)\n");
      return 2;
    }
  }
  if (address.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  mireva::DynamicLibrary library;
  if (!library.Open("Hovrel")) {
    std::fprintf(stderr, "hovrel-fetch: %s\n", library.Error().c_str());
    return 2;
  }
  auto hovrel = library.Entry<HovrelFn>("Hovrel");
  auto load = library.Entry<LoadFileFn>("loadFile");
  auto setHost = library.Entry<HovrelSetHostFn>("HovrelSetHost");
  if (!hovrel || !load || !setHost) {
    std::fprintf(stderr, "hovrel-fetch: the library lacks its exports\n");
    return 2;
  }
  setHost(OnMessage, OnPassword, &host);
  const std::string sjisAddress = mireva::Utf8ToSjis(address);

  if (!save) {
    std::vector<char> buffer(static_cast<size_t>(size) + 2, '\0');
    hovrel(sjisAddress.c_str(), strip ? 'S' : ' ', reload ? 'F' : ' ', ' ', buffer.data(), size);
    size_t length = std::strlen(buffer.data());
    // A failed fetch leaves an existing output file as it was; a page replaces
    // it whole (a unique temporary beside it, renamed), never through a link.
    if (host.failed && !output.empty()) return 1;
    bool ok;
    if (output.empty()) {
      ok = std::fwrite(buffer.data(), 1, length, stdout) == length;
      ok = std::fflush(stdout) == 0 && ok;
    } else {
      ok = mireva::WriteHostFileAtomically(output, std::string_view(buffer.data(), length));
    }
    if (!ok) {
      std::fprintf(stderr, "hovrel-fetch: writing the page failed\n");
      return 1;
    }
    return host.failed ? 1 : 0;
  }

  // Save mode. Standard output gets the body through a temporary file.
  std::string target = output;
  if (output.empty()) {
    char tmpl[] = "/tmp/hovrel-fetch-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) {
      std::fprintf(stderr, "hovrel-fetch: no temporary file\n");
      return 1;
    }
    close(fd);
    target = tmpl;
  }
  const std::string sjisTarget = mireva::Utf8ToSjis(target);
  int result;
  if (reload) {
    // Only the main export takes the reload option; it reports no progress.
    std::vector<char> path(sjisTarget.begin(), sjisTarget.end());
    path.push_back('\0');
    unsigned area =
        static_cast<unsigned>(path.size() < mireva::kMaxPath ? mireva::kMaxPath : path.size());
    path.resize(area + 2, '\0');
    result = hovrel(sjisAddress.c_str(), ' ', 'F', 'D', path.data(), area);
  } else {
    HovrelProgressTarget progress{OnProgress, nullptr};
    result = load(sjisAddress.c_str(), sjisTarget.c_str(), quiet ? nullptr : &progress, 1);
    if (!quiet) std::fputc('\n', stderr);
  }
  if (output.empty()) {
    bool ok = result == 1 && CopyFileTo(target, stdout);
    unlink(target.c_str());
    if (!ok && result == 1) {
      std::fprintf(stderr, "hovrel-fetch: writing the page failed\n");
      return 1;
    }
  }
  return (result == 1 && !host.failed) ? 0 : 1;
}
