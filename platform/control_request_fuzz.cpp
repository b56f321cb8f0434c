// Feeds arbitrary bytes to the service's side of the control socket, as a
// client would send them: the frame is read from a real socket (announced
// sizes, bodies cut short, peers that close), and a complete body is read as
// a request within the bounds of its caller. The first byte chooses the
// caller: privileged when odd. Whatever parses must give a reply frame that
// goes back through the socket and reads as valid UTF-8 JSON.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/file_util.h"
#include "foundation/json.h"
#include "foundation/text.h"
#include "platform/control_request.h"
#include "platform/control_socket.h"

namespace {

// Everything is in the socket before the reads begin: no read ever waits.
constexpr uint32_t kDeadlineMs = 1000;
constexpr int kBufferBytes = 4 << 20;

// The reply the service would send for these bytes.
vx::json::Value Answer(int fd, const tarn::IpcCaller& caller) {
  using tarn::Status;
  const tarn::ControlDeadline deadline = tarn::DeadlineAfterMs(kDeadlineMs);
  uint32_t size = 0;
  Status s = tarn::ReadFrameSize(fd, deadline, size);
  if (!s.ok()) return tarn::ErrorReply(s.message);
  if (size > tarn::BoundsOf(caller).frameBytes) return tarn::ErrorReply("request too large");
  std::string body;
  s = tarn::ReadFrameBody(fd, deadline, size, body);
  if (!s.ok()) return tarn::ErrorReply(s.message);
  if (body.size() != size) std::abort();
  vx::json::Value request;
  vx::json::Value refusal;
  if (!tarn::ParseRequest(body, caller, request, refusal)) return refusal;
  // What parsed is within the bounds and holds only valid text.
  if (!vx::IsValidUtf8(request.dump())) std::abort();
  vx::json::Value again;
  if (!vx::json::Parse(request.dump(), again, tarn::BoundsOf(caller).parse)) std::abort();
  vx::json::Value reply = tarn::OkReply();
  reply.set("op", request["op"]);
  return reply;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > static_cast<size_t>(kBufferBytes) / 2) return 0;
  tarn::IpcCaller caller;
  caller.privileged = caller.root = (data[0] & 1) != 0;
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) std::abort();
  vx::UniqueFd client(pair[0]);
  vx::UniqueFd service(pair[1]);
  for (int fd : pair) {
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kBufferBytes, sizeof kBufferBytes);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kBufferBytes, sizeof kBufferBytes);
  }
  if (!vx::WriteAll(client.get(), data + 1, size - 1)) std::abort();
  ::shutdown(client.get(), SHUT_WR);

  const std::string reply = Answer(service.get(), caller).dump();
  if (!tarn::WriteFrame(service.get(), reply, tarn::DeadlineAfterMs(kDeadlineMs)).ok()) std::abort();
  std::string back;
  if (!tarn::ReadFrame(client.get(), tarn::DeadlineAfterMs(kDeadlineMs), back).ok() || back != reply) std::abort();
  vx::json::Value parsed;
  if (!vx::IsValidUtf8(back) || !vx::json::Parse(back, parsed) || !parsed.isObject()) std::abort();
  return 0;
}
