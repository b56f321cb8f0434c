#include "backends/ssh_nfs/ssh_key_wire.h"

namespace tarn {

bool SshWireReader::readU32(uint32_t& out) {
  std::span<const uint8_t> b;
  if (!readBytes(4, b)) return false;
  out = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | uint32_t(b[3]);
  return true;
}

bool SshWireReader::readBytes(size_t count, std::span<const uint8_t>& out) {
  if (failed_ || count > data_.size() - pos_) {
    failed_ = true;
    return false;
  }
  out = data_.subspan(pos_, count);
  pos_ += count;
  return true;
}

bool SshWireReader::readString(std::span<const uint8_t>& out) {
  uint32_t len = 0;
  return readU32(len) && readBytes(len, out);
}

bool SshWireReader::readString(std::string& out) {
  std::span<const uint8_t> b;
  if (!readString(b)) return false;
  out.assign(b.begin(), b.end());
  return true;
}

bool SshWireReader::readMpint(std::span<const uint8_t>& out) {
  std::span<const uint8_t> b;
  if (!readString(b)) return false;
  if (!b.empty() && (b[0] & 0x80) != 0) {
    failed_ = true;
    return false;
  }
  size_t skip = 0;
  while (skip < b.size() && b[skip] == 0) ++skip;
  out = b.subspan(skip);
  return true;
}

void SshWireWriter::u32(uint32_t value) {
  out_.push_back(uint8_t(value >> 24));
  out_.push_back(uint8_t(value >> 16));
  out_.push_back(uint8_t(value >> 8));
  out_.push_back(uint8_t(value));
}

void SshWireWriter::string(std::span<const uint8_t> bytes) {
  u32(uint32_t(bytes.size()));
  raw(bytes);
}

void SshWireWriter::string(std::string_view text) {
  string(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void SshWireWriter::mpint(std::span<const uint8_t> magnitude) {
  size_t skip = 0;
  while (skip < magnitude.size() && magnitude[skip] == 0) ++skip;
  magnitude = magnitude.subspan(skip);
  bool pad = !magnitude.empty() && (magnitude[0] & 0x80) != 0;
  u32(uint32_t(magnitude.size() + (pad ? 1 : 0)));
  if (pad) out_.push_back(0);
  raw(magnitude);
}

void SshWireWriter::raw(std::span<const uint8_t> bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }

}  // namespace tarn
