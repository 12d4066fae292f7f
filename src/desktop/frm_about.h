#pragma once

#include <QWidget>

class QCloseEvent;
class QKeyEvent;
class QLabel;
class QMouseEvent;
class QPaintEvent;

// The about box: the program, its version and author, the language file in use with its
// version and author, links to the project web site, the help and the authors, and the
// credits. A borderless box, made when it is shown and destroyed when it closes: on Escape
// while it has the focus, or on a click of its background or its logo.
namespace orv::desktop {

class frmAbout : public QWidget {
  Q_OBJECT

 public:
  explicit frmAbout(QWidget* parent = nullptr);
  ~frmAbout() override;

  frmAbout(const frmAbout&) = delete;
  frmAbout& operator=(const frmAbout&) = delete;

  // Rewrites every text that comes from the language record or the list of language files,
  // the language file's version and author included.
  void RefreshFormLang();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void unloadBox();

  QLabel* picAppLogo_ = nullptr;
  QLabel* labAppTitle_ = nullptr;
  QLabel* labAppVersion_Label_ = nullptr;
  QLabel* labAppVersion_Value_ = nullptr;
  QLabel* labAppCreator_Label_ = nullptr;
  QLabel* labAppCreator_Value_ = nullptr;
  QLabel* labLangFileTitle_ = nullptr;
  QLabel* labLangFileVersion_Label_ = nullptr;
  QLabel* labLangFileVersion_Value_ = nullptr;
  QLabel* labLangFileCreator_Label_ = nullptr;
  QLabel* labLangFileCreator_Value_ = nullptr;
  QLabel* labWebSiteTitle_ = nullptr;
  QLabel* labNewVersionChecker_ = nullptr;
  QLabel* labReportBugs_ = nullptr;
  QLabel* labConsultWebSite_ = nullptr;
  QLabel* labHelp_ = nullptr;
  QLabel* labInfosTitle_ = nullptr;
  QLabel* labThanks_ = nullptr;
  QLabel* labXHTML10ValidTxt_ = nullptr;
};

// Shows the about box, making it when none is open, and brings it forward; it belongs to
// owner (the main window) and marks the box open (blnAboutFromTray) until it closes.
frmAbout* showAboutForm(QWidget* owner);
// The box shown now, or null.
frmAbout* aboutForm();
// Closes the box when one is open (the tray's double click).
void closeAboutForm();
// Rewrites the open box's texts after a language change; with no box open there is nothing
// to do, since a box reads the record when it is made.
void RefreshAboutFormLang();

}  // namespace orv::desktop
