#pragma once

#include <QIcon>

// The pictures of the tool bar, drawn rather than loaded: the resources folder holds what
// the web pages show, and these are the window's own.
namespace orv::desktop {

enum class ToolbarPicture { ServerRunning, ServerStopped, Shares, Uploads, History, Config };

// The picture at 32 px, its colours fixed, the same on every run.
QIcon toolbarPicture(ToolbarPicture picture);

}  // namespace orv::desktop
