#pragma once

#include <QDir>
#include <QString>
#include <QWidget>

// Saves a picture of a window as a test artifact, ui-artifacts/<name>.png of the build
// folder, for a person to look at.
inline bool saveUiArtifact(QWidget& window, const QString& name) {
  const QString folder = QStringLiteral(ORV_UI_ARTIFACTS);
  return QDir().mkpath(folder) && window.grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}
