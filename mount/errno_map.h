// How a tarn::Status reaches an application on the drive: one errno value
// per status code. Pure function; any thread.
#pragma once

#include "foundation/status.h"

namespace tarn {

// The positive errno value for a failed status; 0 for ok.
int StatusToErrno(const Status& status);

}  // namespace tarn
