#include "companions/tollick/resource_spool.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/file_util.h"
#include "platform/ini_file.h"
#include "platform/text_helpers.h"

namespace mireva::tollick {
namespace fs = std::filesystem;

namespace {

int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Reads a whole host file of at most `limit` bytes.
bool ReadBounded(const std::string& path, uint64_t limit, std::string* out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  out->clear();
  char buf[65536];
  size_t n;
  bool ok = true;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    if (out->size() + n > limit) {
      ok = false;
      break;
    }
    out->append(buf, n);
  }
  if (std::ferror(f)) ok = false;
  std::fclose(f);
  return ok;
}

// Writes a spool file under a dot name and renames it into place. Not flushed
// to disk: the spool is a hand-over between two running programs, written on
// the window's thread, and the record's size field lets the watcher drop a
// body that a crash of the machine left short.
bool WriteSpoolFile(const std::string& path, std::string_view data) {
  const size_t slash = path.rfind('/');
  const std::string temp = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = true;
  while (ok && !data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) data.remove_prefix(static_cast<size_t>(n));
  }
  ok = ::close(fd) == 0 && ok && std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

// The value of "key=" in a record or state text ("" when absent).
std::string Field(std::string_view text, std::string_view key) {
  for (std::string_view line : SplitLines(text)) {
    if (line.size() > key.size() && line.substr(0, key.size()) == key &&
        line[key.size()] == '=')
      return std::string(line.substr(key.size() + 1));
  }
  return std::string();
}

int TypeByKey(std::string_view key) {
  const auto& table = DownloadTypeTable();
  for (size_t i = 0; i < table.size(); ++i)
    if (key == table[i].key) return static_cast<int>(i);
  return -1;
}

int TypeByExtension(std::string_view ext) {
  const auto& table = DownloadTypeTable();
  for (size_t i = 0; i < table.size(); ++i)
    if (ext == table[i].extension) return static_cast<int>(i);
  return -1;
}

// An address kept in a record: one line, at most 2,000 bytes (a data: address
// holds the whole content).
std::string RecordLine(const std::string& s) {
  std::string out = s.substr(0, 2000);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

}  // namespace

uint64_t ContentHash(std::string_view data) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : data) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  return h;
}

bool WriteSpoolState(const std::string& spool, const SpoolState& state) {
  std::error_code ec;
  fs::create_directories(spool, ec);
  std::string text = "types=";
  for (bool on : state.types) text += on ? '1' : '0';
  text += "\nlimit=" + std::to_string(state.limit) + "\n";
  // Like the resources, renamed into place but not flushed to disk: the view
  // reads it within milliseconds of "download start".
  return WriteSpoolFile(spool + "/" + kSpoolStateName, text);
}

void RemoveSpoolState(const std::string& spool) {
  ::unlink((spool + "/" + kSpoolStateName).c_str());
}

uint64_t ReadResourceLimit(const std::string& iniPath) {
  ProfileFile profile;
  if (!profile.Load(iniPath)) return kDefaultResourceLimit;
  std::string v = profile.Get(kTypeSettingsSection, kResourceLimitKey, "", 8);
  char* end = nullptr;
  long mb = std::strtol(v.c_str(), &end, 10);
  if (v.empty() || *end != '\0' || mb < 1 || mb > 1024) return kDefaultResourceLimit;
  return static_cast<uint64_t>(mb) << 20;
}

TypeMask ResourceTypes(std::string_view mime, std::string_view head) {
  std::string m = LowerAscii(Trim(mime.substr(0, mime.find(';')), " \t"));
  static const struct {
    const char* mime;
    const char* ext;
  } kMimes[] = {
      {"image/jpeg", "jpg"},          {"image/pjpeg", "jpg"},
      {"image/jpg", "jpg"},           {"image/gif", "gif"},
      {"image/png", "png"},           {"image/x-png", "png"},
      {"image/tiff", "tif"},          {"audio/midi", "mid"},
      {"audio/x-midi", "mid"},        {"audio/mid", "mid"},
      {"audio/mpeg", "mp3"},          {"audio/mp3", "mp3"},
      {"video/x-msvideo", "avi"},     {"video/avi", "avi"},
      {"audio/wav", "wav"},           {"audio/x-wav", "wav"},
      {"audio/wave", "wav"},          {"application/pdf", "pdf"},
      {"application/x-lzh", "lzh"},   {"application/x-lzh-compressed", "lzh"},
      {"application/x-msdownload", "exe"}, {"application/zip", "zip"},
      {"application/x-zip-compressed", "zip"}, {"audio/x-pn-realaudio", "ram"},
      {"application/vnd.rn-realmedia", "rm"}, {"application/x-shockwave-flash", "swf"},
      {"video/x-ms-wmv", "wmv"},      {"video/quicktime", "mov"},
      {"video/x-ms-asf", "asf"},      {"video/x-ms-asx", "asx"},
  };
  for (const auto& entry : kMimes)
    if (m == entry.mime) {
      int t = TypeByExtension(entry.ext);
      TypeMask mask = TypeMask{1} << t;
      // One container, two types: content of either takes the first enabled.
      if (m == "video/quicktime") mask |= TypeMask{1} << TypeByExtension("qt");
      if (m == "video/x-ms-wmv" || m == "video/x-ms-asf")
        mask = (TypeMask{1} << TypeByExtension("wmv")) | (TypeMask{1} << TypeByExtension("asf"));
      return mask;
    }
  // A server that names no type, or only "some bytes", is judged by the bytes.
  if (m.empty() || m == "application/octet-stream" || m == "binary/octet-stream")
    return SniffTypes(head.substr(0, 4096));
  return 0;
}

uint64_t SpoolWriter::Limit() {
  struct stat st;
  if (::stat((spool_ + "/" + kSpoolStateName).c_str(), &st) != 0) {
    stateStamp_ = -1;
    state_ = SpoolState{};
    return 0;
  }
  const int64_t stamp = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  if (stamp != stateStamp_) {
    std::string text;
    state_ = SpoolState{};
    if (ReadBounded(spool_ + "/" + kSpoolStateName, 4096, &text)) {
      std::string types = Field(text, "types");
      for (size_t i = 0; i < state_.types.size() && i < types.size(); ++i)
        state_.types[i] = types[i] == '1';
      state_.limit = std::strtoull(Field(text, "limit").c_str(), nullptr, 10);
      if (!AnyEnabled(state_.types)) state_.limit = 0;
    }
    stateStamp_ = stamp;
  }
  return state_.limit;
}

bool SpoolWriter::Offer(const std::string& address, const std::string& page, std::string_view mime,
                        std::string_view bytes) {
  const uint64_t limit = Limit();
  if (limit == 0 || bytes.empty() || bytes.size() > limit) return false;
  // Pictures of the user's own files (a saved page, the patrol's report) are
  // no material from the web.
  if (LowerAscii(address.substr(0, 5)) == "file:") return false;
  const TypeMask mask = ResourceTypes(mime, bytes);
  int type = -1;
  for (int i = 0; i < kDownloadTypeCount && type < 0; ++i)
    if ((mask & (TypeMask{1} << i)) && state_.types[static_cast<size_t>(i)]) type = i;
  if (type < 0) return false;
  char id[64];
  std::snprintf(id, sizeof id, "%lld-%ld-%llu", static_cast<long long>(NowMs()),
                static_cast<long>(::getpid()), static_cast<unsigned long long>(++serial_));
  const std::string base = spool_ + "/" + id;
  std::string record = "address=" + RecordLine(address) + "\npage=" + RecordLine(page) +
                       "\ntype=" + DownloadTypeTable()[static_cast<size_t>(type)].key +
                       "\ntime=" + std::to_string(NowMs()) +
                       "\nsize=" + std::to_string(bytes.size()) + "\n";
  if (!WriteSpoolFile(base + ".dat", bytes)) return false;
  if (!WriteSpoolFile(base + ".rec", record)) {
    ::unlink((base + ".dat").c_str());
    return false;
  }
  return true;
}

bool SpoolWriter::WantsWithoutBytes(const std::string& address, std::string_view mime) {
  if (Limit() == 0 || mime.empty()) return false;
  const std::string scheme = LowerAscii(address.substr(0, address.find(':')));
  if (scheme != "http" && scheme != "https") return false;
  const TypeMask mask = ResourceTypes(mime, std::string_view());
  for (int i = 0; i < kDownloadTypeCount; ++i)
    if ((mask & (TypeMask{1} << i)) && state_.types[static_cast<size_t>(i)]) return true;
  return false;
}

std::vector<std::string> SpoolCollector::Collect(const SpoolState& state) {
  std::vector<std::string> collected;
  std::error_code ec;
  const auto staleBefore = fs::file_time_type::clock::now() - std::chrono::hours(1);
  std::vector<fs::path> records, others;
  for (auto it = fs::directory_iterator(spool_, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    const fs::path& p = it->path();
    if (p.extension() == ".rec")
      records.push_back(p);
    else if (p.filename() != kSpoolStateName)
      others.push_back(p);
  }
  for (const fs::path& rec : records) {
    fs::path dat = rec;
    dat.replace_extension(".dat");
    std::string text, body;
    int type = -1;
    if (ReadBounded(rec.string(), 8192, &text)) type = TypeByKey(Field(text, "type"));
    const bool wanted = type >= 0 && state.types[static_cast<size_t>(type)] && state.limit > 0;
    if (wanted && ReadBounded(dat.string(), state.limit, &body) && !body.empty() &&
        Field(text, "size") == std::to_string(body.size())) {
      std::string name = StoreCollected(outputFolder_, body, type);
      if (!name.empty()) collected.push_back(name);
    }
    fs::remove(dat, ec);
    fs::remove(rec, ec);
  }
  // Bodies whose record never came (the view ended mid-write) and temporaries
  // of writers that died go after an hour.
  for (const fs::path& p : others) {
    auto t = fs::last_write_time(p, ec);
    if (!ec && t < staleBefore && fs::is_regular_file(p, ec)) fs::remove(p, ec);
  }
  return collected;
}

std::string StoreCollected(const std::string& outputFolder, std::string_view content, int type) {
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(ContentHash(content)));
  const std::string name =
      std::string(hex) + "." + DownloadTypeTable()[static_cast<size_t>(type)].extension;
  const std::string target = outputFolder + "/" + name;
  std::error_code ec;
  if (fs::exists(target, ec)) return std::string();  // this content is there already
  fs::create_directories(outputFolder, ec);
  // Written under a dot name (".<name>.tmpXXXXXX") that folder sweeps pass
  // over, so "Cache files" never takes a half-written file.
  if (!WriteHostFileAtomically(target, content)) return std::string();
  return name;
}

}  // namespace mireva::tollick
