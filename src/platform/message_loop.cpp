#include "platform/message_loop.h"

#include <QCoreApplication>
#include <QtGlobal>

namespace orv::platform {

void selectMessageLoop() {
  qputenv("QT_NO_GLIB", "1");
}

void yieldToMessageLoop() {
  QCoreApplication::processEvents();
}

}  // namespace orv::platform
