#pragma once

#include <QFrame>
#include <QList>
#include <QStringList>

class QLabel;

// The two details windows of the uploads window's lists: frmToolTip_UploadsInProgress for
// an upload in progress and frmToolTip_UploadedFiles for a sent transfer and its file. Each
// is a frame on the tooltip colours with one label a line; it opens next to the pointer,
// above the other windows, without taking the focus or the mouse.
namespace orv::desktop {

class frmToolTipUploads : public QFrame {
  Q_OBJECT

 public:
  // objectName: the window's name; labelNames: its labels from top to bottom (an empty
  // name is an empty line).
  frmToolTipUploads(const QString& objectName, const QStringList& labelNames, QWidget* parent);

  // The texts of the labels, top to bottom; each is cut with "…" to the window's width.
  void setLines(const QStringList& lines);
  QStringList lines() const;
  // Moves the window to a screen position and shows it on top without activating it.
  void showAt(QPoint position);

 private:
  QList<QLabel*> labels_;
  QStringList lines_;
};

// The two windows with the labels of their kind.
frmToolTipUploads* makeUploadsInProgressTooltip(QWidget* parent);
frmToolTipUploads* makeUploadedFilesTooltip(QWidget* parent);

}  // namespace orv::desktop
