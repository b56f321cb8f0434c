// One SSH connection with its SFTP channel: the TCP socket (connected with
// the endpoint's connect time-out), the libssh2 session (I/O time-out,
// keepalive), authentication, and the namespace steps that need more than
// one SFTP request (rename with replacement, removal), shared by the
// back-end and its upload stream.
//
// Authentication: with a private key set, only public-key authentication is
// tried and the endpoint's password serves as the key's passphrase when the
// key is encrypted; without a key, the password goes to "password" or, when
// the server offers only that, "keyboard-interactive" (every prompt of every
// round is answered with it; rounds without prompts are accepted).
//
// The server's host key is checked against the known-hosts file before any
// credential goes out, unless the endpoint's certificate check is off.
//
// Owned by one SftpBackend through std::shared_ptr; its streams hold
// std::weak_ptr so that a stream outliving a disconnect finds the connection
// gone instead of a freed session. Not thread-safe: the one thread that
// holds the back-end's lease uses it and its streams.
#pragma once

#include <libssh2.h>
#include <libssh2_sftp.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/cancel_token.h"
#include "foundation/endpoint_config.h"
#include "foundation/status.h"

namespace tarn {

constexpr uint32_t kSftpDefaultPort = 22;
constexpr long kSftpNewFileMode = 0644;
constexpr long kSftpNewFolderMode = 0755;

// Upload work files that no upload can still be writing: older than this.
constexpr int64_t kStaleUploadSeconds = 3600;

// What lost connections of one back-end left on the server, tidied after
// its next connect: folders where a replacement in steps was cut short, and
// upload work files it could not remove.
struct SftpLeftovers {
  std::vector<std::string> folders;
  std::vector<std::string> uploads;
};

// A time-out cut to what a caller's token leaves (at least 1 ms, which the
// library does not take for "no limit"); `timeoutMs` as it is without a
// deadline.
uint32_t WaitLimitMs(const CancelToken* cancel, uint32_t timeoutMs);

// A work file or folder that a listing met.
struct SftpTempEntry {
  std::string name;
  LIBSSH2_SFTP_ATTRIBUTES attrs;
};

class SftpConnection {
 public:
  explicit SftpConnection(std::shared_ptr<SftpLeftovers> leftovers) : leftovers_(std::move(leftovers)) {}
  ~SftpConnection() { close(); }
  SftpConnection(const SftpConnection&) = delete;
  SftpConnection& operator=(const SftpConnection&) = delete;

  // Socket, handshake, authentication and SFTP channel; on failure
  // everything opened so far is closed again.
  Status open(const EndpointConfig& config);
  // Closes tracked handles, the channel, the session and the socket without
  // waiting on the server: a goodbye goes out when it can leave at once, then
  // the socket is shut down, so that a frozen server cannot hold the caller
  // (the connection pool calls this under its lock).
  void close();
  // Tidies what this back-end's earlier connections left behind; entries
  // stay for the next connect when this connection breaks meanwhile.
  void tidyLeftovers();
  // Tidies what any client left in a folder (see tidyFolder), once per
  // connection and folder; true when it changed the folder.
  bool sweepOnce(const std::string& folder);
  // Acts on the work entries a listing of the folder met: a copy that an
  // interrupted replacement set aside goes back where no object stands
  // (and is dropped where one does), upload work files older than
  // kStaleUploadSeconds go. True when it put an object back or removed
  // one. The folder counts as swept for this connection.
  bool tidyFolder(const std::string& folder, const std::vector<SftpTempEntry>& temps);
  // Sends an SSH keepalive when one is due; a failure marks the connection
  // broken.
  Status keepalive();
  // The caller's token while a call runs (null: none) and the I/O time-out:
  // every wait of the library on the server, however many requests a call
  // makes, ends by the token's deadline (see RecvCallback).
  void limitWaits(const CancelToken* cancel, uint32_t ioTimeoutMs) {
    deadline_ = cancel;
    ioTimeoutMs_ = ioTimeoutMs;
  }

  bool usable() const { return sftp_ != nullptr && !broken_; }
  // What broke the connection, as error() saw it; network (14) without one.
  Status breakage() const {
    return brokenBy_.ok() ? Status(Status::kNetwork, "the connection was closed") : brokenBy_;
  }
  // The host key the server showed at the handshake (SessionHostKeyText);
  // kept when a later step of open failed.
  const std::string& hostKey() const { return hostKey_; }
  LIBSSH2_SESSION* session() const { return session_; }
  LIBSSH2_SFTP* sftp() const { return sftp_; }
  int socketFd() const { return fd_; }

  // The status of the failed call that returned `rc` (or of the session's
  // last error when rc is 0): SFTP statuses by their number, library errors
  // by kind. A transport failure or time-out marks the connection broken.
  Status error(const std::string& step, int rc = 0);

  // Handles of open streams, closed with the connection.
  void track(LIBSSH2_SFTP_HANDLE* handle) { handles_.push_back(handle); }
  // Closes a handle (tracked or not); the failure when the server refused.
  // A handle whose close met the time-out stays tracked: the library frees
  // it only once a close of it ends, which the connection's close does.
  Status closeHandle(LIBSSH2_SFTP_HANDLE* handle, const std::string& step);
  // Ends a handle after a failed call, without looking at the outcome: on a
  // connection the failure broke, it is left to the connection's close,
  // which frees it without waiting on a server that stopped answering.
  void dropHandle(LIBSSH2_SFTP_HANDLE* handle);
  bool tracks(LIBSSH2_SFTP_HANDLE* handle) const;

  // Attributes of a server path (following links when `follow`).
  Status statPath(const std::string& path, LIBSSH2_SFTP_ATTRIBUTES& attrs, bool follow = true);
  // Rename; with `overwrite` an existing target is replaced, in one step
  // through posix-rename@openssh.com where the server has it. Otherwise the
  // target is first moved aside (recorded in the leftovers until the
  // replacement is complete) and restored when the second step fails.
  Status renamePath(const std::string& from, const std::string& to, bool overwrite);
  Status removePath(const std::string& path, bool isDir);
  // True when the folder holds at least one entry; errors give false.
  bool folderHasEntries(const std::string& path);
  // A fresh hidden name beside `path` for a temporary object.
  static std::string SiblingTempName(const std::string& path, const char* tag);
  // True for the names SiblingTempName makes: work files, never objects of
  // the drive.
  static bool IsTempName(std::string_view name);
  // The work file of an upload (tag kUploadTag), as opposed to a copy moved
  // aside while a file is replaced.
  static bool IsUploadTempName(std::string_view name);
  static constexpr const char* kUploadTag = "upload";
  // The folder of a server path, and a name in a folder.
  static std::string ParentOf(const std::string& path);
  static std::string Child(const std::string& folder, std::string_view name);

 private:
  Status startSession(const EndpointConfig& config, uint32_t port);
  // After a failed key exchange: when the server offers no host key the
  // library can verify, unsupported (11) saying so, which is not retried;
  // `failed` otherwise.
  Status explainKexFailure(const EndpointConfig& config, uint32_t port, const Status& failed);
  Status authenticate(const EndpointConfig& config);
  void markBroken();
  Status authenticateWithKey(const EndpointConfig& config);
  Status authenticateWithPassword(const EndpointConfig& config, const std::string& methods);
  // Moves the target into a work folder beside it (which keeps its name, so
  // that any later connection can put it back), renames, drops the old copy.
  Status replaceInSteps(const std::string& step, const std::string& from, const std::string& to, bool dstDir);
  // Puts back or drops what the work folder `aside` in `folder` holds.
  bool restoreAside(const std::string& folder, const std::string& aside);
  // The entries of a folder but "." and ".."; false when it cannot be read.
  bool readFolder(const std::string& path, std::vector<SftpTempEntry>& entries);
  // After a refused replacement: the refusal that the types of both ends
  // explain, `first` when the target is missing, ok when both ends exist
  // and one may replace the other.
  Status checkReplaceable(const std::string& step, const Status& first, const std::string& from,
                          const std::string& to, bool& dstDir);
  // One SSH_FXP_EXTENDED request that the library has no call for, sent and
  // answered on the SFTP channel between the library's own requests; `fx`
  // is the server's status. Used only while no stream has requests in
  // flight.
  Status extendedRequest(const std::string& step, std::string_view name, std::string_view arg1, std::string_view arg2,
                         uint32_t& fx);
  Status channelWriteAll(const std::string& step, const uint8_t* data, size_t size);
  Status channelReadAll(const std::string& step, uint8_t* data, size_t size);

  // libssh2's allocator: while secrets pass through the library, freed
  // blocks are wiped first.
  static void* Alloc(size_t count, void** abstract);
  static void* Realloc(void* ptr, size_t count, void** abstract);
  static void Free(void* ptr, void** abstract);

  // The library's socket reads, served from a large buffer, so that one
  // system call takes what the server sent since the last (the library
  // asks for a packet's worth at a time). A read that finds nothing
  // buffered comes before each of the library's waits for the server, so
  // it sets the time-out of that wait from the caller's deadline.
  static ssize_t RecvCallback(libssh2_socket_t fd, void* data, size_t length, int flags, void** abstract);

  static void KeyboardCallback(const char* name, int nameLen, const char* instruction, int instructionLen,
                               int promptCount, const LIBSSH2_USERAUTH_KBDINT_PROMPT* prompts,
                               LIBSSH2_USERAUTH_KBDINT_RESPONSE* responses, void** abstract);

  int fd_ = -1;
  LIBSSH2_SESSION* session_ = nullptr;
  LIBSSH2_SFTP* sftp_ = nullptr;
  bool broken_ = false;
  Status brokenBy_;  // the failure that broke the connection, where error() saw it
  std::vector<LIBSSH2_SFTP_HANDLE*> handles_;
  std::shared_ptr<SftpLeftovers> leftovers_;
  // Only set while keyboard-interactive authentication runs.
  const std::string* kbdPassword_ = nullptr;
  // Set while authentication runs: the library's freed blocks may hold the
  // password or its answers.
  bool wipeFreed_ = false;
  // Cleared when the server says it lacks posix-rename@openssh.com.
  bool atomicRename_ = true;
  std::vector<uint8_t> recvBuf_;
  size_t recvPos_ = 0;  // bytes of recvBuf_ handed to the library
  size_t recvEnd_ = 0;  // bytes of recvBuf_ read from the socket
  const CancelToken* deadline_ = nullptr;  // see limitWaits
  uint32_t ioTimeoutMs_ = 0;
  uint32_t nextRawId_ = 0;
  // Folders tidied on this connection.
  std::set<std::string> swept_;
  std::string hostKey_;
};

}  // namespace tarn
