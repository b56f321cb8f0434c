// Feeds arbitrary bytes to the decoders that read server replies: the RPC
// reply header, then (by the first byte) a READDIRPLUS page, a MNT reply or
// a GETATTR result or a READDIR page. None may crash, read out of bounds or loop.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "backends/ssh_nfs/nfs_protocol.h"
#include "backends/ssh_nfs/onc_rpc.h"
#include "backends/ssh_nfs/xdr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const uint8_t selector = data[0];
  const uint8_t* msg = data + 1;
  const size_t length = size - 1;
  // Use the message's own xid so the decoder goes past the header.
  const uint32_t xid = (uint32_t{msg[0]} << 24) | (uint32_t{msg[1]} << 16) | (uint32_t{msg[2]} << 8) | msg[3];
  size_t at = 0;
  if (!tarn::ParseRpcReply(msg, length, xid, at).ok()) return 0;
  if (at > length) __builtin_trap();
  tarn::XdrReader r(msg + at, length - at);
  switch (selector % 4) {
    case 0: {
      std::vector<tarn::NfsDirEntryPlus> entries;
      uint8_t verf[tarn::kNfsVerifierSize];
      bool eof = false;
      r.getU32();
      tarn::DecodeReaddirplusPage(r, entries, verf, eof, 1u << 16);
      break;
    }
    case 1: {
      uint32_t status = 0;
      std::vector<uint8_t> fh;
      bool unixAllowed = false;
      tarn::DecodeMountReply(r, status, fh, unixAllowed);
      if (fh.size() > tarn::kNfsFhMax) __builtin_trap();
      break;
    }
    case 3: {
      std::vector<tarn::NfsDirEntryPlus> entries;
      uint8_t verf[tarn::kNfsVerifierSize];
      bool eof = false;
      r.getU32();
      tarn::DecodeReaddirPage(r, entries, verf, eof, 1u << 16);
      break;
    }
    default: {
      tarn::RemoteAttr attr;
      r.getU32();
      tarn::DecodeFattr3(r, attr);
      r.getString(tarn::kNfsNameMax);
      break;
    }
  }
  return 0;
}
