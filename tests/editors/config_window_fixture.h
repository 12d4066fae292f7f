#pragma once

// The real main window over a test's application folder, with the configuration panel
// registered, for the tests of the configuration inside the window.

#include "desktop/child_panel.h"
#include "desktop/frm_main.h"
#include "editors/frm_config_main_list.h"
#include "support/temp_folder.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

// config.xml with port 0 and English, the configuration panel's maker, and the window made
// and loaded.
inline void startMainWindow(const TempFolder& app, std::unique_ptr<orv::desktop::frmMain>& window) {
  app.write(QStringLiteral("config.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CONFIGURATION version=\"102\"><PROTOCOL><LOCAL_PORT>0"
            "</LOCAL_PORT></PROTOCOL><LANGUAGE><FILENAME>english.xml</FILENAME></LANGUAGE></CONFIGURATION>");
  orv::desktop::setChildPanelMaker(orv::desktop::MainPanel::Config,
                                   [](QWidget* parent) { return new orv::editors::frmConfig_MainList(parent); });
  window = std::make_unique<orv::desktop::frmMain>(app.path(), QString());
  ASSERT_TRUE(window->MDIForm_Load());
}

inline void stopMainWindow(std::unique_ptr<orv::desktop::frmMain>& window) {
  window.reset();
  orv::desktop::setChildPanelMaker(orv::desktop::MainPanel::Config, {});
}
