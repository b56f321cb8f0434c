// The repository's half of a check: the packs the index knows against the
// pack objects on storage, and, when asked, every pack downloaded and
// verified against its name with every indexed blob opened.
#include <algorithm>

#include "backup/repo/repo.h"

namespace tarn::backup {
namespace {

constexpr size_t kProblemHex = 12;

std::string Short12(const BlobId& id) { return BlobIdToHex(id).substr(0, kProblemHex); }

}  // namespace

Status Repo::checkPack(bool readData, CheckReport& report, const CheckProgress& progress) {
  std::unordered_map<std::string, uint64_t> stored;
  Status st = listPacks(stored);
  if (!st.ok()) return st;

  std::vector<PackInfo> known;
  std::vector<std::vector<std::pair<BlobId, BlobLocation>>> byPack;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    known = packs;
    byPack.resize(packs.size());
    for (const auto& [id, loc] : index)
      if (loc.pack < byPack.size()) byPack[loc.pack].emplace_back(id, loc);
    report.blobs = index.size();
  }
  uint64_t total = 0;
  for (const PackInfo& p : known)
    if (!p.retired) total += p.length;

  uint64_t verified = 0;
  for (size_t p = 0; p < known.size(); ++p) {
    const PackInfo& pack = known[p];
    if (pack.retired) continue;
    if (IsCancelled(cancel)) return Status(Status::kCanceled, "");
    ++report.packs;
    report.bytes += pack.length;
    const std::string name = BlobIdToHex(pack.id);
    const std::string label = "pack " + Short12(pack.id);
    auto listed = stored.find(name);
    if (listed == stored.end()) {
      report.problems.push_back(label + " is missing");
      continue;
    }
    uint64_t size = listed->second;
    stored.erase(listed);
    if (size != pack.length) {
      report.problems.push_back(label + " has " + std::to_string(size) + " bytes instead of " +
                                std::to_string(pack.length));
      continue;
    }
    if (!readData) continue;
    std::vector<uint8_t> bytes;
    st = getObject(PackPath(pack.id), bytes);
    if (st.code == Status::kCanceled) return st;
    if (!st.ok()) {
      report.problems.push_back(label + " cannot be read: " + st.toString());
      continue;
    }
    ++report.packsRead;
    std::vector<uint8_t> hash = ObjectHash(bytes.data(), bytes.size());
    if (!std::equal(hash.begin(), hash.end(), pack.id.bytes.begin())) {
      report.problems.push_back(label + " is damaged (hash mismatch)");
      continue;
    }
    std::vector<uint8_t> opened;
    for (const auto& [id, loc] : byPack[p]) {
      bool inside = uint64_t(loc.offset) + loc.storedLength <= bytes.size();
      if (!inside || !cipher.open(bytes.data() + loc.offset, loc.storedLength, kLabelBlob, opened))
        report.problems.push_back("blob " + Short12(id) + " in " + label + " does not decrypt");
    }
    verified += pack.length;
    if (progress) progress(verified, total);
  }
  for (const auto& [name, size] : stored) {
    BlobId id;
    if (ParseBlobId(name, id)) ++report.unindexedPacks;
  }
  return Status();
}

}  // namespace tarn::backup
