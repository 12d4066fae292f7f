#pragma once

#include "core/configuration.h"
#include "core/debug_log.h"

#include <QString>

#include <concepts>

// The socket layer's lines of the debug log. The text is only made while the log would
// keep it: a busy server handles many notifications a second.
namespace orv::net {

inline bool isSocketLogOn() {
  return core::gConfiguration.AppState.blnDebugFormLoaded && core::gConfiguration.AdvancedParameters.SKT_DEBUG;
}

template <typename MakeText>
requires std::invocable<MakeText&>
void logSocketEvent(MakeText&& makeText) {
  if (isSocketLogOn()) {
    core::subAddDebugEvent(makeText(), core::DebugEventCategory::Socket);
  }
}

inline void logSocketEvent(const QString& text) {
  if (isSocketLogOn()) {
    core::subAddDebugEvent(text, core::DebugEventCategory::Socket);
  }
}

}  // namespace orv::net
