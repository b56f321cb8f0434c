#include "client/service_client.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <thread>

#include "foundation/config_file.h"
#include "foundation/text.h"
#include "platform/control_socket.h"

namespace tarn::app {
namespace {

using vx::json::Value;

Value Request(const char* op) {
  Value request = Value::object();
  request.set("op", op);
  return request;
}

bool Call(const Value& request, std::string& error, uint32_t timeoutMs, Value* replyOut = nullptr,
          bool carriesSecrets = false) {
  Value reply;
  const bool ok = CallService(request, reply, error, timeoutMs, carriesSecrets);
  if (replyOut != nullptr) *replyOut = std::move(reply);
  return ok;
}

bool CallWithId(const char* op, const std::string& id, std::string& error, uint32_t timeoutMs) {
  Value request = Request(op);
  request.set("id", id);
  return Call(request, error, timeoutMs);
}

// Sends the request and reads the reply frame; the transport's failures as
// error texts.
bool Exchange(const std::string& text, Value& reply, std::string& error, uint32_t timeoutMs, bool carriesSecrets) {
  const ControlDeadline deadline = DeadlineAfterMs(timeoutMs);
  vx::UniqueFd fd;
  Status s = ConnectControlSocket(ControlSocketPath(), deadline, fd);
  if (s.code == Status::kNotFound) {
    error = kServiceNotRunning;
    return false;
  }
  if (!s.ok()) {
    error = "cannot reach the service: " + s.message;
    return false;
  }
  if (carriesSecrets) {
    PeerCredentials server;
    s = ReadPeerCredentials(fd.get(), server);
    if (!s.ok() || server.uid != 0) {
      error = "the service socket does not belong to root; not sending secrets to it";
      return false;
    }
  }
  Status sent = WriteFrame(fd.get(), text, deadline);
  // A service that refuses a request may close before taking all of it, yet
  // its reply is already on the way: read it in any case.
  std::string body;
  s = ReadFrame(fd.get(), deadline, body);
  if (!s.ok()) {
    const Status& cause = sent.ok() ? s : sent;
    if (cause.code == Status::kTimeout) error = "the service did not answer in time";
    else if (cause.code == Status::kTooLarge) error = "reply too large";
    else error = "the service closed the connection: " + cause.message;
    return false;
  }
  if (!vx::json::Parse(body, reply) || !reply.isObject()) {
    error = "the service's reply is not valid JSON";
    return false;
  }
  return true;
}

}  // namespace

void ParseServiceStatus(const Value& reply, ServiceStatus& out) {
  out = ServiceStatus();
  out.ok = reply["ok"].asBool();
  out.error = reply["error"].asString();
  out.version = reply["version"].asString();
  out.autoUpdate = reply["autoUpdate"].asBool();
  out.language = reply["language"].asString();
  out.mayManageDrives = reply["mayManageDrives"].asBool(true);
  out.mayChangeSettings = reply["mayChangeSettings"].asBool(true);
  const Value& u = reply["update"];
  out.update.checking = u["checking"].asBool();
  out.update.lastCheck = u["lastCheck"].asInt64();
  out.update.latest = u["latest"].asString();
  out.update.error = u["error"].asString();
  out.update.applying = u["applying"].asBool();
  const Value& d = reply["driver"];
  out.driver.name = d["name"].asString();
  out.driver.version = d["version"].asString();
  out.driver.installing = d["installing"].asBool();
  out.driver.error = d["error"].asString();
  const Value& mounts = reply["mounts"];
  for (size_t i = 0; i < mounts.size() && mounts.isArray(); ++i) {
    const Value& m = mounts.at(i);
    MountStatus ms;
    ms.id = m["id"].asString();
    ms.name = m["name"].asWString();
    const std::u16string drive = m["drive"].asWString();
    ms.drive = drive.size() == 1 ? drive[0] : 0;
    ms.config = m["config"];
    const Value& ep = ms.config["endpoint"];
    ms.protocol = ep["protocol"].asString();
    ms.host = ep["host"].asString();
    const int64_t port = ep["port"].asInt64();
    ms.port = port > 0 && port <= UINT16_MAX ? static_cast<uint32_t>(port) : 0;
    ms.root = ep["root"].asString();
    ms.user = ep["user"].asString();
    ms.tls = ep["tls"].asBool(true);
    ms.mountPoint = m["mountPoint"].asString();
    ms.mounted = m["mounted"].asBool();
    ms.mounting = m["mounting"].asBool();
    ms.online = m["online"].asBool();
    ms.offlineMode = m["offlineMode"].asBool();
    ms.lastError = m["lastError"].asString();
    const int64_t cache = m["cacheBytes"].asInt64();
    ms.cacheBytes = cache > 0 ? static_cast<uint64_t>(cache) : 0;
    ms.pendingUploads = static_cast<int32_t>(m["pendingUploads"].asInt());
    ms.journalOps = m["journalOps"].asInt64();
    ms.openChangedFiles = m["openChangedFiles"].asInt64();
    out.mounts.push_back(std::move(ms));
  }
}

bool CallService(const Value& request, Value& reply, std::string& error, uint32_t timeoutMs, bool carriesSecrets) {
  reply = Value();
  const std::string text = request.dump();
  if (text.size() > kMaxControlFrameBytes) {
    error = "request too large";
    return false;
  }
  if (!Exchange(text, reply, error, timeoutMs, carriesSecrets)) return false;
  if (reply["ok"].asBool()) return true;
  error = reply["error"].asString(std::string(kRequestFailed));
  if (error.empty()) error = kRequestFailed;
  return false;
}

uint32_t CallerUmask() {
  // The kernel shows it without changing it: umask(2) can only be read by
  // setting it, which another thread would see meanwhile.
  std::ifstream status("/proc/self/status");
  std::string line;
  constexpr std::string_view kUmaskLine = "Umask:";
  while (std::getline(status, line)) {
    if (line.compare(0, kUmaskLine.size(), kUmaskLine) != 0) continue;
    return static_cast<uint32_t>(std::strtoul(line.c_str() + kUmaskLine.size(), nullptr, 8));
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

bool RequestBackup(const std::string& op, const std::string& jobId, const std::function<void(Value&)>& fill,
                   Value& reply, std::string& error, std::string* code, uint32_t timeoutMs) {
  Value request = Value::object();
  request.set("op", op);
  if (!jobId.empty()) request.set("id", jobId);
  if (fill) fill(request);
  // Jobs carry the repository's password and the destination's secrets.
  const bool ok = CallService(request, reply, error, timeoutMs, true);
  if (!ok && code != nullptr) *code = reply["code"].asString();
  return ok;
}

bool RequestStatus(ServiceStatus& out) {
  Value reply;
  std::string error;
  if (!Call(Request("status"), error, kStatusTimeoutMs, &reply)) {
    out = ServiceStatus();
    out.error = error;
    return false;
  }
  ParseServiceStatus(reply, out);
  return out.ok;
}

bool RequestMount(const std::string& id, std::string& error) {
  return CallWithId("mount", id, error, kMountTimeoutMs);
}

bool RequestUnmount(const std::string& id, std::string& error) {
  int64_t unsent = 0;
  return RequestUnmount(id, error, unsent);
}

bool RequestUnmount(const std::string& id, std::string& error, int64_t& unsent) {
  Value request = Request("unmount");
  request.set("id", id);
  Value reply;
  if (!Call(request, error, kMountTimeoutMs, &reply)) return false;
  unsent = reply["unsent"].asInt64();
  return true;
}

bool RequestControl(const std::string& op, const std::string& id, bool on, std::string& error) {
  Value request = Request(op.c_str());
  request.set("id", id);
  request.set("on", on);
  return Call(request, error, kControlTimeoutMs);
}

bool RequestRemoveMount(const std::string& id, std::string& error) {
  UnsentFiles unsent;
  std::string code;
  return RequestRemoveMount(id, error, false, unsent, code);
}

bool RequestRemoveMount(const std::string& id, std::string& error, bool keepUnsent, UnsentFiles& unsent,
                        std::string& code) {
  Value request = Request("removeMount");
  request.set("id", id);
  request.set("clearCache", true);
  if (keepUnsent) request.set("keepUnsent", true);
  Value reply;
  const bool ok = Call(request, error, kRemoveMountTimeoutMs, &reply);
  code = reply["code"].asString();
  unsent.files = reply["unsentFiles"].asInt64();
  unsent.bytes = reply["unsentBytes"].asInt64();
  unsent.openFiles = reply["unsentOpenFiles"].asInt64();
  return ok;
}

bool RequestStopUpload(const std::string& id, const std::string& path, std::string& error) {
  Value request = Request("stopUpload");
  request.set("id", id);
  request.set("path", path);
  return Call(request, error, kStopUploadTimeoutMs);
}

bool RequestSetAppSettings(const Value& settings, std::string& error) {
  Value request = Request("setAppSettings");
  for (size_t i = 0; i < settings.keys.size() && settings.isObject(); ++i) {
    if (settings.keys[i] != "op") request.set(settings.keys[i], settings.items[i]);
  }
  return Call(request, error, kSettingsTimeoutMs);
}

bool RequestCheckUpdate(bool apply, std::string& error) {
  Value request = Request("checkUpdate");
  request.set("apply", apply);
  return Call(request, error, kCheckUpdateTimeoutMs);
}

bool RequestApplyUpdate(std::string& error) { return Call(Request("applyUpdate"), error, kApplyUpdateTimeoutMs); }

bool RequestProbe(const Value& mount, std::string& summary, bool& reportOk, std::string& error, Value* report) {
  Value request = Request("probe");
  request.set("mount", mount);
  Value reply;
  if (!Call(request, error, kProbeTimeoutMs, &reply, true)) return false;
  summary = reply["summary"].asString();
  reportOk = reply["report"]["ok"].asBool();
  if (report != nullptr) *report = reply["report"];
  return true;
}

bool RequestSetMount(const Value& mount, std::string& id, std::string& error, LoginCheck* login) {
  Value request = Request("setMount");
  request.set("mount", mount);
  if (login != nullptr) request.set("tryLogin", true);
  Value reply;
  if (!Call(request, error, kSetMountTimeoutMs, &reply, true)) return false;
  id = reply["id"].asString();
  if (login != nullptr) {
    login->tried = reply["login"].asString() == "ok";
    login->problem = reply["loginError"].asString();
    login->serverKey = reply["serverKey"].asString();
  }
  return true;
}

bool RequestGetLog(int lines, std::string& text, std::string& error) {
  Value request = Request("getLog");
  request.set("lines", lines);
  Value reply;
  if (!Call(request, error, kGetLogTimeoutMs, &reply)) return false;
  text = reply["text"].asString();
  return true;
}

bool RequestTransfers(Value& transfers, std::string& error) {
  Value reply;
  if (!Call(Request("transfers"), error, kTransfersTimeoutMs, &reply)) return false;
  transfers = reply["transfers"].isArray() ? reply["transfers"] : Value::array();
  return true;
}

bool WaitForDriverInstall(std::string& error) {
  if (!Call(Request("installDriver"), error, kStatusTimeoutMs)) return false;
  for (int i = 0; i < kDriverPollAttempts; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kDriverPollIntervalMs));
    ServiceStatus status;
    if (!RequestStatus(status)) {
      error = status.error;
      return false;
    }
    if (status.driver.installing) continue;
    if (!status.driver.error.empty()) {
      error = status.driver.error;
      return false;
    }
    if (status.driver.name.empty()) {
      error = "the driver did not become available";
      return false;
    }
    return true;
  }
  error = "timed out waiting for the installer";
  return false;
}

}  // namespace tarn::app
