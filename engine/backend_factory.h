// The one way to turn endpoint settings into a storage back-end. A free
// function; any thread may call it. The caller owns the result, which is not
// connected yet.
#pragma once

#include <memory>
#include <string>

#include "engine/backend.h"
#include "foundation/endpoint_config.h"

namespace tarn {

// "webdav", "sftp", "nfs" or "s3", compared byte for byte. Any other protocol
// gives no back-end and, when error is not null, "unknown protocol: NAME";
// error is left alone on success.
std::unique_ptr<IBackend> MakeBackend(const EndpointConfig& config, std::string* error = nullptr);

}  // namespace tarn
