#pragma once

#include <QDir>
#include <QPixmap>
#include <QString>
#include <QWidget>

// Saves a picture of a window as a test artifact, build/<flavour>/ui-artifacts/<name>.png,
// for a person to look at: clipped texts and broken layouts show there, not in asserts.
// True when it was written.
inline bool saveUiArtifact(QWidget& widget, const QString& name) {
  const QString folder = QStringLiteral(ORV_APP_DIR "/../ui-artifacts");
  if (!QDir().mkpath(folder)) {
    return false;
  }
  return widget.grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}
