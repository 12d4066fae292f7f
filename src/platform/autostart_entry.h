#pragma once

#include "platform/atomic_file.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The session's autostart entry of the program (what stands in for a value under the Run
// key of the registry): $XDG_CONFIG_HOME/autostart/orvendale.desktop, the folder being
// ~/.config when XDG_CONFIG_HOME is unset, empty or not an absolute path. Three operations
// on that one file: read it, write it (creating or replacing it), remove it.
namespace orv::platform {

QString autostartFolder();
QString autostartEntryPath();

// The bytes of the entry; nothing when there is none or it cannot be read.
std::optional<QByteArray> readAutostartEntry();

// Creates the autostart folder when it is missing, then replaces the entry atomically.
WriteResult writeAutostartEntry(const QByteArray& text);

// Removes the entry. An entry that is not there (nor its folder) is no error.
WriteResult removeAutostartEntry();

}  // namespace orv::platform
