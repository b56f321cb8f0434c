#include "service/dispatcher.h"

#include <string_view>

#include "foundation/log.h"

namespace tarn {
namespace {

using vx::json::Value;

constexpr std::string_view kBackupPrefix = "backup";

Value StatusReply(const Status& s) { return s.ok() ? OkReply() : ErrorReply(s.message); }

Value WithMember(Value reply, const char* key, Value value) {
  reply.set(key, std::move(value));
  return reply;
}

using OpFn = Value (*)(ServiceState&, const Value&);

// Who may send an op.
enum class Rights {
  kAnyone,  // reads the status, the transfers or the log
  kAdmin,   // changes drives: root and the administrators group
  kRoot,    // changes the service itself, the administrators group included
};

struct Op {
  std::string_view name;
  Rights rights;
  OpFn run;
};

Value DoStatus(ServiceState& st, const Value&) { return st.status(); }

Value DoTransfers(ServiceState& st, const Value&) {
  Value list = Value::array();
  Status s = st.transfers(list);
  return s.ok() ? WithMember(OkReply(), "transfers", std::move(list)) : ErrorReply(s.message);
}

int LogLinesOf(const Value& req) { return req["lines"].asInt(kDefaultLogLines); }

Value DoGetLog(ServiceState& st, const Value& req) { return WithMember(OkReply(), "text", st.getLog(LogLinesOf(req))); }

// With "tryLogin" the drive is saved only when its server takes the log-in
// or cannot be reached; the reply's "login" says which ("ok", "untried"),
// and "serverKey" the key the server showed, when it has one.
Value DoSetMount(ServiceState& st, const Value& req) {
  const bool tryLogin = req["tryLogin"].asBool(false);
  Status login;
  std::string serverKey;
  if (tryLogin) {
    login = st.tryLogin(req["mount"], &serverKey);
    if (login.code == Status::kInvalid) return ErrorReply(login.message);
    // A host key other than the recorded one is this side's refusal.
    if (login.code == Status::kAuthFailed && login.message.rfind("host key of ", 0) == 0)
      return ErrorReply("the drive is not saved: " + login.message);
    if (login.code == Status::kAuthFailed)
      return ErrorReply("the server refused the log-in, so the drive is not saved: " + login.message);
    if (!login.ok() && !login.retryable()) return ErrorReply("the drive is not saved: " + login.words());
  }
  std::string id;
  Status s = st.setMount(req["mount"], id);
  if (!s.ok()) return ErrorReply(s.message);
  Value reply = WithMember(OkReply(), "id", id);
  if (tryLogin) {
    reply.set("login", login.ok() ? "ok" : "untried");
    if (!login.ok()) reply.set("loginError", login.toString());
    if (!serverKey.empty()) reply.set("serverKey", serverKey);
  }
  return reply;
}

// With "keepUnsent", a drive with changes not yet sent is kept, and the
// refusal (code "unsent") says how many; a removal says what went with it.
Value DoRemoveMount(ServiceState& st, const Value& req) {
  UnsentChanges unsent;
  Status s = st.removeMount(req["id"].asString(), req["clearCache"].asBool(false), req["keepUnsent"].asBool(false),
                            &unsent);
  const bool kept = s.code == Status::kConflict;
  Value reply = s.ok() ? OkReply() : kept ? ErrorReplyWithCode(s.message, "unsent") : ErrorReply(s.message);
  if (s.ok() || kept) {
    reply.set("unsentFiles", unsent.files);
    reply.set("unsentBytes", unsent.bytes);
    reply.set("unsentOpenFiles", unsent.openFiles);
  }
  return reply;
}

Value DoMount(ServiceState& st, const Value& req) {
  bool pending = false;
  Status s = st.mount(req["id"].asString(), &pending);
  return s.ok() && pending ? WithMember(OkReply(), "pending", true) : StatusReply(s);
}
// "unsent": the changes that wait for the drive's next mount.
Value DoUnmount(ServiceState& st, const Value& req) {
  uint32_t unsent = 0;
  Status s = st.unmount(req["id"].asString(), &unsent);
  return s.ok() ? WithMember(OkReply(), "unsent", unsent) : ErrorReply(s.message);
}
Value DoSyncNow(ServiceState& st, const Value& req) { return StatusReply(st.syncNow(req["id"].asString())); }
Value DoClearCache(ServiceState& st, const Value& req) { return StatusReply(st.clearCache(req["id"].asString())); }

Value DoSetOffline(ServiceState& st, const Value& req) {
  return StatusReply(st.setOffline(req["id"].asString(), req["on"].asBool(false)));
}

Value DoStopUpload(ServiceState& st, const Value& req) {
  return StatusReply(st.stopUpload(req["id"].asString(), req["path"].asString()));
}

Value DoProbe(ServiceState& st, const Value& req) {
  std::string summary;
  Value report = Value::object();
  Status s = st.probe(req["mount"], summary, report);
  if (!s.ok()) return ErrorReply(s.message);
  Value reply = WithMember(OkReply(), "summary", summary);
  reply.set("report", std::move(report));
  return reply;
}

Value DoSetAppSettings(ServiceState& st, const Value& req) { return StatusReply(st.setAppSettings(req)); }

Value DoUpdate(ServiceState&, const Value&) {
  return ErrorReply("there is no update server: updates come with the system's packages");
}

Value DoInstallDriver(ServiceState&, const Value&) {
  return ErrorReply("the driver is installed with the system's packages (fuse3)");
}

constexpr Op kOps[] = {
    {"status", Rights::kAnyone, DoStatus},
    {"transfers", Rights::kAnyone, DoTransfers},
    {"getLog", Rights::kAnyone, DoGetLog},
    {"setMount", Rights::kAdmin, DoSetMount},
    {"removeMount", Rights::kAdmin, DoRemoveMount},
    {"mount", Rights::kAdmin, DoMount},
    {"unmount", Rights::kAdmin, DoUnmount},
    {"syncNow", Rights::kAdmin, DoSyncNow},
    {"setOffline", Rights::kAdmin, DoSetOffline},
    {"clearCache", Rights::kAdmin, DoClearCache},
    {"stopUpload", Rights::kAdmin, DoStopUpload},
    {"probe", Rights::kAdmin, DoProbe},
    {"setAppSettings", Rights::kRoot, DoSetAppSettings},
    {"checkUpdate", Rights::kRoot, DoUpdate},
    {"applyUpdate", Rights::kRoot, DoUpdate},
    {"installDriver", Rights::kRoot, DoInstallDriver},
};
}  // namespace

uint64_t Dispatcher::ReplyBytes(const Value& request) {
  // The log's end as read, the reply holding its last lines, and the text
  // of the reply, in which JSON may double each byte.
  constexpr uint64_t kLogCopies = 3;
  if (request["op"].asString() == "getLog") return kLogCopies * LogTailBytes(LogLinesOf(request));
  return 0;
}

Value Dispatcher::dispatch(const Value& request, const IpcCaller* caller) {
  if (!request.isObject()) return ErrorReply("request is not a JSON object");
  const std::string op = request["op"].asString();
  if (op.compare(0, kBackupPrefix.size(), kBackupPrefix) == 0) {
    if (!backups_) return ErrorReply("backups are not available");
    return backups_(request, caller);
  }
  for (const Op& entry : kOps) {
    if (entry.name != op) continue;
    if (caller != nullptr && entry.rights == Rights::kAdmin && !caller->privileged) {
      LogRefusal(*caller, op);
      return ErrorReplyWithCode("drives are managed by an administrator of this computer", "admin");
    }
    if (caller != nullptr && entry.rights == Rights::kRoot && !caller->root) {
      LogRefusal(*caller, op);
      return ErrorReplyWithCode("the service's settings are changed by root", "admin");
    }
    Value reply = entry.run(state_, request);
    // Windows offer only what the caller may do, and say why.
    if (entry.name == "status" && reply["ok"].asBool()) {
      reply.set("mayManageDrives", caller == nullptr || caller->privileged);
      reply.set("mayChangeSettings", caller == nullptr || caller->root);
    }
    return reply;
  }
  return ErrorReply("unknown op: " + op);
}

}  // namespace tarn
