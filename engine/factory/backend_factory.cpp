#include "engine/backend_factory.h"

#include "backends/ssh_nfs/nfs_backend.h"
#include "backends/ssh_nfs/sftp_backend.h"
#include "backends/web/s3_backend.h"
#include "backends/web/webdav_backend.h"

namespace tarn {

std::unique_ptr<IBackend> MakeBackend(const EndpointConfig& config, std::string* error) {
  const std::string& protocol = config.protocol;
  if (protocol == "webdav") return MakeWebDavBackend(config);
  if (protocol == "sftp") return MakeSftpBackend(config);
  if (protocol == "nfs") return MakeNfsBackend(config);
  if (protocol == "s3") return MakeS3Backend(config);
  if (error != nullptr) *error = "unknown protocol: " + protocol;
  return nullptr;
}

}  // namespace tarn
