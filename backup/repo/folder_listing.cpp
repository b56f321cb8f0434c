#include "backup/repo/folder_listing.h"

#include <charconv>
#include <cmath>

#include "foundation/json.h"

namespace tarn::backup {
namespace {

constexpr std::string_view kOpening = "{\"v\":1,\"e\":[";
constexpr std::string_view kClosing = "]}";
// 2^64 as a double: sizes at or above it (or negative, or NaN) do not fit.
constexpr double kTwoTo64 = 18446744073709551616.0;

uint64_t ParseUnsigned(const std::string& text) {
  uint64_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return 0;
  return v;
}

// A string of digits is read exactly; anything else goes through a double
// like any JSON number. A negative, non-finite or too large size cannot be
// converted without undefined behaviour: such a listing is damaged.
bool ReadSize(const vx::json::Value& v, uint64_t& size) {
  if (v.isString()) {
    const std::string& t = v.string;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), size);
    if (ec == std::errc() && end == t.data() + t.size()) return true;
  }
  double d = v.asDouble(0.0);
  if (!(d >= 0.0 && d < kTwoTo64)) return false;
  size = uint64_t(d);
  return true;
}

}  // namespace

std::string WriteFolderListing(const std::vector<ListingEntry>& entries) {
  std::string out(kOpening);
  bool first = true;
  for (const ListingEntry& e : entries) {
    if (!first) out += ',';
    first = false;
    out += "{\"n\":";
    out += vx::json::EscapeString(e.name);
    if (e.isDir) {
      out += ",\"d\":1,\"t\":\"";
      out += BlobIdToHex(e.tree);
      out += '"';
    } else {
      out += ",\"s\":";
      out += std::to_string(e.size);
      out += ",\"c\":\"";
      out.reserve(out.size() + e.content.size() * kBlobIdHexSize + 64);
      for (const BlobId& id : e.content) out += BlobIdToHex(id);
      out += '"';
    }
    out += ",\"m\":\"";
    out += std::to_string(e.mtime);
    out += "\",\"a\":";
    out += std::to_string(e.attributes);
    if (e.hasMode) {
      out += ",\"p\":";
      out += std::to_string(e.mode & kListingModeBits);
    }
    if (e.hasOwner) {
      out += ",\"u\":";
      out += std::to_string(e.uid);
      out += ",\"g\":";
      out += std::to_string(e.gid);
    }
    if (!e.src.empty()) {
      out += ",\"src\":";
      out += vx::json::EscapeString(e.src);
    }
    out += '}';
  }
  out += kClosing;
  return out;
}

bool ParseFolderListing(std::string_view text, std::vector<ListingEntry>& out) {
  out.clear();
  vx::json::Value root;
  if (!vx::json::Parse(text, root)) return false;
  const vx::json::Value& items = root["e"];
  if (!items.isArray()) return false;
  out.reserve(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    const vx::json::Value& item = items.at(i);
    ListingEntry e;
    e.name = item["n"].asString();
    e.isDir = item["d"].asInt64(0) == 1;
    e.mtime = ParseUnsigned(item["m"].asString());
    e.attributes = uint32_t(uint64_t(item["a"].asInt64(0)));
    e.src = item["src"].asString();
    // Values out of range are taken as not recorded: a restore then gives
    // the item owner-only access, never more than was recorded.
    int64_t mode = 0, uid = 0, gid = 0;
    e.hasMode = item["p"].asWholeNumber(0, kListingModeBits, mode);
    e.mode = uint32_t(mode);
    e.hasOwner = item["u"].asWholeNumber(0, UINT32_MAX, uid) && item["g"].asWholeNumber(0, UINT32_MAX, gid);
    e.uid = e.hasOwner ? uint32_t(uid) : 0;
    e.gid = e.hasOwner ? uint32_t(gid) : 0;
    if (e.isDir) {
      if (!ParseBlobId(item["t"].asString(), e.tree)) return false;
    } else {
      if (!ReadSize(item["s"], e.size)) return false;
      std::string c = item["c"].asString();
      if (c.size() % kBlobIdHexSize != 0) return false;
      e.content.resize(c.size() / kBlobIdHexSize);
      for (size_t k = 0; k < e.content.size(); ++k) {
        if (!ParseBlobId(std::string_view(c).substr(k * kBlobIdHexSize, kBlobIdHexSize), e.content[k]))
          return false;
      }
    }
    out.push_back(std::move(e));
  }
  return true;
}

}  // namespace tarn::backup
