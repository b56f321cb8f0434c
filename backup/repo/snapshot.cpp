// Snapshot records: their JSON form and the repository operations that
// write, list and delete them.
#include <algorithm>

#include "backup/repo/repo.h"
#include "foundation/codec.h"
#include "foundation/log.h"

namespace tarn::backup {
namespace {

constexpr size_t kShortName = 8;
// 2^64 as a double: counters at or above it saturate.
constexpr double kTwoTo64 = 18446744073709551616.0;

// Only JSON numbers count; a negative or non-finite one reads 0, as no
// conversion of it is defined.
uint64_t Counter(const vx::json::Value& v) {
  if (!v.isNumber()) return 0;
  double d = v.asDouble(0.0);
  if (!(d >= 0.0)) return 0;
  if (d >= kTwoTo64) return UINT64_MAX;
  return uint64_t(d);
}

}  // namespace

bool IsVersionOfJob(const SnapshotInfo& info, const std::string& jobId) {
  return info.job.empty() || info.job == jobId;
}

vx::json::Value SnapshotToJson(const SnapshotInfo& info) {
  vx::json::Value v = vx::json::Value::object();
  v.set("time", info.time);
  v.set("host", info.host);
  v.set("job", info.job);
  v.set("name", info.name);
  vx::json::Value sources = vx::json::Value::array();
  for (const std::string& s : info.sources) sources.append(s);
  v.set("sources", std::move(sources));
  v.set("tree", BlobIdToHex(info.tree));
  v.set("files", info.files);
  v.set("dirs", info.dirs);
  v.set("bytes", info.bytes);
  v.set("addedBytes", info.addedBytes);
  v.set("storedBytes", info.storedBytes);
  v.set("errors", info.errors);
  v.set("durationSec", info.durationSec);
  v.set("version", info.version);
  return v;
}

SnapshotInfo SnapshotFromJson(const vx::json::Value& v) {
  SnapshotInfo info;
  info.id = v["id"].asString();
  info.host = v["host"].asString();
  info.job = v["job"].asString();
  info.name = v["name"].asString();
  info.version = v["version"].asString();
  info.time = v["time"].asInt64(0);
  info.durationSec = v["durationSec"].asInt64(0);
  const vx::json::Value& sources = v["sources"];
  if (sources.isArray())
    for (size_t i = 0; i < sources.size(); ++i) info.sources.push_back(sources.at(i).asString());
  BlobId tree;
  if (ParseBlobId(v["tree"].asString(), tree)) info.tree = tree;
  info.files = Counter(v["files"]);
  info.dirs = Counter(v["dirs"]);
  info.bytes = Counter(v["bytes"]);
  info.addedBytes = Counter(v["addedBytes"]);
  info.storedBytes = Counter(v["storedBytes"]);
  info.errors = uint32_t(std::min<uint64_t>(Counter(v["errors"]), UINT32_MAX));
  return info;
}

Status Repo::writeSnapshot(SnapshotInfo& info) {
  // A record makes its blobs part of a version: only while the lock still
  // stands (a computer that slept may have lost it to a prune meanwhile).
  Status held = lockStatus();
  if (held.ok() && lockMode() != LockMode::kNone) held = refreshLock();
  if (!held.ok()) return held;
  info.version = kProgramVersion;
  std::string text = SnapshotToJson(info).dump();
  std::vector<uint8_t> sealed;
  if (!cipher.seal(reinterpret_cast<const uint8_t*>(text.data()), text.size(), kLabelSnapshot, sealed))
    return Status(Status::kIo, "encryption failed");
  std::vector<uint8_t> hash = ObjectHash(sealed.data(), sealed.size());
  info.id = vx::HexEncode(hash);
  return putObject("/snapshots/" + info.id, sealed);
}

Status Repo::listSnapshots(std::vector<SnapshotInfo>& out, std::vector<std::string>* damagedNames) {
  out.clear();
  if (damagedNames != nullptr) damagedNames->clear();
  std::vector<DirEntry> entries;
  Status st = listDir("/snapshots", entries);
  if (!st.ok()) return st;
  uint64_t damaged = 0;
  for (const DirEntry& entry : entries) {
    BlobId name;
    if (entry.attr.isDir() || !ParseBlobId(entry.name, name)) continue;
    std::vector<uint8_t> sealed, plain;
    st = getObject("/snapshots/" + entry.name, sealed);
    if (!st.ok()) return st;
    vx::json::Value json;
    if (!cipher.open(sealed.data(), sealed.size(), kLabelSnapshot, plain) ||
        !vx::json::Parse(std::string_view(reinterpret_cast<const char*>(plain.data()), plain.size()), json)) {
      vx::log::write(vx::log::kWarn, "backup: snapshot %s is damaged, skipped",
                     entry.name.substr(0, kShortName).c_str());
      ++damaged;
      if (damagedNames != nullptr) damagedNames->push_back(entry.name);
      continue;
    }
    SnapshotInfo info = SnapshotFromJson(json);
    info.id = entry.name;
    out.push_back(std::move(info));
  }
  std::sort(out.begin(), out.end(), [](const SnapshotInfo& a, const SnapshotInfo& b) {
    return a.time != b.time ? a.time < b.time : a.id < b.id;
  });
  damagedSnapshots = damaged;
  return Status();
}

Status Repo::deleteSnapshot(const std::string& id) { return removeObject("/snapshots/" + id); }

}  // namespace tarn::backup
