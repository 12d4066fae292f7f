#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <vector>

// The process-wide side of the socket layer: the library start and stop shared by every
// socket object, the hidden window SOCKET_WINDOW at which every socket notification and
// host-lookup completion arrives, the tables that name the object owning each socket and
// lookup handle, and the accept holders of just-accepted connections.
namespace orv::net {

class clsSocketMaster;

namespace modSocketMaster {

// The messages of the socket window.
inline constexpr unsigned kLookupCompleteMessage = 0x8000;  // wParam lookup handle, high word of lParam the error
inline constexpr unsigned kSocketMessage = 0x8001;          // wParam socket, low word the event, high word the error

// The notifications every socket asks for: read, write, accept, connect and close.
inline constexpr int kSocketEvents = 0x3B;

// Counts socket objects; the first one starts the library. Both return the new count.
int InitiateProcesses();
int FinalizeProcesses();

// 0, or 7 when the window cannot be made.
int CreateWinsockMessageWindow();
int DestroyWinsockMessageWindow();

// Enters the socket in the socket table and the socket collection (making the window on
// the first) and, with notifications, asks for them at the socket window. Throws
// SocketError when the window or the notification request fails.
bool RegisterSocket(int socket, clsSocketMaster* owner, bool withNotifications);
// Frees the socket's slot; the last one destroys the window.
void UnregisterSocket(int socket);
bool IsSocketInCollection(int socket);

// Starts a lookup answered at the socket window; its handle (0 when it cannot start).
int StartAsyncHostLookup(const QString& host, char* buffer, clsSocketMaster* owner);
void DropResolutionEntry(int lookupHandle);

// The accept holders: a new socket object owns a just-accepted connection until the
// listener's owner accepts it into an object of its own.
void AddAcceptedSocket(int socket);
bool IsAcceptedSocketPending(int socket);
void RemoveAcceptedSocket(int socket);
std::shared_ptr<clsSocketMaster> GetAcceptedSocketObject(int socket);

// Points the socket's slot at another owner.
void RepointSocket(int socket, clsSocketMaster* owner);
// Forgets every slot that still names this owner, so that no late message reaches it.
void ForgetOwner(const clsSocketMaster* owner);

// Appends the bytes behind the last waiting byte of the buffer.
void AppendToSendBuffer(const QByteArray& data, QByteArray& buffer);

int HiWord(qint64 value);
int LoWord(qint64 value);
// A port 0..65535 as the signed 16-bit value Winsock's structures hold, and back.
int PortToInteger(int port);
int IntegerToPort(int value);

// What the tables hold, for tests and diagnostics: the socket handles by slot (free
// slots -1) and the handle of the socket window (0 when there is none).
std::vector<int> SocketTableHandles();
int SocketWindowHandle();
int InstanceCount();

}  // namespace modSocketMaster
}  // namespace orv::net
