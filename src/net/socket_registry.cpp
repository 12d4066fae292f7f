#include "net/socket_registry.h"

#include "core/keyed_list.h"
#include "net/socket_errors.h"
#include "net/socket_log.h"
#include "net/socket_master.h"
#include "platform/async_socket.h"
#include "platform/host_lookup.h"
#include "platform/message_window.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <optional>

namespace orv::net::modSocketMaster {
namespace {

struct TableSlot {
  int handle = -1;
  clsSocketMaster* owner = nullptr;
};

struct ModuleState {
  int instanceCount = 0;
  bool libraryStarted = false;
  std::unique_ptr<platform::MessageWindow> window;
  // The dispatch stub: built with the library, installed on the socket window.
  std::unique_ptr<platform::WindowProcedure> stub;
  int stubWindow = 0;
  platform::WindowProcedure previousProcedure;
  std::vector<TableSlot> sockets;
  std::vector<TableSlot> lookups;
  std::optional<core::KeyedList<clsSocketMaster*>> socketCollection;
  std::optional<core::KeyedList<std::shared_ptr<clsSocketMaster>>> acceptCollection;
};

ModuleState& state() {
  static ModuleState instance;
  return instance;
}

// The handle and "S": the accept path looks a socket up by it some eight times, so the
// key is made on the stack and only an added entry keeps a string of it.
class SocketKey {
 public:
  explicit SocketKey(int socket) {
    char digits[12];
    const char* end = std::to_chars(digits, digits + sizeof digits, socket).ptr;
    size_ = static_cast<qsizetype>(std::copy(static_cast<const char*>(digits), end, text_) - text_);
    text_[size_++] = u'S';
  }
  operator QStringView() const { return {text_, size_}; }
  QString text() const { return QStringView(*this).toString(); }

 private:
  char16_t text_[16];
  qsizetype size_ = 0;
};

clsSocketMaster* findOwner(const std::vector<TableSlot>& table, int handle) {
  for (const TableSlot& slot : table) {
    if (slot.handle == handle) {
      return slot.owner;
    }
  }
  return nullptr;
}

void addToTable(std::vector<TableSlot>& table, int handle, clsSocketMaster* owner, const QString& warning) {
  for (TableSlot& slot : table) {
    if (slot.handle == -1) {
      slot = {handle, owner};
      return;
    }
    if (slot.handle == handle) {
      logSocketEvent(warning);
      return;
    }
  }
  table.push_back({handle, owner});
}

void freeInTable(std::vector<TableSlot>& table, int handle) {
  for (TableSlot& slot : table) {
    if (slot.handle == handle) {
      slot = {};
      return;
    }
  }
}

qintptr dispatch(unsigned message, quintptr wParam, qintptr lParam) {
  ModuleState& module = state();
  const int handle = static_cast<int>(wParam);
  clsSocketMaster* owner = nullptr;
  if (message == kLookupCompleteMessage) {
    owner = findOwner(module.lookups, handle);
  } else if (message == kSocketMessage) {
    owner = findOwner(module.sockets, handle);
  } else {
    return platform::callWindowProcedure(module.previousProcedure, message, wParam, lParam);
  }
  if (owner == nullptr) {
    return 0;
  }
  try {
    return owner->WndProc(module.stubWindow, message, wParam, lParam);
  } catch (const std::exception& failure) {
    // Nothing may leave a window procedure; an event handler's failure ends here.
    logSocketEvent(QStringLiteral("ERROR in socket notification: ") + QString::fromLocal8Bit(failure.what()));
    return 0;
  }
}

void HookMessageWindow() {
  ModuleState& module = state();
  if (module.window == nullptr || module.stub == nullptr) {
    return;
  }
  module.stubWindow = module.window->handle();
  module.previousProcedure = module.window->setProcedure(*module.stub);
}

void UnhookMessageWindow() {
  ModuleState& module = state();
  module.sockets.clear();
  module.lookups.clear();
  if (module.stubWindow != 0 && module.window != nullptr && module.window->handle() == module.stubWindow) {
    module.window->setProcedure(module.previousProcedure);
  }
  module.stubWindow = 0;
  module.previousProcedure = nullptr;
}

}  // namespace

int InitiateProcesses() {
  ModuleState& module = state();
  ++module.instanceCount;
  if (!module.libraryStarted) {
    module.stub = std::make_unique<platform::WindowProcedure>(dispatch);
    module.libraryStarted = true;
    const int result = platform::wsaStartup(0x0101);
    if (result != 0) {
      logSocketEvent(QStringLiteral("ERROR trying to initiate winsock service"));
      throw platformError(result, QStringLiteral("modSocketMaster.InitiateProcesses"));
    }
    logSocketEvent(QStringLiteral("OK Winsock service initiated"));
  }
  return module.instanceCount;
}

int FinalizeProcesses() {
  ModuleState& module = state();
  --module.instanceCount;
  if (module.instanceCount == 0 && module.libraryStarted) {
    module.libraryStarted = false;
    const int result = platform::wsaCleanup();
    if (result != 0) {
      throw platformError(platform::lastSocketError(), QStringLiteral("modSocketMaster.FinalizeProcesses"));
    }
    logSocketEvent(QStringLiteral("OK Winsock service finalized"));
    UnhookMessageWindow();
    if (module.stub != nullptr) {
      const auto address = reinterpret_cast<quintptr>(module.stub.get());
      module.stub.reset();
      logSocketEvent(QStringLiteral("OK Freed subclass memory at: ") + QString::number(address));
    }
  }
  return module.instanceCount;
}

int CreateWinsockMessageWindow() {
  ModuleState& module = state();
  module.window = std::make_unique<platform::MessageWindow>(QStringLiteral("STATIC"), QStringLiteral("SOCKET_WINDOW"));
  if (module.window->handle() == 0) {
    module.window.reset();
    return kErrOutOfMemory;
  }
  logSocketEvent(
      [&] { return QStringLiteral("OK Created winsock message window ") + QString::number(module.window->handle()); });
  return 0;
}

int DestroyWinsockMessageWindow() {
  ModuleState& module = state();
  if (module.window == nullptr) {
    logSocketEvent(QStringLiteral("WARNING lngWindowHandle is ZERO"));
    return 0;
  }
  const int handle = module.window->handle();
  module.window.reset();
  logSocketEvent([&] { return QStringLiteral("OK Destroyed winsock message window ") + QString::number(handle); });
  return 0;
}

bool RegisterSocket(int socket, clsSocketMaster* owner, bool withNotifications) {
  ModuleState& module = state();
  if (!module.socketCollection.has_value()) {
    module.socketCollection.emplace();
    logSocketEvent(QStringLiteral("OK Created socket collection"));
    if (CreateWinsockMessageWindow() != 0) {
      throw SocketError(kErrOutOfMemory, QString::fromUtf16(kTextOutOfMemory),
                        QStringLiteral("modSocketMaster.RegisterSocket"));
    }
    HookMessageWindow();
  }
  addToTable(module.sockets, socket, owner, QStringLiteral("WARNING: Socket already registered!"));
  if (withNotifications) {
    if (platform::asyncSelect(socket, module.window->handle(), kSocketMessage, kSocketEvents) != 0) {
      const int error = platform::lastSocketError();
      logSocketEvent(
          [&] { return QStringLiteral("ERROR trying to register events from socket ") + QString::number(socket); });
      throw platformError(error, QStringLiteral("modSocketMaster.RegisterSocket"));
    }
    logSocketEvent([&] { return QStringLiteral("OK Registered events from socket ") + QString::number(socket); });
  }
  module.socketCollection->add(owner, SocketKey(socket).text());
  return true;
}

void UnregisterSocket(int socket) {
  ModuleState& module = state();
  freeInTable(module.sockets, socket);
  if (!module.socketCollection.has_value()) {
    return;
  }
  module.socketCollection->remove(SocketKey(socket));
  if (module.socketCollection->isEmpty()) {
    module.socketCollection.reset();
    UnhookMessageWindow();
    DestroyWinsockMessageWindow();
    logSocketEvent(QStringLiteral("OK Destroyed socket collection"));
  }
}

bool IsSocketInCollection(int socket) {
  const ModuleState& module = state();
  return module.socketCollection.has_value() && module.socketCollection->contains(SocketKey(socket));
}

int StartAsyncHostLookup(const QString& host, char* buffer, clsSocketMaster* owner) {
  ModuleState& module = state();
  if (module.window == nullptr) {
    return 0;
  }
  const int handle = platform::asyncGetHostByName(module.window->handle(), kLookupCompleteMessage, host, buffer, 1024);
  if (handle != 0) {
    addToTable(module.lookups, handle, owner, QStringLiteral("WARNING: Async already registered!"));
  }
  return handle;
}

void DropResolutionEntry(int lookupHandle) {
  freeInTable(state().lookups, lookupHandle);
}

void AddAcceptedSocket(int socket) {
  ModuleState& module = state();
  auto holder = std::make_shared<clsSocketMaster>();
  holder->Accept(socket);
  if (!module.acceptCollection.has_value()) {
    module.acceptCollection.emplace();
    logSocketEvent(QStringLiteral("OK Created accept collection"));
  }
  module.acceptCollection->add(holder, SocketKey(socket).text());
}

bool IsAcceptedSocketPending(int socket) {
  const ModuleState& module = state();
  return module.acceptCollection.has_value() && module.acceptCollection->contains(SocketKey(socket));
}

void RemoveAcceptedSocket(int socket) {
  ModuleState& module = state();
  if (!module.acceptCollection.has_value()) {
    return;
  }
  // The holder may still be running the code that removes it: keep it until this returns.
  const std::shared_ptr<clsSocketMaster> holder = module.acceptCollection->value(SocketKey(socket));
  module.acceptCollection->remove(SocketKey(socket));
  if (module.acceptCollection->isEmpty()) {
    module.acceptCollection.reset();
    logSocketEvent(QStringLiteral("OK Destroyed accept collection"));
  }
}

std::shared_ptr<clsSocketMaster> GetAcceptedSocketObject(int socket) {
  const ModuleState& module = state();
  if (!module.acceptCollection.has_value()) {
    return nullptr;
  }
  return module.acceptCollection->value(SocketKey(socket));
}

void RepointSocket(int socket, clsSocketMaster* owner) {
  ModuleState& module = state();
  for (TableSlot& slot : module.sockets) {
    if (slot.handle == socket) {
      slot.owner = owner;
      break;
    }
  }
  if (module.socketCollection.has_value()) {
    if (clsSocketMaster** entry = module.socketCollection->find(SocketKey(socket))) {
      *entry = owner;
    }
  }
}

void ForgetOwner(const clsSocketMaster* owner) {
  ModuleState& module = state();
  for (std::vector<TableSlot>* table : {&module.sockets, &module.lookups}) {
    for (TableSlot& slot : *table) {
      if (slot.owner == owner) {
        slot = {};
      }
    }
  }
}

void AppendToSendBuffer(const QByteArray& data, QByteArray& buffer) {
  buffer.append(data);
}

int HiWord(qint64 value) {
  return static_cast<int>((static_cast<quint64>(value) >> 16) & 0xFFFF);
}

int LoWord(qint64 value) {
  return static_cast<int>(static_cast<quint64>(value) & 0xFFFF);
}

int PortToInteger(int port) {
  if (port < 0 || port > 65535) {
    throw SocketError(6, QStringLiteral("Overflow"), QStringLiteral("modSocketMaster.PortToInteger"));
  }
  return port > 32767 ? port - 65536 : port;
}

int IntegerToPort(int value) {
  return value < 0 ? value + 65536 : value;
}

std::vector<int> SocketTableHandles() {
  std::vector<int> handles;
  for (const TableSlot& slot : state().sockets) {
    handles.push_back(slot.handle);
  }
  return handles;
}

int SocketWindowHandle() {
  const ModuleState& module = state();
  return module.window == nullptr ? 0 : module.window->handle();
}

int InstanceCount() {
  return state().instanceCount;
}

}  // namespace orv::net::modSocketMaster
