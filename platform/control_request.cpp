#include "platform/control_request.h"

namespace tarn {

IpcCaller IpcCallerFromPeer(const PeerCredentials& peer) {
  IpcCaller caller;
  caller.privileged = peer.uid == 0;
  caller.sid = std::string(kUserSidPrefix) + std::to_string(peer.uid);
  caller.token = CallerToken{peer.uid, peer.gid, peer.groups};
  return caller;
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
