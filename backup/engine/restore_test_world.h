// Test support for restores: a VersionBuilder writes a version straight
// through the repository (file contents cut into fixed-size blobs, one
// listing per folder, a snapshot record), so that restore tests need no
// backup run; BackUpFolder makes a version of a real folder with a backup run;
// and helpers that read a restored tree back. Test code only.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "backup/engine/backup_run.h"
#include "backup/engine/folder_walk.h"
#include "backup/repo/repo.h"

namespace tarn::backup {

// 2024-01-01 00:00:00 UTC plus a part of a second, in FILETIME units.
inline constexpr uint64_t kVersionTime = 133485408001234567ull;

class VersionBuilder {
 public:
  explicit VersionBuilder(Repo& repo, size_t blobSize = 4096) : repo_(repo), blobSize_(blobSize) {}

  // A file at `path` ("a/b/c.txt"); its folders are made as needed.
  void file(const std::string& path, const std::string& content, uint64_t mtime = kVersionTime,
            uint32_t attributes = kAttributeNormal) {
    Node& n = node(path);
    n.entry.isDir = false;
    n.entry.size = content.size();
    n.entry.mtime = mtime;
    n.entry.attributes = attributes;
    n.content = content;
  }
  void folder(const std::string& path) { node(path).entry.isDir = true; }
  // An entry written into the listing of `folder` as it is, after the
  // folder's other entries: for names no real tree could hold.
  void raw(const std::string& folder, const ListingEntry& entry) {
    Node& n = folder.empty() ? root_ : node(folder);
    n.raw.push_back(entry);
  }
  // The recorded source of a root entry.
  void source(const std::string& rootName, const std::string& src) { node(rootName).entry.src = src; }
  // The permission bits, and the owner and group, recorded for an item.
  void mode(const std::string& path, uint32_t bits) {
    Node& n = node(path);
    n.entry.hasMode = true;
    n.entry.mode = bits;
  }
  void owner(const std::string& path, uint32_t uid, uint32_t gid) {
    Node& n = node(path);
    n.entry.hasOwner = true;
    n.entry.uid = uid;
    n.entry.gid = gid;
  }

  // Stores everything, flushes and writes the snapshot record.
  SnapshotInfo write() {
    SnapshotInfo info;
    info.tree = store(root_);
    EXPECT_TRUE(repo_.flush().ok());
    EXPECT_TRUE(repo_.writeSnapshot(info).ok());
    return info;
  }
  // The blob ids a file's content is cut into.
  std::vector<BlobId> blobsOf(const std::string& path) { return node(path).entry.content; }

 private:
  struct Node {
    ListingEntry entry;
    std::string content;
    std::map<std::string, Node> children;
    std::vector<ListingEntry> raw;
  };

  // Cut by offsets: with the parts read by std::getline, g++ 12 at -O2 warns
  // that the returned node may be a local's address and the build stops.
  Node& node(const std::string& path) {
    Node* n = &root_;
    for (size_t start = 0; start < path.size();) {
      size_t end = std::min(path.find('/', start), path.size());
      std::string name = path.substr(start, end - start);
      n->entry.isDir = true;
      n = &n->children[name];
      n->entry.name = std::move(name);
      start = end + 1;
    }
    return *n;
  }

  BlobId store(Node& n) {
    std::vector<ListingEntry> entries;
    for (auto& [name, child] : n.children) {
      if (child.entry.isDir) {
        child.entry.tree = store(child);
      } else {
        child.entry.content.clear();
        for (size_t at = 0; at < child.content.size(); at += blobSize_) {
          std::string piece = child.content.substr(at, blobSize_);
          BlobId id;
          EXPECT_TRUE(repo_.storeBlob(kBlobData, piece.data(), piece.size(), id).ok());
          child.entry.content.push_back(id);
        }
      }
      entries.push_back(child.entry);
    }
    entries.insert(entries.end(), n.raw.begin(), n.raw.end());
    const std::string listing = WriteFolderListing(entries);
    BlobId id;
    EXPECT_TRUE(repo_.storeBlob(kBlobTree, listing.data(), listing.size(), id).ok());
    return id;
  }

  Repo& repo_;
  size_t blobSize_;
  Node root_;
};

// A version of the folder `source` made by a backup run.
inline SnapshotInfo BackUpFolder(Repo& repo, const std::string& source) {
  BackupRunArgs args;
  args.jobId = "restore-test";
  args.sources = {source};
  SnapshotInfo info;
  std::vector<std::string> problems;
  Status st = RunBackup(repo, args, nullptr, nullptr, info, problems);
  EXPECT_TRUE(st.ok()) << st.toString();
  EXPECT_TRUE(problems.empty()) << problems.front();
  return info;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteText(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Every path below `root` (relative, "/"-separated), links not followed.
inline std::vector<std::string> TreeOf(const std::string& root) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    out.push_back(it->path().lexically_relative(root).string());
  std::sort(out.begin(), out.end());
  return out;
}

inline struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

inline uint64_t FileTimeOf(const struct stat& st) {
  return Timestamp::fromTimespec(st.st_mtim.tv_sec, st.st_mtim.tv_nsec).toFileTime();
}

}  // namespace tarn::backup
