#include "editors/share_editing.h"

#include "core/file_utils.h"
#include "core/language.h"
#include "core/lists.h"
#include "core/local_paths.h"
#include "core/server_paths.h"
#include "core/text_encoding.h"
#include "platform/surrogate_escape.h"

#include <QDir>

#include <algorithm>

namespace orv::editors {
namespace {

using core::gAppFolder;
using core::gConfiguration;
using core::ShareEntry;
using core::tShares;

const QString kAppPlaceholder = QStringLiteral("{folder:app}");
const QString kRootKey = QString::fromLatin1(core::kRootShareId);

bool isRootKey(const QString& key) {
  return key.compare(kRootKey, Qt::CaseInsensitive) == 0;
}

void markModified() {
  gConfiguration.AppState.blnConfigModified = true;
}

bool isControlCharacter(QChar character) {
  return character.unicode() < 0x20 || character.unicode() == 0x7F;
}

bool hasDotSegment(const QString& path) {
  const QStringList segments = path.split(QLatin1Char('/'));
  return std::any_of(segments.cbegin(), segments.cend(), [](const QString& segment) {
    const QString trimmed = segment.trimmed();
    return trimmed == QLatin1String(".") || trimmed == QLatin1String("..");
  });
}

// The values of the store taken from the editor: the kinds from the boxes, the users from
// the check list.
ShareEntry entryFromInput(const QString& key, const QString& serverPath, const ShareEditorInput& input) {
  ShareEntry entry;
  entry.id = key;
  entry.serverPath = serverPath;
  entry.localPath = fnctStoredLocalPath(input.localPath);
  entry.users = input.users;
  entry.restricted = !input.users.isEmpty();
  entry.sharePhysicalFolder = input.folder;
  entry.shareVirtualFolder = input.folder;
  entry.shareOther = input.other;
  entry.shareSound = input.sound;
  entry.shareImage = input.image;
  entry.shareVideo = input.video;
  return entry;
}

// Rewrites the share's values in place: its key and its place in the order of adding stay.
void rewriteShare(tShares& shares, const ShareEntry& entry) {
  const QString& key = entry.id;
  *shares.serverPath.find(key) = entry.serverPath;
  *shares.localPath.find(key) = entry.localPath;
  *shares.users.find(key) = entry.users;
  *shares.restricted.find(key) = entry.restricted;
  *shares.sharePhysicalFolder.find(key) = entry.sharePhysicalFolder;
  *shares.shareVirtualFolder.find(key) = entry.shareVirtualFolder;
  *shares.shareOther.find(key) = entry.shareOther;
  *shares.shareSound.find(key) = entry.shareSound;
  *shares.shareImage.find(key) = entry.shareImage;
  *shares.shareVideo.find(key) = entry.shareVideo;
}

bool isUsableFolder(const QString& path) {
  return core::fnctFolderExists(path, false) == core::ExistenceCode::Usable;
}

// A name from the folder listing, or the text of a drive: percent-encodes one character
// (its UTF-8 bytes; an escaped byte as itself).
QString percentEncoded(QStringView character) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  QString encoded;
  for (const char byte : platform::encodeUtf8Escaped(character)) {
    const auto code = static_cast<unsigned char>(byte);
    encoded += QLatin1Char('%');
    encoded += QLatin1Char(kHexDigits[code >> 4]);
    encoded += QLatin1Char(kHexDigits[code & 15]);
  }
  return encoded;
}

bool mustBeEscapedInName(QChar character) {
  static const QString kRefused = QStringLiteral("%#|<>\"?*:\\");
  return kRefused.contains(character) || isControlCharacter(character);
}

}  // namespace

// ---- Texts of the editor ----

QString fnctShownLocalPath(const QString& localPath) {
  const QString path = core::fnctRemoveTrailingBackslash(localPath);
  if (gAppFolder.isEmpty() || gAppFolder == QLatin1String("/")) {
    return path;
  }
  if (path == gAppFolder) {
    return kAppPlaceholder;
  }
  if (path.startsWith(gAppFolder + QLatin1Char('/'))) {
    return kAppPlaceholder + path.sliced(gAppFolder.size());
  }
  return path;
}

QString fnctStoredLocalPath(const QString& editorText) {
  return core::fnctRemoveTrailingBackslash(
      QString(editorText).replace(kAppPlaceholder, gAppFolder, Qt::CaseInsensitive));
}

QString fnctShownServerPath(const QString& storedServerPath) {
  return core::fnctUrlDecode(storedServerPath, false);
}

QString fnctStoredServerPath(const QString& editorText) {
  return core::fnctUrlEncode(core::fnctNormalizeServerPath(editorText));
}

std::optional<ShareEditorInput> fnctEditorInputOf(const tShares& shares, const QString& key) {
  ShareEntry entry;
  if (isRootKey(key)) {
    entry = shares.RootShare;
  } else {
    const qsizetype position = shares.ids.positionOf(key);
    if (position == 0) {
      return std::nullopt;
    }
    entry = shares.entryAt(position);
  }
  ShareEditorInput input;
  input.serverPath = isRootKey(key) ? QStringLiteral("/") : fnctShownServerPath(entry.serverPath);
  input.localPath = fnctShownLocalPath(entry.localPath);
  input.users = entry.restricted ? entry.users : QString();
  input.folder = entry.sharePhysicalFolder || entry.shareVirtualFolder;
  input.other = entry.shareOther;
  input.sound = entry.shareSound;
  input.image = entry.shareImage;
  input.video = entry.shareVideo;
  return input;
}

// ---- Refusals ----

bool isTypedServerPathAcceptable(const QString& text) {
  if (!core::isValidServerPath(text) || hasDotSegment(text)) {
    return false;
  }
  if (text.contains(QLatin1Char('%')) || text.contains(QLatin1Char('#')) ||
      std::any_of(text.cbegin(), text.cend(), isControlCharacter)) {
    return false;
  }
  return static_cast<double>(fnctStoredServerPath(text).size()) <= gConfiguration.AdvancedParameters.HTTP_MAX_URL_SIZE;
}

std::optional<ShareRefusal> IsShareInputValid(const ShareEditorInput& input, const QString& ownServerPath) {
  const bool ownPath = !ownServerPath.isEmpty() && fnctStoredServerPath(input.serverPath) == ownServerPath;
  if (!ownPath && !isTypedServerPathAcceptable(input.serverPath)) {
    return ShareRefusal{QStringLiteral("MSGBOX/ERRORS/INVALID_SHARE_SERVER_PATH"), EditorField::ServerPath};
  }
  const QString localPath = fnctStoredLocalPath(input.localPath);
  if (!QDir::isAbsolutePath(localPath) || !isUsableFolder(localPath)) {
    return ShareRefusal{QStringLiteral("MSGBOX/ERRORS/INVALID_SHARE_LOCAL_PATH"), EditorField::LocalPath};
  }
  return std::nullopt;
}

// ---- Keys ----

int GetFreeShareId(const tShares& shares) {
  for (int n = 1; n <= kLastShareNumber; ++n) {
    if (!shares.ids.contains(QStringLiteral("id") + QString::number(n))) {
      return n;
    }
  }
  return 0;
}

bool isServerPathUsedByOther(const QString& text, const tShares& shares, const QString& exceptKey) {
  const QString wanted = fnctStoredServerPath(text);
  if (wanted == QLatin1String("/")) {
    return true;
  }
  return std::any_of(shares.serverPath.begin(), shares.serverPath.end(), [&](const auto& entry) {
    return entry.key.compare(exceptKey, Qt::CaseInsensitive) != 0 &&
           entry.value.compare(wanted, Qt::CaseInsensitive) == 0;
  });
}

// ---- Add, Modify, Remove ----

ShareEditOutcome cmdAddShare(tShares& shares, const ShareEditorInput& input) {
  ShareEditOutcome outcome;
  if ((outcome.refusal = IsShareInputValid(input))) {
    return outcome;
  }
  const QString trimmed = input.serverPath.trimmed();
  if (core::isServerPathUsed(trimmed, shares)) {
    outcome.serverPathText = trimmed;
    outcome.refusal = ShareRefusal{QStringLiteral("MSGBOX/ERRORS/SERVER_PATH_ALREADY_USED"), EditorField::ServerPath};
    return outcome;
  }
  const int number = GetFreeShareId(shares);
  if (number == 0) {
    return outcome;
  }
  const QString key = QStringLiteral("id") + QString::number(number);
  shares.add(entryFromInput(key, fnctStoredServerPath(input.serverPath), input));
  markModified();
  outcome.changed = true;
  outcome.key = key;
  return outcome;
}

ShareEditOutcome cmdModifyShare(tShares& shares, const QString& key, const ShareEditorInput& input) {
  ShareEditOutcome outcome;
  const bool root = isRootKey(key);
  if (!root && !shares.ids.contains(key)) {
    return outcome;
  }
  const QString ownPath = root ? QString() : shares.serverPath.value(key);
  if ((outcome.refusal = IsShareInputValid(input, ownPath))) {
    return outcome;
  }
  if (root) {
    ShareEntry entry = entryFromInput(kRootKey, QStringLiteral("/"), input);
    shares.RootShare = entry;
  } else {
    if (isServerPathUsedByOther(input.serverPath, shares, key)) {
      outcome.serverPathText = input.serverPath.trimmed();
      outcome.refusal = ShareRefusal{QStringLiteral("MSGBOX/ERRORS/SERVER_PATH_ALREADY_USED"), EditorField::ServerPath};
      return outcome;
    }
    rewriteShare(shares, entryFromInput(shares.ids.value(key), fnctStoredServerPath(input.serverPath), input));
  }
  markModified();
  outcome.changed = true;
  outcome.key = root ? kRootKey : shares.ids.value(key);
  return outcome;
}

RemovalPlan planShareRemoval(const tShares& shares, const QStringList& selectedKeys, bool currentSelected) {
  RemovalPlan plan;
  QStringList paths;
  for (const QString& key : selectedKeys) {
    if (isRootKey(key) || !shares.ids.contains(key)) {
      continue;
    }
    plan.keys.append(key);
    paths.append(shares.localPath.value(key));
  }
  if (plan.keys.isEmpty()) {
    if (currentSelected && !selectedKeys.isEmpty()) {
      plan.refusal = ShareRefusal{QStringLiteral("MSGBOX/ERRORS/DELETE_ROOT_SHARE"), EditorField::None};
    }
    return plan;
  }
  const QString question = plan.keys.size() == 1 ? QStringLiteral("MSGBOX/QUESTIONS/SHARE_DELETE_CONFIRMATION")
                                                 : QStringLiteral("MSGBOX/QUESTIONS/SHARES_DELETE_CONFIRMATION");
  plan.question = fnctListQuestion(core::gLanguage.text(question), paths);
  return plan;
}

bool removeShares(tShares& shares, const QStringList& keys) {
  bool removed = false;
  for (const QString& key : keys) {
    removed = (!isRootKey(key) && shares.remove(key)) || removed;
  }
  if (removed) {
    markModified();
  }
  return removed;
}

// ---- Dropped folders ----

std::optional<QString> fnctDroppedLocalPath(const QUrl& url) {
  if (!url.isValid() || url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0) {
    return std::nullopt;
  }
  const QString host = url.host();
  if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0) {
    return std::nullopt;
  }
  // The path's own bytes: a name that is not UTF-8 keeps them instead of turning into
  // U+FFFD, so that the folder is found.
  const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  if (bytes.isEmpty() || !bytes.startsWith('/') || bytes.contains('\0')) {
    return std::nullopt;
  }
  return core::fnctRemoveTrailingBackslash(platform::decodeUtf8Escaped(bytes));
}

QString fnctServerPathOfFolderName(const QString& name) {
  QString escaped;
  const qsizetype size = name.size();
  for (qsizetype i = 0; i < size; ++i) {
    const QChar character = name.at(i);
    const bool atEdge = i == 0 || i == size - 1;
    if (QChar::isHighSurrogate(character.unicode()) && i + 1 < size && name.at(i + 1).isLowSurrogate()) {
      escaped += QStringView(name).sliced(i, 2);
      ++i;
    } else if (mustBeEscapedInName(character) || (atEdge && character.isSpace())) {
      escaped += percentEncoded(QStringView(name).sliced(i, 1));
    } else {
      escaped += character;
    }
  }
  return core::fnctNormalizeServerPath(escaped);
}

QString fnctListQuestion(const QString& question, const QStringList& items) {
  QString text = question + QLatin1Char('\n');
  const qsizetype shown = std::min<qsizetype>(items.size(), kMostQuestionLines);
  for (qsizetype i = 0; i < shown; ++i) {
    text += QStringLiteral("\n- ") + items.at(i);
  }
  if (items.size() > shown) {
    text += QStringLiteral("\n- \u2026");
  }
  return text;
}

DropPlan planFolderDrop(const QList<QUrl>& urls) {
  DropPlan plan;
  for (const QUrl& url : urls) {
    const std::optional<QString> path = fnctDroppedLocalPath(url);
    if (!path || plan.folders.contains(*path) || !isUsableFolder(*path)) {
      continue;
    }
    plan.folders.append(*path);
  }
  if (plan.folders.isEmpty()) {
    return plan;
  }
  const QString question = plan.folders.size() == 1 ? QStringLiteral("MSGBOX/QUESTIONS/SHARE_LIST_DROP_FOLDER")
                                                    : QStringLiteral("MSGBOX/QUESTIONS/SHARE_LIST_DROP_FOLDERS");
  plan.question = fnctListQuestion(core::gLanguage.text(question), plan.folders);
  return plan;
}

DropOutcome addDroppedFolders(tShares& shares, const QStringList& folders) {
  DropOutcome outcome;
  for (const QString& folder : folders) {
    const int number = GetFreeShareId(shares);
    if (number == 0) {
      outcome.complete = false;
      break;
    }
    ShareEntry entry;
    entry.id = QStringLiteral("id") + QString::number(number);
    entry.localPath = core::fnctRemoveTrailingBackslash(folder);
    QString path = fnctServerPathOfFolderName(core::getDefaultShareName(entry.localPath));
    while (core::isServerPathUsed(path, shares)) {
      path = core::fnctIncrementServerPathSuffix(path);
    }
    entry.serverPath = core::fnctUrlEncode(path);
    entry.sharePhysicalFolder = entry.shareVirtualFolder = true;
    entry.shareOther = entry.shareSound = entry.shareImage = entry.shareVideo = true;
    shares.add(entry);
    outcome.keys.append(entry.id);
  }
  if (!outcome.keys.isEmpty()) {
    markModified();
  }
  return outcome;
}

std::optional<QString> fnctDroppedLocalPathText(const QList<QUrl>& urls) {
  if (urls.isEmpty()) {
    return std::nullopt;
  }
  const std::optional<QString> path = fnctDroppedLocalPath(urls.first());
  if (!path || !isUsableFolder(*path)) {
    return std::nullopt;
  }
  return fnctShownLocalPath(*path);
}

// ---- Proposal of a free server path ----

QString fnctProposeServerPath(const QString& text, const tShares& shares) {
  QString proposal = text;
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty() || trimmed == QLatin1String("/")) {
    proposal = QStringLiteral("new location");
  }
  proposal = core::fnctNormalizeServerPath(proposal);
  while (core::isServerPathUsed(proposal, shares)) {
    proposal = core::fnctIncrementServerPathSuffix(proposal);
  }
  return proposal;
}

// ---- Share list ----

QList<ShareListItem> fnctShareListItems(const tShares& shares, const core::tConfAppDisplay& display) {
  const auto iconOf = [](const ShareEntry& share) {
    if (!isUsableFolder(share.localPath)) {
      return ShareIcon::Missing;
    }
    return share.restricted ? ShareIcon::Restricted : ShareIcon::Open;
  };
  QList<ShareListItem> items;
  const ShareEntry& root = shares.RootShare;
  QString rootText = core::gLanguage.text(u"SHARES_FORM/LISTVIEW/ROOT_SHARE");
  if (display.SHARES_LIST_ITEMS_TEXT == 2) {
    rootText = root.localPath;
  } else if (display.SHARES_LIST_ITEMS_TEXT == 3) {
    rootText = QStringLiteral("/");
  }
  items.append({kRootKey, rootText, iconOf(root)});
  for (qsizetype position = 1; position <= shares.count(); ++position) {
    const ShareEntry share = shares.entryAt(position);
    QString text = core::getDefaultShareName(share.localPath);
    if (display.SHARES_LIST_ITEMS_TEXT == 2) {
      text = share.localPath;
    } else if (display.SHARES_LIST_ITEMS_TEXT == 3) {
      text = fnctShownServerPath(share.serverPath);
    }
    items.append({share.id, text, iconOf(share)});
  }
  if (display.SHARES_LIST_SORT_BY == 1) {
    std::stable_sort(items.begin(), items.end(), [](const ShareListItem& a, const ShareListItem& b) {
      return a.text.compare(b.text, Qt::CaseInsensitive) < 0;
    });
  }
  return items;
}

// ---- Users check list ----

void UsersCheckList::fill(const core::tConfUsers& users) {
  items_.clear();
  items_.append({kRootKey, core::gLanguage.text(u"SHARES_FORM/TREEVIEW/ALL_USERS"), false});
  for (qsizetype position = 1; position <= users.count(); ++position) {
    const core::UserAccount account = users.accountAt(position);
    items_.append({account.id, account.login, false});
  }
}

void UsersCheckList::tickFromShare(bool restricted, const QString& users) {
  const QStringList logins = users.split(QLatin1Char(':'));
  for (qsizetype i = 0; i < items_.size(); ++i) {
    items_[i].ticked = i == 0 ? !restricted : restricted && core::isValueInArray(logins, items_[i].text);
  }
}

void UsersCheckList::untickAll() {
  for (Item& item : items_) {
    item.ticked = false;
  }
}

void UsersCheckList::toggle(int index) {
  if (index < 0 || index >= items_.size()) {
    return;
  }
  Item& item = items_[index];
  item.ticked = !item.ticked;
  if (!item.ticked || items_.size() < 2) {
    return;
  }
  if (index == 0) {
    for (qsizetype i = 1; i < items_.size(); ++i) {
      items_[i].ticked = false;
    }
  } else {
    items_[0].ticked = false;
  }
}

QString UsersCheckList::checkedUsers() const {
  QStringList logins;
  for (qsizetype i = 1; i < items_.size(); ++i) {
    if (items_[i].ticked) {
      logins.append(items_[i].text);
    }
  }
  return logins.join(QLatin1Char(':'));
}

// ---- Buttons of the editor ----

void ShareEditorButtons::reset() {
  loadedKey_.clear();
  selectedCount_ = 0;
  modifyEdited_ = false;
  add_ = false;
  remove_ = false;
}

void ShareEditorButtons::loaded(const QString& key) {
  loadedKey_ = key;
  selectedCount_ = 1;
  modifyEdited_ = false;
  add_ = false;
  remove_ = true;
}

void ShareEditorButtons::selectionChanged(int selectedCount) {
  selectedCount_ = selectedCount;
  if (selectedCount > 1) {
    remove_ = true;
  }
}

void ShareEditorButtons::serverPathEdited() {
  if (loadedKey_.isEmpty()) {
    return;
  }
  add_ = true;
  remove_ = false;
  modifyEdited_ = modifyEdited_ || !isRootKey(loadedKey_);
}

void ShareEditorButtons::otherEdited() {
  if (loadedKey_.isEmpty()) {
    add_ = true;
    remove_ = false;
    return;
  }
  modifyEdited_ = true;
}

// ---- The root page ----

QString fnctWebSharesAddress(const QString& boundAddress, int port) {
  const QString address =
      boundAddress.isEmpty() || boundAddress == QLatin1String("0.0.0.0") ? QStringLiteral("127.0.0.1") : boundAddress;
  return QStringLiteral("http://") + address + QLatin1Char(':') + QString::number(port) + QLatin1Char('/');
}

}  // namespace orv::editors
