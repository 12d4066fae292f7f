#include "server/upload_views.h"

#include "core/configuration.h"

namespace orv::server {
namespace {

UploadsWindowView* gUploadsWindow = nullptr;
TrayIconView* gTrayIcon = nullptr;

}  // namespace

void setUploadsWindowView(UploadsWindowView* view) {
  gUploadsWindow = view;
}

void setTrayIconView(TrayIconView* view) {
  gTrayIcon = view;
}

UploadsWindowView* getUploadsWindow() {
  return core::gConfiguration.AppState.blnUploadsFormLoaded ? gUploadsWindow : nullptr;
}

void subRefreshSystrayIconWhenShown() {
  if (gTrayIcon != nullptr && gTrayIcon->getIsIconIsVisible()) {
    gTrayIcon->AddOrRefreshSystrayIcon();
  }
}

}  // namespace orv::server
