#pragma once

#include <QByteArray>
#include <QString>

namespace orv::platform {

struct WriteResult {
  bool ok = false;
  QString error;  // what failed, for the log; empty on success
};

// Replaces the file at path with bytes so that a crash or a full disk leaves either the
// old file or the new one, never a truncated file: the bytes go to a temporary file in
// the same folder, are flushed to disk, and the temporary file is renamed over the old
// one. permissions is the mode of the new file (0600 keeps a file private).
WriteResult writeFileAtomically(const QString& path, const QByteArray& bytes, unsigned permissions = 0644);

}  // namespace orv::platform
