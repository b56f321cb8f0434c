// Test support: the endpoint of the S3 test store that
// testing/servers/swift_s3.sh starts (Swift with s3api), read from the
// variables of its env file. Any test that needs a real S3 store uses it; a
// missing variable fails the test. Header-only; any thread.
#pragma once

#include <string>

#include "foundation/endpoint_config.h"
#include "testing/fake_server_process.h"

namespace tarn::testing {

// An endpoint on the test bucket; folder (without slashes at either end) is
// the key prefix under which the test keeps its objects, "" for none.
inline EndpointConfig SwiftS3Endpoint(const std::string& folder) {
  EndpointConfig ep;
  ep.protocol = "s3";
  ep.host = RequiredEnv("TARN_S3_URL");
  ep.root = "/" + RequiredEnv("TARN_S3_BUCKET") + (folder.empty() ? "" : "/" + folder);
  ep.user = RequiredEnv("TARN_S3_ACCESS_KEY");
  ep.password = RequiredEnv("TARN_S3_SECRET_KEY");
  ep.extra = "region=" + RequiredEnv("TARN_S3_REGION");
  ep.connectTimeoutMs = 5000;
  ep.ioTimeoutMs = 30000;
  return ep;
}

}  // namespace tarn::testing
