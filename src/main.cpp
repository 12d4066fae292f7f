#include "desktop/child_panel.h"
#include "desktop/frm_history.h"
#include "desktop/frm_main.h"
#include "desktop/frm_uploads.h"
#include "desktop/startup.h"
#include "desktop/termination_signals.h"
#include "editors/frm_config_main_list.h"
#include "editors/frm_shares.h"
#include "platform/message_loop.h"

#include <QApplication>

int main(int argc, char** argv) {
  orv::platform::selectMessageLoop();
  QApplication application(argc, argv);
  orv::desktop::setChildPanelMaker(orv::desktop::MainPanel::History,
                                   [](QWidget* parent) { return new orv::desktop::frmHistory(parent); });
  orv::desktop::setChildPanelMaker(orv::desktop::MainPanel::Config,
                                   [](QWidget* parent) { return new orv::editors::frmConfig_MainList(parent); });
  orv::desktop::frmMain window(QCoreApplication::applicationDirPath(),
                               orv::desktop::commandLineText(QCoreApplication::arguments()));
  orv::desktop::setChildPanelMaker(orv::desktop::MainPanel::Shares, orv::editors::sharesPanelMaker(window));
  orv::desktop::setChildPanelMaker(orv::desktop::MainPanel::Uploads, [&window](QWidget* parent) {
    return new orv::desktop::frmUploads(window.server(), parent);
  });
  // A stop from the session or a terminal closes the window as the user would.
  const orv::desktop::TerminationSignalWatcher stopWatcher([&window] { window.close(); });
  if (!window.MDIForm_Load()) {
    return orv::desktop::kStartupFailureExitCode;
  }
  return QApplication::exec();
}
