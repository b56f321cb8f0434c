// The WebDAV implementation of the storage interface, with the streamed PUT
// and the chunked upload of the Nextcloud/ownCloud family. One object is one
// HTTP session with at most one connection to one server; it is leased to one
// thread at a time by the connection pool and holds no locks. Streams it hands
// out keep a plain pointer to it and must not outlive it.
//
// The cancel token the pool hands in is read on the leasing thread by every
// wait: requests in flight and the wait for a chunked upload's assembly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/backend.h"
#include "foundation/cancel_token.h"
#include "platform/http_client.h"

namespace tarn {

constexpr const char* kDavUserAgent = "Tarn/0.1 (Windows)";
constexpr uint32_t kDavDefaultConnectTimeoutMs = 15000;
constexpr uint32_t kDavDefaultIoTimeoutMs = 30000;
constexpr uint64_t kDavChunkBytes = 10485760;          // chunk size and chunked-upload threshold
constexpr uint64_t kDavMaxIgnoredRangeSkip = 8388608;  // largest prefix readRange discards
constexpr uint64_t kDavSkipPieceBytes = 1048576;
constexpr uint64_t kDavPutPieceBytes = 1048576;
constexpr uint32_t kDavAssemblyTimeoutMs = 7200000;
constexpr uint32_t kDavAssemblyPollMs = 5000;
constexpr int kDavAssemblyMaxMisses = 3;
// Reply bodies are read in pieces of this size; bodies nobody parses as they
// stream (error documents) are kept up to the cap and the rest is dropped.
constexpr size_t kDavBodyPieceBytes = 64 * 1024;
constexpr size_t kDavMaxBodyBytes = 64 * 1024;
// A call whose transfer moves fewer bytes than this within one I/O time-out
// fails as timed out, so a trickling server cannot hold it for ever.
constexpr uint32_t kDavLowSpeedBytes = 1024;
// Hidden files of creates cut short go once they are this old.
constexpr int64_t kDavStaleTempSeconds = 3600;
// How long a closing back-end waits for the server to remove its hidden
// empty file: a silent server must not hold up an unmount.
constexpr uint64_t kDavTempRemovalMs = 1000;

struct DavRequest {
  std::string verb;
  std::string path;                  // remote path, turned into a URL path
  std::string target;                // URL path used as it stands when not empty
  bool folder = false;               // the path names a folder: its URL ends with "/"
  std::vector<std::string> headers;  // lines without line ends
  std::string body;
  bool readBody = true;
  uint64_t streamLength = 0;  // non-zero: the caller streams a body of this length
  uint32_t timeoutMs = 0;     // non-zero: this request's receive time-out
};

struct DavResponse {
  uint32_t status = 0;
  std::string body;  // at most kDavMaxBodyBytes
  std::string contentType;
  std::string etag;
  std::string server;
  uint64_t contentLength = 0;
  bool hasContentLength = false;
  std::string dav;
};

// Bounds on one multistatus reply, far above any real folder: a server
// that streams without end is cut off by the entries or bytes it sent, by
// the memory its listing takes (packed, about 150 bytes an entry), or by
// the time, which grows with the bytes received (slowTimeMs plus one second
// per minBytesPerSecond).
struct DavReplyLimits {
  uint64_t maxEntries = 10'000'000;
  uint64_t maxBytes = uint64_t(1) << 30;
  uint64_t maxListingBytes = uint64_t(256) << 20;
  uint64_t minBytesPerSecond = 64 * 1024;
  uint32_t slowTimeMs = kDavDefaultIoTimeoutMs;  // the endpoint's I/O time-out
  std::function<uint64_t()> nowMs;               // the steady clock when empty
};

// How long the chunked upload waits for a server that assembles in the
// background, and how often it looks.
struct DavAssemblyTiming {
  uint32_t pollMs = kDavAssemblyPollMs;
  uint32_t deadlineMs = kDavAssemblyTimeoutMs;
};

class WebDavBackend : public IBackend {
 public:
  explicit WebDavBackend(const EndpointConfig& config);
  ~WebDavBackend() override;

  Status connect() override;
  void disconnect() override;
  bool isConnected() const override;
  Status ping() override;
  const EndpointConfig& config() const override { return config_; }

  Status stat(const std::string& path, RemoteAttr& out) override;
  Status list(const std::string& path, std::vector<DirEntry>& out) override;
  Status listPacked(const std::string& path, DirListing& out) override;
  Status statfs(FsStats& out) override;
  Status readRange(const std::string& path, uint64_t offset, uint8_t* buffer, uint64_t length,
                   uint64_t& got) override;
  // From a 206's ETag and the whole size in its Content-Range.
  bool lastReadCopy(RemoteAttr& out) const override;
  // A ranged GET whose answer must name the copy by its ETag.
  Status readCopy(const std::string& path, const RemoteAttr& copy, uint64_t offset, uint8_t* buffer, uint64_t length,
                  uint64_t& got) override;
  Status openRead(const std::string& path, uint64_t offset, std::unique_ptr<IReadStream>& out) override;
  Status openWrite(const std::string& path, uint64_t offset, uint64_t size,
                   std::unique_ptr<IWriteStream>& out) override;
  Status writeAt(const std::string& path, uint64_t offset, const uint8_t* data, uint64_t length) override;
  Status truncate(const std::string& path, uint64_t size) override;
  Status create(const std::string& path) override;
  Status mkdir(const std::string& path) override;
  Status remove(const std::string& path, bool isDir) override;
  Status rename(const std::string& from, const std::string& to, bool overwrite) override;
  Status setTimes(const std::string& path, const Timestamp& mtime, const Timestamp& atime) override;

  // Long waits (the assembly of a chunked upload, a request in flight) end
  // with canceled when this token is cancelled.
  void setCancelToken(const CancelToken* cancel) override { cancel_ = cancel; }
  void setAssemblyTiming(const DavAssemblyTiming& timing) { assembly_ = timing; }
  void setReplyLimits(const DavReplyLimits& limits) { replyLimits_ = limits; }
  const DavReplyLimits& replyLimits() const { return replyLimits_; }

  // One HTTP exchange. Ok whenever a response arrived, whatever its status.
  // With handle, the open request goes to the caller: for a streamed body
  // right after the headers went out, otherwise before the body is read.
  // A 301 to the same URL with a slash added, which servers answer for a
  // folder URL without one, is followed once; so is a folder URL that the
  // server refuses because it names a file (400, or 403 for PROPFIND),
  // without the slash.
  Status send(const DavRequest& request, DavResponse& response,
              std::unique_ptr<http::HttpRequest>* handle = nullptr);
  Status propfind(const std::string& path, int depth, DirListing& entries, RemoteAttr* own, FsStats* stats);
  Status propfind(const std::string& path, int depth, std::vector<DirEntry>& entries, RemoteAttr* own,
                  FsStats* stats);

  std::string urlPath(std::string_view path, bool folder = false) const;
  std::string absoluteUrl(std::string_view path, bool folder = false) const;

  // What construction made of the endpoint.
  const std::string& host() const { return host_; }
  uint16_t port() const { return port_; }
  bool secure() const { return secure_; }
  const std::string& basePath() const { return basePath_; }
  const std::string& chunkRoot() const { return chunkRoot_; }
  bool chunkedUploads() const { return chunkedUploads_; }
  // The scheme requests carry: 0 until a server's challenge names one
  // (or another connection of the same location met one), then kAuthBasic,
  // kAuthDigest, kAuthNtlm or kAuthNegotiate.
  uint32_t authScheme() const { return authScheme_; }
  // After a 401: takes up the scheme the challenge offers (Negotiate, NTLM,
  // Digest, then Basic) for this back-end and every later one of its
  // location. True when requests now carry credentials they did not carry
  // before, so that asking again may succeed. Basic is never taken where
  // another scheme was asked for.
  bool takeChallenge(const http::HttpRequest& reply);

 private:
  friend class DavReadStream;
  friend class DavPutStream;
  friend class NcChunkedStream;

  bool cancelled() const { return IsCancelled(cancel_); }
  // The server's ranged answers cannot be used (`how` says why): files are
  // read whole from now on. Logged once.
  void noteRangeIgnored(const std::string& path, const char* how);
  // One GET of a range (ranged: with a Range header, else the whole file
  // read up to the offset). cameShort: a 206 that carried fewer bytes than
  // it owed, whose bytes are not taken.
  Status readOnce(const std::string& path, uint64_t offset, uint8_t* buffer, uint64_t length, uint64_t& got,
                  bool ranged, bool& cameShort);
  // Sleeps up to ms in short slices; false when cancelled meanwhile.
  bool sleepCancellable(uint32_t ms) const;
  Status prepareChunkedUpload(const std::string& path, uint64_t size, std::unique_ptr<IWriteStream>& out);
  // What a create's COPY or MOVE leaves to do: nothing (its status is the
  // answer), another way for this and every later create (the server does
  // not make files that way), or a PUT for this name alone.
  enum class CreateLeft { kNothing, kRefused, kPut };
  // What a COPY or MOVE of a create that failed, not for its target, says:
  // refused where that way never made a file here and no passing failure
  // stood in the way, else a failure for this name.
  static CreateLeft AfterFailedCreate(bool worked, uint32_t status);
  // create in one request: a COPY without overwrite of an empty hidden
  // file that this back-end makes once at the root.
  Status createByCopy(const std::string& path, CreateLeft& left);
  // create in one step on the server (see create).
  Status createByMove(const std::string& path, CreateLeft& left);
  // create where MOVE cannot serve: look, then PUT with If-None-Match.
  Status createByLook(const std::string& path);
  // Whether the server keeps a file that stands at the target of a COPY or
  // MOVE without overwrite, tried on a hidden file of this back-end's own
  // in `folder`: `source` copied, or moved (and then gone), onto it. False
  // in `keeps` when the server replaced it: creates by that verb would
  // overwrite, so they go by a look from now on. A failure when no answer
  // tells.
  Status checkKeepsTargets(const char* verb, const std::string& source, const std::string& folder, bool& keeps);
  // True when the answer to a COPY or MOVE of a file onto `path` without
  // overwrite says that the server put the file into a folder standing
  // there.
  bool wentIntoFolder(uint32_t status, const std::string& path);
  // Whether a 2xx answer to a COPY or MOVE of `source` onto `path` without
  // overwrite made the file: exists when the server put it into a folder
  // standing there (and the stray copy goes).
  Status madeWithoutOverwrite(const char* verb, uint32_t status, const std::string& path,
                              const std::string& source);
  // Puts an upload that went to the hidden name `temp` in place at path:
  // a MOVE over the file there, never over a folder. The hidden file goes
  // when that fails.
  Status moveIntoPlace(const std::string& temp, const std::string& path, uint64_t size, RemoteAttr* out);
  // The answer of a PUT of path as a status; a 500 into a missing folder
  // is not-found.
  Status putError(uint32_t status, const std::string& path);
  // A DELETE of a work file whose answer says nothing the caller needs.
  void discard(const std::string& path);
  // Not-empty when a fresh listing of the folder shows anything.
  Status checkEmptyFolder(const char* verb, const std::string& path);
  // One MOVE, its answer mapped; `folder` gives both URLs their slash.
  Status move(const std::string& from, const std::string& to, bool folder, bool overwrite);
  // The scheme of the credentials a request carries now: Basic goes in
  // clear over plain http, so before any challenge it goes only inside TLS.
  uint32_t sentScheme() const;
  // The location's key in the schemes remembered across back-ends.
  std::string authLocation() const;

  EndpointConfig config_;
  std::unique_ptr<http::HttpConnection> session_;
  bool connected_ = false;
  std::string host_;
  uint16_t port_ = 0;
  bool secure_ = false;
  std::string basePath_;
  std::string basicAuth_;
  bool chunkedUploads_ = false;
  std::string chunkRoot_;
  uint32_t authScheme_ = 0;
  const CancelToken* cancel_ = nullptr;
  DavAssemblyTiming assembly_;
  DavReplyLimits replyLimits_;
  bool copyCreates_ = true;  // cleared when the server refuses COPY
  bool copyMade_ = false;    // a create's COPY made a file
  std::string emptySource_;  // the hidden empty file creates copy; "" until made
  int64_t emptySourceSecond_ = 0;  // when it was last written, in seconds since 1970
  bool moveCreates_ = true;  // cleared when the server refuses MOVE without overwrite
  bool copyChecked_ = false;  // checkKeepsTargets told for COPY
  bool moveChecked_ = false;  // and for MOVE
  bool moveMade_ = false;    // a create's MOVE made a file
  bool noContentCreates_ = false;  // the server answers 204 for a name it made
  // A whole upload goes to a hidden name and a MOVE puts it in place, so
  // that a server that writes a PUT into its target as the body comes
  // never shows (or keeps, when cut) a part of it. Cleared for servers
  // known to write uploads aside themselves, and for those that refuse
  // the MOVE.
  bool uploadsAside_ = true;
  RemoteAttr lastRead_;      // the copy the last ranged read named; no etag: none
};

std::unique_ptr<IBackend> MakeWebDavBackend(const EndpointConfig& config);

Status HttpStatusError(uint32_t status, const std::string& operation, const std::string& path);
// What a refused TLS connection adds: the two ways to take the server's
// certificate unchecked, the console's and the drive editor's.
constexpr std::string_view kUncheckedTlsHint =
    " (check the certificate, or take it unchecked with --insecure or by clearing \"Verify certificate\")";
// What a TLS greeting answered in plain text adds: no certificate was seen,
// so taking one unchecked would not help.
constexpr std::string_view kPlainPortHint = " (the server does not speak TLS on that port: is its address http://?)";
// A failure of the HTTP layer: the step, then the system's words for it
// (the request's failureWords) or, without them, those of the number.
Status WinHttpError(uint32_t error, const std::string& step, std::string_view words = {});
Timestamp ParseHttpTime(std::string_view text);
// An HTTP date (RFC 1123, RFC 850 or asctime form) as seconds since 1970.
bool ParseHttpDate(const std::string& text, int64_t& seconds);
// Seconds since 1970 of a UTC calendar time; false outside the range and the
// calendar that FILETIME and SYSTEMTIME accept.
bool UtcToUnixSeconds(int year, int month, int day, int hour, int minute, int second, int64_t& seconds);
std::string TrimSpace(std::string_view text);
// The leading decimal digits of a host text's port; none, or past 65535, is 0.
uint16_t LeadingPort(std::string_view text);
// The server path of a URI the server sent (a redirect's Location): cut at
// its query.
std::string HrefToPath(std::string_view href);
// The server path of a listing's href as the server wrote it: a "?" that a
// server leaves raw there belongs to the name, and an href that shows it
// was written without escapes (a "%" that begins none, an escape of a letter
// or digit) is read as it stands, so that "x%41y.txt" stays that name.
std::string HrefToRawPath(std::string_view href);
// A byte count sent by a server: decimal digits only, at most
// kMaxRemoteFileBytes; false for anything else ("-1", "1e3", "").
bool ParseRemoteSize(std::string_view text, uint64_t& out);
// An entity tag as the back-ends keep it: without blanks, weak mark and
// quotes, so that a weak tag and the strong one a server gives the same copy
// later (Apache's, once a change is more than a second old) compare equal.
std::string NormalizeEtag(std::string_view text);
// Reads and drops at most limit body bytes; true when the body ended, so
// that the connection can serve the next request.
bool DrainBody(http::HttpRequest& request, size_t limit);
// A fresh hidden name beside `path` for a work file of this back-end's (the
// empty file a create moves into place, an upload on its way); listings
// leave such names out. The prefix stays ".tarn-create-", which earlier
// versions hide and clear as well.
std::string HiddenTempName(const std::string& path);
bool IsHiddenTempName(std::string_view name);

}  // namespace tarn
