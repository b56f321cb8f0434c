// The index: loading every index object into the in-memory index, writing a
// segment for newly uploaded packs, and rewriting the whole index after packs
// were retired.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "backup/repo/index_format.h"
#include "backup/repo/repo.h"
#include "foundation/log.h"

namespace tarn::backup {
namespace {

// A full index closes an object once it holds this many entries.
constexpr size_t kIndexObjectEntries = 200000;
constexpr size_t kShortName = 8;

std::string IndexPath(const BlobId& name) { return "/index/" + BlobIdToHex(name); }

}  // namespace

void Repo::setKnownDamage(const std::vector<BlobId>& damaged) {
  std::lock_guard<std::mutex> lock(queueMutex);
  knownDamage = BlobIdSet(damaged.begin(), damaged.end());
}

Status Repo::loadIndex() {
  std::vector<DirEntry> entries;
  Status st = listDir("/index", entries);
  if (!st.ok()) return st;
  // Listed after the index: a pack is uploaded before an index object names
  // it, so every pack the listed objects name is on storage by now, unless
  // it was lost.
  StoredData stored;
  st = listStored(stored, false);
  if (!st.ok()) return st;
  std::unordered_map<BlobId, uint32_t, BlobIdHash> positions;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    index.clear();
    packs.clear();
    indexObjects.clear();
    damagedIndexObjects.clear();
    indexDamageTexts.clear();
    packDamageTexts.clear();
    clearedDamage.clear();
  }
  {
    // Pack positions start afresh: no window of the old ones may be read.
    std::lock_guard<std::mutex> lock(readMutex);
    readWindows.clear();
  }
  const LockMode under = lockMode();
  indexReadUnder = LockMode::kNone;
  // Objects are downloaded and read without the lock (nothing else runs yet);
  // each one is applied under it.
  for (const DirEntry& entry : entries) {
    BlobId name;
    if (entry.attr.isDir() || !ParseBlobId(entry.name, name)) continue;
    std::vector<uint8_t> sealed, plain;
    st = getObject("/index/" + entry.name, sealed);
    if (!st.ok()) return st;
    std::vector<IndexPackRecord> records;
    IndexParse parsed = IndexParse::kDamaged;
    if (cipher.open(sealed.data(), sealed.size(), kLabelIndex, plain))
      parsed = ParseIndexObject(plain.data(), plain.size(), records);

    std::lock_guard<std::mutex> lock(queueMutex);
    if (parsed != IndexParse::kOk) {
      // One bad object must not make the whole repository unusable: what
      // it named is found again in the packs themselves.
      const std::string text = "index " + entry.name.substr(0, kShortName) +
                               (parsed == IndexParse::kCutShort ? " is cut short" : " is damaged") +
                               ": left out, its packs read from their headers until a prune writes the index anew";
      vx::log::write(vx::log::kWarn, "backup: %s", text.c_str());
      damagedIndexObjects.push_back(name);
      indexDamageTexts.push_back(text);
      continue;
    }
    for (const IndexPackRecord& r : records) {
      auto [it, added] = positions.emplace(r.id, uint32_t(packs.size()));
      if (added) {
        PackInfo info{r.id, r.length, false};
        auto listed = stored.packs.find(BlobIdToHex(r.id));
        info.missing = listed == stored.packs.end();
        info.damaged = !info.missing && (listed->second.size != r.length || damagedBeforeLocked(r.id));
        packs.push_back(info);
      }
      for (const PackEntry& e : r.entries)
        placeBlobLocked(e.id, BlobLocation{it->second, e.offset, e.storedLength, e.rawLength, e.type}, true);
    }
    indexObjects.push_back(name);
  }
  // Read-only work needs no grace period: whatever no index names yet is
  // read from the pack itself, young or old.
  st = adoptPacks(stored);
  if (!st.ok()) return st;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    // A lost or damaged pack whose every blob was stored again elsewhere
    // costs nothing any more; the next prune drops it from the index.
    std::vector<bool> holdsBlobs(packs.size(), false);
    for (const auto& [id, loc] : index)
      if (loc.pack < holdsBlobs.size()) holdsBlobs[loc.pack] = true;
    for (size_t i = 0; i < packs.size(); ++i) {
      const PackInfo& p = packs[i];
      if (!holdsBlobs[i]) continue;
      const std::string label = "pack " + BlobIdToHex(p.id).substr(0, kShortName);
      auto listed = stored.packs.find(BlobIdToHex(p.id));
      if (p.missing) {
        packDamageTexts.push_back(label + " is missing");
      } else if (listed->second.size != p.length) {
        packDamageTexts.push_back(label + " has " + std::to_string(listed->second.size) + " bytes instead of " +
                                  std::to_string(p.length));
      } else if (p.damaged) {
        packDamageTexts.push_back(label + " was found damaged before");
      }
    }
    for (const std::string& text : packDamageTexts) vx::log::write(vx::log::kWarn, "backup: %s", text.c_str());
    for (const BlobId& id : knownDamage)
      if (stored.packs.count(BlobIdToHex(id)) == 0) clearedDamage.push_back(id);
  }
  indexReadUnder = under;
  return Status();
}

std::vector<std::string> Repo::indexDamage() {
  std::lock_guard<std::mutex> lock(queueMutex);
  return indexDamageTexts;
}

std::vector<std::string> Repo::packDamage() {
  std::lock_guard<std::mutex> lock(queueMutex);
  return packDamageTexts;
}

std::vector<BlobId> Repo::damageFound() {
  std::lock_guard<std::mutex> lock(queueMutex);
  return foundDamage;
}

std::vector<BlobId> Repo::damageCleared() {
  std::lock_guard<std::mutex> lock(queueMutex);
  return clearedDamage;
}

bool Repo::damagedBeforeLocked(const BlobId& pack) const {
  return knownDamage.count(pack) != 0 || std::find(foundDamage.begin(), foundDamage.end(), pack) != foundDamage.end();
}

void Repo::noteDamaged(uint32_t pack) {
  std::lock_guard<std::mutex> lock(queueMutex);
  noteDamagedLocked(pack);
}

void Repo::noteDamaged(const BlobId& pack) {
  std::lock_guard<std::mutex> lock(queueMutex);
  for (uint32_t p = 0; p < packs.size(); ++p)
    if (packs[p].id == pack) noteDamagedLocked(p);
}

void Repo::noteDamagedLocked(uint32_t pack) {
  if (pack >= packs.size() || packs[pack].damaged) return;
  packs[pack].damaged = true;
  if (knownDamage.count(packs[pack].id) == 0) foundDamage.push_back(packs[pack].id);
}

void Repo::placeBlobLocked(const BlobId& id, const BlobLocation& loc, bool overwrite) {
  auto [it, added] = index.emplace(id, loc);
  if (added) return;
  auto holds = [&](uint32_t p) { return p < packs.size() && !packs[p].missing && !packs[p].damaged; };
  // A blob stored twice (stored again after a loss, or by two clients at
  // once) is read where it can be.
  if (holds(loc.pack) == holds(it->second.pack) ? overwrite : holds(loc.pack)) it->second = loc;
}

Status Repo::reloadIndexIfStale() {
  if (indexReadUnder == LockMode::kExclusive && lockMode() == LockMode::kExclusive) return Status();
  Status st = flush();
  if (!st.ok()) return st;
  return loadIndex();
}

Status Repo::readPackHeaderOf(const BlobId& id, uint64_t size, std::vector<PackEntry>& out) {
  out.clear();
  const std::string path = PackPath(id);
  const std::string label = "pack " + BlobIdToHex(id).substr(0, kShortName);
  if (size < kPackTrailerSize + kSealOverhead || size > kMaxPackBytes)
    return Status(Status::kProtocol, label + " is no pack (" + std::to_string(size) + " bytes)");
  std::vector<uint8_t> tail;
  Status st = getRange(path, size - kPackTrailerSize, kPackTrailerSize, tail);
  if (!st.ok()) return st;
  if (tail.size() != kPackTrailerSize) return Status(Status::kProtocol, label + " ends early");
  const uint64_t sealedLength = ReadU32LE(tail.data());
  const uint64_t beforeTrailer = size - kPackTrailerSize;
  if (sealedLength < kSealOverhead || sealedLength > beforeTrailer)
    return Status(Status::kProtocol, label + " has no header");
  std::vector<uint8_t> sealed, table;
  st = getRange(path, beforeTrailer - sealedLength, sealedLength, sealed);
  if (!st.ok()) return st;
  if (sealed.size() != sealedLength || !cipher.open(sealed.data(), sealed.size(), kLabelPack, table))
    return Status(Status::kProtocol, label + " has a header that does not open");
  return ParsePackHeaderTable(table.data(), table.size(), beforeTrailer - sealedLength, out);
}

Status Repo::adoptPacks(const StoredData& stored) {
  std::unordered_set<std::string> known;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    for (const PackInfo& p : packs) known.insert(BlobIdToHex(p.id));
  }
  for (const auto& [name, object] : stored.packs) {
    BlobId id;
    if (!ParseBlobId(name, id) || known.count(name) != 0) continue;
    if (IsCancelled(cancel)) return Status(Status::kCanceled, "");
    std::vector<PackEntry> entries;
    Status st = readPackHeaderOf(id, object.size, entries);
    if (st.retryable() || st.code == Status::kCanceled || st.code == Status::kAuthFailed) return st;
    if (!st.ok()) {
      vx::log::write(vx::log::kWarn, "backup: %s; no index names it", st.message.c_str());
      continue;
    }
    std::lock_guard<std::mutex> lock(queueMutex);
    const uint32_t position = uint32_t(packs.size());
    PackInfo info{id, uint32_t(object.size), false, std::max<int64_t>(object.mtime, 1)};
    info.damaged = damagedBeforeLocked(id);
    packs.push_back(info);
    // A location from an index stands unless its pack is lost; the header
    // only fills the gaps.
    for (const PackEntry& e : entries)
      placeBlobLocked(e.id, BlobLocation{position, e.offset, e.storedLength, e.rawLength, e.type}, false);
  }
  return Status();
}

Status Repo::adoptUnnamedPacks(uint64_t& adopted) {
  adopted = 0;
  Status st = reloadIndexIfStale();
  if (!st.ok()) return st;
  const int64_t youngSince = clockNow() - kUnnamedPackMinAgeSec;
  std::lock_guard<std::mutex> lock(queueMutex);
  for (const PackInfo& p : packs)
    if (!p.retired && p.unnamedSince != 0 && p.unnamedSince <= youngSince) ++adopted;
  return Status();
}

Status Repo::storeIndexObject(const std::vector<uint8_t>& plain, BlobId& name) {
  std::vector<uint8_t> sealed;
  if (!cipher.seal(plain.data(), plain.size(), kLabelIndex, sealed)) return Status(Status::kIo, "encryption failed");
  std::vector<uint8_t> hash = ObjectHash(sealed.data(), sealed.size());
  std::copy(hash.begin(), hash.end(), name.bytes.begin());
  return putObject(IndexPath(name), sealed);
}

Status Repo::writeIndexSegment(std::vector<QueuedPack> segment) {
  if (segment.empty()) return Status();
  std::vector<uint8_t> plain = IndexObjectStart();
  for (const QueuedPack& p : segment) AppendIndexPack(plain, p.id, p.length, p.entries);
  BlobId name;
  Status st = storeIndexObject(plain, name);
  if (!st.ok()) return st;
  std::lock_guard<std::mutex> lock(queueMutex);
  indexObjects.push_back(name);
  return Status();
}

Status Repo::writeIndex() {
  std::vector<PackInfo> known;
  std::vector<std::vector<PackEntry>> byPack;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    known = packs;
    byPack.resize(packs.size());
    for (const auto& [id, loc] : index)
      if (loc.pack < byPack.size())
        byPack[loc.pack].push_back(PackEntry{loc.type, id, loc.offset, loc.storedLength, loc.rawLength});
  }

  std::vector<BlobId> written;
  std::vector<uint8_t> object = IndexObjectStart();
  size_t objectEntries = 0;
  bool objectHasPacks = false;
  auto store = [&]() -> Status {
    BlobId name;
    Status st = storeIndexObject(object, name);
    if (!st.ok()) {
      // Objects stored before the failure name packs that a later cleanup
      // may delete: they stay ours to delete with the old ones.
      std::lock_guard<std::mutex> lock(queueMutex);
      indexObjects.insert(indexObjects.end(), written.begin(), written.end());
      return st;
    }
    written.push_back(name);
    object = IndexObjectStart();
    objectEntries = 0;
    objectHasPacks = false;
    return Status();
  };
  // A pack that no index named is named once it is old enough that no
  // writer which takes no lock can still be about to name it (until then
  // space reclamation must not count it as known), and a lost one never.
  const int64_t youngSince = clockNow() - kUnnamedPackMinAgeSec;
  for (size_t p = 0; p < known.size(); ++p) {
    if (known[p].retired || known[p].missing || known[p].unnamedSince > youngSince || byPack[p].empty()) continue;
    // Objects hold whole packs, so one may pass the limit by its last pack.
    if (objectEntries >= kIndexObjectEntries) {
      Status st = store();
      if (!st.ok()) return st;
    }
    AppendIndexPack(object, known[p].id, known[p].length, byPack[p]);
    objectEntries += byPack[p].size();
    objectHasPacks = true;
  }
  if (objectHasPacks) {
    Status st = store();
    if (!st.ok()) return st;
  }

  std::vector<BlobId> old;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    old.swap(indexObjects);
    indexObjects = written;
  }
  {
    // The new objects name everything the damaged ones could still tell.
    std::lock_guard<std::mutex> lock(queueMutex);
    old.insert(old.end(), damagedIndexObjects.begin(), damagedIndexObjects.end());
    damagedIndexObjects.clear();
  }
  for (size_t i = 0; i < old.size(); ++i) {
    if (std::find(written.begin(), written.end(), old[i]) != written.end()) continue;
    Status st = removeObject(IndexPath(old[i]));
    if (st.ok() || st.code == Status::kNotFound) continue;
    // The objects not yet deleted stay on storage and stay ours to delete,
    // so that the next rewrite removes them.
    std::lock_guard<std::mutex> lock(queueMutex);
    indexObjects.insert(indexObjects.end(), old.begin() + std::ptrdiff_t(i), old.end());
    return st;
  }
  return Status();
}

}  // namespace tarn::backup
