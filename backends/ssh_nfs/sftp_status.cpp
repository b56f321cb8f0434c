#include "backends/ssh_nfs/sftp_status.h"

#include <libssh2.h>
#include <libssh2_sftp.h>

#include <array>

namespace tarn {
namespace {

struct FxEntry {
  uint32_t fx;
  int32_t code;
  const char* name;
};

// Numbers above 8 come from protocol versions after 3; servers speaking
// version 3 report most failures as "failure" (4) and the caller looks.
constexpr std::array<FxEntry, 25> kFxTable = {{
    {0, Status::kOk, "ok"},
    {1, Status::kIo, "end of file"},
    {2, Status::kNotFound, "no such file"},
    {3, Status::kAccessDenied, "permission denied"},
    {4, Status::kIo, "failure"},
    {5, Status::kInvalid, "bad message"},
    {6, Status::kNetwork, "no connection"},
    {7, Status::kNetwork, "connection lost"},
    {8, Status::kUnsupported, "operation unsupported"},
    {9, Status::kInvalid, "invalid handle"},
    {10, Status::kNotFound, "no such path"},
    {11, Status::kExists, "file already exists"},
    {12, Status::kAccessDenied, "write protect"},
    {13, Status::kIo, "no media"},
    {14, Status::kNoSpace, "no space on file system"},
    {15, Status::kNoSpace, "quota exceeded"},
    {16, Status::kInvalid, "unknown principal"},
    {17, Status::kBusy, "lock conflict"},
    {18, Status::kNotEmpty, "directory not empty"},
    {19, Status::kNotDirectory, "not a directory"},
    {20, Status::kInvalid, "invalid filename"},
    {21, Status::kInvalid, "link loop"},
    {22, Status::kAccessDenied, "cannot delete"},
    {23, Status::kInvalid, "invalid parameter"},
    {24, Status::kIsDirectory, "file is a directory"},
}};

}  // namespace

const char* SftpStatusName(uint32_t fxCode) {
  for (const auto& e : kFxTable)
    if (e.fx == fxCode) return e.name;
  return "unknown status";
}

Status SftpStatusError(const std::string& step, uint32_t fxCode) {
  int32_t code = Status::kProtocol;
  for (const auto& e : kFxTable)
    if (e.fx == fxCode) code = e.code;
  if (code == Status::kOk) code = Status::kProtocol;  // an error path that carries "ok" is a protocol fault
  return Status(code, step + ": sftp error " + std::to_string(fxCode) + " (" + SftpStatusName(fxCode) + ")",
                int32_t(fxCode));
}

bool SshErrorBreaksConnection(int rc) {
  switch (rc) {
    case LIBSSH2_ERROR_SOCKET_NONE:
    case LIBSSH2_ERROR_BANNER_RECV:
    case LIBSSH2_ERROR_BANNER_SEND:
    case LIBSSH2_ERROR_INVALID_MAC:
    case LIBSSH2_ERROR_KEX_FAILURE:
    case LIBSSH2_ERROR_SOCKET_SEND:
    case LIBSSH2_ERROR_KEY_EXCHANGE_FAILURE:
    case LIBSSH2_ERROR_TIMEOUT:
    case LIBSSH2_ERROR_DECRYPT:
    case LIBSSH2_ERROR_SOCKET_DISCONNECT:
    case LIBSSH2_ERROR_PROTO:
    case LIBSSH2_ERROR_CHANNEL_CLOSED:
    case LIBSSH2_ERROR_CHANNEL_EOF_SENT:
    case LIBSSH2_ERROR_CHANNEL_FAILURE:
    case LIBSSH2_ERROR_SOCKET_TIMEOUT:
    case LIBSSH2_ERROR_SOCKET_RECV:
    case LIBSSH2_ERROR_ENCRYPT:
    case LIBSSH2_ERROR_BAD_SOCKET:
    case LIBSSH2_ERROR_HOSTKEY_INIT:
    case LIBSSH2_ERROR_HOSTKEY_SIGN:
      return true;
    default:
      return false;
  }
}

Status SshLibraryError(const std::string& step, int rc, const std::string& detail) {
  int32_t code;
  switch (rc) {
    case LIBSSH2_ERROR_TIMEOUT:
    case LIBSSH2_ERROR_SOCKET_TIMEOUT:
      code = Status::kTimeout;
      break;
    case LIBSSH2_ERROR_AUTHENTICATION_FAILED:
    case LIBSSH2_ERROR_PUBLICKEY_UNVERIFIED:
    case LIBSSH2_ERROR_PASSWORD_EXPIRED:
    case LIBSSH2_ERROR_KEYFILE_AUTH_FAILED:
    case LIBSSH2_ERROR_METHOD_NONE:
      code = Status::kAuthFailed;
      break;
    case LIBSSH2_ERROR_ALLOC:
      code = Status::kIo;
      break;
    case LIBSSH2_ERROR_CHANNEL_WINDOW_EXCEEDED:
    case LIBSSH2_ERROR_CHANNEL_PACKET_EXCEEDED:
    case LIBSSH2_ERROR_CHANNEL_OUTOFORDER:
    case LIBSSH2_ERROR_CHANNEL_UNKNOWN:
    case LIBSSH2_ERROR_SFTP_PROTOCOL:
    case LIBSSH2_ERROR_BUFFER_TOO_SMALL:
    case LIBSSH2_ERROR_OUT_OF_BOUNDARY:
      code = Status::kProtocol;
      break;
    case LIBSSH2_ERROR_CHANNEL_REQUEST_DENIED:
    case LIBSSH2_ERROR_REQUEST_DENIED:
    case LIBSSH2_ERROR_METHOD_NOT_SUPPORTED:
      code = Status::kUnsupported;
      break;
    default:
      code = SshErrorBreaksConnection(rc) ? Status::kNetwork : Status::kProtocol;
      break;
  }
  std::string message = step + ": " + (detail.empty() ? std::string("ssh error") : detail) + " (libssh2 error " +
                        std::to_string(rc) + ")";
  return Status(code, std::move(message), rc);
}

}  // namespace tarn
