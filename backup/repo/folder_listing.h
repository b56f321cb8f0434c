// Folder listings: the stored form of one folder of a backup version, one
// compact JSON document per folder, kept as a tree blob. The writer's output
// is fixed to the byte so that an unchanged folder gives the same text and
// therefore the same blob id; the reader accepts any valid JSON of the same
// shape. Reentrant free functions; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "backup/repo/blob_id.h"

namespace tarn::backup {

struct ListingEntry {
  std::string name;  // UTF-8
  bool isDir = false;
  uint64_t size = 0;        // files only
  uint64_t mtime = 0;       // FILETIME units; folders store 0
  uint32_t attributes = 0;  // Windows file attributes
  std::vector<BlobId> content;  // files: data chunks in file order
  BlobId tree;                  // folders: the sub-folder's listing
  std::string src;              // root entries only: the source's full local path
  // Permission bits (st_mode & 07777), and the owner and group by number.
  // Versions made before they were recorded have none; readers that do not
  // know them pass over their members.
  bool hasMode = false;
  uint32_t mode = 0;
  bool hasOwner = false;
  uint32_t uid = 0;
  uint32_t gid = 0;
};

// The permission bits a listing can record.
constexpr uint32_t kListingModeBits = 07777;

std::string WriteFolderListing(const std::vector<ListingEntry>& entries);

// False when the text is not a listing; `out` then holds the entries read
// before the offending one, which callers discard.
bool ParseFolderListing(std::string_view text, std::vector<ListingEntry>& out);

}  // namespace tarn::backup
