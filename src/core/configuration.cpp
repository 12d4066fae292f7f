#include "core/configuration.h"

#include "core/file_utils.h"

#include <QLocale>

#include <cmath>

namespace orv::core {

tConfiguration gConfiguration;
QString gAppFolder;

QString defaultSoundExtensions() {
  return QStringLiteral(
      ".pls;.m3u;.bpl;.b4s;.MP3;.MP2;.MP1;.wma;.MID;.MIDI;.RMI;.KAR;.MIZ;.mod;.mdz;.stm;.stz;.s3m;.s3z;.it;.itz;.xm;"
      ".xmz;.mtm;.ult;.669;.CDA;.WAV;.VOC;.AU;.SND;.AIF;.AIFF;.OGG;");
}

QString defaultImageExtensions() {
  return QStringLiteral(".bmp;.dib;.gif;.emf;.png;.wmf;.jpg;.jpeg;.jfif;.jpe;.tif;.tiff;");
}

QString defaultVideoExtensions() {
  return QStringLiteral(
      ".avi;.asf;.wmv;.mpeg;.mpg;.mpa;.asx;.wvx;.mpv2;.mpe;.m1v;.divx;.rmp;.ra;.rf;.rm;.rmvb;.ram;.rec;.rp;.rmj;.rsml;"
      ".rmx;.rjs;.rjt;.rt;.r3t;.rv;.sdp;.rms;.smi;.smil;.ssm;.vgp;.rnx;.mns;.mnd;.mp4;.m4e;.lmsff;.lqt;.lavs;.lar;"
      ".la1;.acp;.qt;.mov;.m2v;.vob;.wm;.mkv;.ogm;.m4v;");
}

QString defaultAudioPlayersKeywords() {
  return QStringLiteral("winamp;nsplayer;foobar;itunes;");
}

std::optional<double> parseConfigNumber(const QString& text) {
  bool ok = false;
  const double number = QLocale::c().toDouble(text.trimmed(), &ok);
  if (!ok || !std::isfinite(number)) {
    return std::nullopt;
  }
  return number;
}

namespace {

bool isIn(int value, int low, int high) {
  return value >= low && value <= high;
}

// A file of one of the application's folders, named by a setting. A name that holds a "/"
// would reach outside that folder, so it counts as absent.
bool isUsableFileIn(const QString& folder, const QString& name) {
  return !name.contains(QLatin1Char('/')) &&
         fnctFileExists(gAppFolder + QLatin1Char('/') + folder + QLatin1Char('/') + name, false) ==
             ExistenceCode::Usable;
}

bool isUsableFolder(const QString& path) {
  return fnctFolderExists(path, false) == ExistenceCode::Usable;
}

bool isValidExtensionList(const QString& list) {
  return list.contains(QLatin1Char(';')) && list.contains(QLatin1Char('.'));
}

}  // namespace

tConfiguration fnctCheckConfiguration(tConfiguration record) {
  tConfProtocol& protocol = record.Protocol;
  const std::optional<double> port = parseConfigNumber(protocol.LOCAL_PORT);
  if (!port || !(std::nearbyint(*port) >= 1 && std::nearbyint(*port) <= 65535)) {
    protocol.LOCAL_PORT = QStringLiteral("80");
  }
  if (!isIn(protocol.BAN_DURATION, 1, 86400)) {
    protocol.BAN_DURATION = 240;
  }
  if (record.IpFilters.bytMethod == 0) {
    record.IpFilters.bytMethod = 2;
  }
  if (record.HtmlDisplay.PAGE_BUILD_METHOD == 0) {
    record.HtmlDisplay.PAGE_BUILD_METHOD = 2;
  }

  tConfShellExtension& extensions = record.ShellExtension;
  if (!isValidExtensionList(extensions.SOUND)) {
    extensions.SOUND = defaultSoundExtensions();
  }
  if (!isValidExtensionList(extensions.IMAGE)) {
    extensions.IMAGE = defaultImageExtensions();
  }
  if (!isValidExtensionList(extensions.VIDEO)) {
    extensions.VIDEO = defaultVideoExtensions();
  }

  tConfLanguage& language = record.Language;
  if (!isUsableFileIn(QStringLiteral("lang"), language.FILENAME)) {
    const QString english = QStringLiteral("english.xml");
    if (isUsableFileIn(QStringLiteral("lang"), english)) {
      language.FILENAME = english;
      language.strLanguageFilePath = gAppFolder + QStringLiteral("/lang/") + english;
    } else {
      language.FILENAME.clear();
      language.strLanguageFilePath.clear();
    }
  }

  ShareEntry& root = record.Shared.RootShare;
  if (!isUsableFolder(root.localPath)) {
    const QString sharedFolder = gAppFolder + QStringLiteral("/my shared folder");
    root.localPath = isUsableFolder(sharedFolder) ? sharedFolder : gAppFolder;
    root.sharePhysicalFolder = true;
    root.shareVirtualFolder = true;
    root.shareOther = true;
    root.shareSound = true;
    root.shareImage = true;
    root.shareVideo = true;
  }

  if (!isUsableFileIn(QStringLiteral("resources"), record.HtmlDisplay.XSL_FILE)) {
    record.HtmlDisplay.XSL_FILE = QStringLiteral("classic-full.xsl");
  }

  if (protocol.MAX_IDENTIFICATION_ERROR == 0 || protocol.MAX_IDENTIFICATION_ERROR < -1) {
    protocol.MAX_IDENTIFICATION_ERROR = 20;
  }
  if (record.History.MAX_ENTRY == 0 || record.History.MAX_ENTRY < -1) {
    record.History.MAX_ENTRY = 150;
  }
  if (record.Other.MINATURE_CACHE_SIZE_MAX == 0) {
    record.Other.MINATURE_CACHE_SIZE_MAX = 10000000;
  }
  if (record.HtmlDisplay.MINATURE_DIMENSION < 10) {
    record.HtmlDisplay.MINATURE_DIMENSION = 96;
  }
  if (record.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS.isEmpty()) {
    record.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS = defaultAudioPlayersKeywords().split(QLatin1Char(';'));
  }
  if (protocol.DOMAINS_LIST.isEmpty()) {
    protocol.ALLOW_ONLY_DOMAINS = false;
  }

  tConfAppDisplay& display = record.AppDisplay;
  if (!isIn(display.SHARES_LIST_SHOW_BY, 1, 2)) {
    display.SHARES_LIST_SHOW_BY = 1;
  }
  if (!isIn(display.SHARES_LIST_SORT_BY, 1, 2)) {
    display.SHARES_LIST_SORT_BY = 2;
  }
  if (!isIn(display.SHARES_LIST_ITEMS_TEXT, 1, 3)) {
    display.SHARES_LIST_ITEMS_TEXT = 1;
  }
  if (!isIn(protocol.IDENTIFICATION_METHOD, 1, 2)) {
    protocol.IDENTIFICATION_METHOD = 2;
  }
  return record;
}

// ---- share store ----

ShareEntry tShares::entryAt(qsizetype position) const {
  return {ids.at(position),
          serverPath.at(position),
          localPath.at(position),
          users.at(position),
          restricted.at(position),
          sharePhysicalFolder.at(position),
          shareVirtualFolder.at(position),
          shareOther.at(position),
          shareSound.at(position),
          shareImage.at(position),
          shareVideo.at(position)};
}

bool tShares::add(const ShareEntry& entry) {
  if (entry.id.isEmpty() || ids.contains(entry.id)) {
    return false;
  }
  ids.add(entry.id, entry.id);
  serverPath.add(entry.serverPath, entry.id);
  localPath.add(entry.localPath, entry.id);
  users.add(entry.users, entry.id);
  restricted.add(entry.restricted, entry.id);
  sharePhysicalFolder.add(entry.sharePhysicalFolder, entry.id);
  shareVirtualFolder.add(entry.shareVirtualFolder, entry.id);
  shareOther.add(entry.shareOther, entry.id);
  shareSound.add(entry.shareSound, entry.id);
  shareImage.add(entry.shareImage, entry.id);
  shareVideo.add(entry.shareVideo, entry.id);
  return true;
}

bool tShares::remove(const QString& id) {
  if (!ids.contains(id)) {
    return false;
  }
  ids.remove(id);
  serverPath.remove(id);
  localPath.remove(id);
  users.remove(id);
  restricted.remove(id);
  sharePhysicalFolder.remove(id);
  shareVirtualFolder.remove(id);
  shareOther.remove(id);
  shareSound.remove(id);
  shareImage.remove(id);
  shareVideo.remove(id);
  return true;
}

// ---- user accounts ----

UserAccount tConfUsers::accountAt(qsizetype position) const {
  return {ids.at(position), login.at(position), password.at(position), pagesicon.at(position), urlsicon.at(position)};
}

bool tConfUsers::add(const UserAccount& account) {
  if (account.id.isEmpty() || ids.contains(account.id)) {
    return false;
  }
  ids.add(account.id, account.id);
  login.add(account.login, account.id);
  password.add(account.password, account.id);
  pagesicon.add(account.pagesicon, account.id);
  urlsicon.add(account.urlsicon, account.id);
  return true;
}

bool tConfUsers::remove(const QString& id) {
  if (!ids.contains(id)) {
    return false;
  }
  ids.remove(id);
  login.remove(id);
  password.remove(id);
  pagesicon.remove(id);
  urlsicon.remove(id);
  return true;
}

}  // namespace orv::core
