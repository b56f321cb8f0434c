// What a handler of a control request is given and gives back: the identity
// of the client that sent it and the reply forms every handler shares.
// Plain values and free functions; any thread.
//
// An in-process call has no caller identity: handlers take a const
// IpcCaller* and treat null as the service itself.
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
  bool privileged = false;  // root
  std::string sid;
  // The caller's rights, for work done on its behalf (a restore). Empty when
  // the caller is not known by its credentials.
  std::optional<CallerToken> token;
};

IpcCaller IpcCallerFromPeer(const PeerCredentials& peer);

// {"ok": false, "error": message}
vx::json::Value ErrorReply(std::string_view message);
// The same with "code", for refusals a client must tell apart.
vx::json::Value ErrorReplyWithCode(std::string_view message, std::string_view code);
// {"ok": true}
vx::json::Value OkReply();

}  // namespace tarn
