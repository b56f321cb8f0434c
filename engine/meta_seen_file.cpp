#include "engine/meta_seen_file.h"

#include <cstdint>
#include <memory>
#include <utility>

#include "foundation/json.h"

namespace tarn {
namespace {

// Pieces the text is handed out in.
constexpr size_t kPieceBytes = 1 << 20;
constexpr int kFormat = 2;
// A line holds a name and twelve fields; anything deeper is damage.
constexpr size_t kMaxLineValues = 64;

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

// The same array EncodeAttr makes, written straight into the text.
void AppendAttr(std::string& out, const RemoteAttr& attr) {
  out += '[';
  out += std::to_string(attr.type);
  out += ",\"";
  out += std::to_string(attr.size);
  out += '"';
  for (const Timestamp& t : {attr.mtime, attr.ctime, attr.atime}) {
    out += ',';
    out += std::to_string(t.seconds);
    out += ',';
    out += std::to_string(t.nanoseconds);
  }
  out += ',';
  out += std::to_string(attr.mode);
  out += attr.readOnly ? ",true," : ",false,";
  out += vx::json::EscapeString(attr.etag);
  out += ",\"";
  out += std::to_string(attr.fileId);
  out += "\"]";
}

// A [path, value] pair whose path is absolute.
const std::string* PathOf(const vx::json::Value& pair) {
  if (!pair.isArray() || pair.size() != 2 || !pair.at(0).isString() || !pair.at(0).string.starts_with('/'))
    return nullptr;
  return &pair.at(0).string;
}

// The single document of earlier versions.
void DecodeOldForm(const vx::json::Value& doc, MetaSeen& seen) {
  const vx::json::Value& attrs = doc["attrs"];
  for (size_t i = 0; attrs.isArray() && i < attrs.size(); ++i) {
    RemoteAttr attr;
    const std::string* path = PathOf(attrs.at(i));
    if (path != nullptr && DecodeAttr(attrs.at(i).at(1), attr)) seen.attrs.emplace_back(*path, attr);
  }
  const vx::json::Value& listings = doc["listings"];
  for (size_t i = 0; listings.isArray() && i < listings.size(); ++i) {
    const std::string* path = PathOf(listings.at(i));
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
    if (whole) seen.listings.emplace_back(*path, std::make_shared<DirListing>(entries));
  }
}

}  // namespace

bool EncodeMetaSeen(const MetaSeen& seen, const std::function<bool(std::string_view)>& sink) {
  std::string text;
  text.reserve(kPieceBytes + kPieceBytes / 4);
  auto pass = [&](bool last) {
    if (text.size() < kPieceBytes && !(last && !text.empty())) return true;
    const bool taken = sink(text);
    text.clear();
    return taken;
  };
  text += "{\"metadata\":" + std::to_string(kFormat) + "}\n";
  for (const auto& [path, attr] : seen.attrs) {
    text += "[\"a\",";
    text += vx::json::EscapeString(path);
    text += ',';
    AppendAttr(text, attr);
    text += "]\n";
    if (!pass(false)) return false;
  }
  for (bool listed : {true, false}) {
    for (const auto& [path, listing] : listed ? seen.listings : seen.unlisted) {
      text += listed ? "[\"l\"," : "[\"u\",";
      text += vx::json::EscapeString(path);
      text += ',';
      text += std::to_string(listing->count());
      text += "]\n";
      for (size_t i = 0; i < listing->size(); ++i) {
        if (listing->removed(i)) continue;
        text += '[';
        text += vx::json::EscapeString(listing->name(i));
        text += ',';
        AppendAttr(text, listing->attr(i));
        text += "]\n";
        if (!pass(false)) return false;
      }
    }
  }
  return pass(true);
}

std::string EncodeMetaSeen(const MetaSeen& seen) {
  std::string out;
  EncodeMetaSeen(seen, [&out](std::string_view piece) {
    out.append(piece);
    return true;
  });
  return out;
}

MetaSeenDecoder::MetaSeenDecoder(MetaCacheLimits limits) : limits_(limits) {}

bool MetaSeenDecoder::feed(std::string_view piece) {
  while (!failed_ && !piece.empty()) {
    const size_t end = piece.find('\n');
    const std::string_view part = piece.substr(0, end);
    const size_t limit = first_ ? kMaxOldMetaSeenBytes : kMaxMetaSeenLineBytes;
    if (!skipping_ && pending_.size() + part.size() > limit) {
      // Too long to be ours: a first line makes the whole text unreadable,
      // any other is one damaged entry.
      if (first_) failed_ = true;
      skipping_ = true;
      pending_.clear();
    }
    if (end == std::string_view::npos) {
      if (!skipping_) pending_.append(part);
      return !failed_;
    }
    if (skipping_) {
      skipping_ = false;
      line("");
    } else if (pending_.empty()) {
      line(part);
    } else {
      pending_.append(part);
      line(pending_);
      pending_.clear();
    }
    piece.remove_prefix(end + 1);
  }
  return !failed_;
}

bool MetaSeenDecoder::line(std::string_view text) {
  vx::json::Value v;
  const bool parsed = vx::json::Parse(text, v, {.maxValues = first_ ? SIZE_MAX : kMaxLineValues});
  if (first_) {
    first_ = false;
    if (!parsed || !v.isObject()) {
      failed_ = true;
      return false;
    }
    if (!v.has("metadata")) {
      oldForm_ = true;
      DecodeOldForm(v, seen_);
    } else if (v["metadata"].asInt64() != kFormat) {
      failed_ = true;  // a later version's form
    }
    return !failed_;
  }
  if (oldForm_) return true;
  const bool record = parsed && v.isArray() && v.size() == 3 && v.at(0).isString();
  if (listing_) {
    if (!record) {
      DirEntry entry;
      const bool good = parsed && v.isArray() && v.size() == 2 && v.at(0).isString() && !v.at(0).string.empty() &&
                        DecodeAttr(v.at(1), entry.attr);
      // A listing past one folder's budget would only be dropped.
      if (!good || listing_->bytes() > limits_.folderBytes) whole_ = false;
      if (whole_) listing_->add(v.at(0).string, entry.attr);
      if (--entriesLeft_ == 0) endListing();
      return true;
    }
    whole_ = false;  // cut short: the next record came before its entries
    endListing();
  }
  if (!record || !v.at(1).isString() || !v.at(1).string.starts_with('/')) return true;
  const std::string& kind = v.at(0).string;
  if (kind == "a") {
    RemoteAttr attr;
    if (seen_.attrs.size() < limits_.maxAttrs && DecodeAttr(v.at(2), attr)) seen_.attrs.emplace_back(v.at(1).string, attr);
  } else if ((kind == "l" || kind == "u") && v.at(2).isNumber() && v.at(2).asInt64(-1) >= 0) {
    folder_ = v.at(1).string;
    listed_ = kind == "l";
    listing_ = std::make_shared<DirListing>();
    whole_ = true;
    entriesLeft_ = static_cast<uint64_t>(v.at(2).asInt64());
    if (entriesLeft_ == 0) endListing();
  }
  return true;
}

void MetaSeenDecoder::endListing() {
  if (whole_ && entriesLeft_ == 0 && listingBytes_ + listing_->bytes() <= limits_.listingBytes) {
    listing_->shrinkToFit();
    listingBytes_ += listing_->bytes();
    (listed_ ? seen_.listings : seen_.unlisted).emplace_back(std::move(folder_), std::move(listing_));
  }
  listing_.reset();
  entriesLeft_ = 0;
}

bool MetaSeenDecoder::finish(MetaSeen& out) {
  if (!failed_ && (skipping_ || !pending_.empty())) {
    line(skipping_ ? std::string_view() : std::string_view(pending_));
    pending_.clear();
  }
  if (failed_ || first_) return false;
  if (listing_) {
    whole_ = false;
    endListing();
  }
  out = std::move(seen_);
  return true;
}

bool DecodeMetaSeen(std::string_view text, MetaSeen& out) {
  MetaSeenDecoder decoder;
  decoder.feed(text);
  return decoder.finish(out);
}

Status WriteMetaSeen(Env& env, const std::string& file, const MetaSeen& seen) {
  const std::string tmp = file + std::string(kEnvTempSuffix);
  std::unique_ptr<EnvFile> out;
  Status st = env.open(tmp, Env::OpenMode::kReplace, &out);
  if (!st.ok()) return st;
  uint64_t offset = 0;
  EncodeMetaSeen(seen, [&](std::string_view piece) {
    st = out->write(offset, piece.data(), piece.size());
    offset += piece.size();
    return st.ok();
  });
  Status closed = out->close();
  if (st.ok()) st = std::move(closed);
  // A cache: no sync, a power loss may take it back to an older one.
  if (st.ok()) st = env.rename(tmp, file);
  if (!st.ok()) (void)env.unlink(tmp);
  return st;
}

Status ReadMetaSeen(Env& env, const std::string& file, MetaSeen& out, MetaCacheLimits limits) {
  std::unique_ptr<EnvFile> in;
  Status st = env.open(file, Env::OpenMode::kRead, &in);
  if (!st.ok()) return st;
  uint64_t size = 0;
  st = in->size(&size);
  if (!st.ok()) return st;
  if (size > kMaxMetaSeenBytes)
    return Status(Status::kTooLarge, file + ": larger than " + std::to_string(kMaxMetaSeenBytes) + " bytes");
  MetaSeenDecoder decoder(limits);
  std::string piece(kPieceBytes, '\0');
  for (uint64_t offset = 0; offset < size;) {
    size_t got = 0;
    st = in->read(offset, piece.data(), piece.size(), &got);
    if (!st.ok()) return st;
    if (got == 0 || !decoder.feed(std::string_view(piece.data(), got))) break;
    offset += got;
  }
  if (!decoder.finish(out)) return Status(Status::kInvalid, file + ": not a metadata document");
  return Status();
}

}  // namespace tarn
