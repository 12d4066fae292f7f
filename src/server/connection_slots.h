#pragma once

#include "content/build_xml_page.h"
#include "content/thumbnail_maker.h"
#include "net/usr_socket.h"
#include "platform/deadline.h"

#include <QObject>
#include <QString>
#include <QtGlobal>

#include <map>
#include <memory>
#include <vector>

// The connection slots of the server: one index per accepted connection, from 1 upwards
// (the listener is not a slot), shared by the four components a connection may own. The
// socket and the file reader live from the accept to the clean-up; the page builder and
// the thumbnail maker only while a request of the connection needs them.
namespace orv::server {

class usrFileReader;

// The four component arrays of the slots, named as isControlArrayItemLoaded asks for them.
enum class ComponentArray { usrSocket, usrFileReader, usrBuildXmlPage, usrMinature };

// One connection: its components and which connection it is. An index is reused by the
// next connection once this one is gone; the generation tells them apart.
struct ConnectionSlot {
  ConnectionSlot();
  ~ConnectionSlot();
  ConnectionSlot(const ConnectionSlot&) = delete;
  ConnectionSlot& operator=(const ConnectionSlot&) = delete;

  int index = 0;
  quint64 generation = 0;
  QString clientIP;  // the peer's address as accepted; the socket forgets it when it closes
  // A request of the connection is on the request road (its answer may yield to the event
  // loop): bytes that arrive meanwhile wait in the socket's HttpReceiverBuffer.
  bool requestOnRoad = false;
  // A request is partly received: its deadline runs (see usrSocket_DataArrival). The serial
  // tells that request's deadline from those of the connection's earlier requests.
  bool requestPending = false;
  quint64 requestSerial = 0;
  // The deadline of the pending request, gone with the slot. Each request arms it anew,
  // which also ends the watch over the connection's earlier request.
  platform::Deadline requestDeadline;
  std::unique_ptr<net::usrSocket> socket;
  std::unique_ptr<usrFileReader> fileReader;
  // Destroying a builder while its build yields ends that build: the builder sees to it.
  std::unique_ptr<content::usrBuildXmlPage> pageBuilder;
  std::unique_ptr<content::usrMinature> miniature;
};

// Names one connection across a yield to the event loop: by then its index may have been
// freed and taken by another connection.
struct ConnectionRef {
  int index = 0;
  quint64 generation = 0;
};

// The component arrays. Each creation and removal writes the application debug line
// "Load " or "Unload ", the array name, "(", the index, ") by " and the procedure's name.
class ConnectionSlots {
 public:
  ConnectionSlots() = default;
  ConnectionSlots(const ConnectionSlots&) = delete;
  ConnectionSlots& operator=(const ConnectionSlots&) = delete;

  // The lowest index from 1 whose socket is not loaded.
  int lowestFreeIndex() const;

  // Creates the slot's socket (a new connection, with a new generation) and returns it.
  // The index must be free.
  ConnectionSlot& loadSocket(int index, const QString& procedure);
  // Creates the slot's file reader on the slot's socket; the slot must exist and have none.
  server::usrFileReader& loadFileReader(int index, const QString& procedure);
  // Creates a page builder or thumbnail maker in an existing slot that has none.
  content::usrBuildXmlPage& loadPageBuilder(int index, const QString& procedure);
  content::usrMinature& loadMiniature(int index, const QString& procedure);

  // Each removes one component when it is loaded; false when it was not. Removing the
  // socket removes the slot, with whatever it still holds.
  bool unloadSocket(int index, const QString& procedure);
  bool unloadFileReader(int index, const QString& procedure);
  bool unloadPageBuilder(int index, const QString& procedure);
  bool unloadMiniature(int index, const QString& procedure);

  bool isControlArrayItemLoaded(ComponentArray array, int index) const;

  // The component of a slot, or nullptr when it is not loaded.
  net::usrSocket* usrSocket(int index) const;
  server::usrFileReader* usrFileReader(int index) const;
  content::usrBuildXmlPage* usrBuildXmlPage(int index) const;
  content::usrMinature* usrMinature(int index) const;

  // The slot of a loaded socket, or nullptr.
  ConnectionSlot* find(int index) const;
  // The slot only while it still holds the same connection.
  ConnectionSlot* find(ConnectionRef connection) const;
  // The connection in the slot now; generation 0 when the slot is free.
  ConnectionRef ref(int index) const;

  // The indexes of the loaded slots, ascending: a copy, so that the caller may close them
  // one by one.
  std::vector<int> indexes() const;
  int count() const { return static_cast<int>(slots_.size()); }
  // How many elements of the array are loaded.
  int loadedCount(ComponentArray array) const;

 private:
  std::map<int, std::unique_ptr<ConnectionSlot>> slots_;
  quint64 nextGeneration_ = 1;
};

}  // namespace orv::server
