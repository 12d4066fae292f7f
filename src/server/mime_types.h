#pragma once

#include <QByteArray>
#include <QStringView>

// The Content-Type of a file, from its extension; the table is fixed.
namespace orv::server {

// extension: without the dot, in any case ("JPG", "Jpeg"). An extension the table does not
// hold, the empty one included, gives "application/octet-stream".
QByteArray getMimeType(QStringView extension);

}  // namespace orv::server
