#pragma once

#include "core/keyed_list.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The configuration record: every setting of the application, as config.xml holds it, and
// the run-time state that lives beside the settings. One instance, gConfiguration, is filled
// at start-up and read by nearly every part of the system.
//
// Fields that are saved carry the name of their config.xml element. The saved fields start
// from the values of a run without config.xml that depend on no file; the run-only fields
// start from zero, false or empty. The tuning parameters start from their built-in defaults.
namespace orv::xml {
class Document;
}

namespace orv::core {

// The built-in lists that replace an extension text lacking ";" or ".".
QString defaultSoundExtensions();
QString defaultImageExtensions();
QString defaultVideoExtensions();
// The audio-player keywords of a configuration without any.
QString defaultAudioPlayersKeywords();

struct tConfProtocol {
  QString LOCAL_PORT = QStringLiteral("80");  // held as text, as typed
  bool ENABLE_COMPRESSION = false;
  int MAX_IDENTIFICATION_ERROR = 20;  // failed identifications before a ban; -1 = no limit
  int BAN_DURATION = 240;             // seconds
  bool ALLOW_ONLY_DOMAINS = false;
  QStringList DOMAINS_LIST;       // split from a ";"-list: ends with one empty element
  int IDENTIFICATION_METHOD = 2;  // 1 HTTP Basic, 2 HTML form
};

// One share: the values that the share store keeps, for one position, in its eleven lists.
struct ShareEntry {
  QString id;          // "id" followed by the share's number; "id0" for the root share
  QString serverPath;  // begins and ends with "/", percent-encoded UTF-8
  QString localPath;   // absolute, without a trailing "/"
  QString users;       // logins joined by ":"; empty = everybody
  bool restricted = false;
  bool sharePhysicalFolder = false;
  bool shareVirtualFolder = false;
  bool shareOther = false;
  bool shareSound = false;
  bool shareImage = false;
  bool shareVideo = false;
};

inline constexpr const char* kRootShareId = "id0";

// The share store: every share but the root one, held as eleven keyed lists kept in step
// (same key, same position), in the order of adding; then the root share on its own.
struct tShares {
  KeyedList<QString> ids;  // the item equals its key
  KeyedList<QString> serverPath;
  KeyedList<QString> localPath;
  KeyedList<QString> users;
  KeyedList<bool> restricted;
  KeyedList<bool> sharePhysicalFolder;
  KeyedList<bool> shareVirtualFolder;
  KeyedList<bool> shareOther;
  KeyedList<bool> shareSound;
  KeyedList<bool> shareImage;
  KeyedList<bool> shareVideo;

  // Server path "/", key "id0"; it is never removed.
  ShareEntry RootShare = {
      QString::fromLatin1(kRootShareId), QStringLiteral("/"), {}, {}, false, true, true, true, true, true, true};

  qsizetype count() const { return ids.count(); }

  // The share at a position from 1 to count().
  ShareEntry entryAt(qsizetype position) const;

  // Appends the share to the eleven lists under entry.id; false (nothing added) when the key
  // is empty or already used.
  bool add(const ShareEntry& entry);

  // Removes the share of that key from the eleven lists; false when there is none.
  bool remove(const QString& id);
};

struct tConfLanguage {
  QString FILENAME;             // language file name in the folder "lang"
  QString strLanguageFilePath;  // run only: gAppFolder + "/lang/" + FILENAME
};

struct tConfShellExtension {
  QString SOUND = defaultSoundExtensions();  // "." and the extension, then ";", per extension
  QString IMAGE = defaultImageExtensions();
  QString VIDEO = defaultVideoExtensions();
  QString strResourcesIconsList;  // run only: the file-type icon lookup text
};

struct tConfOther {
  bool START_IN_TRAY = false;
  bool START_SERVER_ON_LOAD = false;
  int MINATURE_CACHE_SIZE_MAX = 10000000;  // bytes
};

// The runtime tuning parameters with their built-in defaults; never saved.
struct tAdvancedParameters {
  bool APP_DEBUG = true;
  int APP_MAX_SEND_TO_SOCKET_SIZE = 8192;                // bytes
  double APP_FILE_READER_BLOCK_SIZE = 40960;             // bytes
  double APP_MAX_MINIATURE_SOURCE_FILE_SIZE = 10000000;  // bytes
  double APP_MAX_TOTAL_FOLDER_IN_CREATION = 5;           // whole number
  double APP_MAX_CLIENT_FOLDER_IN_CREATION = 2;          // whole number
  double APP_MAX_TOTAL_MINIATURE_IN_CREATION = 20;       // whole number
  double APP_MAX_CLIENT_MINIATURE_IN_CREATION = 10;      // whole number
  bool SKT_DEBUG = false;
  int SKT_SNDBUF = 32768;  // bytes; -1 = the system's default (as for every SKT_ option)
  int SKT_RCVBUF = -1;
  int SKT_SNDLOWAT = -1;
  int SKT_RCVLOWAT = -1;
  int SKT_KEEPALIVE = -1;  // 1 on, 0 off
  int SKT_DONTROUTE = -1;
  int SKT_TCP_NODELAY = -1;
  bool HTTP_DEBUG = true;
  double HTTP_MAX_REQUEST_SIZE = 3000;  // bytes
  double HTTP_MAX_URL_SIZE = 2000;      // characters
  double HTTP_KEEP_ALIVE_TIMEOUT = 15;  // seconds, at most 60
  double HTTP_KEEP_ALIVE_MAX = 300;     // requests
  double TCP_MAX_OPEN_CONNECTION_TOTAL = 100;
  double TCP_MAX_OPEN_CONNECTION_CLIENT = 50;
};

struct tConfLocalPaths {
  KeyedList<QString> colExclusions;  // excluded path patterns, without keys
};

struct tConfIpFilters {
  KeyedList<QString> colAddresses;  // IPv4 address texts, without keys
  int bytMethod = 2;                // 2 everybody but the listed, 1 nobody but the listed
};

// A stylesheet document of the application state. It is built whole and only ever
// replaced, never changed, so copies of the record may share it; empty until built.
using StylesheetDocument = std::shared_ptr<const xml::Document>;

// The run-time state; never saved.
struct tAppState {
  bool blnDebugFormLoaded = false;
  bool blnUploadsFormLoaded = false;
  bool blnHistoryFormLoaded = false;
  bool blnAboutFromTray = false;
  bool blnServerStarted = false;
  bool blnConfigModified = false;
  bool blnHistoryModified = false;
  bool blnUploadedModified = false;
  bool blnCacheModified = false;
  StylesheetDocument objXslSortDocument;
  StylesheetDocument objXslGroupDocument;
  StylesheetDocument objXslTransformDocument;
  // Per client IP address; the empty key is never stored.
  KeyedList<int> colIpIdentificationErrors;
  KeyedList<QDateTime> colIpBanStartDates;
  KeyedList<int> colIpFoldersInCreation;
  KeyedList<int> colIpMiniaturesInCreation;
  bool blnZlibAvailable = false;
  int lngSystemCharset = 0;
};

struct tConfHistory {
  bool KEEP_HISTORY = true;
  int MAX_ENTRY = 150;  // events kept; -1 = no limit
};

struct tConfAppDisplay {
  int intMainFormWidth = 0;  // twips, the main window's design size
  int intMainFormHeight = 0;
  int gShownMainPanel = 0;  // MainPanel code, 0 = none yet
  int gShownConfigCategory = 0;
  int bytMainFormState = 0;
  int SHARES_LIST_SHOW_BY = 1;     // 1 icons, 2 list
  int SHARES_LIST_SORT_BY = 2;     // 1 name, 2 order of adding
  int SHARES_LIST_ITEMS_TEXT = 1;  // 1 folder name, 2 local path, 3 server path
  int intInProgressColumnWidths[4] = {};
  int intUploadedColumnWidths[2] = {};
  int bytInProgressSortKey = 0;
  int bytInProgressSortOrder = 0;
  bool blnInProgressSorted = false;
  int bytUploadedSortKey = 0;
  int bytUploadedSortOrder = 0;
  bool blnUploadedSorted = false;
  bool SHOW_TRANSFERS_LISTS_INFOS = false;
  bool blnUploadInProgressTooltipShown = false;
  int intUploadInProgressTooltipIndex = 0;
  bool blnUploadedFileTooltipShown = false;
  int intUploadedFileTooltipIndex = 0;
  bool SHOW_TRANSFERS_TOOL_TIPS = true;
};

struct tConfHtmlDisplay {
  bool VIEW_HIDDEN_DISK_ITEMS = false;
  bool ALLOW_MINIATURES = true;
  bool ALLOW_MP3_TAGS = true;
  bool HIDE_EXTENSIONS = false;
  int MINATURE_DIMENSION = 96;                            // pixels, the largest side of a thumbnail
  QString XSL_FILE = QStringLiteral("classic-full.xsl");  // a file of the folder "resources"
  int PAGE_BUILD_METHOD = 2;                              // 1 the browser transforms, 2 the server transforms
};

struct tConfAppsNameManagement {
  // Split from ";"-lists, so they end with one empty element.
  QStringList AUDIO_PLAYERS_KEYWORDS = defaultAudioPlayersKeywords().split(QLatin1Char(';'));
  QStringList BANNED_CLIENTS_KEYWORDS;  // may stay without elements
};

// One user account: the values that the account lists keep for one position.
struct UserAccount {
  QString id;  // "id" followed by the account's number
  QString login;
  QString password;  // plain text in memory
  QString pagesicon;
  QString urlsicon;
};

// The user accounts: five keyed lists kept in step, in the order of loading or adding.
struct tConfUsers {
  KeyedList<QString> ids;  // the item equals its key
  KeyedList<QString> login;
  KeyedList<QString> password;
  KeyedList<QString> pagesicon;
  KeyedList<QString> urlsicon;

  qsizetype count() const { return ids.count(); }
  UserAccount accountAt(qsizetype position) const;  // position from 1 to count()
  // Appends the account to the five lists under account.id; false when the key is empty
  // or already used.
  bool add(const UserAccount& account);
  bool remove(const QString& id);
};

struct tConfiguration {
  tConfProtocol Protocol;
  tShares Shared;
  tConfLanguage Language;
  tConfShellExtension ShellExtension;
  tConfOther Other;
  tAdvancedParameters AdvancedParameters;
  tConfLocalPaths LocalPaths;
  tConfIpFilters IpFilters;
  tAppState AppState;
  tConfHistory History;
  tConfAppDisplay AppDisplay;
  tConfHtmlDisplay HtmlDisplay;
  tConfAppsNameManagement AppsNameManagement;
  tConfUsers Users;
};

extern tConfiguration gConfiguration;

// The folder of the executable, without a trailing "/"; every file of the application is
// gAppFolder + "/" + its name.
extern QString gAppFolder;

// The value of a number as config.xml and the record hold numbers: decimal, with an optional
// sign, fraction and exponent, blanks around it allowed; nothing for any other text.
std::optional<double> parseConfigNumber(const QString& text);

// Applies the defaults and range checks to a freshly loaded record and returns it. Reads
// the folders "lang", "resources" and "my shared folder" of gAppFolder.
tConfiguration fnctCheckConfiguration(tConfiguration record);

}  // namespace orv::core
