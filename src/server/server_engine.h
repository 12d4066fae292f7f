#pragma once

#include "net/socket_errors.h"
#include "net/usr_socket.h"
#include "platform/heap_reuse.h"
#include "server/connection_slots.h"

#include <QByteArray>
#include <QString>

#include <functional>

// The HTTP server engine without a screen: the listening socket (element 0 of the socket
// array), the admission of connections into slots, and the events of every slot's socket
// and file reader. The main window owns one; tests and benches make their own.
namespace orv::server {

// What StartStopServer did.
enum class StartStopResult {
  Started,
  Stopped,
  PortInUse,  // the port is held by another socket: the server stays stopped
  Failed,     // any other failure: nothing changed
};

class ServerEngine {
 public:
  // Reads a slot's arrived data; a handler that reads nothing leaves it waiting.
  using DataArrivalHandler = std::function<void(ServerEngine& server, int Index, int bytesTotal)>;

  // Registers the slot counts for the debug window's counters and the pump's next-block
  // handler; one engine runs at a time.
  ServerEngine();
  // Closes the listener and every connection through the clean-up.
  ~ServerEngine();
  ServerEngine(const ServerEngine&) = delete;
  ServerEngine& operator=(const ServerEngine&) = delete;

  // ---- Start, stop and admission ----

  // Stops the server when it runs, else listens on LOCAL_PORT. blnServerStarted follows;
  // a failed start leaves the server stopped.
  StartStopResult StartStopServer();
  // Why the last start failed, in the system's own words ("Address already in use", ...);
  // empty after a start that succeeded or a stop.
  const QString& lastStartError() const { return lastStartError_; }
  // The listener's state is listening.
  bool isServerRunning() const;
  // The port the listener is bound to (LOCAL_PORT "0" takes any free one); 0 when stopped.
  int listeningPort() const;

  // The listener's ConnectionRequest: refuses silently at the total or per-address limit,
  // records a FILTERS_REJECT event for an address the IP filter rejects, else accepts into
  // the lowest free slot.
  void usrSocket_ConnectionRequest(int Index, int requestID);
  // Connected slots, all of them for the empty address, else those of that peer address.
  int getConnectionsCount(const QString& ip) const;

  // ---- Connection events ----

  void usrFileReader_DataArrival(int Index, const QByteArray& bytData);
  void usrFileReader_SendComplete(int Index, bool KeepConnection);
  void usrSocket_SendComplete(int Index);
  void usrSocket_SendProgress(int Index, int BytesSent, int bytesRemaining);
  // Every error of a connection frees its slot; an error of the listener leaves it
  // listening.
  void usrSocket_Error(int Index, net::SocketErrorEventArgs& error);
  // The per-connection clean-up: destroys every component of the slot, recording an upload
  // it interrupts. Safe on a slot that is partly or wholly gone.
  void usrSocket_CloseSck(int Index);

  // Closes the listener and every connection through the clean-up (stop and shut-down).
  void closeListenerAndConnections();

  // ---- What the request road uses ----

  // The handler of every slot's DataArrival; until one is set, and after an empty one, the
  // request road (usrSocket_DataArrival).
  void setDataArrivalHandler(DataArrivalHandler handler);
  ConnectionSlots& slots() { return slots_; }
  const ConnectionSlots& slots() const { return slots_; }
  bool isControlArrayItemLoaded(ComponentArray array, int index) const {
    return slots_.isControlArrayItemLoaded(array, index);
  }
  // usrSocket(0).
  net::usrSocket& listener() { return listener_; }
  // Folder pages free much memory at once: it is kept for the next page for a while.
  platform::HeapReuse& heapReuse() { return heapReuse_; }

 private:
  void cleanUpConnection(int Index, const QString& procedure);
  // A kept connection whose answer is out and whose buffer already holds the start of its
  // next request: the handler takes it up from the event loop, as if it had just arrived.
  void postNextRequest(int Index);
  void wireSocket(ConnectionSlot& slot);
  void wireFileReader(ConnectionSlot& slot);

  net::usrSocket listener_;
  QString lastStartError_;
  ConnectionSlots slots_;
  DataArrivalHandler dataArrival_;
  platform::HeapReuse heapReuse_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace orv::server
