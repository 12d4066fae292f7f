#pragma once

#include "server/request_context.h"

// Playlist requests: the .pls text of a folder's sound files ("folder.pls"), of one artist
// ("?artist:" name ".pls") or album ("?album:" name ".pls") in it, and of any folder an
// audio player asks for. The answer goes in one piece as "audio/scpls", never deflated,
// and closes its connection whatever the client asked: players fetch the list once, then
// each file on connections of their own.
namespace orv::server {

class ServerEngine;

// Answers the playlist request of a folder that passed the folder checks:
// - a virtual folder: the empty playlist, nothing counted or recorded;
// - a disk folder of a share without sound files: 403;
// - a disk folder: its playlist, counted as a page in creation (the common exit lowers the
//   count again) and recorded as AUDIO_FOLDER_NAVIGATION with the folder's local path, HEAD
//   requests included.
// HEAD gets the head alone, with the Content-Length of the text a GET gets. A connection
// that closes while the folder is read ends the request at once, with nothing sent or
// recorded.
void subServePlaylist(ServerEngine& server, RequestContext& context);

}  // namespace orv::server
