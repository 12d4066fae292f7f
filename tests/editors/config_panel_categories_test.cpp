// The boot, local paths and IP filters categories inside the configuration panel, placed
// where the main window puts it: each key shows its form beside the strip, and a picture of
// each is kept.

#include "editors/frm_config_main_list.h"
#include "editors_fixture.h"
#include "support/event_loop.h"

#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

using namespace orv::editors;
using orv::core::gConfiguration;

TEST_F(EditorsTest, TheBootLocalPathsAndIpFiltersFormsStandInThePanel) {
  const QByteArray savedConfigHome = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", app_.file(QStringLiteral("session")).toLocal8Bit());
  gConfiguration.LocalPaths.colExclusions.add(QStringLiteral("\"{folder:app}/cache/\""));
  gConfiguration.LocalPaths.colExclusions.add(QStringLiteral("private"));
  gConfiguration.IpFilters.colAddresses.add(QStringLiteral("192.168.0.10"));
  QWidget area;
  area.resize(780, 480);
  auto* panel = new frmConfig_MainList(&area);
  panel->blnRedimActivate = false;
  panel->resize(panel->width(), area.height());
  panel->LoadConfigCatForm(QStringLiteral("general"));
  panel->blnRedimActivate = true;
  panel->blnEnableFormRedimY = true;
  area.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
  struct Case {
    const char* key;
    const char* form;
  };
  for (const Case& c : {Case{"boot", "frmConfig_CatBoot"}, Case{"localpaths", "frmConfig_CatLocalPaths"},
                        Case{"ipfilters", "frmConfig_CatIpFilters"}}) {
    SCOPED_TRACE(c.key);
    panel->LoadConfigCatForm(QLatin1String(c.key));
    processPendingEvents();
    QWidget* form = panel->frmConfigCatForm();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->objectName(), QLatin1String(c.form));
    EXPECT_GE(form->geometry().left(), frmConfig_MainList::kStripWidth);
    EXPECT_GE(form->geometry().right(), area.width() - 20);
    auto* save = form->findChild<QPushButton*>(QStringLiteral("cmdSaveConfig"));
    ASSERT_NE(save, nullptr);
    EXPECT_FALSE(save->isEnabled());
    EXPECT_TRUE(form->rect().contains(save->geometry())) << c.key;
    saveArtifact(area, QStringLiteral("config-panel-") + QLatin1String(c.key));
  }
  qputenv("XDG_CONFIG_HOME", savedConfigHome);
}

}  // namespace
