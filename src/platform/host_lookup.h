#pragma once

#include <QString>
#include <QtGlobal>

// The machine's own name and address, and host-name lookups, for the socket layer. A
// failing call leaves its Winsock error number for lastSocketError().
namespace orv::platform {

// The machine's name; an empty text with the error left for lastSocketError().
QString localHostName();

// The first IPv4 address of the machine's interfaces, the loopback address last; read
// from the interfaces, so it never waits for a name server.
quint32 localHostAddress();

// The first IPv4 address of the name, waited for: this blocks while a name server answers.
// Only for a name a caller gives explicitly to bind to; nothing on the request road uses it.
quint32 resolveHostNow(const QString& name);

// Starts a lookup that never blocks the loop and returns its handle (not 0), or 0. When
// it ends, the buffer receives the IPv4 addresses found (4 bytes each, network order,
// then 4 zero bytes, as many as fit) and the message is posted to the window with the
// handle as wParam and the error (0 when found) in the high word of lParam.
int asyncGetHostByName(int window, unsigned message, const QString& name, char* buffer, int bufferLength);

// Stops a lookup: its message is not posted and its buffer not written. -1 when the
// handle is unknown (its message may already be on its way).
int cancelAsyncRequest(int handle);

}  // namespace orv::platform
