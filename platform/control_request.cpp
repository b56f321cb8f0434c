#include "platform/control_request.h"

#include <grp.h>
#include <pwd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <vector>

#include "foundation/log.h"
#include "foundation/log_limiter.h"
#include "foundation/text.h"

namespace tarn {
namespace {

// The buffer the C library's user and group look-ups start with.
constexpr size_t kLookupBufferBytes = 1024;
// Group lists past this are not worth another try.
constexpr size_t kMaxLookupBufferBytes = 1u << 20;

}  // namespace

bool ParseRequest(std::string_view body, const IpcCaller& caller, vx::json::Value& request, vx::json::Value& error) {
  if (!vx::IsValidUtf8(body)) {
    error = ErrorReply("request is not valid UTF-8");
    return false;
  }
  const RequestBounds& bounds = BoundsOf(caller);
  std::string why;
  if (vx::json::Parse(body, request, bounds.parse, &why)) return true;
  if (why.ends_with("too many values") || why.ends_with("nesting too deep")) {
    error = ErrorReply("request too large: at most " + std::to_string(bounds.parse.maxValues) + " values, " +
                       std::to_string(bounds.parse.maxDepth) + " levels deep");
  } else {
    error = ErrorReply("request is not valid JSON");
  }
  return false;
}

std::optional<uint32_t> GroupIdOf(const std::string& name) {
  if (name.empty()) return std::nullopt;
  std::vector<char> buffer(kLookupBufferBytes);
  for (;;) {
    group entry{};
    group* found = nullptr;
    const int err = ::getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found);
    if (err == ERANGE && buffer.size() < kMaxLookupBufferBytes) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (err != 0 || found == nullptr) return std::nullopt;
    return static_cast<uint32_t>(found->gr_gid);
  }
}

std::string UserText(uint32_t uid) {
  std::vector<char> buffer(kLookupBufferBytes);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
    return std::string(found->pw_name) + " (uid " + std::to_string(uid) + ")";
  return "uid " + std::to_string(uid);
}

IpcCaller IpcCallerFromPeer(const PeerCredentials& peer, std::optional<uint32_t> adminGid) {
  IpcCaller caller;
  caller.root = peer.uid == 0;
  caller.uid = peer.uid;
  const bool member = adminGid.has_value() &&
                      (peer.gid == *adminGid ||
                       std::find(peer.groups.begin(), peer.groups.end(), *adminGid) != peer.groups.end());
  caller.privileged = caller.root || member;
  caller.sid = std::string(kUserSidPrefix) + std::to_string(peer.uid);
  caller.user = UserText(peer.uid);
  caller.token = CallerToken{peer.uid, peer.gid, peer.groups};
  return caller;
}

void LogRefusal(const IpcCaller& caller, const std::string& what) {
  static vx::log::LineLimiter* limiter = new vx::log::LineLimiter();  // lives as long as logging may run
  const uint64_t nowMs = static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
  uint64_t suppressed = 0;
  if (!limiter->allow("uid " + std::to_string(caller.uid), nowMs, suppressed)) return;
  if (suppressed == 0) {
    vx::log::write(vx::log::kWarn, "ipc: %s refused to %s", what.c_str(), caller.user.c_str());
  } else {
    vx::log::write(vx::log::kWarn, "ipc: %s refused to %s (and %llu more of this user's requests since the last line)",
                   what.c_str(), caller.user.c_str(), static_cast<unsigned long long>(suppressed));
  }
}

vx::json::Value ErrorReply(std::string_view message) {
  vx::json::Value reply = vx::json::Value::object();
  reply.set("ok", false);
  reply.set("error", message);
  return reply;
}

vx::json::Value ErrorReplyWithCode(std::string_view message, std::string_view code) {
  vx::json::Value reply = ErrorReply(message);
  reply.set("code", code);
  return reply;
}

vx::json::Value OkReply() {
  vx::json::Value reply = vx::json::Value::object();
  reply.set("ok", true);
  return reply;
}

}  // namespace tarn
