#include "engine/dir_listing.h"

#include <algorithm>
#include <functional>
#include <limits>

namespace tarn {
namespace {

constexpr size_t kMinIndexSlots = 8;
constexpr uint64_t kMaxTextBytes = std::numeric_limits<uint32_t>::max();

size_t HashOf(std::string_view name) { return std::hash<std::string_view>()(name); }

}  // namespace

DirListing::DirListing(const std::vector<DirEntry>& entries) {
  records_.reserve(entries.size());
  size_t text = 0;
  for (const DirEntry& e : entries) text += e.name.size() + 1 + e.attr.etag.size();
  text_.reserve(text);
  size_t slots = kMinIndexSlots;
  while (slots < 2 * entries.size()) slots *= 2;
  rebuildIndex(slots);
  for (const DirEntry& e : entries) add(e.name, e.attr);
}

std::string_view DirListing::name(size_t i) const {
  const Record& r = records_[i];
  return std::string_view(text_).substr(r.text, r.nameBytes);
}

RemoteAttr DirListing::attr(size_t i) const {
  const Record& r = records_[i];
  RemoteAttr a;
  a.type = r.type;
  a.size = r.size;
  Timestamp* times[] = {&a.mtime, &a.ctime, &a.atime};
  for (size_t t = 0; t < 3; ++t) *times[t] = Timestamp{r.seconds[t], r.nanoseconds[t]};
  a.mode = r.mode;
  a.readOnly = (r.flags & kReadOnly) != 0;
  a.etag.assign(text_, r.text + r.nameBytes + 1, r.etagBytes);
  a.fileId = r.fileId;
  return a;
}

size_t DirListing::find(std::string_view name) const {
  if (index_.empty()) return kNone;
  const size_t mask = index_.size() - 1;
  for (size_t slot = HashOf(name) & mask;; slot = (slot + 1) & mask) {
    const uint32_t held = index_[slot];
    if (held == 0) return kNone;
    const size_t i = held - 1;
    if (!removed(i) && this->name(i) == name) return i;
  }
}

bool DirListing::appendText(std::string_view name, std::string_view etag, uint32_t& offset) {
  if (text_.size() + name.size() + 1 + etag.size() > kMaxTextBytes) return false;
  offset = static_cast<uint32_t>(text_.size());
  text_.append(name);
  text_.push_back('\0');
  text_.append(etag);
  return true;
}

void DirListing::setFields(Record& r, const RemoteAttr& attr) {
  r.size = attr.size;
  r.fileId = attr.fileId;
  const Timestamp* times[] = {&attr.mtime, &attr.ctime, &attr.atime};
  for (size_t t = 0; t < 3; ++t) {
    r.seconds[t] = times[t]->seconds;
    r.nanoseconds[t] = times[t]->nanoseconds;
  }
  r.mode = attr.mode;
  r.type = static_cast<uint8_t>(attr.type);
  r.flags = static_cast<uint8_t>((r.flags & ~kReadOnly) | (attr.readOnly ? kReadOnly : 0));
}

bool DirListing::add(std::string_view name, const RemoteAttr& attr) {
  if (find(name) != kNone || records_.size() >= std::numeric_limits<uint32_t>::max()) return false;
  Record r{};
  if (!appendText(name, attr.etag, r.text)) return false;
  r.nameBytes = static_cast<uint32_t>(name.size());
  r.etagBytes = static_cast<uint32_t>(attr.etag.size());
  setFields(r, attr);
  records_.push_back(r);
  if (2 * records_.size() > index_.size())
    rebuildIndex(std::max(kMinIndexSlots, 2 * index_.size()));
  else
    indexInsert(static_cast<uint32_t>(records_.size() - 1));
  return true;
}

void DirListing::setAttr(size_t i, const RemoteAttr& attr) {
  Record& r = records_[i];
  if (attr.etag.size() <= r.etagBytes) {
    text_.replace(r.text + r.nameBytes + 1, attr.etag.size(), attr.etag);
  } else {
    // A longer tag moves the entry's text to the end; the old bytes stay
    // unused until the listing is built anew.
    const std::string name(this->name(i));
    uint32_t offset = 0;
    if (!appendText(name, attr.etag, offset)) return;
    r.text = offset;
  }
  r.etagBytes = static_cast<uint32_t>(attr.etag.size());
  setFields(r, attr);
}

void DirListing::setSizeAndTime(size_t i, uint64_t size, const Timestamp& mtime) {
  Record& r = records_[i];
  r.size = size;
  r.seconds[0] = mtime.seconds;
  r.nanoseconds[0] = mtime.nanoseconds;
}

void DirListing::remove(size_t i) {
  if (removed(i)) return;
  records_[i].flags |= kRemoved;
  ++removedCount_;
}

size_t DirListing::bytes() const {
  return text_.capacity() + records_.capacity() * sizeof(Record) + index_.capacity() * sizeof(uint32_t);
}

void DirListing::shrinkToFit() {
  text_.shrink_to_fit();
  records_.shrink_to_fit();
}

std::vector<DirEntry> DirListing::entries() const {
  std::vector<DirEntry> out;
  out.reserve(count());
  for (size_t i = 0; i < records_.size(); ++i)
    if (!removed(i)) out.push_back(DirEntry{std::string(name(i)), attr(i)});
  return out;
}

void DirListing::indexInsert(uint32_t record) {
  const size_t mask = index_.size() - 1;
  size_t slot = HashOf(name(record)) & mask;
  while (index_[slot] != 0) slot = (slot + 1) & mask;
  index_[slot] = record + 1;
}

void DirListing::rebuildIndex(size_t slots) {
  index_.assign(slots, 0);
  for (size_t i = 0; i < records_.size(); ++i) indexInsert(static_cast<uint32_t>(i));
}

}  // namespace tarn
