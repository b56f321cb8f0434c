#include "engine/meta_seen_file.h"

#include <cstdint>

#include "foundation/json.h"

namespace tarn {
namespace {

// JSON numbers are doubles: times go as seconds and nanoseconds, sizes and
// file ids (any 64 bits) as decimal text.
enum AttrField : size_t {
  kType, kSize, kMtimeSec, kMtimeNs, kCtimeSec, kCtimeNs, kAtimeSec, kAtimeNs, kMode, kReadOnly, kEtag, kFileId,
  kFieldCount
};

// Digits only, within 64 bits.
bool ParseDecimal(const std::string& text, uint64_t& out) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  out = value;
  return true;
}

vx::json::Value EncodeAttr(const RemoteAttr& attr) {
  vx::json::Value out = vx::json::Value::array();
  out.append(attr.type);
  out.append(std::to_string(attr.size));
  for (const Timestamp& t : {attr.mtime, attr.ctime, attr.atime}) {
    out.append(t.seconds);
    out.append(t.nanoseconds);
  }
  out.append(attr.mode);
  out.append(attr.readOnly);
  out.append(attr.etag);
  out.append(std::to_string(attr.fileId));
  return out;
}

bool DecodeAttr(const vx::json::Value& in, RemoteAttr& attr) {
  if (!in.isArray() || in.size() != kFieldCount) return false;
  for (size_t i : {kSize, kEtag, kFileId})
    if (!in.at(i).isString()) return false;
  uint64_t size = 0;
  if (!ParseDecimal(in.at(kSize).string, size) || !ParseDecimal(in.at(kFileId).string, attr.fileId)) return false;
  for (size_t i : {kMtimeSec, kCtimeSec, kAtimeSec})
    if (!in.at(i).isNumber()) return false;  // before 1970 is a time too
  for (size_t i : {kType, kMtimeNs, kCtimeNs, kAtimeNs, kMode})
    if (!in.at(i).isNumber() || in.at(i).asInt64() < 0) return false;
  attr.type = static_cast<uint32_t>(in.at(kType).asInt64());
  if (attr.type > RemoteAttr::kOther) return false;
  attr.size = size;
  Timestamp* times[] = {&attr.mtime, &attr.ctime, &attr.atime};
  for (size_t t = 0; t < 3; ++t) {
    times[t]->seconds = in.at(kMtimeSec + 2 * t).asInt64();
    const int64_t ns = in.at(kMtimeNs + 2 * t).asInt64();
    if (ns >= 1000000000) return false;
    times[t]->nanoseconds = static_cast<uint32_t>(ns);
  }
  attr.mode = static_cast<uint32_t>(in.at(kMode).asInt64());
  attr.readOnly = in.at(kReadOnly).asBool(false);
  attr.etag = in.at(kEtag).string;
  return true;
}

}  // namespace

// Arrays of [path, value] pairs rather than objects: members are set one by
// one, each after a search of those before it.
std::string EncodeMetaSeen(const MetaSeen& seen) {
  vx::json::Value attrs = vx::json::Value::array();
  for (const auto& [path, attr] : seen.attrs) {
    vx::json::Value pair = vx::json::Value::array();
    pair.append(path);
    pair.append(EncodeAttr(attr));
    attrs.append(std::move(pair));
  }
  vx::json::Value listings = vx::json::Value::array();
  for (const auto& [path, entries] : seen.listings) {
    vx::json::Value items = vx::json::Value::array();
    for (const DirEntry& entry : entries) {
      vx::json::Value item = vx::json::Value::array();
      item.append(entry.name);
      item.append(EncodeAttr(entry.attr));
      items.append(std::move(item));
    }
    vx::json::Value pair = vx::json::Value::array();
    pair.append(path);
    pair.append(std::move(items));
    listings.append(std::move(pair));
  }
  vx::json::Value doc = vx::json::Value::object();
  doc.set("attrs", std::move(attrs));
  doc.set("listings", std::move(listings));
  return doc.dump();
}

bool DecodeMetaSeen(std::string_view text, MetaSeen& out) {
  vx::json::Value doc;
  if (!vx::json::Parse(text, doc) || !doc.isObject()) return false;
  // A [path, value] pair whose path is absolute.
  auto pathOf = [](const vx::json::Value& pair) -> const std::string* {
    if (!pair.isArray() || pair.size() != 2 || !pair.at(0).isString() || !pair.at(0).string.starts_with('/'))
      return nullptr;
    return &pair.at(0).string;
  };
  MetaSeen seen;
  const vx::json::Value& attrs = doc["attrs"];
  for (size_t i = 0; attrs.isArray() && i < attrs.size(); ++i) {
    RemoteAttr attr;
    const std::string* path = pathOf(attrs.at(i));
    if (path != nullptr && DecodeAttr(attrs.at(i).at(1), attr)) seen.attrs.emplace_back(*path, attr);
  }
  const vx::json::Value& listings = doc["listings"];
  for (size_t i = 0; listings.isArray() && i < listings.size(); ++i) {
    const std::string* path = pathOf(listings.at(i));
    if (path == nullptr || !listings.at(i).at(1).isArray()) continue;
    const vx::json::Value& items = listings.at(i).at(1);
    std::vector<DirEntry> entries;
    bool whole = true;
    for (size_t e = 0; e < items.size() && whole; ++e) {
      const vx::json::Value& item = items.at(e);
      DirEntry entry;
      whole = item.isArray() && item.size() == 2 && item.at(0).isString() && !item.at(0).string.empty() &&
              DecodeAttr(item.at(1), entry.attr);
      if (whole) {
        entry.name = item.at(0).string;
        entries.push_back(std::move(entry));
      }
    }
    // Half a listing would show a folder without some of its files.
    if (whole) seen.listings.emplace_back(*path, std::move(entries));
  }
  out = std::move(seen);
  return true;
}

}  // namespace tarn
