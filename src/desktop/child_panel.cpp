#include "desktop/child_panel.h"

#include <array>
#include <utility>

namespace orv::desktop {
namespace {

std::array<ChildPanelMaker, 4>& makers() {
  static std::array<ChildPanelMaker, 4> registered;
  return registered;
}

std::size_t slotOf(MainPanel panel) {
  return static_cast<std::size_t>(static_cast<int>(panel) - 1);
}

}  // namespace

void setChildPanelMaker(MainPanel panel, ChildPanelMaker maker) {
  makers()[slotOf(panel)] = std::move(maker);
}

ChildPanel* createChildPanel(MainPanel panel, QWidget* parent) {
  if (const ChildPanelMaker& maker = makers()[slotOf(panel)]) {
    return maker(parent);
  }
  return new ChildPanel(parent);
}

}  // namespace orv::desktop
