#pragma once

#include <QByteArrayView>
#include <QLatin1StringView>

// Reason phrases of the status line and of the error pages' titles.
namespace orv::server {

// The phrase of a status number written as text: "404" gives "Not Found". The whole text
// is the key, so " 200", "0200" and any number outside the table read "Unknow method".
QLatin1StringView getRequestStatusMsg(QByteArrayView statusNb);

}  // namespace orv::server
