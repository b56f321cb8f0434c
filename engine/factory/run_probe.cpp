// RunProbe: the probe on a back-end made for the purpose. It makes its
// back-end by protocol, so it lives here, above the back-ends; the checks
// themselves are in engine/probe.cpp.
#include "engine/backend_factory.h"
#include "engine/probe.h"
#include "foundation/config_file.h"

namespace tarn {

ProbeReport RunProbe(const MountConfig& config, const CancelToken* cancel) {
  MountConfig copy = config;
  // Completes share links, roots and users; a verdict against the settings
  // does not stop the probe, which is how the user finds out why.
  (void)ValidateMountConfig(copy);
  ProbeReport report;
  std::string error;
  std::unique_ptr<IBackend> backend = MakeBackend(copy.endpoint, &error);
  if (!backend) {
    report.add(ProbeItem::kFailure, "backend", error);
    return report;
  }
  ProbeServer(report, *backend, copy.compat, cancel);
  return report;
}

}  // namespace tarn
