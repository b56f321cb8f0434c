#include "platform/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <type_traits>

namespace tarn::http {
namespace {

static_assert(std::is_same_v<curl_off_t, int64_t>, "the progress callback is declared with int64_t");

constexpr long kReceiveBufferBytes = 256 * 1024;
constexpr long kUploadBufferBytes = 512 * 1024;
constexpr int kPollSliceMs = 50;

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

uint32_t MapCurlCode(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return 0;
    case CURLE_OPERATION_TIMEDOUT:
      return kErrTimeout;
    case CURLE_COULDNT_RESOLVE_HOST:
      return kErrNameNotResolved;
    case CURLE_ABORTED_BY_CALLBACK:
      return kErrCancelled;
    case CURLE_COULDNT_CONNECT:
      return kErrCannotConnect;
    case CURLE_SEND_FAIL_REWIND:
      return kErrResendRequest;
    case CURLE_SSL_CLIENTCERT:
      return kErrClientCertNeeded;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_USE_SSL_FAILED:
      return kErrSecureFailure;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_BAD_CONTENT_ENCODING:
    // Our URLs are always http(s): this is a reply with no HTTP status line.
    case CURLE_UNSUPPORTED_PROTOCOL:
      return kErrInvalidServerResponse;
    case CURLE_URL_MALFORMAT:
      return kErrInvalidUrl;
    case CURLE_OUT_OF_MEMORY:
      return kErrInternal;
    default:
      return kErrConnectionError;
  }
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view TrimView(std::string_view s) {
  const char* ws = " \t\r\n\v\f";
  size_t b = s.find_first_not_of(ws);
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(ws);
  return s.substr(b, e - b + 1);
}

bool HasHeaderLine(const std::vector<std::string>& lines, std::string_view name) {
  for (const auto& l : lines) {
    size_t colon = l.find(':');
    if (colon != std::string::npos && EqualsNoCase(TrimView(std::string_view(l).substr(0, colon)), name))
      return true;
  }
  return false;
}

}  // namespace

uint32_t CertificateError(std::string_view detail) {
  // OpenSSL's verify texts as curl passes them on ("SSL: no alternative
  // certificate subject name matches target host name ...", "SSL
  // certificate problem: certificate has expired", "... self-signed
  // certificate").
  if (detail.find("subject name") != std::string_view::npos) return kErrCertNameInvalid;
  if (detail.find("expired") != std::string_view::npos || detail.find("not yet valid") != std::string_view::npos)
    return kErrCertDateInvalid;
  return kErrCertAuthorityInvalid;
}

bool CrackUrl(std::string_view url, CrackedUrl& out) {
  out = CrackedUrl{};
  GlobalInit();
  CURLU* u = curl_url();
  if (u == nullptr) return false;
  bool ok = false;
  std::string text(url);
  if (curl_url_set(u, CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS) == CURLUE_OK) {
    char* scheme = nullptr;
    char* host = nullptr;
    char* port = nullptr;
    char* path = nullptr;
    if (curl_url_get(u, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
      std::string s(scheme);
      std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
      if (s == "http" || s == "https") {
        out.secure = s == "https";
        out.host = host;
        if (out.host.size() >= 2 && out.host.front() == '[' && out.host.back() == ']')
          out.host = out.host.substr(1, out.host.size() - 2);
        if (curl_url_get(u, CURLUPART_PORT, &port, 0) == CURLUE_OK && port != nullptr)
          out.port = static_cast<uint16_t>(std::strtoul(port, nullptr, 10));
        if (curl_url_get(u, CURLUPART_PATH, &path, 0) == CURLUE_OK && path != nullptr) out.path = path;
        ok = !out.host.empty();
      }
    }
    curl_free(scheme);
    curl_free(host);
    curl_free(port);
    curl_free(path);
  }
  curl_url_cleanup(u);
  return ok;
}

struct HttpConnection::Handles {
  CURLM* multi = nullptr;
  CURL* easy = nullptr;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  ~Handles() {
    if (easy != nullptr) curl_easy_cleanup(easy);
    if (multi != nullptr) curl_multi_cleanup(multi);
  }
};

HttpConnection::HttpConnection(SessionOptions options) : options_(std::move(options)) { GlobalInit(); }

HttpConnection::~HttpConnection() { close(); }

uint32_t HttpConnection::open(const std::string& host, uint16_t port, bool secure) {
  close();
  if (host.empty()) return kErrInvalidUrl;
  // An IPv6 literal goes into the URL between brackets.
  origin_ = secure ? "https://" : "http://";
  const bool literal6 = host.find(':') != std::string::npos;
  if (literal6) origin_ += '[';
  origin_ += host;
  if (literal6) origin_ += ']';
  origin_ += ':';
  origin_ += std::to_string(port);
  open_ = true;
  return 0;
}

void HttpConnection::close() {
  if (active_ != nullptr) active_->detach();
  handles_.reset();
  open_ = false;
}

std::unique_ptr<HttpRequest> HttpConnection::openRequest(const std::string& verb, const std::string& objectPath) {
  if (active_ != nullptr) active_->detach();
  std::unique_ptr<HttpRequest> request(new HttpRequest(this, verb, origin_ + objectPath));
  if (!open_) {
    request->connection_ = nullptr;
    return request;
  }
  active_ = request.get();
  return request;
}

HttpRequest::HttpRequest(HttpConnection* connection, std::string verb, std::string url)
    : connection_(connection), verb_(std::move(verb)), url_(std::move(url)) {}

HttpRequest::~HttpRequest() { detach(); }

void HttpRequest::setCredentials(uint32_t scheme, const std::string& user, const std::string& password) {
  authScheme_ = scheme;
  user_ = user;
  password_ = password;
}

void HttpRequest::detach() {
  if (!live()) return;
  auto* h = connection_->handles_.get();
  if (started_ && h != nullptr) {
    // Removing an unfinished transfer closes its connection, which is the
    // only way to abandon a body half sent or half read.
    curl_multi_remove_handle(h->multi, h->easy);
    curl_easy_setopt(h->easy, CURLOPT_HTTPHEADER, nullptr);
  }
  if (headerList_ != nullptr) {
    curl_slist_free_all(static_cast<curl_slist*>(headerList_));
    headerList_ = nullptr;
  }
  connection_->active_ = nullptr;
  // The connection may go before this request; nothing here reaches it again.
  connection_ = nullptr;
  if (!done_) {
    done_ = true;
    if (result_ == 0) result_ = kErrConnectionError;
  }
}

uint32_t HttpRequest::start(bool hasBody, uint64_t length) {
  if (!live()) return kErrInvalidState;
  if (started_) return kErrInvalidState;
  auto& hs = connection_->handles_;
  if (!hs) {
    hs = std::make_unique<HttpConnection::Handles>();
    hs->multi = curl_multi_init();
    hs->easy = curl_easy_init();
    if (hs->multi == nullptr || hs->easy == nullptr) {
      hs.reset();
      return kErrInternal;
    }
    curl_multi_setopt(hs->multi, CURLMOPT_MAXCONNECTS, 1L);
  }
  CURL* e = hs->easy;
  const SessionOptions& o = connection_->options_;
  curl_easy_setopt(e, CURLOPT_URL, url_.c_str());
  curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  hs->errorBuffer[0] = '\0';
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, hs->errorBuffer);
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(e, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_3));
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, o.verifyTls ? 1L : 0L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, o.verifyTls ? 2L : 0L);
  if (const char* ca = std::getenv("TARN_CA_FILE"); ca != nullptr && *ca != '\0')
    curl_easy_setopt(e, CURLOPT_CAINFO, ca);
  curl_easy_setopt(e, CURLOPT_USERAGENT, o.userAgent.c_str());
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(o.connectTimeoutMs));
  curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, 0L);
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferBytes);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &HttpRequest::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &HttpRequest::OnWrite);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(e, CURLOPT_READFUNCTION, &HttpRequest::OnRead);
  curl_easy_setopt(e, CURLOPT_READDATA, this);
  curl_easy_setopt(e, CURLOPT_SEEKFUNCTION, &HttpRequest::OnSeek);
  curl_easy_setopt(e, CURLOPT_SEEKDATA, this);
  curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &HttpRequest::OnPrereq);
  curl_easy_setopt(e, CURLOPT_PREREQDATA, this);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &HttpRequest::OnProgress);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);

  curl_easy_setopt(e, CURLOPT_NOBODY, 0L);
  if (verb_ == "HEAD") {
    // The answer to HEAD announces a body length it never sends.
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, nullptr);
  } else if (!hasBody) {
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb_ == "GET" ? nullptr : verb_.c_str());
  } else {
    // Every body goes out with its length announced, never chunked.
    curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(length));
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb_.c_str());
  }

  if (authScheme_ != 0 && authScheme_ != kAuthBasic) {
    long mask = authScheme_ == kAuthNegotiate ? CURLAUTH_NEGOTIATE
                : authScheme_ == kAuthNtlm    ? CURLAUTH_NTLM
                                              : CURLAUTH_DIGEST;
    curl_easy_setopt(e, CURLOPT_HTTPAUTH, mask);
    curl_easy_setopt(e, CURLOPT_USERNAME, user_.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, password_.c_str());
  } else {
    curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(e, CURLOPT_USERNAME, nullptr);
    curl_easy_setopt(e, CURLOPT_PASSWORD, nullptr);
  }

  curl_slist* list = nullptr;
  for (const auto& line : headers_) list = curl_slist_append(list, line.c_str());
  // The layer adds nothing the caller did not ask for.
  if (!HasHeaderLine(headers_, "Expect")) list = curl_slist_append(list, "Expect:");
  if (!HasHeaderLine(headers_, "Accept")) list = curl_slist_append(list, "Accept:");
  headerList_ = list;
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, list);

  if (curl_multi_add_handle(hs->multi, e) != CURLM_OK) return kErrInternal;
  started_ = true;
  lastActivityMs_ = SteadyMs();
  return 0;
}

uint32_t HttpRequest::ioTimeoutMs() const {
  return timeoutMs_ != 0 ? timeoutMs_ : connection_->options_.ioTimeoutMs;
}

std::string HttpRequest::failureWordsOf(int curlCode) const {
  auto* h = connection_->handles_.get();
  const auto code = static_cast<CURLcode>(curlCode);
  // Where the socket failed, the system's own words say how; curl's add
  // only how long it tried.
  const bool socketFailed = code == CURLE_COULDNT_CONNECT || code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR;
  long osError = 0;
  if (socketFailed && curl_easy_getinfo(h->easy, CURLINFO_OS_ERRNO, &osError) == CURLE_OK && osError != 0) {
    char buffer[256];
    // The GNU strerror_r returns its text, which need not be in `buffer`.
    return strerror_r(static_cast<int>(osError), buffer, sizeof buffer);
  }
  if (h->errorBuffer[0] != '\0') return h->errorBuffer;
  return curl_easy_strerror(code);
}

uint32_t HttpRequest::outcome(int curlCode) const {
  const auto code = static_cast<CURLcode>(curlCode);
  if (code == CURLE_ABORTED_BY_CALLBACK && abortReason_ != 0) return abortReason_;
  // OnHeader stopped the transfer at our limit on all header lines.
  if (code == CURLE_WRITE_ERROR && headerBytes_ > kMaxResponseHeaderBytes) return kErrHeaderSizeOverflow;
  // curl refuses a single header line past its own limit as out of memory.
  if (code == CURLE_OUT_OF_MEMORY && !headersFinal()) return kErrHeaderSizeOverflow;
  if (code == CURLE_PEER_FAILED_VERIFICATION) return CertificateError(connection_->handles_->errorBuffer);
  return MapCurlCode(code);
}

template <typename Done>
uint32_t HttpRequest::pump(Done done) {
  if (!live()) return done_ ? result_ : kErrInvalidState;
  auto* h = connection_->handles_.get();
  const uint32_t ioMs = ioTimeoutMs();
  lastActivityMs_ = SteadyMs();
  tickMs_ = lastActivityMs_;
  pumping_ = true;
  struct Leave {
    bool& flag;
    ~Leave() { flag = false; }
  } leave{pumping_};
  for (;;) {
    if (done()) return 0;
    if (done_) return result_;
    int running = 0;
    curl_multi_perform(h->multi, &running);
    int left = 0;
    while (CURLMsg* m = curl_multi_info_read(h->multi, &left)) {
      if (m->msg == CURLMSG_DONE && m->easy_handle == h->easy) {
        done_ = true;
        result_ = outcome(m->data.result);
        // Only curl's own failures have words of their own.
        if (result_ != 0 && abortReason_ == 0 && result_ != kErrHeaderSizeOverflow)
          failureWords_ = failureWordsOf(m->data.result);
      }
    }
    if (done()) return 0;
    if (done_) return result_;
    if (connection_->cancelCheck_ && connection_->cancelCheck_()) {
      detach();
      result_ = kErrCancelled;
      return result_;
    }
    // The connect time-out is curl's; silence after that is ours to judge.
    if (connected_ && SteadyMs() - lastActivityMs_ > static_cast<int64_t>(ioMs)) {
      detach();
      result_ = kErrTimeout;
      return result_;
    }
    curl_multi_poll(h->multi, nullptr, 0, kPollSliceMs, nullptr);
  }
}

bool HttpRequest::headersFinal() const {
  if (!headersComplete_) return false;
  // A 401 that curl answers itself with the chosen scheme is not the final
  // response; it is final once its body starts or the transfer ends.
  if (status_ == 401 && authScheme_ != 0 && !bodyStarted_ && !done_) return false;
  return true;
}

uint32_t HttpRequest::send(std::string_view body) {
  body_ = body;
  bodyPos_ = 0;
  bool hasBody = (verb_ != "GET" && verb_ != "HEAD") || !body.empty();
  uint32_t err = start(hasBody, body.size());
  if (err != 0) return err;
  err = pump([this] { return headersFinal(); });
  if (err != 0) return err;
  return headersFinal() ? 0 : kErrInvalidServerResponse;
}

uint32_t HttpRequest::sendStreamed(uint64_t totalLength) {
  streamed_ = true;
  uint32_t err = start(true, totalLength);
  if (err != 0) return err;
  err = pump([this] { return wantsBody_ || headersFinal(); });
  if (err != 0) return err;
  return (wantsBody_ || headersFinal()) ? 0 : kErrInvalidServerResponse;
}

uint32_t HttpRequest::write(const uint8_t* data, size_t length) {
  if (!streamed_ || !started_) return kErrInvalidState;
  if (length == 0) return 0;
  if (done_ && result_ != 0) return result_;
  // A server that answered before taking the whole body has decided; the
  // rest is dropped so that receiveResponse reports its answer.
  if (headersFinal() || done_) return 0;
  if (!live()) return kErrConnectionError;
  piece_ = data;
  pieceLen_ = length;
  piecePos_ = 0;
  if (sendPaused_) {
    sendPaused_ = false;
    curl_easy_pause(connection_->handles_->easy, CURLPAUSE_CONT);
  }
  uint32_t err = pump([this] { return piecePos_ >= pieceLen_ || headersFinal(); });
  piece_ = nullptr;
  pieceLen_ = piecePos_ = 0;
  return err;
}

uint32_t HttpRequest::receiveResponse() {
  if (!started_) return kErrInvalidState;
  uint32_t err = pump([this] { return headersFinal(); });
  if (err != 0) return err;
  return headersFinal() ? 0 : kErrInvalidServerResponse;
}

std::string HttpRequest::header(std::string_view name) const {
  for (const auto& [k, v] : respHeaders_)
    if (EqualsNoCase(k, name)) return v;
  return {};
}

bool HttpRequest::hasHeader(std::string_view name) const {
  for (const auto& kv : respHeaders_)
    if (EqualsNoCase(kv.first, name)) return true;
  return false;
}

uint32_t HttpRequest::authSchemes() const {
  uint32_t schemes = 0;
  for (const auto& [k, v] : respHeaders_) {
    if (!EqualsNoCase(k, "WWW-Authenticate")) continue;
    std::string_view word = TrimView(v);
    word = word.substr(0, word.find_first_of(" \t,"));
    if (EqualsNoCase(word, "Basic")) schemes |= kAuthBasic;
    else if (EqualsNoCase(word, "NTLM")) schemes |= kAuthNtlm;
    else if (EqualsNoCase(word, "Digest")) schemes |= kAuthDigest;
    else if (EqualsNoCase(word, "Negotiate")) schemes |= kAuthNegotiate;
  }
  return schemes;
}

uint32_t HttpRequest::read(uint8_t* buffer, size_t length, size_t& got) {
  got = 0;
  if (length == 0) return 0;
  if (pendingPos_ < pending_.size()) {
    got = std::min(length, pending_.size() - pendingPos_);
    std::memcpy(buffer, pending_.data() + pendingPos_, got);
    pendingPos_ += got;
    if (pendingPos_ == pending_.size()) {
      pending_.clear();
      pendingPos_ = 0;
    }
    return 0;
  }
  if (done_) return result_;
  if (!live()) return kErrConnectionError;
  target_ = buffer;
  targetCap_ = length;
  targetGot_ = 0;
  if (recvPaused_) {
    recvPaused_ = false;
    curl_easy_pause(connection_->handles_->easy, CURLPAUSE_CONT);
  }
  uint32_t err = pump([this] { return targetGot_ > 0; });
  got = targetGot_;
  target_ = nullptr;
  targetCap_ = targetGot_ = 0;
  if (got > 0) return 0;
  return err;
}

uint32_t HttpRequest::readAll(std::string& out) {
  out.clear();
  uint8_t chunk[64 * 1024];
  for (;;) {
    size_t got = 0;
    uint32_t err = read(chunk, sizeof chunk, got);
    if (err != 0) return err;
    if (got == 0) return 0;
    out.append(reinterpret_cast<const char*>(chunk), got);
  }
}

size_t HttpRequest::OnHeader(char* data, size_t size, size_t count, void* self) {
  auto* r = static_cast<HttpRequest*>(self);
  size_t n = size * count;
  r->lastActivityMs_ = SteadyMs();
  r->headerBytes_ += n;
  if (r->headerBytes_ > kMaxResponseHeaderBytes) return 0;
  std::string_view line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
    size_t sp = line.find(' ');
    r->status_ = sp == std::string_view::npos ? 0 : static_cast<uint32_t>(std::atoi(std::string(line.substr(sp + 1, 3)).c_str()));
    r->respHeaders_.clear();
    r->headersComplete_ = false;
    r->bodyStarted_ = false;
  } else if (line.empty()) {
    if (r->status_ >= 200) r->headersComplete_ = true;
  } else {
    size_t colon = line.find(':');
    if (colon != std::string_view::npos)
      r->respHeaders_.emplace_back(std::string(TrimView(line.substr(0, colon))),
                                   std::string(TrimView(line.substr(colon + 1))));
  }
  return n;
}

size_t HttpRequest::OnWrite(char* data, size_t size, size_t count, void* self) {
  auto* r = static_cast<HttpRequest*>(self);
  size_t n = size * count;
  r->lastActivityMs_ = SteadyMs();
  r->bodyStarted_ = true;
  if (r->target_ == nullptr || r->targetGot_ == r->targetCap_) {
    // Nobody reads now: the transfer waits, and curl keeps this piece for
    // the next read, so that the body goes straight into the reader's
    // buffer rather than through one of ours.
    r->recvPaused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  const size_t used = std::min(n, r->targetCap_ - r->targetGot_);
  std::memcpy(r->target_ + r->targetGot_, data, used);
  r->targetGot_ += used;
  // A piece cannot be taken in part: what the reader has no room for waits here.
  r->pending_.append(data + used, n - used);
  return n;
}

size_t HttpRequest::OnRead(char* data, size_t size, size_t count, void* self) {
  auto* r = static_cast<HttpRequest*>(self);
  size_t n = size * count;
  r->lastActivityMs_ = SteadyMs();
  r->wantsBody_ = true;
  if (!r->streamed_) {
    size_t left = r->body_.size() - static_cast<size_t>(r->bodyPos_);
    size_t take = std::min(n, left);
    std::memcpy(data, r->body_.data() + r->bodyPos_, take);
    r->bodyPos_ += take;
    return take;
  }
  if (r->piece_ == nullptr || r->piecePos_ >= r->pieceLen_) {
    r->sendPaused_ = true;
    return CURL_READFUNC_PAUSE;
  }
  size_t take = std::min(n, r->pieceLen_ - r->piecePos_);
  std::memcpy(data, r->piece_ + r->piecePos_, take);
  r->piecePos_ += take;
  return take;
}

int HttpRequest::OnSeek(void* self, int64_t offset, int origin) {
  auto* r = static_cast<HttpRequest*>(self);
  // Only a body held in memory can be sent again (an auth round trip).
  if (r->streamed_ || origin != SEEK_SET || offset < 0 || static_cast<uint64_t>(offset) > r->body_.size())
    return CURL_SEEKFUNC_CANTSEEK;
  r->bodyPos_ = static_cast<uint64_t>(offset);
  return CURL_SEEKFUNC_OK;
}

int HttpRequest::OnProgress(void* self, int64_t, int64_t dlNow, int64_t, int64_t ulNow) {
  auto* r = static_cast<HttpRequest*>(self);
  if (!r->pumping_) return 0;
  if (r->connection_->cancelCheck_ && r->connection_->cancelCheck_()) {
    r->abortReason_ = kErrCancelled;
    return 1;
  }
  const uint64_t floor = r->connection_->options_.lowSpeedBytes;
  if (floor == 0) return 0;
  const int64_t now = SteadyMs();
  const uint64_t moved = static_cast<uint64_t>(dlNow) + static_cast<uint64_t>(ulNow) + r->headerBytes_;
  r->windowBytes_ += moved - std::min(moved, r->movedSeen_);
  r->movedSeen_ = moved;
  r->windowMs_ += static_cast<uint64_t>(std::max<int64_t>(now - r->tickMs_, 0));
  r->tickMs_ = now;
  if (r->windowMs_ < r->ioTimeoutMs()) return 0;
  if (r->windowBytes_ < floor) {
    r->abortReason_ = kErrTimeout;
    return 1;
  }
  r->windowMs_ = 0;
  r->windowBytes_ = 0;
  return 0;
}

int HttpRequest::OnPrereq(void* self, char*, char*, int, int) {
  auto* r = static_cast<HttpRequest*>(self);
  r->connected_ = true;
  r->lastActivityMs_ = SteadyMs();
  return CURL_PREREQFUNC_OK;
}

}  // namespace tarn::http
