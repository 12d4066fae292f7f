#pragma once

#include <chrono>

// The one message loop of the program, and yielding to it from inside a handler.
namespace orv::platform {

// Chooses the message loop before the application object is made. Long listings and
// transfers yield to the loop from inside a handler, and the yield must deliver every
// message that waits, those posted before the handler began included (socket
// notifications are posted messages). Qt's GLib-based loop does not: from inside a
// handler it runs none of the messages posted before, unless a new one was posted since.
// Its own Unix loop does, so the program and its tests run on that one.
void selectMessageLoop();

// Lets the message loop deliver what is waiting. The posted messages are delivered on
// every call; the rest (ready sockets and timers, which cost the loop a poll of the
// kernel) once a time slice has passed since the last full yield, so that a transfer
// yielding per block or a listing per entry polls no more than a few thousand times a
// second, while the other connections and the abort flags still get their turn within the
// slice. The caller must expect that anything it holds (a connection, its components) may
// be gone afterwards.
void yieldToMessageLoop();

// The time slice of the yields: half a millisecond. Zero makes every yield a full one, for
// tests that need something ready (a socket, a timer) to land inside a given yield.
inline constexpr std::chrono::nanoseconds kYieldTimeSlice = std::chrono::microseconds(500);
void setYieldTimeSlice(std::chrono::nanoseconds slice);
std::chrono::nanoseconds yieldTimeSlice();

}  // namespace orv::platform
