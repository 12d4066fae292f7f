#pragma once

#include "core/keyed_list.h"
#include "platform/atomic_file.h"

#include <QString>

// The thumbnail cache: which file of the folder "cache" (beside the executable) holds the
// thumbnail of each source image, and the source's entity tag when it was made, so that an
// unchanged image is scaled only once. The index lives in gMiniaturesCache and in
// cache/cache.xml between runs; the folder's total size is bounded by
// MINATURE_CACHE_SIZE_MAX, the oldest thumbnails giving way first.
//
// Every path the index holds, and every file the cache deletes, is a thumbnail file: a name
// of one to seven decimal digits, directly in the cache folder, a regular file and not a
// symbolic link. Whatever cache.xml says, nothing outside the folder is read or deleted.
namespace orv::content {

// The index: three lists kept in step (same key, same position), oldest first, each keyed
// by the source image path (compared ignoring case).
struct tMiniaturesCache {
  core::KeyedList<QString> colMiniatureFiles;    // full path of the thumbnail file
  core::KeyedList<QString> colMiniatureEtags;    // the source's entity tag when it was made
  core::KeyedList<QString> colMiniatureSources;  // the source path itself
  // Run only, never saved: the sources no thumbnail could be made of, with their entity tag
  // then, oldest first, so that the same broken picture is not decoded again for every
  // request until it changes.
  core::KeyedList<QString> colFailedSourceEtags;

  qsizetype count() const { return colMiniatureFiles.count(); }

  // Appends one entry to the three lists; false (nothing added) when the source path is
  // empty or already a key.
  bool add(const QString& sourcePath, const QString& thumbnailPath, const QString& etag);
  // Removes the entry of the source from the three lists; false when there is none.
  bool remove(const QString& sourcePath);
  // Removes the first (oldest) entry; the caller makes sure there is one.
  void removeFirst();
};

// At most this many entries: cache.xml has always been read and written with a 16-bit
// index, so the oldest entries give way beyond it.
inline constexpr qsizetype kMaxMiniaturesCacheEntries = 32767;

extern tMiniaturesCache gMiniaturesCache;

// gAppFolder + "/cache".
QString getMiniaturesCacheFolder();

// The thumbnail file of an id: the cache folder, "/" and the id.
QString getMiniatureFilePath(const QString& id);

// True for a thumbnail file name: one to seven decimal digits and nothing else.
bool isMiniatureId(const QString& text);

// The id of a thumbnail path: the part after its last "/" when that part is a thumbnail
// name and the part before it is exactly the cache folder; empty otherwise.
QString getMiniatureIdOfPath(const QString& thumbnailPath);

// True when the path is a thumbnail file that exists: getMiniatureIdOfPath is not empty and
// the path is a regular file, not a symbolic link.
bool isMiniatureFile(const QString& thumbnailPath);

// Creates the cache folder when it does not exist: true when it created it, false when it
// was there (or could not be made).
bool fnctCreateCacheFolder();

// True when the thumbnail file of id exists and etag equals the source's current entity
// tag, ignoring case.
bool isValidCacheEntry(const QString& sourcePath, const QString& id, const QString& etag);

// The bytes of every file in the cache folder and below it (cache.xml included); symbolic
// links are neither followed nor counted. 0 when the folder does not exist.
qint64 getMiniaturesCacheSize();

// True when the cache folder exists and getMiniaturesCacheSize() is greater than
// MINATURE_CACHE_SIZE_MAX.
bool isMiniaturesCacheFull();

// Reads the index file at path (cache/cache.xml at start-up; the result becomes
// gMiniaturesCache). Never fails: a missing or broken file gives an empty index. Entries
// whose thumbnail is not a thumbnail file of the cache folder, whose source changed or
// vanished, that lack an attribute, or that repeat the source or the id of an earlier entry
// are skipped and the others kept. Then every thumbnail file of the cache folder that no
// entry names is deleted: nothing could ever find it again, and left there it would hold
// the folder over its size limit for good.
tMiniaturesCache fnctLoadMiniaturesCache(const QString& path);

// Writes gMiniaturesCache to path (creating the cache folder first) through a temporary
// file renamed over the old one, without indentation, valid entries only, and clears
// blnCacheModified. A failed write leaves the file and the flag as they were; its reason
// goes to the debug log and the console before it is returned.
platform::WriteResult subSaveMiniaturesCache(const QString& path);

// While the cache is full and the index holds two entries or more, deletes the oldest
// thumbnail (when it is a thumbnail file) and removes its entry, setting blnCacheModified.
// The settings editor calls it after saving the general settings, which hold the limit.
void subTrimMiniaturesCache();

// True when the source path is a key of the index, its thumbnail file exists and the
// stored entity tag equals the source's current one exactly.
bool FindMiniatureInCache(const QString& sourcePath);

// At most this many failed sources are remembered; the oldest give way.
inline constexpr qsizetype kMaxFailedMiniatureSources = 4096;

// True when the source's thumbnail failed while the source had that entity tag.
bool isFailedMiniatureSource(const QString& sourcePath, const QString& etag);

// Remembers that no thumbnail could be made of the source while it had that entity tag.
void subAddFailedMiniatureSource(const QString& sourcePath, const QString& etag);

// FindMiniatureInCache with the source's current entity tag already known (read from the
// file opened for the thumbnail, not again through its path).
bool FindMiniatureInCache(const QString& sourcePath, const QString& currentEtag);

// Records a thumbnail just made: forgets a failure of the source, removes any entry of the
// source (deleting its former thumbnail file when it was another one), drops the oldest
// entries beyond kMaxMiniaturesCacheEntries, appends the new entry and sets
// blnCacheModified.
void subAddMiniatureInCache(const QString& sourcePath, const QString& thumbnailPath, const QString& etag);

}  // namespace orv::content
