#include "server/playlists.h"

#include "content/folder_enumeration.h"
#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/language.h"
#include "core/text_encoding.h"
#include "platform/codepage.h"
#include "platform/message_loop.h"
#include "platform/surrogate_escape.h"

#include <algorithm>

namespace orv::server {
namespace {

QLatin1String latin(const char* text) {
  return QLatin1String(text);
}

constexpr char kLineEnd[] = "\r\n";

bool isTag(const QString& tag, const char* name) {
  return tag.compare(latin(name), Qt::CaseInsensitive) == 0;
}

// The URL path of a file: its bytes percent-encoded. A "?" would start the query of the
// URL and leave the rest of the name out of the path, so it is encoded as well.
QByteArray fileUrlPath(const QString& urlFolder, const QString& name) {
  return core::fnctUrlEncode(urlFolder + name).replace(QLatin1Char('?'), latin("%3F")).toLatin1();
}

// The name as pages show it: a control character would end the line early (and a CR LF
// could add entries of its own), and a byte that is not UTF-8 has no character to show.
QByteArray titleText(const QString& name) {
  QString shown = core::fnctReplaceControlChars(name);
  for (QChar& c : shown) {
    if (platform::isEscapedByte(c.unicode())) {
      c = QChar(QChar::ReplacementCharacter);
    }
  }
  return shown.toUtf8();
}

QByteArray closingLines(int count) {
  return "NumberOfEntries=" + QByteArray::number(count) + kLineEnd + "Version=2" + kLineEnd;
}

// The value of the filter as the files are compared with it: "?" stands for the files
// without an artist or album, which read as the language's text for none.
PlaylistFilter resolvedFilter(const PlaylistFilter& filter) {
  PlaylistFilter resolved = filter;
  if (filter.value == latin("?")) {
    if (isTag(filter.tag, "artist")) {
      resolved.value = core::gLanguage.text(u"HTLM/GROUP/UNKNOW_ARTIST");
    } else if (isTag(filter.tag, "album")) {
      resolved.value = core::gLanguage.text(u"HTLM/GROUP/UNKNOW_ALBUM");
    }
  }
  return resolved;
}

bool needsMp3Data(const PlaylistFilter& filter) {
  return isTag(filter.tag, "artist") || isTag(filter.tag, "album");
}

}  // namespace

QByteArray fnctEmptyPlaylist() {
  return QByteArray("[playlist]") + kLineEnd + closingLines(0);
}

bool isPlaylistRequest(const QString& decodedQuery, bool audioPlayer) {
  if (audioPlayer) {
    return true;
  }
  return decodedQuery.endsWith(latin(".pls"), Qt::CaseInsensitive) &&
         (decodedQuery.contains(latin("?artist:"), Qt::CaseInsensitive) ||
          decodedQuery.contains(latin("?album:"), Qt::CaseInsensitive) ||
          decodedQuery.endsWith(latin("folder.pls"), Qt::CaseInsensitive));
}

PlaylistFilter fnctGetPlaylistFilter(const QString& decodedQuery) {
  if (decodedQuery.size() <= 9) {
    return {};
  }
  // The name runs from after the key to 4 characters before the end (".pls"); a query that
  // ends sooner must not ask for a negative length.
  const auto nameAfter = [&](qsizetype keyEnd) {
    return decodedQuery.mid(keyEnd, std::max<qsizetype>(0, decodedQuery.size() - keyEnd - 4));
  };
  if (decodedQuery.mid(1, 7).compare(latin("artist:"), Qt::CaseInsensitive) == 0) {
    return {QStringLiteral("artist"), nameAfter(8)};
  }
  if (decodedQuery.mid(1, 6).compare(latin("album:"), Qt::CaseInsensitive) == 0) {
    return {QStringLiteral("album"), nameAfter(7)};
  }
  return {};
}

bool isPlaylistSoundFile(const QString& name, const QString& soundList) {
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  if (dot < 0) {
    return false;
  }
  return soundList.contains(name.mid(dot) + QLatin1Char(';'), Qt::CaseInsensitive);
}

bool isChosenByPlaylistFilter(const content::tMp3Summary& mp3, const PlaylistFilter& filter) {
  if (isTag(filter.tag, "artist")) {
    return mp3.tag.artist.compare(filter.value, Qt::CaseInsensitive) == 0;
  }
  if (isTag(filter.tag, "album")) {
    return mp3.tag.album.compare(filter.value, Qt::CaseInsensitive) == 0;
  }
  return true;
}

QByteArray fnctWritePlaylist(const QStringList& names, const QString& urlFolder, const QString& host) {
  const QByteArray address = "http://" + platform::toAnsi(core::fnctReplaceControlChars(host));
  QByteArray text = QByteArray("[playlist]") + kLineEnd;
  int n = 0;
  for (const QString& name : names) {
    const QByteArray number = QByteArray::number(++n);
    text += "File" + number + '=' + address + fileUrlPath(urlFolder, name) + kLineEnd;
    text += "Title" + number + '=' + titleText(name) + kLineEnd;
    text += "Length" + number + "=-1" + kLineEnd;
  }
  return text + closingLines(n);
}

std::optional<QByteArray> fnctCreateVirtualPlaylist(const QString& localFolder, const QString& urlFolder,
                                                    const QString& host, const QString& tag, const QString& value,
                                                    const QString& shareFolder, const PlaylistGoOn& goOn) {
  core::subAddDebugEvent(QStringLiteral("Create virtual playlist"), core::DebugEventCategory::Application);
  // Everything the build reads is copied before its first yield: the caller's values and
  // the settings may be gone or changed when it resumes.
  const QString folder = localFolder.endsWith(QLatin1Char('/')) ? localFolder : localFolder + QLatin1Char('/');
  const QString url = urlFolder;
  const QString address = host;
  const PlaylistGoOn stillWanted = goOn;
  const PlaylistFilter filter = resolvedFilter({tag, value});
  const QString soundList = core::gConfiguration.ShellExtension.SOUND;

  const std::optional<content::FolderSnapshot> snapshot = content::fnctReadFolderSnapshot(folder, shareFolder);
  if (!snapshot) {
    return fnctEmptyPlaylist();
  }
  QStringList chosen;
  for (const content::ListedEntry& entry : snapshot->files) {
    if (isPlaylistSoundFile(entry.name, soundList) && content::isListedFileStillThere(*snapshot, folder, entry) &&
        (!needsMp3Data(filter) ||
         isChosenByPlaylistFilter(content::fnctGetListedMp3Infos(folder + entry.name, entry.isLink), filter))) {
      chosen << entry.name;
    }
    platform::yieldToMessageLoop();
    if (stillWanted && !stillWanted()) {
      return std::nullopt;
    }
  }
  return fnctWritePlaylist(chosen, url, address);
}

QString fnctAddPlaylistParam(const QString& query, const QString& parameter) {
  QString result = query;
  result.replace(latin("?.pls"), latin("?"), Qt::CaseInsensitive)
      .replace(latin("&.pls"), latin("&"), Qt::CaseInsensitive);
  result += (result.startsWith(QLatin1Char('?')) ? latin("&") : latin("?")) + parameter;
  return result.replace(latin("?&"), latin("?")).replace(latin("&&"), latin("&"));
}

}  // namespace orv::server
