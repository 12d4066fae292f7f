#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

#include <functional>

class QMenu;
class QSystemTrayIcon;

// The icon in the notification area that stands in for the main window while it is hidden:
// one of three pictures and a tip, over Qt's tray icon. The picture's number and the tip
// are kept here as well, so that a run without a tray (a test offscreen) can read them.
namespace orv::desktop {

// The pictures of the tray icon, by their numbers.
inline constexpr int kTrayIconServerRunning = 101;
inline constexpr int kTrayIconServerStopped = 102;
inline constexpr int kTrayIconUploading = 103;

// The picture of a number (101, 102 or 103), drawn at the sizes trays ask for; a null icon
// for any other number.
QIcon trayIconPicture(int number);

// The most characters a tip holds: the notification areas that cut a tip do so at this
// field size, terminator included.
inline constexpr int kTrayTipMaxLength = 127;

// The tip cut to at most maxLength UTF-16 units, at a character boundary: a pair of
// surrogates or a letter with its combining marks is kept whole or left out whole.
QString fnctCutTrayTip(const QString& tip, int maxLength = kTrayTipMaxLength);

// Whether a notification area can show the icon now. Tests answer for the desktop; an
// empty function asks Qt again.
using TrayAvailability = std::function<bool()>;
void setTrayAvailability(TrayAvailability availability);
bool isTrayAvailable();

class usrSystray : public QObject {
  Q_OBJECT

 public:
  explicit usrSystray(QObject* parent = nullptr);
  // Takes the icon out of the notification area when it is shown.
  ~usrSystray() override;

  usrSystray(const usrSystray&) = delete;
  usrSystray& operator=(const usrSystray&) = delete;

  // Adds the icon with that picture and tip, or changes both in place when it is shown.
  void Show(int iconNumber, const QString& tip);
  // Takes the icon out of the notification area; nothing when it is not shown.
  void Hide();

  bool getIsIconIsVisible() const { return isIconIsVisible_; }
  void setIsIconIsVisible(bool visible) { isIconIsVisible_ = visible; }

  // The picture number and the tip of the last Show (0 and "" before the first).
  int iconNumber() const { return iconNumber_; }
  QString tipText() const { return tip_; }

  // The menu a right click on the icon pops up.
  void setContextMenu(QMenu* menu);
  QSystemTrayIcon* trayIcon() const { return icon_; }

  // Raises the event of a mouse message on the icon: 513 left down, 514 left up, 515 left
  // double click, 516 right down, 517 right up, 518 right double click; others nothing.
  void usrSystray_MouseMessage(int message);

 Q_SIGNALS:
  void DblClickLeft();
  void DblClickRight();
  void ClickRightMouseUp();
  void ClickRightMouseDown();
  void ClickLeftMouseUp();
  void ClickLeftMouseDown();

 private:
  QSystemTrayIcon* icon_;
  bool isIconIsVisible_ = false;
  int iconNumber_ = 0;
  QString tip_;
};

}  // namespace orv::desktop
