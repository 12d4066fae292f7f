#include "desktop/frm_tooltip_uploads.h"

#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

namespace orv::desktop {
namespace {

// The inner width at design, 4455 twips; the labels are 4095 to 4100 twips of it.
constexpr int kDesignWidth = 297;
constexpr int kLargestWidth = 520;

}  // namespace

frmToolTipUploads::frmToolTipUploads(const QString& objectName, const QStringList& labelNames, QWidget* parent)
    : QFrame(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(objectName);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  // Shape1: the frame around the whole inner area, on the system's tooltip colours.
  setFrameShape(QFrame::Box);
  setForegroundRole(QPalette::ToolTipText);
  setBackgroundRole(QPalette::ToolTipBase);
  setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(13, 10, 13, 10);
  layout->setSpacing(4);
  for (const QString& name : labelNames) {
    auto* label = new QLabel(this);
    label->setObjectName(name.isEmpty() ? QString() : name);
    label->setForegroundRole(QPalette::ToolTipText);
    label->setTextFormat(Qt::PlainText);
    label->setMinimumHeight(fontMetrics().height());
    layout->addWidget(label);
    labels_.append(label);
  }
}

void frmToolTipUploads::setLines(const QStringList& lines) {
  lines_ = lines;
  const QFontMetrics metrics = fontMetrics();
  int widest = 0;
  for (const QString& line : lines) {
    widest = std::max(widest, metrics.horizontalAdvance(line));
  }
  const QMargins margins = layout()->contentsMargins();
  const int width = std::clamp(widest + margins.left() + margins.right() + 2, kDesignWidth, kLargestWidth);
  const int textWidth = width - margins.left() - margins.right() - 2;
  for (qsizetype i = 0; i < labels_.size(); ++i) {
    const QString line = i < lines.size() ? lines[i] : QString();
    labels_[i]->setText(metrics.elidedText(line, Qt::ElideRight, textWidth));
    labels_[i]->setAccessibleName(line);
  }
  setFixedWidth(width);
  adjustSize();
}

QStringList frmToolTipUploads::lines() const {
  return lines_;
}

void frmToolTipUploads::showAt(QPoint position) {
  move(position);
  show();
  raise();
}

frmToolTipUploads* makeUploadsInProgressTooltip(QWidget* parent) {
  return new frmToolTipUploads(
      QStringLiteral("frmToolTip_UploadsInProgress"),
      {QStringLiteral("lblTitleTransferDetails"), QStringLiteral("lblFileDetails_Path"),
       QStringLiteral("lblTransferDetail_ClientInfos"), QStringLiteral("lblTransferDetail_ClientAppName"),
       QStringLiteral("lblTransferDetail_Remaining"), QStringLiteral("lblTransferDetail_CompleteFile"),
       QStringLiteral("lblTransferDetail_StartDate"), QStringLiteral("lblTransferDetail_CurrentRate"),
       QStringLiteral("lblTransferDetail_AverageRate")},
      parent);
}

frmToolTipUploads* makeUploadedFilesTooltip(QWidget* parent) {
  return new frmToolTipUploads(
      QStringLiteral("frmToolTip_UploadedFiles"),
      {QStringLiteral("lblTitleTransferDetails"), QStringLiteral("lblTransferDetail_ClientInfos"),
       QStringLiteral("lblTransferDetail_Transferred"), QStringLiteral("lblTransferDetail_CompleteFile"),
       QStringLiteral("lblTransferDetail_Finished"), QString(), QStringLiteral("lblTitleFileDetails"),
       QStringLiteral("lblFileDetails_Path"), QStringLiteral("lblFileDetails_NbFinishedSession"),
       QStringLiteral("lblFileDetails_NbFinishedTotal"), QStringLiteral("lblFileDetails_NbAbortSession"),
       QStringLiteral("lblFileDetails_SizeSentSession"), QStringLiteral("lblFileDetails_SizeSentTotal")},
      parent);
}

}  // namespace orv::desktop
