#include "core/app_info.h"

namespace orv::core {

QString applicationTitle() {
  return QStringLiteral("Orvendale");
}

QString displayVersion() {
  return QString::number(kVersionMajor) + QLatin1Char('.') + QString::number(kVersionMinor) +
         QString::number(kVersionRevision);
}

int compactVersion() {
  return (QString::number(kVersionMajor) + QString::number(kVersionMinor) + QString::number(kVersionRevision)).toInt();
}

}  // namespace orv::core
