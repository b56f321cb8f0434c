// Removes a folder and everything beneath it through the storage interface,
// for tests and benchmarks that clean up what they made on a real server.
// Best effort: failures are ignored. Same threading as the back-end given.
#pragma once

#include <string>

#include "engine/backend.h"

namespace tarn::test {

void RemoveRemoteTree(IBackend& backend, const std::string& path);

}  // namespace tarn::test
