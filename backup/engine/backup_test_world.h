// Test support for the backup engine's own tests: local source trees in a
// temporary folder and backups of them into a repository on the in-memory
// server (RepoWorld), with helpers that read a snapshot back whole. Test code
// only.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "backup/engine/backup_run.h"
#include "backup/repo/repo_test_world.h"
#include "testing/temp_dir.h"

namespace tarn::backup {

// Random bytes as file content.
inline std::string RandomString(size_t size, uint32_t seed) {
  std::vector<uint8_t> v = RandomBlob(size, seed);
  return std::string(v.begin(), v.end());
}

// Small chunks, so that modest files span several blobs.
inline constexpr ChunkerParams kTestChunks{16384, 32768, 65536, 7};

struct BackupWorld {
  RepoWorld repoWorld;
  test::TempDir dir{"tarn-backup", 0755};
  const std::string src = dir.file("src");
  const std::string state = dir.file("state");

  BackupWorld() { std::filesystem::create_directories(src); }

  std::string write(const std::string& relative, const std::string& data) {
    std::string path = src + "/" + relative;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
    return path;
  }

  // A repository with small chunks (the chunker parameters are set before
  // the first backup, as opening would have read them).
  std::shared_ptr<Repo> create() {
    auto repo = repoWorld.create();
    repo->chunkerParams = kTestChunks;
    return repo;
  }
  std::shared_ptr<Repo> reopen() {
    auto repo = repoWorld.reopen();
    repo->chunkerParams = kTestChunks;
    return repo;
  }

  BackupRunArgs args(const std::string& job = "job1", std::vector<std::string> sources = {}) const {
    BackupRunArgs a;
    a.jobId = job;
    a.jobName = "Job " + job;
    a.sources = sources.empty() ? std::vector<std::string>{src} : std::move(sources);
    a.stateDir = state + "/" + job;
    return a;
  }

  struct Result {
    Status status;
    SnapshotInfo snapshot;
    std::vector<std::string> problems;
    uint64_t bytesRead = 0, errors = 0, skipped = 0, files = 0, bytes = 0;
  };
  Result backup(Repo& repo, const BackupRunArgs& a, const CancelToken* cancel = nullptr) {
    Result r;
    Progress progress;
    r.status = RunBackup(repo, a, &progress, cancel, r.snapshot, r.problems);
    r.bytesRead = progress.bytesRead;
    r.errors = progress.errors;
    r.skipped = progress.skipped;
    r.files = progress.files;
    r.bytes = progress.bytes;
    return r;
  }
};

// Every file of a snapshot, by path below the root listing, with its content
// read back from the repository; folders map to "/".
inline std::map<std::string, std::string> ReadSnapshot(Repo& repo, const BlobId& tree, const std::string& prefix = "") {
  std::map<std::string, std::string> out;
  std::vector<uint8_t> bytes;
  Status st = repo.readBlob(tree, bytes);
  EXPECT_TRUE(st.ok()) << st.toString();
  std::vector<ListingEntry> entries;
  EXPECT_TRUE(ParseFolderListing(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), entries));
  for (const ListingEntry& e : entries) {
    const std::string path = prefix + "/" + e.name;
    if (e.isDir) {
      out[path] = "/";
      for (auto& [p, c] : ReadSnapshot(repo, e.tree, path)) out[p] = c;
      continue;
    }
    std::string content;
    for (const BlobId& id : e.content) {
      st = repo.readBlob(id, bytes);
      EXPECT_TRUE(st.ok()) << path << ": " << st.toString();
      content.append(bytes.begin(), bytes.end());
    }
    EXPECT_EQ(content.size(), e.size) << path;
    out[path] = content;
  }
  return out;
}

// Compares two trees as ReadSnapshot gives them, naming only the paths that
// differ (contents may be large).
inline void ExpectSameTree(const std::map<std::string, std::string>& actual,
                           const std::map<std::string, std::string>& expected) {
  for (const auto& [path, content] : expected) {
    auto it = actual.find(path);
    if (it == actual.end())
      ADD_FAILURE() << path << " is missing";
    else if (it->second != content)
      ADD_FAILURE() << path << " differs: " << it->second.size() << " bytes instead of " << content.size();
  }
  for (const auto& [path, content] : actual)
    if (expected.count(path) == 0) ADD_FAILURE() << path << " is not expected";
}

}  // namespace tarn::backup
