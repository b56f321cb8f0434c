// Test support: a private instance of the fake S3 store with the faults a
// test asks for (see FakeServerProcess), and the endpoint that reaches one of
// its buckets. Used by one test thread.
#pragma once

#include <string>
#include <vector>

#include "foundation/endpoint_config.h"
#include "testing/fake_server_process.h"

namespace tarn::testing {

constexpr const char* kFakeS3AccessKey = "fake-access";
constexpr const char* kFakeS3SecretKey = "fake-secret";

class FakeS3Process : public FakeServerProcess {
 public:
  // args: extra command-line flags of the fake store (e.g. "--ignore-range").
  explicit FakeS3Process(std::vector<std::string> args = {}, const std::string& bind = "127.0.0.1")
      : FakeServerProcess("TARN_FAKE_S3_SCRIPT", std::move(args), bind) {}

  // Plain HTTP, path style, signed; root is "/bucket[/prefix]".
  EndpointConfig endpoint(const std::string& root = "/bucket") const {
    EndpointConfig ep;
    ep.protocol = "s3";
    ep.host = "http://127.0.0.1:" + std::to_string(port());
    ep.root = root;
    ep.user = kFakeS3AccessKey;
    ep.password = kFakeS3SecretKey;
    ep.connectTimeoutMs = 5000;
    ep.ioTimeoutMs = 20000;
    return ep;
  }
};

}  // namespace tarn::testing
