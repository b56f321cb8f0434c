// Stand-ins for back-ends whose implementation is not in the product yet:
// they build and can be handed out, but every operation reports code 11
// "unsupported" with a message naming the missing back-end. Same threading
// rules as any back-end: one thread at a time.
#pragma once

#include <memory>

#include "engine/backend.h"
#include "foundation/endpoint_config.h"

namespace tarn::pending {

std::unique_ptr<IBackend> MakeS3Backend(const EndpointConfig& config);

}  // namespace tarn::pending
