// Turns the answers of the SSH library and of the SFTP server into
// tarn::Status values whose messages name the failing step and the server's
// answer ("open /a/b: sftp error 2 (no such file)"). Stateless free
// functions; any thread.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/status.h"

namespace tarn {

// The status of an SFTP status number (SSH_FX_*): code, message
// "<step>: sftp error <n> (<name>)", native = n.
Status SftpStatusError(const std::string& step, uint32_t fxCode);

// The status of a libssh2 error number other than the SFTP protocol error:
// transport failures are network (14), time-outs timeout (15),
// refused credentials auth-failed (4). `detail` is the library's text.
Status SshLibraryError(const std::string& step, int rc, const std::string& detail);

// The short name of an SFTP status number ("no such file").
const char* SftpStatusName(uint32_t fxCode);

// True when the library error means the connection can no longer be used.
bool SshErrorBreaksConnection(int rc);

}  // namespace tarn
