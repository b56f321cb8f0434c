// The file that keeps what a drive's metadata cache saw ("metadata.json" in
// the drive's cache folder): written at stop and by the maintenance pass,
// read at start, so that offline mode after a restart still knows the
// folders and files the user saw. It is a cache: a file that is missing,
// damaged or too large is ignored (and replaced by the next writing).
#pragma once

#include <string>

#include "engine/meta_cache.h"
#include "foundation/status.h"

namespace tarn {

inline constexpr const char* kMetaSeenFileName = "metadata.json";
// A file larger than this is not read.
inline constexpr uint64_t kMaxMetaSeenBytes = 256ull << 20;

std::string EncodeMetaSeen(const MetaSeen& seen);
// False (out untouched) for text that is not such a document; entries that
// are malformed are skipped.
bool DecodeMetaSeen(std::string_view text, MetaSeen& out);

}  // namespace tarn
