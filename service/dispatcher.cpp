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

struct Op {
  std::string_view name;
  bool privileged;  // changes drives or settings
  OpFn run;
};

Value DoStatus(ServiceState& st, const Value&) { return st.status(); }

Value DoTransfers(ServiceState& st, const Value&) {
  Value list = Value::array();
  Status s = st.transfers(list);
  return s.ok() ? WithMember(OkReply(), "transfers", std::move(list)) : ErrorReply(s.message);
}

Value DoGetLog(ServiceState& st, const Value& req) {
  return WithMember(OkReply(), "text", st.getLog(req["lines"].asInt(kDefaultLogLines)));
}

Value DoSetMount(ServiceState& st, const Value& req) {
  std::string id;
  Status s = st.setMount(req["mount"], id);
  return s.ok() ? WithMember(OkReply(), "id", id) : ErrorReply(s.message);
}

Value DoRemoveMount(ServiceState& st, const Value& req) {
  return StatusReply(st.removeMount(req["id"].asString(), req["clearCache"].asBool(false)));
}

Value DoMount(ServiceState& st, const Value& req) { return StatusReply(st.mount(req["id"].asString())); }
Value DoUnmount(ServiceState& st, const Value& req) { return StatusReply(st.unmount(req["id"].asString())); }
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
    {"status", false, DoStatus},
    {"transfers", false, DoTransfers},
    {"getLog", false, DoGetLog},
    {"setMount", true, DoSetMount},
    {"removeMount", true, DoRemoveMount},
    {"mount", true, DoMount},
    {"unmount", true, DoUnmount},
    {"syncNow", true, DoSyncNow},
    {"setOffline", true, DoSetOffline},
    {"clearCache", true, DoClearCache},
    {"stopUpload", true, DoStopUpload},
    {"probe", true, DoProbe},
    {"setAppSettings", true, DoSetAppSettings},
    {"checkUpdate", true, DoUpdate},
    {"applyUpdate", true, DoUpdate},
    {"installDriver", true, DoInstallDriver},
};

}  // namespace

Value Dispatcher::dispatch(const Value& request, const IpcCaller* caller) {
  if (!request.isObject()) return ErrorReply("request is not a JSON object");
  const std::string op = request["op"].asString();
  if (op.compare(0, kBackupPrefix.size(), kBackupPrefix) == 0) {
    if (!backups_) return ErrorReply("backups are not available");
    return backups_(request, caller);
  }
  for (const Op& entry : kOps) {
    if (entry.name != op) continue;
    if (entry.privileged && caller != nullptr && !caller->privileged) {
      vx::log::write(vx::log::kWarn, "ipc: %s refused to %s", op.c_str(), caller->sid.c_str());
      return ErrorReplyWithCode("drives and settings are managed by an administrator of this computer", "admin");
    }
    return entry.run(state_, request);
  }
  return ErrorReply("unknown op: " + op);
}

}  // namespace tarn
