#include "pagefetch/fetch.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>

#include "pagefetch/code_converter.h"
#include "pagefetch/host.h"
#include "pagefetch/markup.h"
#include "platform/text_encoding.h"

namespace hovrel {
namespace {

constexpr char kAgent[] = "Pandrel - MFC Application App";
// Sent with every FetchPage request. The agent already fills User-Agent, so
// the "User-Agent: Pandrel" line, added only if new, never replaces it.
constexpr char kAcceptHeader[] = "Accept: text/*";
// Bounds on what a server can make us hold or wait for.
constexpr size_t kHeaderLimit = 64 * 1024;   // raw headers of one response
constexpr size_t kDiscardLimit = 1 << 20;    // body of a 401 or redirect answer
constexpr long long kSaveLimit = 1LL << 32;  // a saved body
constexpr long kConnectTimeout = 30;         // seconds
constexpr long kStallSeconds = 60;           // no byte for this long ends the transfer

// A failure that FetchPage reports and turns into its result code.
struct TearException {
  int code;
};

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct ListDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct UrlDeleter {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;
using Url = std::unique_ptr<CURLU, UrlDeleter>;

bool EqualsNoCase(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// ---- address parsing ------------------------------------------------------

enum class Parse { Ok, Unparsable, NotHttp };

struct ParsedUrl {
  std::string url;  // canonical form sent to the server
  std::string host;
  std::string port;
};

// Parses `text`, resolving it against `base` when one is given (a redirect
// may name its target relative to the page that redirected).
Parse ParseHttpUrl(const std::string& text, const std::string* base, ParsedUrl* out) {
  Url u(curl_url());
  if (!u) return Parse::Unparsable;
  if (base && curl_url_set(u.get(), CURLUPART_URL, base->c_str(), 0) != CURLUE_OK)
    return Parse::Unparsable;
  if (curl_url_set(u.get(), CURLUPART_URL, text.c_str(),
                   CURLU_NON_SUPPORT_SCHEME | CURLU_URLENCODE) != CURLUE_OK)
    return Parse::Unparsable;
  char* part = nullptr;
  if (curl_url_get(u.get(), CURLUPART_SCHEME, &part, 0) != CURLUE_OK) return Parse::Unparsable;
  // Secure HTTP is HTTP too: nearly every page today is served over TLS, and a
  // page the browser shows must be one its save commands can fetch.
  bool http = std::strcmp(part, "http") == 0 || std::strcmp(part, "https") == 0;
  curl_free(part);
  if (!http) return Parse::NotHttp;
  if (curl_url_get(u.get(), CURLUPART_HOST, &part, 0) != CURLUE_OK) return Parse::Unparsable;
  out->host = part;
  curl_free(part);
  if (curl_url_get(u.get(), CURLUPART_PORT, &part, CURLU_DEFAULT_PORT) == CURLUE_OK) {
    out->port = part;
    curl_free(part);
  }
  if (curl_url_get(u.get(), CURLUPART_URL, &part, 0) != CURLUE_OK) return Parse::Unparsable;
  out->url = part;
  curl_free(part);
  return Parse::Ok;
}

// ---- bodies ---------------------------------------------------------------

class BodySink {
 public:
  virtual ~BodySink() = default;
  // False stops the transfer; Done() then tells a full buffer from a failure.
  virtual bool Take(const char* data, size_t n) = 0;
  virtual bool Done() const { return false; }
};

// Text mode: at most `limit` bytes into the caller's area; no more is read.
class TextSink : public BodySink {
 public:
  TextSink(char* buffer, size_t limit) : buffer_(buffer), limit_(limit) {}
  bool Take(const char* data, size_t n) override {
    size_t room = limit_ - length_;
    size_t take = n < room ? n : room;
    std::memcpy(buffer_ + length_, data, take);
    length_ += take;
    if (take < n || length_ == limit_) {
      full_ = true;  // no further reads: the page is cut here
      return false;
    }
    return true;
  }
  bool Done() const override { return full_; }
  size_t Length() const { return length_; }

 private:
  char* buffer_;
  size_t limit_;
  size_t length_ = 0;
  bool full_ = false;
};

// The output file of a save: the body goes to a temporary file beside the
// target, which replaces the target only when the whole body has arrived.
// A failed save leaves the target empty, never half a page.
class SaveFile {
 public:
  ~SaveFile() { Abandon(); }

  // False with errno set when the target cannot be created or written.
  bool Open(const std::string& sjisPath) {
    target_ = mireva::HostPath(sjisPath);
    if (target_.empty()) {
      errno = ENOENT;
      return false;
    }
    int fd = ::open(target_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      created_ = true;
    } else if (errno == EEXIST) {
      fd = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
    }
    if (fd < 0) return false;
    struct stat st {};
    fstat(fd, &st);
    ::close(fd);
    size_t slash = target_.rfind('/');
    std::string dir = slash == std::string::npos ? "." : target_.substr(0, slash + 1);
    std::string tmpl = dir + (slash == std::string::npos ? "/" : "") + ".hovrel-XXXXXX";
    fd_ = mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd_ < 0) {
      int e = errno;
      if (created_) ::unlink(target_.c_str());
      created_ = false;
      errno = e;
      return false;
    }
    temp_ = tmpl;
    fchmod(fd_, st.st_mode & 0777);
    return true;
  }

  bool Write(const char* data, size_t n) {
    while (n > 0) {
      ssize_t w = ::write(fd_, data, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      data += w;
      n -= static_cast<size_t>(w);
    }
    return true;
  }

  // Moves the complete body into place. False with errno set on failure.
  bool Commit() {
    if (fsync(fd_) != 0 && errno != EINVAL) return false;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return false;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) return false;
    temp_.clear();
    return true;
  }

  // Drops the temporary file and empties the target.
  void Abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) {
      ::unlink(temp_.c_str());
      temp_.clear();
      int fd = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
      if (fd >= 0) ::close(fd);
    }
  }

 private:
  std::string target_;
  std::string temp_;
  int fd_ = -1;
  bool created_ = false;
};

// Save mode: the body in reads of 32768 bytes, one progress report after the
// first read (even an empty one) and after every further non-empty read.
class FileSink : public BodySink {
 public:
  FileSink(SaveFile& file, const HovrelProgressTarget* progress, uint16_t transferId)
      : file_(file),
        progress_(progress),
        transferId_(transferId),
        block_(new char[kSaveBlockSize]) {}

  bool Take(const char* data, size_t n) override {
    while (n > 0) {
      size_t room = kSaveBlockSize - used_;
      size_t take = n < room ? n : room;
      std::memcpy(block_.get() + used_, data, take);
      used_ += take;
      data += take;
      n -= take;
      if (used_ == kSaveBlockSize && !CompleteRead()) return false;
    }
    return true;
  }

  // The last read: what is left in the block, or the empty first read.
  bool Finish() { return (used_ > 0 || reads_ == 0) ? CompleteRead() : true; }
  bool WriteFailed() const { return writeErrno_ != 0; }
  int WriteErrno() const { return writeErrno_; }
  bool TooLong() const { return tooLong_; }

 private:
  bool CompleteRead() {
    if (total_ + static_cast<long long>(used_) > kSaveLimit) {
      tooLong_ = true;
      return false;
    }
    if (!file_.Write(block_.get(), used_)) {
      writeErrno_ = errno ? errno : EIO;
      return false;
    }
    total_ += static_cast<long long>(used_);
    used_ = 0;
    bool first = reads_++ == 0;
    if (progress_ && progress_->report) {
      char text[48];
      int n = std::snprintf(text, sizeof text, "%d %lld", static_cast<int>(transferId_), total_);
      progress_->report(progress_->user, first ? 1 : 0, text, static_cast<unsigned>(n));
    }
    return true;
  }

  SaveFile& file_;
  const HovrelProgressTarget* progress_;
  uint16_t transferId_;
  std::unique_ptr<char[]> block_;
  size_t used_ = 0;
  long long total_ = 0;
  int reads_ = 0;
  int writeErrno_ = 0;
  bool tooLong_ = false;
};

// ---- one HTTP exchange ----------------------------------------------------

// Which answers' bodies are the page; the others are read and dropped.
enum class Accept { AllButAuthAndRedirect, AllButRedirect, Only200 };

bool Accepts(Accept rule, long status) {
  bool redirect = status == 301 || status == 302 || status == 303;
  switch (rule) {
    case Accept::AllButAuthAndRedirect:
      return !redirect && status != 401;
    case Accept::AllButRedirect:
      return !redirect;
    case Accept::Only200:
      return status == 200;
  }
  return false;
}

struct Exchange {
  CURL* easy = nullptr;
  Accept rule = Accept::Only200;
  BodySink* sink = nullptr;
  std::string headers;  // raw headers of the last response, CR LF line ends
  enum { Undecided, Keep, Drop } body = Undecided;
  size_t dropped = 0;
  bool stoppedOnPurpose = false;
};

size_t OnHeader(char* data, size_t size, size_t n, void* user) {
  auto* x = static_cast<Exchange*>(user);
  size_t len = size * n;
  if (len >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
    // A new response (after an interim one): its own headers and body rule.
    x->headers.clear();
    x->body = Exchange::Undecided;
  }
  if (x->headers.size() + len <= kHeaderLimit) x->headers.append(data, len);
  return len;
}

size_t OnBody(char* data, size_t size, size_t n, void* user) {
  auto* x = static_cast<Exchange*>(user);
  size_t len = size * n;
  if (x->body == Exchange::Undecided) {
    long status = 0;
    curl_easy_getinfo(x->easy, CURLINFO_RESPONSE_CODE, &status);
    x->body = Accepts(x->rule, status) ? Exchange::Keep : Exchange::Drop;
  }
  if (x->body == Exchange::Drop) {
    x->dropped += len;
    if (x->dropped <= kDiscardLimit) return len;
    x->stoppedOnPurpose = true;
    return 0;
  }
  if (x->sink->Take(data, len)) return len;
  x->stoppedOnPurpose = x->sink->Done();
  return 0;
}

// The value of the first "Location: " header line, or nothing.
bool FindLocation(const std::string& headers, std::string* location) {
  static constexpr char kName[] = "Location: ";
  constexpr size_t kLen = sizeof kName - 1;
  size_t line = 0;
  while (line < headers.size()) {
    size_t end = headers.find("\r\n", line);
    if (end == std::string::npos) end = headers.size();
    if (end - line >= kLen && EqualsNoCase(headers.data() + line, kName, kLen)) {
      *location = headers.substr(line + kLen, end - line - kLen);
      return true;
    }
    line = end + 2;
  }
  return false;
}

// The realm of a 401's challenge, for the password prompt.
std::string FindRealm(const std::string& headers, bool* digest) {
  *digest = false;
  std::string realm;
  size_t line = 0;
  static constexpr char kName[] = "WWW-Authenticate:";
  while (line < headers.size()) {
    size_t end = headers.find("\r\n", line);
    if (end == std::string::npos) end = headers.size();
    std::string h = headers.substr(line, end - line);
    if (h.size() > sizeof kName && EqualsNoCase(h.data(), kName, sizeof kName - 1)) {
      std::string v = h.substr(sizeof kName - 1);
      size_t s = v.find_first_not_of(' ');
      if (s != std::string::npos && v.size() - s >= 6 && EqualsNoCase(v.data() + s, "digest", 6))
        *digest = true;
      size_t r = v.find("realm=\"");
      if (r != std::string::npos && realm.empty()) {
        size_t q = v.find('"', r + 7);
        realm = v.substr(r + 7, q == std::string::npos ? std::string::npos : q - r - 7);
      }
    }
    line = end + 2;
  }
  return realm;
}

void ShowClientError(CURLcode rc, const char* errorBuffer) {
  std::string text = "CInternet Error: ";
  text += (errorBuffer && *errorBuffer) ? errorBuffer : curl_easy_strerror(rc);
  ShowMessage(text);
}

class PageSession {
 public:
  explicit PageSession(const FetchRequest& request) {
    GlobalInit();
    easy_.reset(curl_easy_init());
    if (!easy_) return;
    curl_slist* list = curl_slist_append(nullptr, kAcceptHeader);
    if (request.requestFlags & kFlagReload) {
      // The request that no cache may answer.
      list = curl_slist_append(list, "Cache-Control: no-cache");
      list = curl_slist_append(list, "Pragma: no-cache");
    }
    headers_.reset(list);
    CURL* e = easy_.get();
    curl_easy_setopt(e, CURLOPT_USERAGENT, kAgent);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers_.get());
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, kConnectTimeout);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorBuffer_);
  }

  bool Ok() const { return easy_ != nullptr && headers_ != nullptr; }

  // One GET. Returns the status; a client error is reported and thrown.
  long Get(const std::string& url, Accept rule, BodySink& sink) {
    exchange_ = Exchange{};
    exchange_.easy = easy_.get();
    exchange_.rule = rule;
    exchange_.sink = &sink;
    errorBuffer_[0] = '\0';
    curl_easy_setopt(easy_.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy_.get(), CURLOPT_HEADERDATA, &exchange_);
    curl_easy_setopt(easy_.get(), CURLOPT_WRITEDATA, &exchange_);
    CURLcode rc = curl_easy_perform(easy_.get());
    if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && exchange_.stoppedOnPurpose)) {
      if (rc == CURLE_WRITE_ERROR) throw TearException{kFetchFileFailed};
      ShowClientError(rc, errorBuffer_);
      throw TearException{2};
    }
    long status = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
    return status;
  }

  const std::string& Headers() const { return exchange_.headers; }

  void SetLogin(const Login& login, bool digest) {
    curl_easy_setopt(easy_.get(), CURLOPT_HTTPAUTH, digest ? CURLAUTH_DIGEST : CURLAUTH_BASIC);
    curl_easy_setopt(easy_.get(), CURLOPT_USERNAME, login.user.c_str());
    curl_easy_setopt(easy_.get(), CURLOPT_PASSWORD, login.password.c_str());
  }
  void ClearLogin() {
    curl_easy_setopt(easy_.get(), CURLOPT_USERNAME, nullptr);
    curl_easy_setopt(easy_.get(), CURLOPT_PASSWORD, nullptr);
  }

 private:
  Easy easy_;
  HeaderList headers_;
  Exchange exchange_;
  char errorBuffer_[CURL_ERROR_SIZE] = {};
};

std::string FileMessage(const char* format, int cause, const char* path) {
  char head[64];
  std::snprintf(head, sizeof head, format, cause);
  return std::string(head) + " (" + path + ")";
}

// The transfer after the file (if any) is open: steps 3 to 10.
void RunFetch(FetchRequest& request, const char* url, BodySink& sink) {
  request.url = url;
  PageSession session(request);
  if (!session.Ok()) {
    ShowMessage("CInternet Error: out of memory");
    throw TearException{2};
  }
  ParsedUrl target;
  if (ParseHttpUrl(request.url, nullptr, &target) != Parse::Ok) {
    ShowMessage("Error: can only use URLs beginning with http://");
    throw TearException{1};
  }
  long status = session.Get(target.url, Accept::AllButAuthAndRedirect, sink);
  if (status == 401) {
    bool digest = false;
    std::string realm = FindRealm(session.Headers(), &digest);
    Login login;
    if (!AskPassword(target.host, realm, &login)) {
      ShowMessage("Access denied: Invalid password\n");
      throw TearException{1};
    }
    session.SetLogin(login, digest);
    // A second 401 brings no second prompt: its body is the page.
    status = session.Get(target.url, Accept::AllButRedirect, sink);
  }
  if (status == 301 || status == 302 || status == 303) {
    std::string location;
    if (!FindLocation(session.Headers(), &location)) {
      ShowMessage("Error: Site redirects with no new location");
      throw TearException{2};
    }
    ParsedUrl next;
    Parse parsed = ParseHttpUrl(location, &target.url, &next);
    if (parsed == Parse::Unparsable) {
      ShowMessage("Error: the redirected URL could not be parsed.");
      throw TearException{2};
    }
    if (parsed == Parse::NotHttp) {
      ShowMessage("Error: the redirected URL does not reference a HTTP resource.");
      throw TearException{2};
    }
    // The user's password was given for the first server only.
    if (next.host != target.host || next.port != target.port) session.ClearLogin();
    status = session.Get(next.url, Accept::Only200, sink);
    if (status != 200) {
      ShowMessage("Error: Got status code " + std::to_string(status));
      throw TearException{2};
    }
  }
}

int SaveModeFetch(FetchRequest& request, const char* url, const char* path) {
  SaveFile file;
  if (!file.Open(path)) {
    ShowMessage(FileMessage("ファイルの作成が失敗しました。%d", FileErrorCause(errno), path));
    return kFetchFileFailed;
  }
  FileSink sink(file, request.progressWindow, request.transferId);
  int result = kFetchOk;
  try {
    RunFetch(request, url, sink);
    if (!sink.Finish()) throw TearException{kFetchFileFailed};
    if (!file.Commit()) {
      ShowMessage(FileMessage("ファイルの書き込みが失敗しました。%d", FileErrorCause(errno), path));
      return kFetchFileFailed;
    }
    return kFetchOk;
  } catch (const TearException& e) {
    result = e.code;
  }
  if (result == kFetchFileFailed) {
    if (sink.TooLong())
      ShowMessage("CInternet Error: the page is too long to save");
    else
      ShowMessage(FileMessage("ファイルの書き込みが失敗しました。%d",
                              FileErrorCause(sink.WriteErrno()), path));
    // A body that could not be stored is a failed save, not a failed download.
    result = sink.TooLong() ? 2 : kFetchFileFailed;
  }
  file.Abandon();
  return result;
}

int TextModeFetch(FetchRequest& request, const char* url, char* buffer, size_t size) {
  buffer[0] = '\0';
  TextSink sink(buffer, size);
  try {
    RunFetch(request, url, sink);
  } catch (const TearException& e) {
    buffer[0] = '\0';
    return e.code;
  }
  buffer[sink.Length()] = '\0';
  NormalizePageText(buffer, size + 1);
  if (request.stripTags) RemoveAllMarkup(buffer);
  return kFetchOk;
}

// ---- FetchForAdjust's error report -----------------------------------------

int WinInetNumber(CURLcode rc) {
  switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
      return 12002;
    case CURLE_URL_MALFORMAT:
      return 12005;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return 12006;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return 12007;
    case CURLE_COULDNT_CONNECT:
      return 12029;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
      return 12030;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
      return 12152;
    case CURLE_TOO_MANY_REDIRECTS:
      return 12156;
    default:
      return 12004;
  }
}

// The tag adjustment has no window to show a report in, so it is written to
// standard error as a log line.
void ReportInternetError(CURLcode rc, const char* errorBuffer) {
  int number = WinInetNumber(rc);
  char when[64];
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  std::strftime(when, sizeof when, "%m %d %y %H:%M:%S GMT", &tm);
  char head[128];
  std::snprintf(head, sizeof head, "CLIENT ERROR: WinInet error #%d -- %s\r\n ", number, when);
  std::string text = head;
  std::string description = (errorBuffer && *errorBuffer) ? errorBuffer : curl_easy_strerror(rc);
  text += description.substr(0, 99);
  if (number == 12152) text += " URL not found?\r\n";
  std::fprintf(stderr, "%s\n", mireva::SjisToUtf8(text).c_str());
}

class StringSink : public BodySink {
 public:
  explicit StringSink(size_t limit) : limit_(limit) {}
  bool Take(const char* data, size_t n) override {
    size_t room = limit_ - text_.size();
    size_t take = n < room ? n : room;
    text_.append(data, take);
    if (take < n || text_.size() == limit_) {
      full_ = true;
      return false;
    }
    return true;
  }
  bool Done() const override { return full_; }
  const std::string& Text() const { return text_; }

 private:
  size_t limit_;
  std::string text_;
  bool full_ = false;
};

}  // namespace

int FileErrorCause(int e) {
  switch (e) {
    case 0:
      return 0;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return 3;
    case EMFILE:
    case ENFILE:
      return 4;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return 5;
    case EMLINK:
      return 8;
    case EIO:
      return 10;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return 13;
    default:
      return 1;
  }
}

int FetchPage(FetchRequest& request, const char* url, int markupOption, int reloadOption,
              char* buffer, size_t size) {
  char markup = static_cast<char>(markupOption & 0xFF);
  char reload = static_cast<char>(reloadOption & 0xFF);
  if (markup == 'S' || markup == 's') request.stripTags = 1;
  if (reload == 'F' || reload == 'f') request.requestFlags |= kFlagReload;
  if (request.saveToFile) return SaveModeFetch(request, url, buffer);
  return TextModeFetch(request, url, buffer, size);
}

int FetchForAdjust(FetchRequest& /*request*/, const char* url, char* buffer, size_t capacity) {
  if (capacity < 3) return -1;
  GlobalInit();
  Easy easy(curl_easy_init());
  if (!easy) return -1;
  StringSink sink(capacity - 2);
  Exchange exchange;
  exchange.easy = easy.get();
  // Every answer's body is the page here, whatever its status.
  exchange.rule = Accept::AllButRedirect;
  exchange.sink = &sink;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  CURL* e = easy.get();
  curl_easy_setopt(e, CURLOPT_URL, url);
  // Web addresses only: a page must not be able to point this at local files.
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, kConnectTimeout);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &exchange);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &exchange);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorBuffer);
  CURLcode rc = curl_easy_perform(e);
  if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && exchange.stoppedOnPurpose)) {
    ReportInternetError(rc, errorBuffer);
    return -1;
  }
  const std::string& text = sink.Text();
  if (text.size() >= capacity - 2) ShowMessage("File overran buffer -- not cached");
  if (text.empty()) return -1;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  NormalizePageText(buffer, capacity);
  return 0;
}

}  // namespace hovrel
