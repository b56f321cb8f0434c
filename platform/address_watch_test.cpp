#include "platform/address_watch.h"

#include <sched.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "testing/gate.h"

namespace tarn {
namespace {

// The test works in a network namespace of its own, made for one thread, so
// that adding an address touches nothing else on the machine.
TEST(AddressWatch, NewAddressCallsBack) {
  test::Gate called;
  std::thread worker([&] {
    ASSERT_EQ(::unshare(CLONE_NEWNET), 0) << "needs root";
    AddressWatch watch;
    ASSERT_TRUE(watch.start([&] { called.arriveAndWait(); }).ok());
    ASSERT_EQ(std::system("ip addr add 10.77.0.1/24 dev lo"), 0);
    EXPECT_TRUE(called.waitArrived());
    called.release();
    watch.stop();
  });
  worker.join();
}

}  // namespace
}  // namespace tarn
