#pragma once

// The one message loop of the program, and yielding to it from inside a handler.
namespace orv::platform {

// Chooses the message loop before the application object is made. Long listings and
// transfers yield to the loop from inside a handler, and the yield must deliver every
// message that waits, those posted before the handler began included (socket
// notifications are posted messages). Qt's GLib-based loop does not: from inside a
// handler it runs none of the messages posted before, unless a new one was posted since.
// Its own Unix loop does, so the program and its tests run on that one.
void selectMessageLoop();

// Lets the message loop deliver, once, everything that is waiting: posted messages, timers
// and ready sockets. The caller must expect that anything it holds (a connection, its
// components) may be gone afterwards.
void yieldToMessageLoop();

}  // namespace orv::platform
