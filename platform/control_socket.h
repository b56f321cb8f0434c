// The local control socket between the service and its clients: a Unix
// stream socket carrying one request frame and one reply frame per
// connection. A frame is a u32 little-endian byte count followed by that many
// bytes of compact JSON.
//
// The service owns one ControlListener: its accept thread waits in accept,
// and any other thread may close it to wake that wait. Connections are plain
// descriptors owned by whoever accepted or opened them; the frame functions
// and the credential query may be used on one connection by one thread at a
// time. Every wait has a deadline, so a peer that stops half-way never holds
// a thread for longer than the caller allows.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/file_util.h"
#include "foundation/status.h"

namespace tarn {

using ControlDeadline = std::chrono::steady_clock::time_point;

inline constexpr size_t kFrameHeaderBytes = 4;
inline constexpr uint32_t kMaxControlFrameBytes = 16u * 1024 * 1024;
inline constexpr int kControlBacklog = 64;
// Everyone may connect; the folder above decides who may replace the socket.
inline constexpr mode_t kControlSocketMode = 0666;
inline constexpr mode_t kControlFolderMode = 0755;

// Who is at the other end of a connection, as the kernel recorded it when
// the connection was made.
struct PeerCredentials {
  pid_t pid = 0;
  uint32_t uid = 0;
  uint32_t gid = 0;
  std::vector<uint32_t> groups;  // supplementary groups
};

ControlDeadline DeadlineAfterMs(uint32_t ms);

class ControlListener {
 public:
  ControlListener() = default;
  // Closes and removes the socket file when it is still the one bound here.
  ~ControlListener();
  ControlListener(const ControlListener&) = delete;
  ControlListener& operator=(const ControlListener&) = delete;

  // Creates the socket's folder when missing and listens on `path`. The
  // folder must be a real folder of this process's user that nobody else can
  // write, so that no other user can swap the socket for their own. A stale
  // socket file is replaced; one that still answers is a running service.
  Status open(const std::string& path);
  // Waits for the next client. Once close() has been called: code kCanceled,
  // and the socket is closed and its file removed.
  Status accept(vx::UniqueFd& client);
  // Wakes a waiting accept and makes every later one fail. Any thread.
  void close();
  // close(), and the socket goes at once: clients that come now hear that
  // nobody listens. For the owner, once no thread can be in accept.
  void closeSocket();

 private:
  void removeSocketFile();

  std::string path_;
  vx::UniqueFd listen_;
  vx::UniqueFd wake_;  // eventfd written by close()
  dev_t boundDev_ = 0;
  ino_t boundIno_ = 0;
  std::atomic<bool> closed_{false};
};

// Connects to the service. A full backlog (a busy service) is waited out
// until the deadline; a missing socket or one nobody listens on gives code
// kNotFound.
Status ConnectControlSocket(const std::string& path, ControlDeadline deadline, vx::UniqueFd& out);

Status ReadPeerCredentials(int fd, PeerCredentials& out);

// Reads one frame into `body`. Failures: kTooLarge when the announced size
// exceeds `maxBytes` (the body is left unread), kNetwork when the peer
// closed before the first byte, kProtocol when it closed mid-frame,
// kTimeout at the deadline.
Status ReadFrame(int fd, ControlDeadline deadline, std::string& body, uint32_t maxBytes = kMaxControlFrameBytes);
// The two halves of ReadFrame, for a reader that decides between them
// whether it takes the body: the announced size, then the body, held in a
// buffer that grows with the bytes received, never ahead of them.
Status ReadFrameSize(int fd, ControlDeadline deadline, uint32_t& size);
Status ReadFrameBody(int fd, ControlDeadline deadline, uint32_t size, std::string& body);
// Writes one frame; kTooLarge for a body above the limit (nothing sent).
// A peer that has gone is an error, never a signal.
Status WriteFrame(int fd, std::string_view body, ControlDeadline deadline);

// Ends both directions of a connection so that a thread waiting on it wakes
// at once; the descriptor stays open for its owner to close.
void ShutdownConnection(int fd);

}  // namespace tarn
