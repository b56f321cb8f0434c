// The HTTP client that the web back-ends speak through: one HttpConnection is
// one session with at most one live TCP/TLS connection to one server, and one
// HttpRequest at a time runs on it, synchronously on the caller's thread.
// The caller pulls the response body in pieces and may stream a request body
// of a known 64-bit length in pieces after the headers went out.
//
// Failures are reported as the WinHTTP error numbers the back-ends map
// (kErrTimeout, kErrNameNotResolved, ...), 0 meaning success.
//
// Owned by one back-end object; not thread-safe: the connection and its
// requests are used by one thread at a time, the one that leased the back-end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarn::http {

// The WinHTTP numbers that the rest of the system maps to statuses.
constexpr uint32_t kErrTimeout = 12002;
constexpr uint32_t kErrInternal = 12004;
constexpr uint32_t kErrInvalidUrl = 12005;
constexpr uint32_t kErrNameNotResolved = 12007;
constexpr uint32_t kErrCancelled = 12017;
constexpr uint32_t kErrInvalidState = 12019;
constexpr uint32_t kErrCannotConnect = 12029;
constexpr uint32_t kErrConnectionError = 12030;
constexpr uint32_t kErrResendRequest = 12032;
constexpr uint32_t kErrCertDateInvalid = 12037;  // expired or not yet valid
constexpr uint32_t kErrCertNameInvalid = 12038;  // issued for another name
constexpr uint32_t kErrClientCertNeeded = 12044;
constexpr uint32_t kErrCertAuthorityInvalid = 12045;  // self-signed or of an unknown authority
constexpr uint32_t kErrInvalidServerResponse = 12152;
constexpr uint32_t kErrSecureFailure = 12175;
constexpr uint32_t kErrHeaderSizeOverflow = 12183;

// Response headers beyond this many bytes are refused as a broken reply.
constexpr size_t kMaxResponseHeaderBytes = 256 * 1024;

// Authentication schemes, with the WinHTTP bit values the back-ends store.
constexpr uint32_t kAuthBasic = 1;
constexpr uint32_t kAuthNtlm = 2;
constexpr uint32_t kAuthDigest = 8;
constexpr uint32_t kAuthNegotiate = 16;

struct SessionOptions {
  std::string userAgent;
  uint32_t connectTimeoutMs = 15000;  // name resolution, TCP and TLS set-up
  uint32_t ioTimeoutMs = 30000;       // longest silence while sending or receiving
  // Fewer bytes than this moving (either way, headers included) within one
  // I/O time-out fail the request with kErrTimeout, so that a server that
  // trickles cannot hold a call for ever; 0 judges only silence. Time the
  // caller spends between its calls does not count.
  uint32_t lowSpeedBytes = 0;
  bool verifyTls = true;
};

// The parts of an absolute http(s) URL. The host holds no brackets.
struct CrackedUrl {
  bool secure = false;
  std::string host;
  uint16_t port = 0;  // 0 when the URL names none
  std::string path;   // as written, "" when the URL has none
};
bool CrackUrl(std::string_view url, CrackedUrl& out);

// The number for a server certificate that failed verification, from the
// TLS library's words for why (curl's error text).
uint32_t CertificateError(std::string_view detail);

class HttpRequest;

class HttpConnection {
 public:
  explicit HttpConnection(SessionOptions options);
  ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  // Sets the server; no network traffic happens until the first request.
  uint32_t open(const std::string& host, uint16_t port, bool secure);
  // Drops the live connection; open may be called again.
  void close();
  bool isOpen() const { return open_; }
  // Asked often while a request waits, on the waiting thread; true
  // abandons the request with kErrCancelled.
  void setCancelCheck(std::function<bool()> check) { cancelCheck_ = std::move(check); }

  // Starts a request on this connection. Only one request lives at a time:
  // starting another ends the previous one, whose further calls then fail.
  std::unique_ptr<HttpRequest> openRequest(const std::string& verb, const std::string& objectPath);

 private:
  friend class HttpRequest;
  struct Handles;

  SessionOptions options_;
  std::unique_ptr<Handles> handles_;
  std::string origin_;  // "https://host:port"
  bool open_ = false;
  HttpRequest* active_ = nullptr;
  std::function<bool()> cancelCheck_;
};

class HttpRequest {
 public:
  ~HttpRequest();
  HttpRequest(const HttpRequest&) = delete;
  HttpRequest& operator=(const HttpRequest&) = delete;

  // Header lines without line ends, sent as given.
  void addHeader(std::string line) { headers_.push_back(std::move(line)); }
  // Overrides the session's I/O time-out for this request (0 keeps it); the
  // low-speed window follows it.
  void setReceiveTimeout(uint32_t ms) { timeoutMs_ = ms; }
  // Answers a challenge with the chosen scheme; Basic is sent as a header by the caller.
  void setCredentials(uint32_t scheme, const std::string& user, const std::string& password);

  // Sends the request with the whole body and waits for the final response's headers.
  uint32_t send(std::string_view body);
  // Sends the headers announcing totalLength body bytes; the body follows through write.
  uint32_t sendStreamed(uint64_t totalLength);
  // Writes the next body bytes of a streamed request.
  uint32_t write(const uint8_t* data, size_t length);
  // Waits for the final response's headers after a streamed body.
  uint32_t receiveResponse();

  uint32_t status() const { return status_; }
  // Value of the first header of the final response with that name ("" if absent).
  std::string header(std::string_view name) const;
  bool hasHeader(std::string_view name) const;
  // The schemes offered by WWW-Authenticate, as kAuth* bits.
  uint32_t authSchemes() const;
  // The system's words for how the transfer failed: the operating system's
  // error text ("Connection refused") or libcurl's ("Could not resolve
  // host: ..."); empty when it did not fail or this layer decided it (a
  // time-out, a cancel), whose number says it all.
  const std::string& failureWords() const { return failureWords_; }

  // Reads the next body bytes into buffer; got 0 with 0 returned is the end.
  uint32_t read(uint8_t* buffer, size_t length, size_t& got);
  // Reads the rest of the body.
  uint32_t readAll(std::string& out);

 private:
  friend class HttpConnection;
  HttpRequest(HttpConnection* connection, std::string verb, std::string url);

  static size_t OnHeader(char* data, size_t size, size_t count, void* self);
  static size_t OnWrite(char* data, size_t size, size_t count, void* self);
  static size_t OnRead(char* data, size_t size, size_t count, void* self);
  static int OnSeek(void* self, int64_t offset, int origin);
  static int OnPrereq(void* self, char*, char*, int, int);
  static int OnProgress(void* self, int64_t dlTotal, int64_t dlNow, int64_t ulTotal, int64_t ulNow);

  bool live() const { return connection_ != nullptr && connection_->active_ == this; }
  uint32_t start(bool hasBody, uint64_t length);
  // Runs the transfer until done() says stop, the transfer ends or the I/O time-out passes.
  template <typename Done>
  uint32_t pump(Done done);
  bool headersFinal() const;
  void detach();
  uint32_t ioTimeoutMs() const;
  // The error number for how curl ended the transfer.
  uint32_t outcome(int curlCode) const;
  std::string failureWordsOf(int curlCode) const;

  HttpConnection* connection_;
  std::string verb_;
  std::string url_;
  std::vector<std::string> headers_;
  uint32_t timeoutMs_ = 0;
  uint32_t authScheme_ = 0;
  std::string user_, password_;

  // Request body: a whole body in memory, or the caller's piece of a streamed one.
  std::string_view body_;
  uint64_t bodyPos_ = 0;
  bool streamed_ = false;
  const uint8_t* piece_ = nullptr;
  size_t pieceLen_ = 0;
  size_t piecePos_ = 0;
  bool sendPaused_ = false;
  bool wantsBody_ = false;  // the transfer asked for body bytes: the headers are out

  // Response.
  uint32_t status_ = 0;
  std::vector<std::pair<std::string, std::string>> respHeaders_;
  bool headersComplete_ = false;
  bool bodyStarted_ = false;
  std::string pending_;  // body bytes received ahead of the caller
  size_t pendingPos_ = 0;
  uint8_t* target_ = nullptr;  // the caller's buffer while read waits
  size_t targetCap_ = 0;
  size_t targetGot_ = 0;
  bool recvPaused_ = false;

  void* headerList_ = nullptr;  // the transfer's header list, freed at detach
  bool started_ = false;
  bool done_ = false;
  uint32_t result_ = 0;  // the transfer's outcome once done_
  std::string failureWords_;
  bool connected_ = false;
  int64_t lastActivityMs_ = 0;

  // The low-speed window, counted only while pump runs.
  bool pumping_ = false;
  int64_t tickMs_ = 0;
  uint64_t windowMs_ = 0;
  uint64_t windowBytes_ = 0;
  uint64_t headerBytes_ = 0;  // of this transfer, all responses
  uint64_t movedSeen_ = 0;    // bytes counted into windows so far
  uint32_t abortReason_ = 0;  // why the progress callback stopped the transfer
};

}  // namespace tarn::http
