// A back-end that hands every call to another one, typically a real
// server's, after telling a test about it: so that a test can count the
// calls a client makes of a real server, or hold one of them at a gate while
// another client goes ahead. Like the back-end it wraps, one relay is used by
// one thread at a time; the watcher is called on that thread and must be
// safe to call from every relay that shares it. Header-only test code.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/backend.h"

namespace tarn::test {

enum class RelayOp { kConnect, kStat, kList, kRead, kOpenWrite, kRemove, kRename, kOther };

class RelayBackend : public IBackend {
 public:
  using Watcher = std::function<void(RelayOp op, const std::string& path)>;

  RelayBackend(std::unique_ptr<IBackend> inner, Watcher watcher)
      : inner_(std::move(inner)), watcher_(std::move(watcher)) {}

  Status connect() override {
    watch(RelayOp::kConnect, "");
    return inner_->connect();
  }
  void disconnect() override { inner_->disconnect(); }
  bool isConnected() const override { return inner_->isConnected(); }
  Status ping() override { return inner_->ping(); }
  const BackendCaps& caps() const override { return inner_->caps(); }
  const EndpointConfig& config() const override { return inner_->config(); }
  std::string serverKey() const override { return inner_->serverKey(); }

  Status stat(const std::string& path, RemoteAttr& out) override {
    watch(RelayOp::kStat, path);
    return inner_->stat(path, out);
  }
  Status list(const std::string& path, std::vector<DirEntry>& out) override {
    watch(RelayOp::kList, path);
    return inner_->list(path, out);
  }
  Status listWithLeftovers(const std::string& path, std::vector<DirEntry>& out,
                           std::vector<DirEntry>& leftovers) override {
    watch(RelayOp::kList, path);
    return inner_->listWithLeftovers(path, out, leftovers);
  }
  Status statfs(FsStats& out) override { return inner_->statfs(out); }
  Status readRange(const std::string& path, uint64_t offset, uint8_t* buffer, uint64_t length,
                   uint64_t& got) override {
    watch(RelayOp::kRead, path);
    return inner_->readRange(path, offset, buffer, length, got);
  }
  bool lastReadCopy(RemoteAttr& out) const override { return inner_->lastReadCopy(out); }
  Status openRead(const std::string& path, uint64_t offset, std::unique_ptr<IReadStream>& out) override {
    watch(RelayOp::kRead, path);
    return inner_->openRead(path, offset, out);
  }
  Status openWrite(const std::string& path, uint64_t offset, uint64_t size,
                   std::unique_ptr<IWriteStream>& out) override {
    watch(RelayOp::kOpenWrite, path);
    return inner_->openWrite(path, offset, size, out);
  }
  Status writeAt(const std::string& path, uint64_t offset, const uint8_t* data, uint64_t length) override {
    watch(RelayOp::kOther, path);
    return inner_->writeAt(path, offset, data, length);
  }
  Status truncate(const std::string& path, uint64_t size) override {
    watch(RelayOp::kOther, path);
    return inner_->truncate(path, size);
  }
  Status create(const std::string& path) override {
    watch(RelayOp::kOther, path);
    return inner_->create(path);
  }
  Status mkdir(const std::string& path) override {
    watch(RelayOp::kOther, path);
    return inner_->mkdir(path);
  }
  Status remove(const std::string& path, bool isDir) override {
    watch(RelayOp::kRemove, path);
    return inner_->remove(path, isDir);
  }
  Status rename(const std::string& from, const std::string& to, bool overwrite) override {
    watch(RelayOp::kRename, from);
    return inner_->rename(from, to, overwrite);
  }
  Status setTimes(const std::string& path, const Timestamp& mtime, const Timestamp& atime) override {
    watch(RelayOp::kOther, path);
    return inner_->setTimes(path, mtime, atime);
  }
  void setCancelToken(const CancelToken* cancel) override { inner_->setCancelToken(cancel); }

 private:
  void watch(RelayOp op, const std::string& path) {
    if (watcher_) watcher_(op, path);
  }

  std::unique_ptr<IBackend> inner_;
  Watcher watcher_;
};

}  // namespace tarn::test
