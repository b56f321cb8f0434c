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
// Owned by one SftpBackend through std::shared_ptr; its streams hold
// std::weak_ptr so that a stream outliving a disconnect finds the connection
// gone instead of a freed session. Not thread-safe: the one thread that
// holds the back-end's lease uses it and its streams.
#pragma once

#include <libssh2.h>
#include <libssh2_sftp.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/endpoint_config.h"
#include "foundation/status.h"

namespace tarn {

constexpr uint32_t kSftpDefaultPort = 22;
constexpr long kSftpNewFileMode = 0644;
constexpr long kSftpNewFolderMode = 0755;

class SftpConnection {
 public:
  SftpConnection() = default;
  ~SftpConnection() { close(); }
  SftpConnection(const SftpConnection&) = delete;
  SftpConnection& operator=(const SftpConnection&) = delete;

  // Socket, handshake, authentication and SFTP channel; on failure
  // everything opened so far is closed again.
  Status open(const EndpointConfig& config);
  // Closes tracked handles, the channel, the session and the socket. Fast on
  // a broken connection: the socket is shut down first so that nothing waits.
  void close();

  bool usable() const { return sftp_ != nullptr && !broken_; }
  LIBSSH2_SESSION* session() const { return session_; }
  LIBSSH2_SFTP* sftp() const { return sftp_; }
  int socketFd() const { return fd_; }

  // The status of the failed call that returned `rc` (or of the session's
  // last error when rc is 0): SFTP statuses by their number, library errors
  // by kind. A transport failure or time-out marks the connection broken.
  Status error(const std::string& step, int rc = 0);

  // Handles of open streams, closed with the connection.
  void track(LIBSSH2_SFTP_HANDLE* handle) { handles_.push_back(handle); }
  // Closes a tracked handle; false with `out` set when the server refused.
  Status closeHandle(LIBSSH2_SFTP_HANDLE* handle, const std::string& step);
  bool tracks(LIBSSH2_SFTP_HANDLE* handle) const;

  // Attributes of a server path (following links when `follow`).
  Status statPath(const std::string& path, LIBSSH2_SFTP_ATTRIBUTES& attrs, bool follow = true);
  // Rename; with `overwrite` an existing target is replaced. Servers of
  // protocol 3 cannot replace in one step, so the target is first moved
  // aside and restored when the second step fails.
  Status renamePath(const std::string& from, const std::string& to, bool overwrite);
  Status removePath(const std::string& path, bool isDir);
  // True when the folder holds at least one entry; errors give false.
  bool folderHasEntries(const std::string& path);
  // A fresh hidden name beside `path` for a temporary object.
  static std::string SiblingTempName(const std::string& path, const char* tag);
  // True for the names SiblingTempName makes: work files, never objects of
  // the drive.
  static bool IsTempName(std::string_view name);

 private:
  Status connectSocket(const EndpointConfig& config, uint32_t port);
  Status startSession(const EndpointConfig& config, uint32_t port);
  Status authenticate(const EndpointConfig& config);
  void markBroken();
  Status authenticateWithKey(const EndpointConfig& config);
  Status authenticateWithPassword(const EndpointConfig& config, const std::string& methods);

  static void KeyboardCallback(const char* name, int nameLen, const char* instruction, int instructionLen,
                               int promptCount, const LIBSSH2_USERAUTH_KBDINT_PROMPT* prompts,
                               LIBSSH2_USERAUTH_KBDINT_RESPONSE* responses, void** abstract);

  int fd_ = -1;
  LIBSSH2_SESSION* session_ = nullptr;
  LIBSSH2_SFTP* sftp_ = nullptr;
  bool broken_ = false;
  std::vector<LIBSSH2_SFTP_HANDLE*> handles_;
  // Only set while keyboard-interactive authentication runs.
  const std::string* kbdPassword_ = nullptr;
};

}  // namespace tarn
