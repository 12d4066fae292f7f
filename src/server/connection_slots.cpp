#include "server/connection_slots.h"

#include "core/debug_log.h"
#include "server/file_reader.h"

#include <utility>

namespace orv::server {
namespace {

QString arrayName(ComponentArray array) {
  switch (array) {
    case ComponentArray::usrSocket:
      return QStringLiteral("usrSocket");
    case ComponentArray::usrFileReader:
      return QStringLiteral("usrFileReader");
    case ComponentArray::usrBuildXmlPage:
      return QStringLiteral("usrBuildXmlPage");
    case ComponentArray::usrMinature:
      return QStringLiteral("usrMinature");
  }
  return {};
}

void logLoad(const char* verb, ComponentArray array, int index, const QString& procedure) {
  if (!core::isDebugEventShown(core::DebugEventCategory::Application)) {
    return;
  }
  core::subAddDebugEvent(QLatin1String(verb) + arrayName(array) + QLatin1Char('(') + QString::number(index) +
                             QStringLiteral(") by ") + procedure,
                         core::DebugEventCategory::Application);
}

}  // namespace

ConnectionSlot::ConnectionSlot() = default;

ConnectionSlot::~ConnectionSlot() {
  // The components go in the order of the clean-up, the socket last: a builder or a
  // maker may still name the connection while it stops.
  pageBuilder.reset();
  fileReader.reset();
  miniature.reset();
  socket.reset();
}

int ConnectionSlots::lowestFreeIndex() const {
  int index = 1;
  for (const auto& [used, slot] : slots_) {
    if (used != index) {
      break;
    }
    ++index;
  }
  return index;
}

ConnectionSlot& ConnectionSlots::loadSocket(int index, const QString& procedure) {
  auto slot = std::make_unique<ConnectionSlot>();
  slot->index = index;
  slot->generation = nextGeneration_++;
  slot->socket = std::make_unique<net::usrSocket>();
  ConnectionSlot& loaded = *slot;
  slots_[index] = std::move(slot);
  logLoad("Load ", ComponentArray::usrSocket, index, procedure);
  return loaded;
}

usrFileReader& ConnectionSlots::loadFileReader(int index, const QString& procedure) {
  ConnectionSlot& slot = *slots_.at(index);
  slot.fileReader = std::make_unique<server::usrFileReader>(*slot.socket, index);
  logLoad("Load ", ComponentArray::usrFileReader, index, procedure);
  return *slot.fileReader;
}

content::usrBuildXmlPage& ConnectionSlots::loadPageBuilder(int index, const QString& procedure) {
  ConnectionSlot& slot = *slots_.at(index);
  slot.pageBuilder = std::make_unique<content::usrBuildXmlPage>();
  logLoad("Load ", ComponentArray::usrBuildXmlPage, index, procedure);
  return *slot.pageBuilder;
}

content::usrMinature& ConnectionSlots::loadMiniature(int index, const QString& procedure) {
  ConnectionSlot& slot = *slots_.at(index);
  slot.miniature = std::make_unique<content::usrMinature>();
  logLoad("Load ", ComponentArray::usrMinature, index, procedure);
  return *slot.miniature;
}

bool ConnectionSlots::unloadSocket(int index, const QString& procedure) {
  const auto found = slots_.find(index);
  if (found == slots_.end()) {
    return false;
  }
  // Out of the table first: a component that reports something while it goes finds the
  // index free already.
  const std::unique_ptr<ConnectionSlot> slot = std::move(found->second);
  slots_.erase(found);
  logLoad("Unload ", ComponentArray::usrSocket, index, procedure);
  return true;
}

bool ConnectionSlots::unloadFileReader(int index, const QString& procedure) {
  ConnectionSlot* slot = find(index);
  if (slot == nullptr || slot->fileReader == nullptr) {
    return false;
  }
  const std::unique_ptr<server::usrFileReader> reader = std::move(slot->fileReader);
  logLoad("Unload ", ComponentArray::usrFileReader, index, procedure);
  return true;
}

bool ConnectionSlots::unloadPageBuilder(int index, const QString& procedure) {
  ConnectionSlot* slot = find(index);
  if (slot == nullptr || slot->pageBuilder == nullptr) {
    return false;
  }
  const std::unique_ptr<content::usrBuildXmlPage> builder = std::move(slot->pageBuilder);
  logLoad("Unload ", ComponentArray::usrBuildXmlPage, index, procedure);
  return true;
}

bool ConnectionSlots::unloadMiniature(int index, const QString& procedure) {
  ConnectionSlot* slot = find(index);
  if (slot == nullptr || slot->miniature == nullptr) {
    return false;
  }
  const std::unique_ptr<content::usrMinature> maker = std::move(slot->miniature);
  logLoad("Unload ", ComponentArray::usrMinature, index, procedure);
  return true;
}

bool ConnectionSlots::isControlArrayItemLoaded(ComponentArray array, int index) const {
  const ConnectionSlot* slot = find(index);
  if (slot == nullptr) {
    return false;
  }
  switch (array) {
    case ComponentArray::usrSocket:
      return slot->socket != nullptr;
    case ComponentArray::usrFileReader:
      return slot->fileReader != nullptr;
    case ComponentArray::usrBuildXmlPage:
      return slot->pageBuilder != nullptr;
    case ComponentArray::usrMinature:
      return slot->miniature != nullptr;
  }
  return false;
}

net::usrSocket* ConnectionSlots::usrSocket(int index) const {
  const ConnectionSlot* slot = find(index);
  return slot == nullptr ? nullptr : slot->socket.get();
}

usrFileReader* ConnectionSlots::usrFileReader(int index) const {
  const ConnectionSlot* slot = find(index);
  return slot == nullptr ? nullptr : slot->fileReader.get();
}

content::usrBuildXmlPage* ConnectionSlots::usrBuildXmlPage(int index) const {
  const ConnectionSlot* slot = find(index);
  return slot == nullptr ? nullptr : slot->pageBuilder.get();
}

content::usrMinature* ConnectionSlots::usrMinature(int index) const {
  const ConnectionSlot* slot = find(index);
  return slot == nullptr ? nullptr : slot->miniature.get();
}

ConnectionSlot* ConnectionSlots::find(int index) const {
  const auto found = slots_.find(index);
  return found == slots_.end() ? nullptr : found->second.get();
}

ConnectionSlot* ConnectionSlots::find(ConnectionRef connection) const {
  ConnectionSlot* slot = find(connection.index);
  return slot != nullptr && slot->generation == connection.generation ? slot : nullptr;
}

ConnectionRef ConnectionSlots::ref(int index) const {
  const ConnectionSlot* slot = find(index);
  return {index, slot == nullptr ? 0 : slot->generation};
}

std::vector<int> ConnectionSlots::indexes() const {
  std::vector<int> result;
  result.reserve(slots_.size());
  for (const auto& entry : slots_) {
    result.push_back(entry.first);
  }
  return result;
}

int ConnectionSlots::loadedCount(ComponentArray array) const {
  int loaded = 0;
  for (const auto& entry : slots_) {
    loaded += isControlArrayItemLoaded(array, entry.first) ? 1 : 0;
  }
  return loaded;
}

}  // namespace orv::server
