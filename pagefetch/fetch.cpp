#include "pagefetch/fetch.h"

#include <curl/curl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>

#include "pagefetch/body_sink.h"
#include "pagefetch/code_converter.h"
#include "pagefetch/host.h"
#include "pagefetch/markup.h"
#include "pagefetch/save_file.h"
#include "platform/curl_url.h"
#include "platform/text_encoding.h"
#include "platform/text_helpers.h"

namespace mireva::hovrel {
namespace {

constexpr char kAgent[] = "Pandrel - MFC Application App";
// Sent with every FetchPage request; the User-Agent header is the agent name
// alone.
constexpr char kAcceptHeader[] = "Accept: text/*";
// Bounds on what a server can make us hold or wait for.
constexpr size_t kHeaderLimit = 64 * 1024;  // raw headers of one response
constexpr size_t kDiscardLimit = 1 << 20;   // body of a 401 or redirect answer
constexpr long kConnectTimeout = 30;        // seconds
constexpr char kTooLongToSave[] = "CInternet Error: the page is too long to save";

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
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

bool IsRedirect(long status) { return status == 301 || status == 302 || status == 303; }

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
  CurlUrl u;
  if (!u) return Parse::Unparsable;
  if (base && !u.Set(CURLUPART_URL, base->c_str())) return Parse::Unparsable;
  if (!u.Set(CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME | CURLU_URLENCODE))
    return Parse::Unparsable;
  auto scheme = u.Get(CURLUPART_SCHEME);
  if (!scheme) return Parse::Unparsable;
  // Secure HTTP is HTTP too: nearly every page today is served over TLS, and a
  // page the browser shows must be one its save commands can fetch.
  if (*scheme != "http" && *scheme != "https") return Parse::NotHttp;
  auto host = u.Get(CURLUPART_HOST);
  if (!host) return Parse::Unparsable;
  out->host = *host;
  if (auto port = u.Get(CURLUPART_PORT, CURLU_DEFAULT_PORT)) out->port = *port;
  auto url = u.Get(CURLUPART_URL);
  if (!url) return Parse::Unparsable;
  out->url = *url;
  return Parse::Ok;
}

// ---- one HTTP exchange ----------------------------------------------------

// Which answers' bodies are the page; the others are read and dropped.
enum class Accept { AllButAuthAndRedirect, AllButRedirect, Only200 };

bool Accepts(Accept rule, long status) {
  switch (rule) {
    case Accept::AllButAuthAndRedirect:
      return !IsRedirect(status) && status != 401;
    case Accept::AllButRedirect:
      return !IsRedirect(status);
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

// The exchange ended as it should: completely, or cut off by a full sink or
// an over-long discarded body (the answer is then complete enough to use).
bool EndedWell(CURLcode rc, const Exchange& exchange) {
  return rc == CURLE_OK || (rc == CURLE_WRITE_ERROR && exchange.stoppedOnPurpose);
}

// `deadlineMs` bounds each exchange as a whole, the stall limit the time
// with less than a byte a second.
void SetTransferOptions(CURL* e, Exchange& exchange, char* errorBuffer, const FetchLimits& limits,
                        long deadlineMs) {
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, kConnectTimeout);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, limits.stallSeconds);
  curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, deadlineMs);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &exchange);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &exchange);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorBuffer);
}

// The value of the first "Location: " header line, or nothing.
bool FindLocation(const std::string& headers, std::string* location) {
  static constexpr std::string_view kName = "Location: ";
  size_t line = 0;
  while (line < headers.size()) {
    size_t end = headers.find("\r\n", line);
    if (end == std::string::npos) end = headers.size();
    if (StartsWithNoCase(std::string_view(headers).substr(line, end - line), kName)) {
      *location = headers.substr(line + kName.size(), end - line - kName.size());
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
    if (h.size() > sizeof kName && StartsWithNoCase(h, kName)) {
      std::string v = h.substr(sizeof kName - 1);
      if (StartsWithNoCase(TrimStart(v, " "), "digest")) *digest = true;
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

// ---- FetchPage ------------------------------------------------------------

// Shows a failure message and gives the result that goes with it.
FetchResult Refuse(const std::string& message) {
  ShowMessage(message);
  return FetchResult::Refused;
}
FetchResult Fail(const std::string& message) {
  ShowMessage(message);
  return FetchResult::Failed;
}

// One GET's outcome: the server's status when `result` is Completed.
struct Answer {
  FetchResult result = FetchResult::Completed;
  long status = 0;
};

// One curl handle for the whole FetchPage call, so the connection and a
// password carry over from one GET to the next.
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
    const FetchLimits& limits = request.limits;
    SetTransferOptions(e, exchange_, errorBuffer_, limits,
                       request.saveToFile ? limits.saveDeadlineMs : limits.textDeadlineMs);
    // A save refuses at once a body whose announced length is over the limit
    // (the sink counts what really arrives). Text mode reads only its size.
    if (request.saveToFile)
      curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.saveBytes));
  }

  // The curl handle points at exchange_: the session stays where it was made.
  PageSession(const PageSession&) = delete;
  PageSession& operator=(const PageSession&) = delete;

  bool Ok() const { return easy_ != nullptr && headers_ != nullptr; }

  // One GET. A client error is reported here ("CInternet Error: ..."); a
  // sink that could not take the body is left to the caller to report.
  Answer Get(const std::string& url, Accept rule, BodySink& sink) {
    exchange_ = Exchange{};
    exchange_.easy = easy_.get();
    exchange_.rule = rule;
    exchange_.sink = &sink;
    errorBuffer_[0] = '\0';
    curl_easy_setopt(easy_.get(), CURLOPT_URL, url.c_str());
    CURLcode rc = curl_easy_perform(easy_.get());
    if (!EndedWell(rc, exchange_)) {
      if (rc == CURLE_WRITE_ERROR) return {FetchResult::FileFailed};
      if (rc == CURLE_FILESIZE_EXCEEDED) return {Fail(kTooLongToSave)};
      return {Fail(ClientErrorText(rc))};
    }
    Answer answer;
    curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &answer.status);
    return answer;
  }

  const std::string& Headers() const { return exchange_.headers; }
  // The Content-Type of the last answer; empty when it had none.
  std::string ContentType() const {
    char* type = nullptr;
    curl_easy_getinfo(easy_.get(), CURLINFO_CONTENT_TYPE, &type);
    return type ? type : "";
  }

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
  std::string ClientErrorText(CURLcode rc) const {
    std::string text = "CInternet Error: ";
    text += *errorBuffer_ ? errorBuffer_ : curl_easy_strerror(rc);
    return text;
  }

  Easy easy_;
  HeaderList headers_;
  Exchange exchange_;
  char errorBuffer_[CURL_ERROR_SIZE] = {};
};

// A 401: asks the user for a password and sends the request once more. A
// second 401 brings no second prompt: its body is the page.
Answer RetryWithPassword(PageSession& session, const ParsedUrl& target, BodySink& sink) {
  bool digest = false;
  std::string realm = FindRealm(session.Headers(), &digest);
  Login login;
  if (!AskPassword(target.host, realm, &login))
    return {Refuse("Access denied: Invalid password\n")};
  session.SetLogin(login, digest);
  return session.Get(target.url, Accept::AllButRedirect, sink);
}

// A 301, 302 or 303: one redirect is followed, and its target must answer 200.
FetchResult FollowRedirect(PageSession& session, const ParsedUrl& target, BodySink& sink) {
  std::string location;
  if (!FindLocation(session.Headers(), &location))
    return Fail("Error: Site redirects with no new location");
  ParsedUrl next;
  switch (ParseHttpUrl(location, &target.url, &next)) {
    case Parse::Unparsable:
      return Fail("Error: the redirected URL could not be parsed.");
    case Parse::NotHttp:
      return Fail("Error: the redirected URL does not reference a HTTP resource.");
    case Parse::Ok:
      break;
  }
  // The user's password was given for the first server only.
  if (next.host != target.host || next.port != target.port) session.ClearLogin();
  Answer answer = session.Get(next.url, Accept::Only200, sink);
  if (answer.result != FetchResult::Completed) return answer.result;
  if (answer.status != 200) return Fail("Error: Got status code " + std::to_string(answer.status));
  return FetchResult::Completed;
}

// The transfer of the page into `sink`, once the output file (if any) is
// open. Any status but a redirect or a first 401 delivers its body as the
// page: a 404 brings the server's error page.
FetchResult FetchInto(FetchRequest& request, const char* url, BodySink& sink) {
  request.url = url;
  PageSession session(request);
  if (!session.Ok()) return Fail("CInternet Error: out of memory");
  ParsedUrl target;
  if (ParseHttpUrl(request.url, nullptr, &target) != Parse::Ok)
    return Refuse("Error: can only use URLs beginning with http://");
  Answer answer = session.Get(target.url, Accept::AllButAuthAndRedirect, sink);
  if (answer.result == FetchResult::Completed && answer.status == 401)
    answer = RetryWithPassword(session, target, sink);
  if (answer.result != FetchResult::Completed) return answer.result;
  FetchResult result =
      IsRedirect(answer.status) ? FollowRedirect(session, target, sink) : FetchResult::Completed;
  if (result == FetchResult::Completed) request.contentType = session.ContentType();
  return result;
}

// A body the sink could not store: too long for a save is a failed download,
// a write error a failed save.
FetchResult ReportStoreFailure(const FileSink& sink, const char* path) {
  if (sink.TooLong()) return Fail(kTooLongToSave);
  ShowMessage(FileFailureMessage(FileStep::Write, sink.WriteErrno(), path));
  return FetchResult::FileFailed;
}

FetchResult SaveModeFetch(FetchRequest& request, const char* url, const char* path) {
  SaveFile file;
  // The file comes before the network: a path that cannot be written costs
  // no request.
  if (!file.Open(path)) {
    const int error = errno;
    ShowMessage(FileFailureMessage(FileStep::Create, error, path));
    return FetchResult::FileFailed;
  }
  FileSink sink(file, request.progressWindow, request.transferId, request.limits.saveBytes);
  FetchResult result = FetchInto(request, url, sink);
  if (result == FetchResult::Completed && !sink.Finish()) result = FetchResult::FileFailed;
  if (result == FetchResult::Completed) {
    if (file.Commit()) return FetchResult::Completed;
    const int error = errno;
    ShowMessage(FileFailureMessage(FileStep::Write, error, path));
    return FetchResult::FileFailed;  // the target stays as it was
  }
  if (result == FetchResult::FileFailed) result = ReportStoreFailure(sink, path);
  file.Abandon();
  return result;
}

FetchResult TextModeFetch(FetchRequest& request, const char* url, char* buffer, size_t size) {
  buffer[0] = '\0';
  TextSink sink(buffer, size);
  FetchResult result = FetchInto(request, url, sink);
  if (result != FetchResult::Completed) {
    buffer[0] = '\0';
    return result;
  }
  buffer[sink.Length()] = '\0';
  const bool fitted = NormalizePageText(buffer, size + 1, request.contentType);
  request.textFull = sink.Done() || !fitted;
  if (request.stripTags) RemoveAllMarkup(buffer);
  return FetchResult::Completed;
}

// ---- FetchForAdjust ---------------------------------------------------------

// The error numbers of the tag adjustment's log line, which readers of the
// log know: 12002 timeout, 12007 unknown host, 12029 no connection, ...
int ClientErrorNumber(CURLcode rc) {
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
  int number = ClientErrorNumber(rc);
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

void SetAdjustOptions(CURL* e, const char* url) {
  curl_easy_setopt(e, CURLOPT_URL, url);
  // Web addresses only: a page must not be able to point this at local files.
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
}

// Copies what was read into the caller's buffer and normalises it.
AdjustRead DeliverAdjustText(const std::string& text, char* buffer, size_t capacity) {
  if (text.size() >= capacity - 2) ShowMessage("File overran buffer -- not cached");
  if (text.empty()) return AdjustRead::NothingRead;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  NormalizePageText(buffer, capacity);
  return AdjustRead::TextRead;
}

}  // namespace

FetchResult FetchPage(FetchRequest& request, const char* url, int markupOption, int reloadOption,
                      char* buffer, size_t size) {
  char markup = static_cast<char>(markupOption & 0xFF);
  char reload = static_cast<char>(reloadOption & 0xFF);
  if (markup == 'S' || markup == 's') request.stripTags = 1;
  if (reload == 'F' || reload == 'f') request.requestFlags |= kFlagReload;
  if (request.saveToFile) return SaveModeFetch(request, url, buffer);
  return TextModeFetch(request, url, buffer, size);
}

AdjustRead FetchForAdjust(FetchRequest& request, const char* url, char* buffer, size_t capacity) {
  if (capacity < 3) return AdjustRead::NothingRead;
  GlobalInit();
  Easy easy(curl_easy_init());
  if (!easy) return AdjustRead::NothingRead;
  StringSink sink(capacity - 2);
  Exchange exchange;
  exchange.easy = easy.get();
  // Every answer's body is the page here, whatever its status.
  exchange.rule = Accept::AllButRedirect;
  exchange.sink = &sink;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  SetAdjustOptions(easy.get(), url);
  SetTransferOptions(easy.get(), exchange, errorBuffer, request.limits,
                     request.limits.textDeadlineMs);
  CURLcode rc = curl_easy_perform(easy.get());
  if (!EndedWell(rc, exchange)) {
    ReportInternetError(rc, errorBuffer);
    return AdjustRead::NothingRead;
  }
  return DeliverAdjustText(sink.Text(), buffer, capacity);
}

}  // namespace mireva::hovrel
