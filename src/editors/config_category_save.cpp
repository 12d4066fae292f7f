#include "editors/config_category_save.h"

#include "core/app_info.h"
#include "core/config_file.h"
#include "desktop/message_box.h"

#include <utility>

namespace orv::editors {

using core::gConfiguration;

QString fnctConfigFilePath() {
  return core::gAppFolder + QStringLiteral("/config.xml");
}

platform::WriteResult fnctSaveCategory(const std::function<void(core::tConfiguration& record)>& storeValues) {
  core::tConfiguration before = gConfiguration;
  storeValues(gConfiguration);
  const platform::WriteResult result = core::subSaveConfiguration(fnctConfigFilePath());
  if (!result.ok) {
    // The run-time state is not a setting: it stays as it is now.
    core::tAppState state = std::move(gConfiguration.AppState);
    gConfiguration = std::move(before);
    gConfiguration.AppState = std::move(state);
    gConfiguration.AppState.blnConfigModified = true;
  }
  return result;
}

QString fnctSaveFailureText(const platform::WriteResult& result) {
  return QStringLiteral("The configuration could not be saved: ") + result.error +
         QStringLiteral(".\nThe changes are not in effect; press Save again once the cause is mended.");
}

bool subSaveCategory(const std::function<void(core::tConfiguration& record)>& storeValues) {
  const platform::WriteResult result = fnctSaveCategory(storeValues);
  if (!result.ok) {
    desktop::showMessageBox({fnctSaveFailureText(result), core::applicationTitle(), desktop::MessageIcon::Critical,
                             desktop::MessageButtons::Ok});
  }
  return result.ok;
}

}  // namespace orv::editors
