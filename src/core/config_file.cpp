#include "core/config_file.h"

#include "core/app_info.h"
#include "core/base64.h"
#include "core/debug_log.h"
#include "core/file_utils.h"
#include "core/formats.h"
#include "core/lists.h"
#include "core/local_paths.h"
#include "core/resource_icons.h"
#include "core/server_paths.h"
#include "core/text_encoding.h"
#include "platform/xml.h"

#include <cmath>
#include <limits>

namespace orv::core {
namespace {

using xml::Element;

const QString kListSeparator = QStringLiteral(";");

// The first element of that name at any depth below the element, in document order.
Element findFirst(const Element& from, const QString& name) {
  for (Element child = from.firstChildElement(); child; child = child.nextSiblingElement()) {
    if (child.name() == name) {
      return child;
    }
    if (Element found = findFirst(child, name)) {
      return found;
    }
  }
  return {};
}

// Every element of that name at any depth below the element, in document order.
void collectAll(const Element& from, const QString& name, std::vector<Element>& found) {
  for (Element child = from.firstChildElement(); child; child = child.nextSiblingElement()) {
    if (child.name() == name) {
      found.push_back(child);
    }
    collectAll(child, name, found);
  }
}

std::vector<Element> findAll(const Element& from, const QString& name) {
  std::vector<Element> found;
  if (from) {
    collectAll(from, name, found);
  }
  return found;
}

// A whole number of the range of the field's type, or nothing. Fractions round to the
// nearest whole number, halves to even.
std::optional<int> toWhole(const QString& text, double low, double high) {
  const std::optional<double> number = parseConfigNumber(text);
  if (!number) {
    return std::nullopt;
  }
  const double whole = std::nearbyint(*number);
  if (whole < low || whole > high) {
    return std::nullopt;
  }
  return static_cast<int>(whole);
}

constexpr double kLongLow = std::numeric_limits<qint32>::min();
constexpr double kLongHigh = std::numeric_limits<qint32>::max();
constexpr double kIntegerLow = std::numeric_limits<qint16>::min();
constexpr double kIntegerHigh = std::numeric_limits<qint16>::max();

// The settings of one section; a setting is the first element of its name below it.
class Section {
 public:
  Section(const Element& root, const char* name) : element_(root ? findFirst(root, QLatin1String(name)) : Element()) {}

  const Element& element() const { return element_; }

  // The element's text; nothing when it is missing.
  std::optional<QString> text(const char* name) const {
    const Element setting = element_ ? findFirst(element_, QLatin1String(name)) : Element();
    if (!setting) {
      return std::nullopt;
    }
    return setting.text();
  }

  QString string(const char* name) const { return text(name).value_or(QString()); }

  // A 32-bit number; 0 when it is missing or does not convert, for the checks to replace.
  int longValue(const char* name) const { return toWhole(string(name), kLongLow, kLongHigh).value_or(0); }

  // A 16-bit number; 0 when it is missing or does not convert.
  int integerValue(const char* name) const { return toWhole(string(name), kIntegerLow, kIntegerHigh).value_or(0); }

  // True for "true", false for "false" (any case); the fallback for a missing element or
  // any other text.
  bool boolean(const char* name, bool fallback) const {
    const std::optional<QString> value = text(name);
    if (!value || !isValidBoolString(*value)) {
      return fallback;
    }
    return value->compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
  }

  // A ";"-list text: runs of ";" collapse to one and the split keeps the empty element
  // after the last ";". A text of nothing but ";" gives no element at all.
  QStringList list(const char* name) const {
    const QString value = string(name);
    if (QString(value).remove(kListSeparator).isEmpty()) {
      return {};
    }
    return fnctCollapseSeparators(value, kListSeparator).split(kListSeparator, Qt::KeepEmptyParts, Qt::CaseInsensitive);
  }

 private:
  Element element_;
};

bool isTrueText(const QString& text) {
  return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

// A share's local path as stored: without its trailing "/", with the application folder
// in place of every "{folder:app}".
QString storedLocalPath(const QString& text) {
  return fnctRemoveTrailingBackslash(text).replace(QStringLiteral("{folder:app}"), gAppFolder, Qt::CaseInsensitive);
}

void readUsers(const Element& users, tConfUsers& accounts, QStringList& acceptedLogins) {
  const clsBase64 base64;
  for (const Element& user : findAll(users, QStringLiteral("USER"))) {
    const QString login = user.attribute(QStringLiteral("login"));
    const QString password = user.attribute(QStringLiteral("password"));
    if (login.isEmpty() || login.contains(QLatin1Char(':')) || isValueInArray(acceptedLogins, login)) {
      continue;
    }
    if (!password.startsWith(QLatin1String("pwd:"), Qt::CaseInsensitive) || password.size() <= 4) {
      continue;
    }
    const QString id = QStringLiteral("id") + QString::number(accounts.count() + 1);
    accounts.add({id, login, base64.fnctDecodeToString(password.mid(4)), user.attribute(QStringLiteral("pagesicon")),
                  user.attribute(QStringLiteral("urlsicon"))});
    acceptedLogins.append(login);
  }
}

void readShares(const Element& shared, int version, const QStringList& acceptedLogins, tShares& shares) {
  QStringList acceptedServerPaths{QString()};
  for (const Element& element : findAll(shared, QStringLiteral("SHARE"))) {
    ShareEntry entry;
    entry.serverPath = element.attribute(QStringLiteral("serverPath"));
    entry.localPath = storedLocalPath(element.attribute(QStringLiteral("localPath")));
    entry.users = fnctFilterUsersList(element.attribute(QStringLiteral("users")), acceptedLogins);
    entry.restricted = !entry.users.isEmpty() && entry.users != QLatin1String(":");
    if (version < 102) {
      // Older files percent-encoded server paths from the system code page.
      entry.serverPath = fnctUrlEncode(fnctUnicodeToUtf8(fnctUrlDecode(entry.serverPath, true)));
    }
    entry.sharePhysicalFolder = isTrueText(element.attribute(QStringLiteral("sharePhysicalFolder")));
    entry.shareVirtualFolder = isTrueText(element.attribute(QStringLiteral("shareVirtualFolder")));
    entry.shareOther = isTrueText(element.attribute(QStringLiteral("shareOther")));
    entry.shareSound = isTrueText(element.attribute(QStringLiteral("shareSound")));
    entry.shareImage = isTrueText(element.attribute(QStringLiteral("shareImage")));
    entry.shareVideo = isTrueText(element.attribute(QStringLiteral("shareVideo")));

    if (entry.serverPath == QLatin1String("/") && !entry.localPath.isEmpty()) {
      entry.id = QString::fromLatin1(kRootShareId);
      entry.localPath = fnctRemoveTrailingBackslash(entry.localPath);
      shares.RootShare = entry;
      continue;
    }
    const QString serverPath = fnctNormalizeServerPath(entry.serverPath);
    if (!isValidServerPath(fnctUrlDecode(entry.serverPath, false)) || entry.localPath.isEmpty() ||
        isValueInArray(acceptedServerPaths, serverPath)) {
      continue;
    }
    entry.id = QStringLiteral("id") + QString::number(shares.count() + 1);
    entry.serverPath = serverPath;
    shares.add(entry);
    acceptedServerPaths.append(serverPath);
  }
}

}  // namespace

tConfiguration fnctLoadConfiguration(const QString& path) {
  tConfiguration record;
  record.AppState.blnZlibAvailable = isDllAvailable(QStringLiteral("zlib.dll"));
  record.ShellExtension.strResourcesIconsList = getResourcesIconsList();

  const xml::Document document = xml::Document::fromFile(path);
  const Element documentElement = document.documentElement();
  const Element root = !documentElement || documentElement.name() == QLatin1String("CONFIGURATION")
                           ? documentElement
                           : findFirst(documentElement, QStringLiteral("CONFIGURATION"));
  const int version =
      root ? toWhole(root.attribute(QStringLiteral("version")), kIntegerLow, kIntegerHigh).value_or(0) : 0;

  const Section protocol(root, "PROTOCOL");
  const Section language(root, "LANGUAGE");
  const Section shellExtension(root, "SHELL_EXTENSION");
  const Section other(root, "OTHER");
  const Section history(root, "HISTORY");
  const Section display(root, "APPLICATION_DISPLAY");
  const Section html(root, "HTML_DISPLAY");
  const Section names(root, "APPLICATIONS_NAME_MANAGEMENT");
  const Element ipFilters = root ? findFirst(root, QStringLiteral("IP_FILTERS")) : Element();
  const bool zlib = record.AppState.blnZlibAvailable;

  tConfProtocol& p = record.Protocol;
  p.LOCAL_PORT = protocol.string("LOCAL_PORT");
  p.ENABLE_COMPRESSION = protocol.boolean("ENABLE_COMPRESSION", zlib) && zlib;
  p.MAX_IDENTIFICATION_ERROR =
      protocol.longValue(version >= 102 ? "MAX_IDENTIFICATION_ERROR" : "MAX_AUTHENTICATION_ERROR");
  p.BAN_DURATION = protocol.longValue("BAN_DURATION");
  p.ALLOW_ONLY_DOMAINS = protocol.boolean("ALLOW_ONLY_DOMAINS", false);
  p.DOMAINS_LIST = protocol.list("DOMAINS_LIST");
  p.IDENTIFICATION_METHOD = protocol.longValue("IDENTIFICATION_METHOD");

  record.Language.FILENAME = language.string("FILENAME");
  record.Language.strLanguageFilePath = gAppFolder + QStringLiteral("/lang/") + record.Language.FILENAME;

  record.ShellExtension.SOUND = shellExtension.string("SOUND");
  record.ShellExtension.IMAGE = shellExtension.string("IMAGE");
  record.ShellExtension.VIDEO = shellExtension.string("VIDEO");

  record.Other.START_IN_TRAY = other.boolean("START_IN_TRAY", false);
  record.Other.START_SERVER_ON_LOAD = other.boolean("START_SERVER_ON_LOAD", false);
  record.Other.MINATURE_CACHE_SIZE_MAX = other.longValue("MINATURE_CACHE_SIZE_MAX");

  if (!ipFilters || !ipFilters.hasAttribute(QStringLiteral("method"))) {
    record.IpFilters.bytMethod = 0;
  } else {
    const QString method = ipFilters.attribute(QStringLiteral("method"));
    record.IpFilters.bytMethod = method.compare(QLatin1String("ALLOW"), Qt::CaseInsensitive) == 0 ? 2 : 1;
  }

  record.History.KEEP_HISTORY = history.boolean("KEEP_HISTORY", true);
  record.History.MAX_ENTRY = history.longValue("MAX_ENTRY");

  tConfHtmlDisplay& h = record.HtmlDisplay;
  h.VIEW_HIDDEN_DISK_ITEMS = html.boolean("VIEW_HIDDEN_DISK_ITEMS", false);
  h.ALLOW_MINIATURES = html.boolean("ALLOW_MINIATURES", true);
  h.ALLOW_MP3_TAGS = html.boolean("ALLOW_MP3_TAGS", true);
  h.HIDE_EXTENSIONS = html.boolean("HIDE_EXTENSIONS", false);
  h.MINATURE_DIMENSION = html.integerValue("MINATURE_DIMENSION");
  h.XSL_FILE = html.string("XSL_FILE");
  const std::optional<QString> buildMethod = html.text("PAGE_BUILD_METHOD");
  h.PAGE_BUILD_METHOD = !buildMethod                                                              ? 0
                        : buildMethod->compare(QLatin1String("server"), Qt::CaseInsensitive) == 0 ? 2
                                                                                                  : 1;

  tConfAppDisplay& d = record.AppDisplay;
  d.SHOW_TRANSFERS_TOOL_TIPS = display.boolean("SHOW_TRANSFERS_TOOL_TIPS", true);
  d.SHOW_TRANSFERS_LISTS_INFOS = display.boolean("SHOW_TRANSFERS_LISTS_INFOS", false);
  d.SHARES_LIST_SHOW_BY = display.longValue("SHARES_LIST_SHOW_BY");
  d.SHARES_LIST_SORT_BY = display.longValue("SHARES_LIST_SORT_BY");
  d.SHARES_LIST_ITEMS_TEXT = display.longValue("SHARES_LIST_ITEMS_TEXT");

  record.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS = names.list("AUDIO_PLAYERS_KEYWORDS");
  record.AppsNameManagement.BANNED_CLIENTS_KEYWORDS = names.list("BANNED_CLIENTS_KEYWORDS");

  QStringList acceptedLogins{QString()};
  const Element users = root ? findFirst(root, QStringLiteral("USERS")) : Element();
  readUsers(users, record.Users, acceptedLogins);

  const Element shared = root ? findFirst(root, QStringLiteral("SHARED")) : Element();
  readShares(shared, version, acceptedLogins, record.Shared);

  const Element localPaths = root ? findFirst(root, QStringLiteral("LOCAL_PATHS")) : Element();
  for (const Element& exclusion : findAll(localPaths, QStringLiteral("EXCLUSION"))) {
    const QString excluded = exclusion.attribute(QStringLiteral("path"));
    if (!excluded.isEmpty()) {
      record.LocalPaths.colExclusions.add(excluded);
    }
  }
  for (const Element& address : findAll(ipFilters, QStringLiteral("ADDRESS"))) {
    const QString ip = address.attribute(QStringLiteral("ip"));
    if (isValidIpAddress(ip)) {
      record.IpFilters.colAddresses.add(ip);
    }
  }
  return fnctCheckConfiguration(std::move(record));
}

namespace {

void writeShare(Element& shared, const ShareEntry& share) {
  Element element = shared.appendElement(QStringLiteral("SHARE"));
  element.setAttribute(QStringLiteral("serverPath"), share.serverPath);
  element.setAttribute(QStringLiteral("localPath"), share.localPath);
  element.setAttribute(QStringLiteral("users"), share.users);
  element.setAttribute(QStringLiteral("sharePhysicalFolder"), fnctBoolToString(share.sharePhysicalFolder));
  element.setAttribute(QStringLiteral("shareVirtualFolder"), fnctBoolToString(share.shareVirtualFolder));
  element.setAttribute(QStringLiteral("shareOther"), fnctBoolToString(share.shareOther));
  element.setAttribute(QStringLiteral("shareSound"), fnctBoolToString(share.shareSound));
  element.setAttribute(QStringLiteral("shareImage"), fnctBoolToString(share.shareImage));
  element.setAttribute(QStringLiteral("shareVideo"), fnctBoolToString(share.shareVideo));
}

void writeSetting(Element& section, const char* name, const QString& value) {
  section.appendTextElement(QLatin1String(name), value);
}

void writeSetting(Element& section, const char* name, int value) {
  writeSetting(section, name, QString::number(value));
}

void writeFlag(Element& section, const char* name, bool value) {
  writeSetting(section, name, fnctBoolToString(value));
}

void writeList(Element& section, const char* name, const QStringList& list) {
  writeSetting(section, name, fnctJoinList(list, kListSeparator));
}

}  // namespace

QByteArray fnctBuildConfigurationBytes(const tConfiguration& record) {
  xml::Document document;
  Element root = document.createDocumentElement(QStringLiteral("CONFIGURATION"));
  root.setAttribute(QStringLiteral("version"), QString::number(compactVersion()));

  Element shared = root.appendElement(QStringLiteral("SHARED"));
  ShareEntry rootShare = record.Shared.RootShare;
  rootShare.serverPath = QStringLiteral("/");
  writeShare(shared, rootShare);
  for (qsizetype position = 1; position <= record.Shared.localPath.count(); ++position) {
    writeShare(shared, record.Shared.entryAt(position));
  }

  Element localPaths = root.appendElement(QStringLiteral("LOCAL_PATHS"));
  for (const auto& exclusion : record.LocalPaths.colExclusions) {
    localPaths.appendElement(QStringLiteral("EXCLUSION")).setAttribute(QStringLiteral("path"), exclusion.value);
  }

  Element ipFilters = root.appendElement(QStringLiteral("IP_FILTERS"));
  ipFilters.setAttribute(QStringLiteral("method"),
                         record.IpFilters.bytMethod == 2 ? QStringLiteral("Allow") : QStringLiteral("Deny"));
  for (const auto& address : record.IpFilters.colAddresses) {
    ipFilters.appendElement(QStringLiteral("ADDRESS")).setAttribute(QStringLiteral("ip"), address.value);
  }

  const tConfProtocol& p = record.Protocol;
  Element protocol = root.appendElement(QStringLiteral("PROTOCOL"));
  writeSetting(protocol, "LOCAL_PORT", p.LOCAL_PORT);
  writeFlag(protocol, "ENABLE_COMPRESSION", p.ENABLE_COMPRESSION);
  writeSetting(protocol, "MAX_IDENTIFICATION_ERROR", p.MAX_IDENTIFICATION_ERROR);
  writeSetting(protocol, "BAN_DURATION", p.BAN_DURATION);
  writeFlag(protocol, "ALLOW_ONLY_DOMAINS", p.ALLOW_ONLY_DOMAINS);
  writeList(protocol, "DOMAINS_LIST", p.DOMAINS_LIST);
  writeSetting(protocol, "IDENTIFICATION_METHOD", p.IDENTIFICATION_METHOD);

  Element language = root.appendElement(QStringLiteral("LANGUAGE"));
  writeSetting(language, "FILENAME", record.Language.FILENAME);

  Element other = root.appendElement(QStringLiteral("OTHER"));
  writeFlag(other, "START_SERVER_ON_LOAD", record.Other.START_SERVER_ON_LOAD);
  writeFlag(other, "START_IN_TRAY", record.Other.START_IN_TRAY);
  writeSetting(other, "MINATURE_CACHE_SIZE_MAX", record.Other.MINATURE_CACHE_SIZE_MAX);

  Element extensions = root.appendElement(QStringLiteral("SHELL_EXTENSION"));
  writeSetting(extensions, "SOUND", record.ShellExtension.SOUND);
  writeSetting(extensions, "IMAGE", record.ShellExtension.IMAGE);
  writeSetting(extensions, "VIDEO", record.ShellExtension.VIDEO);

  Element history = root.appendElement(QStringLiteral("HISTORY"));
  writeFlag(history, "KEEP_HISTORY", record.History.KEEP_HISTORY);
  writeSetting(history, "MAX_ENTRY", record.History.MAX_ENTRY);

  const tConfAppDisplay& d = record.AppDisplay;
  Element display = root.appendElement(QStringLiteral("APPLICATION_DISPLAY"));
  writeFlag(display, "SHOW_TRANSFERS_TOOL_TIPS", d.SHOW_TRANSFERS_TOOL_TIPS);
  writeFlag(display, "SHOW_TRANSFERS_LISTS_INFOS", d.SHOW_TRANSFERS_LISTS_INFOS);
  writeSetting(display, "SHARES_LIST_SHOW_BY", d.SHARES_LIST_SHOW_BY);
  writeSetting(display, "SHARES_LIST_SORT_BY", d.SHARES_LIST_SORT_BY);
  writeSetting(display, "SHARES_LIST_ITEMS_TEXT", d.SHARES_LIST_ITEMS_TEXT);

  const tConfHtmlDisplay& h = record.HtmlDisplay;
  Element html = root.appendElement(QStringLiteral("HTML_DISPLAY"));
  writeFlag(html, "VIEW_HIDDEN_DISK_ITEMS", h.VIEW_HIDDEN_DISK_ITEMS);
  writeFlag(html, "ALLOW_MINIATURES", h.ALLOW_MINIATURES);
  writeFlag(html, "ALLOW_MP3_TAGS", h.ALLOW_MP3_TAGS);
  writeFlag(html, "HIDE_EXTENSIONS", h.HIDE_EXTENSIONS);
  writeSetting(html, "MINATURE_DIMENSION", h.MINATURE_DIMENSION);
  writeSetting(html, "XSL_FILE", h.XSL_FILE);
  writeSetting(html, "PAGE_BUILD_METHOD",
               h.PAGE_BUILD_METHOD == 2 ? QStringLiteral("server") : QStringLiteral("client"));

  Element names = root.appendElement(QStringLiteral("APPLICATIONS_NAME_MANAGEMENT"));
  writeList(names, "AUDIO_PLAYERS_KEYWORDS", record.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS);
  writeList(names, "BANNED_CLIENTS_KEYWORDS", record.AppsNameManagement.BANNED_CLIENTS_KEYWORDS);

  const clsBase64 base64;
  Element users = root.appendElement(QStringLiteral("USERS"));
  for (qsizetype position = 1; position <= record.Users.login.count(); ++position) {
    const UserAccount account = record.Users.accountAt(position);
    Element user = users.appendElement(QStringLiteral("USER"));
    user.setAttribute(QStringLiteral("login"), account.login);
    user.setAttribute(QStringLiteral("password"),
                      QStringLiteral("pwd:") + base64.fnctEncodeStringSingleLine(account.password));
    user.setAttribute(QStringLiteral("pagesicon"), account.pagesicon);
    user.setAttribute(QStringLiteral("urlsicon"), account.urlsicon);
  }
  return document.toBytes();
}

platform::WriteResult subSaveConfiguration(const QString& path) {
  const platform::WriteResult result =
      platform::writeFileAtomically(path, fnctBuildConfigurationBytes(gConfiguration), 0600);
  if (result.ok) {
    gConfiguration.AppState.blnConfigModified = false;
  } else {
    const QString message = QStringLiteral("Unable to save the configuration: ") + result.error;
    subAddDebugEvent(message, DebugEventCategory::Always);
    subWriteConsoleLine(message);
  }
  return result;
}

}  // namespace orv::core
