#include "platform/io_ring.h"
#include "platform/message_loop.h"

#include <gtest/gtest.h>

#ifdef ORV_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <cstdlib>

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  orv::platform::selectMessageLoop();
  // Every yield a full one: the tests that have something land inside a given yield stay
  // deterministic on a loaded machine. The slice itself is tested on its own.
  orv::platform::setYieldTimeSlice(std::chrono::nanoseconds(0));
  TestApplication application(argc, argv);
  // The loop's kernel ring (when it is switched on and the kernel gives one) comes with the
  // loop, so that tests counting their descriptors do not count it as theirs.
  orv::platform::IoRing::instance();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
