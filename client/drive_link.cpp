#include "client/drive_link.h"

#include "foundation/endpoint_config.h"
#include "foundation/share_link.h"

namespace tarn::app {
namespace {

uint32_t DefaultPort(const std::string& protocol) { return protocol == "nfs" ? kNfsPort : kSftpPort; }

}  // namespace

std::string DriveLink(const MountStatus& drive) {
  EndpointConfig ep;
  ep.protocol = drive.protocol;
  ep.host = drive.host;
  ep.port = drive.port;
  ep.root = drive.root;
  ep.user = drive.user;
  ep.tls = drive.tls;
  // A host that still holds a link is taken apart as the service would; one
  // that cannot be is shown as it was given.
  if (!ParseShareLink(ep).empty()) return drive.host + drive.root;
  if (ep.protocol == "webdav") {
    // The same text the drive editor shows in its address field.
    const std::string url = EndpointUrl(ep);
    if (!url.empty()) return url;
  }
  std::string link = ep.protocol + "://";
  if (ep.protocol == "sftp" && !ep.user.empty()) link += ep.user + "@";
  link += ep.host.find(':') != std::string::npos ? "[" + ep.host + "]" : ep.host;
  if (ep.port != 0 && ep.port != DefaultPort(ep.protocol)) link += ":" + std::to_string(ep.port);
  if (!ep.root.empty() && ep.root.front() != '/') link += "/";
  return link + ep.root;
}

}  // namespace tarn::app
