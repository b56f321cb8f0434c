// The service in a test's own process: ServiceBody with its control socket
// on a thread of its own, on the machine TARN_ROOT names. Driven from the
// test's thread.
//
// Header-only on purpose: the service sits far above this folder, and only
// tests that link it may compile this.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>
#include <utility>

#include "service/service_body.h"
#include "testing/gate.h"

namespace tarn::test {

// start returns once the socket is up.
class ServiceThread {
 public:
  using MakeBackups = std::function<std::unique_ptr<IBackupService>(ServiceState&)>;

  ~ServiceThread() { stop(); }

  // `backendsFor`: the drives' back-ends; empty, made by their protocols.
  void start(MakeBackups makeBackups, ServiceState::BackendsFor backendsFor = {}) {
    body_ = std::thread([this, makeBackups, backendsFor] {
      ServiceOptions options = ServiceOptions::Defaults();
      options.backendsFor = backendsFor;
      options.makeBackups = [this, makeBackups](ServiceState& state) -> std::unique_ptr<IBackupService> {
        return std::make_unique<Ready>(makeBackups(state), ready_);
      };
      ServiceBody(options, stop_);
    });
    // The scheduler starts once the socket listens.
    ASSERT_TRUE(ready_.waitArrived());
    ready_.release();
  }

  void stop() {
    if (!body_.joinable()) return;
    stop_.signal();
    body_.join();
  }

 private:
  // The backups the test gave, and the sign that the service is up.
  class Ready : public IBackupService {
   public:
    Ready(std::unique_ptr<IBackupService> inner, Gate& ready) : inner_(std::move(inner)), ready_(ready) {
      EXPECT_NE(inner_, nullptr) << "the service refused its backups";
    }
    bool loadJobs(std::string* error) override { return !inner_ || inner_->loadJobs(error); }
    void startScheduler() override {
      if (inner_) inner_->startScheduler();
      ready_.arriveAndWait();
    }
    void stopAll() override {
      if (inner_) inner_->stopAll();
    }
    bool anyRunning() override { return inner_ && inner_->anyRunning(); }
    vx::json::Value handle(const vx::json::Value& request, const IpcCaller* caller) override {
      return inner_ ? inner_->handle(request, caller) : ErrorReply("backups are not available");
    }

   private:
    std::unique_ptr<IBackupService> inner_;
    Gate& ready_;
  };

  Gate ready_;
  StopEvent stop_;
  std::thread body_;
};

}  // namespace tarn::test
