#pragma once

#include "platform/file_system.h"

#include <QString>

#include <memory>
#include <optional>

// The boundary every request stays inside: the folder of the share that serves it (for
// resources, the resources folder). The tests work on real paths, symbolic links resolved,
// because a link inside a share may point anywhere.
namespace orv::server {

// True when a segment of the path, split at "/", is "." or "..": a path that could climb
// out of the folder it is appended to. Give it the decoded text, so that "%2e%2e" and
// "..%2f" are seen for what they are.
bool hasDotSegment(QStringView path);

// True when a segment of the path, split at "/", begins with ".": a hidden name, which the
// pages leave out while VIEW_HIDDEN_DISK_ITEMS is off.
bool hasHiddenSegment(QStringView path);

// The path with every symbolic link resolved, also for a path that names nothing: the
// nearest folder above it that exists, resolved, followed by the rest of the path. What
// the path would be if it existed, so that the shares that hold it can be told even when
// it does not. Give it a path without "." or ".." segments; empty when nothing of it exists.
QString getResolvedAccessPath(const QString& path);

// A folder as requests see it: its path with every symbolic link resolved, and a handle
// that names it for opens below it. Both are taken the first time the folder's text is
// asked for and kept until forgetResolvedFolders (the server calls it when it starts and
// stops, so a configuration is resolved once, not per request). A folder that does not
// exist gives an empty path and an invalid handle, and is asked for again the next time.
struct ResolvedFolder {
  QString path;
  int handle = platform::kInvalidFileHandle;
};
ResolvedFolder getResolvedFolder(const QString& folder);
void forgetResolvedFolders();

// The plain case of a file request, in one open: the local path is the folder followed by
// "/" and names joined by single "/" (none ".", "..", or empty), and what it names is a
// regular file reached from the folder's handle without any symbolic link, below the
// folder. Its resolved path is then the resolved folder followed by those names. Nothing
// for every other case (a link, a folder, a permission refused, no such file, the kernel
// cannot open so), which takes the full road of path tests instead; that road gives the
// same answer for a plain file, so nothing a client sees depends on which one ran.
// The application's own files are left to the full road too.
struct PlainFile {
  std::shared_ptr<platform::OpenedFile> file;
  QString resolvedPath;
};
std::optional<PlainFile> openPlainFileInside(const QString& localPath, const QString& folder);

// True when the resolved path is the folder (resolved here) or lies below it.
bool isResolvedPathInFolder(const QString& resolvedPath, const QString& folder);

// The path with every symbolic link, "." and ".." resolved, when what it names exists and
// lies in the folder (also resolved) or is that folder; empty otherwise, and always empty
// when the folder does not exist.
QString getResolvedPathInside(const QString& path, const QString& folder);

// True for the application's own files, which no share serves even when it shares the
// application folder: config.xml (it holds the passwords), uploaded.xml, history.xml and
// login.key (the key of the login cookies) with the temporary files of their saving,
// directly in the application folder, and the
// folder cache with everything in it. Give it a resolved path.
bool isApplicationOwnFile(const QString& resolvedPath);

}  // namespace orv::server
