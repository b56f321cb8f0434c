// The file that keeps what a drive's metadata cache saw ("metadata.json" in
// the drive's cache folder): written at stop and by the maintenance pass,
// read at start, so that offline mode after a restart still knows the
// folders and files the user saw. It is a cache: a file that is missing,
// damaged or too large is ignored (and replaced by the next writing).
//
// One small JSON value a line, so that neither side ever holds more than a
// line besides the listings themselves: a first line {"metadata":2}, then
// ["a",path,attributes] for an attribute entry, and ["l",folder,count]
// (["u",...] for a listing kept only for its entries' attributes) followed
// by count lines [name,attributes]. Earlier versions wrote one document
// {"attrs":[[path,attributes]...],"listings":[[folder,[[name,attributes]...]]...]},
// which is still read when it is small.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engine/meta_cache.h"
#include "foundation/env.h"
#include "foundation/status.h"

namespace tarn {

inline constexpr const char* kMetaSeenFileName = "metadata.json";
// A file larger than this is not read.
inline constexpr uint64_t kMaxMetaSeenBytes = 1ull << 30;
// A single-document file of an earlier version is read whole, and only up
// to this size.
inline constexpr uint64_t kMaxOldMetaSeenBytes = 16ull << 20;
// A longer line is damage: it holds one name and its attributes.
inline constexpr size_t kMaxMetaSeenLineBytes = 1 << 20;

// Hands the text out in pieces of about 1 MiB; a false from `sink` stops
// the encoding, which then returns false.
bool EncodeMetaSeen(const MetaSeen& seen, const std::function<bool(std::string_view)>& sink);
std::string EncodeMetaSeen(const MetaSeen& seen);

// Reads the text piece by piece. Listings and attribute entries beyond the
// limits are left out, as the cache would drop them.
class MetaSeenDecoder {
 public:
  explicit MetaSeenDecoder(MetaCacheLimits limits = {});
  // False once the text is not such a document; the rest is not read then.
  bool feed(std::string_view piece);
  // False (out untouched) for text that is not such a document; entries
  // that are malformed are skipped, and a listing that is not whole is
  // left out whole.
  bool finish(MetaSeen& out);

 private:
  bool line(std::string_view text);
  void endListing();

  const MetaCacheLimits limits_;
  std::string pending_;  // the start of a line not yet ended
  bool skipping_ = false;  // the line under way is too long and dropped
  bool failed_ = false;
  bool first_ = true;   // the next line is the first
  bool oldForm_ = false;  // the first line was a whole document of an earlier version
  MetaSeen seen_;
  uint64_t listingBytes_ = 0;
  // The listing whose entries the next lines are.
  std::string folder_;
  std::shared_ptr<DirListing> listing_;
  bool listed_ = true;
  bool whole_ = true;
  uint64_t entriesLeft_ = 0;
};

bool DecodeMetaSeen(std::string_view text, MetaSeen& out);

// The file through the env: written through a temporary and a rename, read
// in pieces.
Status WriteMetaSeen(Env& env, const std::string& file, const MetaSeen& seen);
Status ReadMetaSeen(Env& env, const std::string& file, MetaSeen& out, MetaCacheLimits limits = {});

}  // namespace tarn
