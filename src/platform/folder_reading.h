#pragma once

#include "platform/file_system.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// A folder opened once for a listing that looks at every entry: the entries are read from
// the open folder and each one is looked at again relative to it, one call per entry
// instead of a walk of the whole path each time. The entries stay those of the folder that
// was opened, even if its path is given to another folder meanwhile.
namespace orv::platform {

struct ReadFolderEntry {
  QString name;       // through the surrogate-escape mapping
  QByteArray native;  // the name's bytes as the file system holds them
  EntryType type = EntryType::Other;
};

// What a listing needs of an entry.
struct EntryStatus {
  bool isDirectory = false;
  bool isRegularFile = false;
  qint64 size = 0;
  qint64 lastWriteSeconds = 0;  // since the epoch, UTC
};

class OpenFolder {
 public:
  // Opens the folder (following links in its path, as opening any path does); isOpen()
  // tells whether it could be.
  explicit OpenFolder(const QString& path);
  ~OpenFolder();
  OpenFolder(OpenFolder&& other) noexcept;
  OpenFolder& operator=(OpenFolder&& other) noexcept;
  OpenFolder(const OpenFolder&) = delete;
  OpenFolder& operator=(const OpenFolder&) = delete;

  bool isOpen() const { return handle_ >= 0; }

  // The entries but "." and "..", in the order the file system gives them (no order at
  // all). The type comes from the listing itself, or from the entry's own status where the
  // file system does not say. Nothing when the folder cannot be read to its end. Reads the
  // folder from its start each time.
  std::optional<std::vector<ReadFolderEntry>> entries() const;

  // The status of an entry, by its native name; without followLinks a symbolic link
  // answers for itself. Nothing when the entry is gone or cannot be reached.
  std::optional<EntryStatus> statEntry(const QByteArray& native, bool followLinks) const;

 private:
  int handle_ = -1;
};

}  // namespace orv::platform
