#pragma once

// The answer every request gets until the request road serves them: the data-arrival
// handler that ServerEngine uses when no other is set.
namespace orv::server {

class ServerEngine;

// Collects the slot's request text in its HttpReceiverBuffer. Once the text holds a blank
// line ending the head, or is longer than HTTP_MAX_REQUEST_SIZE, it answers "503 Service
// Unavailable" with a short text body (none for HEAD) and marks the connection "terminate",
// so that it closes when the answer is out. A head still incomplete restarts the idle timer.
void interimRequestHandler(ServerEngine& server, int Index, int bytesTotal);

}  // namespace orv::server
