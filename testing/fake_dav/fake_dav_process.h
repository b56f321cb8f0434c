// Test support: a private instance of the fake WebDAV server with the faults
// a test asks for (see FakeServerProcess). Used by one test thread.
#pragma once

#include <string>
#include <vector>

#include "testing/fake_server_process.h"

namespace tarn::testing {

class FakeDavProcess : public FakeServerProcess {
 public:
  // args: extra command-line flags of the fake server (e.g. "--ignore-range").
  explicit FakeDavProcess(std::vector<std::string> args = {}, const std::string& bind = "127.0.0.1")
      : FakeServerProcess("TARN_FAKE_DAV_SCRIPT", std::move(args), bind) {}

  // The Nextcloud-style files URL of the user "alice".
  std::string filesUrl() const { return "http://127.0.0.1:" + std::to_string(port()) + "/remote.php/dav/files/alice"; }
  std::string plainUrl() const { return "http://127.0.0.1:" + std::to_string(port()) + "/plain"; }
};

}  // namespace tarn::testing
