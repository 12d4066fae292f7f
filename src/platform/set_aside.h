#pragma once

#include <QString>

namespace orv::platform {

// Renames the file at path to path followed by suffix, or by suffix, "-" and 2, 3... when
// that name is taken: no file is ever replaced. The new path, or an empty text when the
// file could not be moved (error then says why).
QString setFileAside(const QString& path, const QString& suffix, QString* error = nullptr);

}  // namespace orv::platform
