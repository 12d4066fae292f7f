#include "platform/message_loop.h"

#include "platform/monotonic_clock.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <cstdint>
#include <limits>

namespace orv::platform {
namespace {

std::int64_t gTimeSlice = std::chrono::nanoseconds(kYieldTimeSlice).count();
// Long ago: the first yield is a full one.
std::int64_t gLastFullYield = std::numeric_limits<std::int64_t>::min() / 2;

}  // namespace

void selectMessageLoop() {
  qputenv("QT_NO_GLIB", "1");
}

void yieldToMessageLoop() {
  const std::int64_t now = monotonicNanoseconds();
  if (now - gLastFullYield >= gTimeSlice) {
    // Marked first: a yield nested inside this one counts from it.
    gLastFullYield = now;
    QCoreApplication::processEvents();
    return;
  }
  QCoreApplication::sendPostedEvents();
}

void setYieldTimeSlice(std::chrono::nanoseconds slice) {
  gTimeSlice = slice.count() < 0 ? 0 : slice.count();
}

std::chrono::nanoseconds yieldTimeSlice() {
  return std::chrono::nanoseconds(gTimeSlice);
}

}  // namespace orv::platform
