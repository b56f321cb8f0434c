// The repository's half of a check: the packs the index knows against the
// pack objects on storage, and, when asked, every pack downloaded and
// verified against its name with every indexed blob opened, several packs at
// a time with their findings reported in pack order.
#include <algorithm>

#include "backup/repo/repo.h"

namespace tarn::backup {
namespace {

constexpr size_t kProblemHex = 12;

std::string Short12(const BlobId& id) { return BlobIdToHex(id).substr(0, kProblemHex); }

}  // namespace

// What reading one pack found.
struct Repo::PackVerdict {
  Status status;  // only a cancellation; other failures are problems
  bool read = false;
  bool matched = false;  // the content hashes to the pack's name
  bool damaged = false;  // its content does not match, or a blob does not open
  std::vector<std::string> problems;
};

// Downloads and verifies the packs to read on threads of their own, one
// connection each, so that the check is bound by the link rather than by one
// download at a time. Each thread holds one pack at a time; verdicts keep
// only problem texts until the check takes them in order.
class Repo::PackReader {
 public:
  PackReader(Repo& repo, const std::vector<PackInfo>& known,
             const std::vector<std::vector<std::pair<BlobId, BlobLocation>>>& byPack, const std::vector<size_t>& toRead)
      : repo_(repo), known_(known), byPack_(byPack), toRead_(toRead), verdicts_(toRead.size()),
        done_(toRead.size(), false) {
    size_t threads = std::min(toRead.size(), repo.pool.size());
    for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { run(); });
  }
  ~PackReader() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stop_ = true;
    }
    for (std::thread& t : threads_) t.join();
  }

  // The verdict of the i-th pack to read, waiting for it.
  PackVerdict take(size_t i) {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [&] { return done_[i]; });
    return std::move(verdicts_[i]);
  }

 private:
  void run() {
    std::vector<uint8_t> bytes, opened;
    for (;;) {
      size_t i;
      {
        std::lock_guard<std::mutex> lock(mu_);
        if (stop_ || next_ == toRead_.size()) return;
        i = next_++;
      }
      PackVerdict verdict = read(toRead_[i], bytes, opened);
      std::lock_guard<std::mutex> lock(mu_);
      verdicts_[i] = std::move(verdict);
      done_[i] = true;
      cv_.notify_all();
    }
  }

  PackVerdict read(size_t p, std::vector<uint8_t>& bytes, std::vector<uint8_t>& opened) {
    PackVerdict v;
    const PackInfo& pack = known_[p];
    const std::string label = "pack " + Short12(pack.id);
    Status st = repo_.getObject(PackPath(pack.id), bytes);
    if (st.code == Status::kCanceled) {
      v.status = st;
      return v;
    }
    if (!st.ok()) {
      v.problems.push_back(label + " cannot be read: " + st.toString());
      return v;
    }
    v.read = true;
    std::vector<uint8_t> hash = ObjectHash(bytes.data(), bytes.size());
    if (!std::equal(hash.begin(), hash.end(), pack.id.bytes.begin())) {
      v.problems.push_back(label + " is damaged (hash mismatch)");
      v.damaged = true;
      return v;
    }
    for (const auto& [id, loc] : byPack_[p]) {
      bool inside = uint64_t(loc.offset) + loc.storedLength <= bytes.size();
      if (!inside || !repo_.cipher.open(bytes.data() + loc.offset, loc.storedLength, kLabelBlob, opened)) {
        v.problems.push_back("blob " + Short12(id) + " in " + label + " does not decrypt");
        v.damaged = true;
      }
    }
    v.matched = true;
    return v;
  }

  Repo& repo_;
  const std::vector<PackInfo>& known_;
  const std::vector<std::vector<std::pair<BlobId, BlobLocation>>>& byPack_;
  const std::vector<size_t>& toRead_;
  std::mutex mu_;
  std::condition_variable cv_;           // a verdict is done
  std::vector<PackVerdict> verdicts_;    // guarded by mu_
  std::vector<bool> done_;               // guarded by mu_
  size_t next_ = 0;                      // guarded by mu_
  bool stop_ = false;                    // guarded by mu_
  std::vector<std::thread> threads_;
};

Status Repo::checkPack(bool readData, CheckReport& report, const CheckProgress& progress) {
  StoredData storedData;
  Status st = listStored(storedData, true);
  if (!st.ok()) return st;
  std::unordered_map<std::string, StoredObject>& stored = storedData.packs;
  for (const auto& [path, object] : storedData.temporaries) {
    ++report.temporaries;
    report.temporaryBytes += object.size;
  }

  std::vector<PackInfo> known;
  std::vector<std::vector<std::pair<BlobId, BlobLocation>>> byPack;
  BlobIdSet damagedBefore;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    known = packs;
    damagedBefore = knownDamage;
    byPack.resize(packs.size());
    for (const auto& [id, loc] : index)
      if (loc.pack < byPack.size()) byPack[loc.pack].emplace_back(id, loc);
    report.blobs = index.size();
  }
  uint64_t total = 0;
  for (const PackInfo& p : known)
    if (!p.retired) total += p.length;

  // The listing decides first which packs are worth downloading; the reads
  // then run side by side while their verdicts are taken in pack order.
  std::vector<std::vector<std::string>> listingProblems(known.size());
  std::vector<size_t> toRead;
  for (size_t p = 0; p < known.size(); ++p) {
    const PackInfo& pack = known[p];
    if (pack.retired) continue;
    const std::string label = "pack " + Short12(pack.id);
    auto listed = stored.find(BlobIdToHex(pack.id));
    if (listed == stored.end()) {
      listingProblems[p].push_back(label + " is missing");
      continue;
    }
    uint64_t size = listed->second.size;
    stored.erase(listed);
    // A pack that no index names is on storage all the same; the next
    // prune names it.
    if (pack.unnamedSince != 0) {
      ++report.unindexedPacks;
      report.unindexedBytes += size;
    }
    if (size != pack.length) {
      listingProblems[p].push_back(label + " has " + std::to_string(size) + " bytes instead of " +
                                   std::to_string(pack.length));
      continue;
    }
    if (readData)
      toRead.push_back(p);
    else if (damagedBefore.count(pack.id) != 0)
      listingProblems[p].push_back(label + " was found damaged before; a check that reads the data tells more");
  }

  PackReader reader(*this, known, byPack, toRead);
  size_t nextRead = 0;
  uint64_t verified = 0;
  for (size_t p = 0; p < known.size(); ++p) {
    const PackInfo& pack = known[p];
    if (pack.retired) continue;
    if (IsCancelled(cancel)) return Status(Status::kCanceled, "");
    ++report.packs;
    report.bytes += pack.length;
    // A lost or damaged pack whose every blob was stored again elsewhere
    // holds nothing that counts (the next prune drops it); a read still
    // clears what was known of it.
    const bool counts = !byPack[p].empty();
    if (counts)
      for (std::string& problem : listingProblems[p]) report.problems.push_back(std::move(problem));
    if (nextRead == toRead.size() || toRead[nextRead] != p) continue;
    PackVerdict verdict = reader.take(nextRead++);
    if (verdict.status.code == Status::kCanceled) return verdict.status;
    if (verdict.read) ++report.packsRead;
    {
      // What the reads find decides what the snapshot walk counts as held.
      std::lock_guard<std::mutex> lock(queueMutex);
      if (verdict.damaged) {
        noteDamagedLocked(uint32_t(p));
      } else if (verdict.matched && verdict.problems.empty() && packs[p].damaged) {
        packs[p].damaged = false;
        clearedDamage.push_back(pack.id);
        std::erase(foundDamage, pack.id);
      }
    }
    if (counts)
      for (std::string& problem : verdict.problems) report.problems.push_back(std::move(problem));
    if (!verdict.matched) continue;
    verified += pack.length;
    if (progress) progress(verified, total);
  }
  for (const auto& [name, object] : stored) {
    BlobId id;
    if (!ParseBlobId(name, id)) continue;
    ++report.unindexedPacks;
    report.unindexedBytes += object.size;
  }
  return Status();
}

}  // namespace tarn::backup
