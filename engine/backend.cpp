#include "engine/backend.h"

namespace tarn {

bool SameServerCopy(const RemoteAttr& copy, const RemoteAttr& now) {
  if (copy.type != now.type) return false;
  if (copy.fileId != 0 && now.fileId != 0) return copy.fileId == now.fileId;
  if (!copy.etag.empty() && !now.etag.empty()) return copy.etag == now.etag;
  return copy.size == now.size && copy.mtime == now.mtime;
}

Status IBackend::readCopy(const std::string& path, const RemoteAttr& copy, uint64_t offset, uint8_t* buffer,
                          uint64_t length, uint64_t& got) {
  got = 0;
  auto gone = [&] { return Status(Status::kConflict, "read " + path + ": the file was replaced on the server"); };
  // The copy must be there before the read and still after it: in between
  // the bytes cannot have come from another.
  RemoteAttr now;
  Status st = stat(path, now);
  if (st.code == Status::kNotFound) return gone();
  if (!st.ok()) return st;
  if (!SameServerCopy(copy, now)) return gone();
  st = readRange(path, offset, buffer, length, got);
  if (st.code == Status::kNotFound) st = gone();
  if (!st.ok()) {
    got = 0;
    return st;
  }
  st = stat(path, now);
  if (st.code == Status::kNotFound || (st.ok() && !SameServerCopy(copy, now))) st = gone();
  if (!st.ok()) got = 0;
  return st;
}

}  // namespace tarn
