#pragma once

#include "core/history_store.h"

#include <QIcon>

// The pictures of the history list, one per event type, drawn rather than loaded: the
// resources folder holds what the web pages show, and these are the window's own.
namespace orv::desktop {

// The picture of the type at 16 px, the same on every run; a null icon for a type that
// is none of the eleven.
QIcon historyEventPicture(core::HistoryEventType type);

}  // namespace orv::desktop
