#include "engine/factory/pending_makers.h"

#include <string>

namespace tarn::pending {
namespace {

class MissingBackend : public IBackend {
 public:
  MissingBackend(const EndpointConfig& config, const char* name)
      : config_(config), message_(std::string(name) + " back-end not built") {}

  Status connect() override { return missing(); }
  void disconnect() override {}
  bool isConnected() const override { return false; }
  Status ping() override { return missing(); }
  const EndpointConfig& config() const override { return config_; }
  Status stat(const std::string&, RemoteAttr&) override { return missing(); }
  Status list(const std::string&, std::vector<DirEntry>&) override { return missing(); }
  Status statfs(FsStats&) override { return missing(); }
  Status readRange(const std::string&, uint64_t, uint8_t*, uint64_t, uint64_t& got) override {
    got = 0;
    return missing();
  }
  Status openRead(const std::string&, uint64_t, std::unique_ptr<IReadStream>&) override { return missing(); }
  Status openWrite(const std::string&, uint64_t, uint64_t, std::unique_ptr<IWriteStream>&) override {
    return missing();
  }
  Status writeAt(const std::string&, uint64_t, const uint8_t*, uint64_t) override { return missing(); }
  Status truncate(const std::string&, uint64_t) override { return missing(); }
  Status create(const std::string&) override { return missing(); }
  Status mkdir(const std::string&) override { return missing(); }
  Status remove(const std::string&, bool) override { return missing(); }
  Status rename(const std::string&, const std::string&, bool) override { return missing(); }
  Status setTimes(const std::string&, const Timestamp&, const Timestamp&) override { return missing(); }

 private:
  Status missing() const { return Status(Status::kUnsupported, message_); }

  EndpointConfig config_;
  std::string message_;
};

}  // namespace

std::unique_ptr<IBackend> MakeS3Backend(const EndpointConfig& config) {
  return std::make_unique<MissingBackend>(config, "s3");
}

}  // namespace tarn::pending
