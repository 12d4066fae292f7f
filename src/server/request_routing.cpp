#include "server/request_routing.h"

#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/file_utils.h"
#include "core/ignoring_case.h"
#include "core/lists.h"
#include "core/server_paths.h"
#include "core/text_encoding.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "server/matching.h"
#include "server/query_values.h"
#include "server/share_boundary.h"

#include <QStringBuilder>

namespace orv::server {
namespace {

using core::gConfiguration;

constexpr QChar kSeparator = QLatin1Char('/');
constexpr QChar kNul = QChar(u'\0');

QString decodeOnce(const QString& text) {
  return core::fnctUrlDecode(text, false);
}

void logRefusal(const QString& message) {
  core::subAddDebugEvent(message, core::DebugEventCategory::Http);
}

// The folder followed by the rest, which begins with "/". A folder that is the file system's
// root ("/") keeps its one separator, so "//" still means what the client wrote.
QString joinLocalPath(const QString& folder, const QString& rest) {
  return (folder.endsWith(kSeparator) ? folder.chopped(1) : folder) + rest;
}

struct Target {
  QString localPath;
  QString resolvedPath;
  std::shared_ptr<platform::OpenedFile> openedFile;
  PathState fileState = PathState::Absent;
  PathState folderState = PathState::Absent;

  bool isFound() const { return fileState != PathState::Absent || folderState != PathState::Absent; }
  bool isUsable() const { return fileState == PathState::Usable || folderState == PathState::Usable; }
};

// The states of a local path that must stay inside the folder. A path that resolves outside
// it, or to one of the application's own files, is treated as absent.
Target lookUp(const QString& localPath, const QString& folder) {
  Target target;
  target.localPath = localPath;
  const bool showHidden = gConfiguration.HtmlDisplay.VIEW_HIDDEN_DISK_ITEMS;
  const qsizetype folderLength = folder.endsWith(kSeparator) ? folder.size() - 1 : folder.size();
  // What the pages leave out is not served either, whether it is there or not.
  if (!showHidden && hasHiddenSegment(QStringView(localPath).mid(folderLength))) {
    logRefusal(QStringLiteral("Hidden path refused : ") + localPath);
    return target;
  }
  if (std::optional<PlainFile> plain = openPlainFileInside(localPath, folder)) {
    target.fileState = PathState::Usable;
    target.resolvedPath = std::move(plain->resolvedPath);
    target.openedFile = std::move(plain->file);
    return target;
  }
  target.fileState = toPathState(core::fnctFileExists(localPath, false));
  target.folderState = toPathState(core::fnctFolderExists(localPath, false));
  if (!target.isFound()) {
    return target;
  }
  const QString resolved = getResolvedPathInside(localPath, folder);
  if (resolved.isEmpty()) {
    logRefusal(QStringLiteral("Path outside its shared folder refused : ") + localPath);
    target.fileState = target.folderState = PathState::Absent;
    return target;
  }
  if (isApplicationOwnFile(resolved)) {
    logRefusal(QStringLiteral("Application file refused : ") + localPath);
    target.fileState = target.folderState = PathState::Absent;
    return target;
  }
  if (!showHidden) {
    // A link of an ordinary name may lead to a hidden one inside the folder.
    const QString resolvedFolder = getResolvedFolder(folder).path;
    const qsizetype resolvedLength = resolvedFolder == QStringLiteral("/") ? 0 : resolvedFolder.size();
    if (hasHiddenSegment(QStringView(resolved).mid(resolvedLength))) {
      logRefusal(QStringLiteral("Hidden path refused : ") + localPath);
      target.fileState = target.folderState = PathState::Absent;
      return target;
    }
  }
  target.resolvedPath = resolved;
  return target;
}

void apply(RequestContext& context, const Target& target) {
  context.localPath = target.localPath;
  context.resolvedPath = target.resolvedPath;
  context.openedFile = target.openedFile;
  context.fileState = target.fileState;
  context.folderState = target.folderState;
}

bool startsWithKey(const QString& query, QLatin1StringView key) {
  return core::startsWithIgnoringCase(query, key);
}

// The query without every occurrence of the key, case ignored, as QString::remove takes
// them out: from the left, without overlaps. Keys begin with "?", which no other character
// matches, so only the places of a "?" are compared.
QString withoutKey(const QString& query, QLatin1StringView key) {
  Q_ASSERT(key.startsWith(QLatin1Char('?')));
  const QStringView text(query);
  QString rest;
  qsizetype copied = 0;
  for (qsizetype i = 0; i + key.size() <= text.size();) {
    if (text[i] == QLatin1Char('?') && core::startsWithIgnoringCase(text.sliced(i), key)) {
      rest += text.sliced(copied, i - copied);
      i += key.size();
      copied = i;
    } else {
      ++i;
    }
  }
  if (copied == 0) {
    return query;
  }
  rest += text.sliced(copied);
  return rest;
}

QString cutBefore(const QString& text, QChar mark) {
  const qsizetype position = text.indexOf(mark);
  return position < 0 ? text : text.left(position);
}

// The resource that a "?res=" query names, as a target; absent when there is none.
Target findResource(const QString& decodedQuery) {
  const QString name =
      cutBefore(cutBefore(withoutKey(decodedQuery, QLatin1StringView("?res=")), QLatin1Char('?')), QLatin1Char('&'));
  const QString resources = core::gAppFolder + QStringLiteral("/resources");
  const QString path = resources % kSeparator % name;
  if (hasDotSegment(name)) {
    logRefusal(QStringLiteral("Resource outside the resources folder refused : ") + path);
    return {};
  }
  if (name == QStringLiteral("/")) {
    return {};
  }
  Target target = lookUp(path, resources);
  if (target.fileState != PathState::Usable) {
    return {};
  }
  return target;
}

// What the share loop makes of a URL that is only a parent of share server paths.
struct VirtualFolder {
  bool seen = false;
  bool restricted = false;
  bool restrictedForGood = false;  // an unrestricted share below the URL: anybody may list it
  QString users;
};

void addParentShare(VirtualFolder& folder, const core::ShareEntry& share) {
  folder.seen = true;
  if (!folder.restrictedForGood) {
    folder.restricted = share.restricted;
    folder.restrictedForGood = !share.restricted;
  }
  if (!share.users.isEmpty()) {
    folder.users = folder.users.isEmpty() ? share.users : folder.users + QLatin1Char(':') + share.users;
  }
}

// Among the shares whose server path prefixes the URL, the one with the longest (the
// earlier of a tie), with the local path the URL would have under it.
struct PrefixShare {
  qsizetype length = -1;
  core::ShareEntry share;
  QString localPath;
};

// With rootFound false (nothing at the root-based path), a URL under a share's server path
// that names nothing anywhere is answered as that share would answer it: a restricted
// share asks for identification first, so that what it holds and what it does not look
// the same to a client without credentials.
void mapToShares(RequestContext& context, const QString& url, bool rootFound) {
  const core::tShares& shares = gConfiguration.Shared;
  const QString normalizedUrl = core::fnctNormalizeServerPath(url);
  qsizetype takenLength = -1;
  VirtualFolder parent;
  parent.users = shares.RootShare.users;
  PrefixShare prefix;

  for (qsizetype position = 1; position <= shares.count(); ++position) {
    const core::ShareEntry share = shares.entryAt(position);
    const QString& serverPath = share.serverPath;
    if (serverPath.isEmpty() || !normalizedUrl.startsWith(serverPath.left(normalizedUrl.size()), Qt::CaseInsensitive)) {
      continue;
    }
    if (serverPath.size() <= url.size()) {
      if (serverPath.size() <= takenLength) {
        continue;  // a tie keeps the earlier share
      }
      const QString relative = decodeOnce(url.mid(serverPath.size()));
      if (hasDotSegment(relative)) {
        continue;
      }
      const Target candidate = lookUp(joinLocalPath(share.localPath, kSeparator + relative), share.localPath);
      if (serverPath.size() > prefix.length) {
        prefix = {serverPath.size(), share, candidate.localPath};
      }
      if (candidate.isFound()) {
        apply(context, candidate);
        context.share = shareValuesOf(share);
        takenLength = serverPath.size();
      }
    } else if (takenLength < 0) {
      addParentShare(parent, share);
    }
  }

  if (takenLength < 0 && parent.seen) {
    context.fileState = PathState::Absent;
    context.folderState = PathState::VirtualFolder;
    context.resolvedPath.clear();
    context.openedFile.reset();
    context.share.restricted = parent.restricted;
    context.share.users = parent.users;
    context.share.shareVirtualFolder = true;
  } else if (takenLength < 0 && !rootFound && prefix.length >= 0) {
    context.localPath = prefix.localPath;
    context.resolvedPath.clear();
    context.openedFile.reset();
    context.fileState = context.folderState = PathState::Absent;
    context.share = shareValuesOf(prefix.share);
  }
}

// Logins that are in both ":"-lists, in the order of the first (case ignored).
QString commonUsers(const QString& first, const QString& second) {
  const QStringList others = second.split(QLatin1Char(':'));
  QStringList common;
  for (const QString& login : first.split(QLatin1Char(':'))) {
    if (!login.isEmpty() && core::isValueInArray(others, login)) {
      common << login;
    }
  }
  return common.join(QLatin1Char(':'));
}

// Access follows the file, not the URL that reached it: every restricted share whose folder
// holds the local path (resolved, or where it would lie when it does not exist) must admit
// the account, whichever share serves the request. A share restricted to some accounts
// inside an open root share's folder is then not open through the root share, and the
// serving share never loses a restriction of its own.
void applyHoldingShares(RequestContext& context) {
  if (context.folderState == PathState::VirtualFolder || context.localPath.isEmpty()) {
    return;
  }
  const QString accessPath =
      context.resolvedPath.isEmpty() ? getResolvedAccessPath(context.localPath) : context.resolvedPath;
  if (accessPath.isEmpty()) {
    return;
  }
  const core::tShares& shares = gConfiguration.Shared;
  const auto holdAndRestrict = [&](const core::ShareEntry& share) {
    if (!share.restricted || !isResolvedPathInFolder(accessPath, share.localPath)) {
      return;
    }
    context.share.users = context.share.restricted ? commonUsers(context.share.users, share.users) : share.users;
    context.share.restricted = true;
  };
  holdAndRestrict(shares.RootShare);
  for (qsizetype position = 1; position <= shares.count(); ++position) {
    holdAndRestrict(shares.entryAt(position));
  }
}

}  // namespace

RoadDecision fnctRouteRequest(RequestContext& context) {
  const core::ShareEntry& root = gConfiguration.Shared.RootShare;
  QString url = context.url;
  context.rawQuery.clear();
  context.decodedQuery.clear();
  const qsizetype question = url.indexOf(QLatin1Char('?'));
  if (question >= 0) {
    context.rawQuery = url.mid(question);
    context.decodedQuery = decodeOnce(context.rawQuery);
    url = url.left(question);
  }
  if (context.decodedQuery.contains(kNul)) {
    logRefusal(QStringLiteral("NUL character in the query refused"));
    return fnctErrorPage(400);
  }

  context.kind = RequestKind::Path;
  context.sectionName.clear();
  Target resource;
  if (startsWithKey(context.decodedQuery, QLatin1StringView("?res=")) && url == QStringLiteral("/")) {
    resource = findResource(context.decodedQuery);
    if (resource.isFound()) {
      context.kind = RequestKind::Resource;
    }
  }
  if (startsWithKey(context.decodedQuery, QLatin1StringView("?miniature=")) && context.rawQuery.size() > 11 &&
      gConfiguration.HtmlDisplay.ALLOW_MINIATURES) {
    url += withoutKey(context.rawQuery, QLatin1StringView("?miniature="));
    context.kind = RequestKind::Thumbnail;
  }
  if (startsWithKey(context.decodedQuery, QLatin1StringView("?item.xml=")) && context.rawQuery.size() > 10) {
    url += withoutKey(context.rawQuery, QLatin1StringView("?item.xml="));
    context.kind = RequestKind::SingleItem;
  }
  if (startsWithKey(context.decodedQuery, QLatin1StringView("?section.xml="))) {
    const QString section = getParamValue(context.decodedQuery, QStringLiteral("section.xml"), QStringLiteral("&"));
    if (isValidItemType(section)) {
      context.kind = RequestKind::Section;
      context.sectionName = section;
    }
  }

  context.url = url;
  context.path = decodeOnce(url);
  if (context.path.contains(kNul)) {
    logRefusal(QStringLiteral("NUL character in the path refused"));
    return fnctErrorPage(400);
  }
  context.audioPlayer = context.kind != RequestKind::Resource && context.kind != RequestKind::Thumbnail &&
                        isTextContainingListItem(gConfiguration.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS,
                                                 platform::fromAnsi(context.request.getClientUserAgent()));
  context.share = shareValuesOf(root);

  if (context.kind == RequestKind::Resource) {
    apply(context, resource);
    return {};
  }
  const QString rootPath = joinLocalPath(root.localPath, context.path);
  if (hasDotSegment(context.path)) {
    logRefusal(QStringLiteral("Path outside the shared folders refused : ") + rootPath);
    apply(context, Target{rootPath, {}, {}, PathState::Absent, PathState::Absent});
    return {};
  }
  const Target rootTarget = lookUp(rootPath, root.localPath);
  apply(context, rootTarget);
  if (!rootTarget.isUsable()) {
    mapToShares(context, url, rootTarget.isFound());
  }
  applyHoldingShares(context);
  return {};
}

}  // namespace orv::server
