// What a handler of a control request is given and gives back: the identity
// of the client that sent it and the reply forms every handler shares.
// Plain values and free functions; any thread.
//
// An in-process call has no caller identity: handlers take a const
// IpcCaller* and treat null as the service itself.
//
// Privileged callers are root and the members of the service's
// administrators group (a setting; "sudo" as Debian names it), known by the
// groups the kernel recorded for the connection.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "foundation/json.h"
#include "platform/caller_rights.h"
#include "platform/control_socket.h"

namespace tarn {

// Users are named by this prefix and their uid, as the service's records
// name callers.
inline constexpr std::string_view kUserSidPrefix = "S-1-22-1-";

struct IpcCaller {
  bool privileged = false;  // root or a member of the administrators group
  bool root = false;
  uint32_t uid = 0;
  std::string sid;
  // The user's name and uid ("alice (uid 1000)"), for texts a person reads.
  std::string user;
  // The caller's rights, for work done on its behalf (a restore). Empty when
  // the caller is not known by its credentials.
  std::optional<CallerToken> token;
};

// The largest request a caller may send, in bytes and in what parsing it
// builds. A caller without privilege only reads the status, the transfers
// and the log; a privileged one sends whole drives and backup jobs.
struct RequestBounds {
  uint32_t frameBytes;
  vx::json::ParseLimits parse;
};
inline constexpr RequestBounds kUnprivilegedRequest{64 * 1024, {256, 8}};
inline constexpr RequestBounds kPrivilegedRequest{kMaxControlFrameBytes, {16384, 32}};

inline const RequestBounds& BoundsOf(const IpcCaller& caller) {
  return caller.privileged ? kPrivilegedRequest : kUnprivilegedRequest;
}

// The request a frame's body holds, within the caller's bounds: valid UTF-8
// and one JSON value. False with the error reply to send when it is not.
bool ParseRequest(std::string_view body, const IpcCaller& caller, vx::json::Value& request, vx::json::Value& error);

// The group's id; none when the name is empty or no such group exists.
std::optional<uint32_t> GroupIdOf(const std::string& name);

// `adminGid`: the administrators group; none means root alone.
IpcCaller IpcCallerFromPeer(const PeerCredentials& peer, std::optional<uint32_t> adminGid = std::nullopt);

// "alice (uid 1000)", or "uid 1000" for a uid without a name.
std::string UserText(uint32_t uid);

// Logs a refusal of `caller`'s request ("ipc: " + what + " refused to " +
// the user) as a warning; a user's flood of refusals makes a few lines and a
// count, never enough to rotate the log away.
void LogRefusal(const IpcCaller& caller, const std::string& what);

// {"ok": false, "error": message}
vx::json::Value ErrorReply(std::string_view message);
// The same with "code", for refusals a client must tell apart.
vx::json::Value ErrorReplyWithCode(std::string_view message, std::string_view code);
// {"ok": true}
vx::json::Value OkReply();

}  // namespace tarn
