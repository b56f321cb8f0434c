// The entries of one remote folder, packed: one text holds every name and
// entity tag, one fixed-size record per entry holds the rest, and a hash
// index of record numbers finds a name. A folder of a million entries is
// then a few allocations rather than three per entry, and a copy is a few
// memcpy calls.
//
// A plain value, not synchronised. Shared listings are handed out as
// std::shared_ptr<const DirListing> and never change; whoever changes one
// copies it first unless it holds the only reference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/backend_types.h"

namespace tarn {

class DirListing {
 public:
  static constexpr size_t kNone = SIZE_MAX;

  DirListing() = default;
  // Later entries of a name already taken are dropped: a folder holds one
  // object per name.
  explicit DirListing(const std::vector<DirEntry>& entries);

  // Entries in the order they were added, removed ones included.
  size_t size() const { return records_.size(); }
  // Entries not removed.
  size_t count() const { return records_.size() - removedCount_; }
  bool removed(size_t i) const { return (records_[i].flags & kRemoved) != 0; }
  std::string_view name(size_t i) const;
  // The same name, ended by a NUL, for C interfaces.
  const char* nameText(size_t i) const { return text_.data() + records_[i].text; }
  bool isDir(size_t i) const { return records_[i].type == RemoteAttr::kDirectory; }
  RemoteAttr attr(size_t i) const;
  // The index of the entry of that name that is not removed; kNone when
  // there is none.
  size_t find(std::string_view name) const;

  // False, with nothing added, when an entry of that name is listed or the
  // text would pass what its offsets can address.
  bool add(std::string_view name, const RemoteAttr& attr);
  void setAttr(size_t i, const RemoteAttr& attr);
  void setSizeAndTime(size_t i, uint64_t size, const Timestamp& mtime);
  // The entry stays in its place, skipped by find, count and entries().
  void remove(size_t i);

  // What the listing holds on the heap, slack included.
  size_t bytes() const;
  void shrinkToFit();
  // The entries not removed, in order.
  std::vector<DirEntry> entries() const;

 private:
  static constexpr uint8_t kReadOnly = 1;
  static constexpr uint8_t kRemoved = 2;

  struct Record {
    uint64_t size;
    uint64_t fileId;
    int64_t seconds[3];  // modification, creation, access
    uint32_t nanoseconds[3];
    uint32_t mode;
    uint32_t text;  // offset of the name in text_; a NUL and the entity tag follow it
    uint32_t nameBytes;
    uint32_t etagBytes;
    uint8_t type;
    uint8_t flags;
  };

  // Stores the name and tag at the end of text_; false when offsets would
  // not reach them.
  bool appendText(std::string_view name, std::string_view etag, uint32_t& offset);
  static void setFields(Record& r, const RemoteAttr& attr);
  void indexInsert(uint32_t record);
  void rebuildIndex(size_t slots);

  std::string text_;
  std::vector<Record> records_;
  // Open addressing: record number + 1, 0 for a free slot; a power of two
  // at least twice the records, so that probes stay short.
  std::vector<uint32_t> index_;
  size_t removedCount_ = 0;
};

}  // namespace tarn
