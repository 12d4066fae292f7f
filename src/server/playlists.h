#pragma once

#include "content/mp3_reader.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Playlists in the .pls format: the sound files of one folder, or of one artist or album in
// it, for audio players, sent as "audio/scpls". Every line ends with CR LF:
//
//   [playlist]
//   File1=http://192.168.0.2:80/music/b.mp3
//   Title1=b.mp3
//   Length1=-1
//   NumberOfEntries=1
//   Version=2
//
// The text is bytes: each URL carries the file's name as the file system holds it, in UTF-8
// bytes percent-encoded, so the engine decodes it back to that very file; each title is the
// name as pages show it, in UTF-8.
namespace orv::server {

inline constexpr char kPlaylistContentType[] = "audio/scpls";

// The playlist of a folder without sound files (a virtual folder's): its three lines.
QByteArray fnctEmptyPlaylist();

// True when a folder request asks for a playlist: the decoded query ends with ".pls" and
// holds "?artist:" or "?album:" or ends with "folder.pls"; or the client is an audio player,
// which gets the folder's playlist for any folder URL. Case is ignored.
bool isPlaylistRequest(const QString& decodedQuery, bool audioPlayer);

// Which files of the folder a playlist keeps: tag "artist" or "album" and the name asked for,
// or an empty tag for all of them.
struct PlaylistFilter {
  QString tag;
  QString value;
};

// The filter of a playlist request's decoded query: "?artist:" name ".pls" or "?album:"
// name ".pls" (case ignored) in a query longer than 9 characters; no filter otherwise. The
// name is what stands between the two, the last 4 characters taken for ".pls": a query too
// short to hold them asks for an empty name, so no file.
PlaylistFilter fnctGetPlaylistFilter(const QString& decodedQuery);

// True for a name that has a "." and whose text from its last "." on, followed by ";",
// is in the ";"-list of sound extensions (case ignored).
bool isPlaylistSoundFile(const QString& name, const QString& soundList);

// True when a sound file with these MP3 data belongs to the filter: its artist (tag "artist")
// or album (tag "album") equals the value, case ignored; every file for any other tag.
bool isChosenByPlaylistFilter(const content::tMp3Summary& mp3, const PlaylistFilter& filter);

// The .pls text of the named files of one folder, in that order. urlFolder is the folder's
// URL path, decoded, beginning and ending with "/"; host is the Host name, ":" and the port.
QByteArray fnctWritePlaylist(const QStringList& names, const QString& urlFolder, const QString& host);

// Asked after each yield to the event loop: false once the playlist is wanted no more (its
// connection closed meanwhile).
using PlaylistGoOn = std::function<bool()>;

// The playlist of a local folder: its sound files (of the SOUND list, hidden ones included,
// subfolders not entered) in the order pages list them, kept by the filter of tag and value
// ("artist" or "album"; a value of "?" stands for the files without one), with the MP3 data
// read only when there is a filter. Nothing outside shareFolder (the folder itself when
// empty) is listed or read. A folder that cannot be listed gives the empty playlist, a file
// whose data cannot be read counts as without artist and album.
//
// It yields to the event loop once per file of the folder, so other connections are served
// while a large folder is read, and asks goOn after each yield: when that says no, the build
// ends at once with nothing, touching nothing it was given (it works on copies).
std::optional<QByteArray> fnctCreateVirtualPlaylist(const QString& localFolder, const QString& urlFolder,
                                                    const QString& host, const QString& tag, const QString& value,
                                                    const QString& shareFolder = {}, const PlaylistGoOn& goOn = {});

// The query of a page's playlist link: the query with the parameter appended as its last
// one, without a ".pls" parameter it held already ("" gives "?.pls").
QString fnctAddPlaylistParam(const QString& query, const QString& parameter);

}  // namespace orv::server
