#include "content/thumbnail_cache.h"

#include "core/configuration.h"
#include "core/file_utils.h"

#include "support/qt_printers.h"
#include "thumbnail_fixtures.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;
using orv::content::FindMiniatureInCache;
using orv::content::fnctLoadMiniaturesCache;
using orv::content::gMiniaturesCache;
using orv::content::isMiniatureId;
using orv::content::isMiniaturesCacheFull;
using orv::content::subAddMiniatureInCache;
using orv::content::subSaveMiniaturesCache;
using orv::content::subTrimMiniaturesCache;
using orv::content::tMiniaturesCache;
using orv::core::gConfiguration;
using orv::core::getFileEtag;
using thumbnail_test::readBytes;
using thumbnail_test::touch;

class ThumbnailCache : public thumbnail_test::ThumbnailTest {
 protected:
  // A source file and a thumbnail file for it, indexed as current.
  QString addIndexed(const QString& name, const QString& id, qint64 thumbnailBytes = 10) {
    const QString source = writeSource(name, "source " + name.toUtf8());
    const QString thumbnail = writeCacheFile(id, QByteArray(thumbnailBytes, 'b'));
    gMiniaturesCache.add(source, thumbnail, getFileEtag(source));
    return source;
  }

  QString cacheXml() const { return cacheFile(u"cache.xml"_s); }
};

TEST(ThumbnailCacheNames, OnlyShortDecimalNamesAreThumbnails) {
  const struct {
    const char* text;
    bool expected;
  } rows[] = {
      {"0", true},     {"9999998", true}, {"0012", true},  {"12345678", false}, {"", false},
      {"12a", false},  {"-3", false},     {" 12", false},  {"1e5", false},      {"..", false},
      {"../7", false}, {"7/8", false},    {"&H10", false}, {"١٢", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(isMiniatureId(QString::fromUtf8(row.text)), row.expected) << row.text;
  }
}

TEST_F(ThumbnailCache, LoadKeepsCurrentEntriesAndDropsStaleOnes) {
  const QString kept = writeSource(u"kept.jpg"_s, "kept");
  const QString changed = writeSource(u"changed.jpg"_s, "changed");
  const QString deleted = writeSource(u"deleted.jpg"_s, "deleted");
  const QString keptEtag = getFileEtag(kept);
  const QString changedEtag = getFileEtag(changed);
  writeCacheFile(u"1"_s, "one");
  writeCacheFile(u"2"_s, "two");
  writeCacheFile(u"3"_s, "three");
  writeCacheXml(entry(kept, u"1"_s, keptEtag.toLower()) +       // tags compare ignoring case on load
                entry(changed, u"2"_s, changedEtag) +           // its source is written again below
                entry(deleted, u"3"_s, getFileEtag(deleted)) +  // its source goes
                entry(u"/nowhere.jpg"_s, u"4"_s, u"-1"_s));     // no thumbnail file 4
  touch(changed, 10);
  QFile::remove(deleted);

  gMiniaturesCache = fnctLoadMiniaturesCache(cacheXml());
  EXPECT_EQ(indexedSources(), QStringList{kept});
  EXPECT_EQ(gMiniaturesCache.colMiniatureFiles.value(kept), cacheFile(u"1"_s));
  // The thumbnails of the dropped entries can never be found again, so they go.
  EXPECT_EQ(cacheEntries(), (QStringList{u"1"_s, u"cache.xml"_s}));

  ASSERT_TRUE(subSaveMiniaturesCache(cacheXml()).ok);
  EXPECT_EQ(fnctLoadMiniaturesCache(cacheXml()).count(), 1);
}

TEST_F(ThumbnailCache, UnreadableIndexFilesGiveAnEmptyIndex) {
  const QString source = writeSource(u"a.jpg"_s, "a");
  writeCacheFile(u"1"_s, "one");
  const QByteArray valid = entry(source, u"1"_s, getFileEtag(source));
  const struct {
    const char* what;
    QByteArray bytes;
  } rows[] = {
      {"empty file", ""},
      {"not XML", "MINIATURE path=a"},
      {"unclosed root", "<CACHE>" + valid},
      {"another root", "<OTHER>" + valid + "</OTHER>"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    app_.write(u"cache/cache.xml"_s, row.bytes);
    EXPECT_EQ(fnctLoadMiniaturesCache(cacheXml()).count(), 0);
  }
  EXPECT_EQ(fnctLoadMiniaturesCache(app_.file(u"cache/missing.xml"_s)).count(), 0);
}

// One damaged or repeated element costs only itself: dropping the whole index would orphan
// every thumbnail in the folder, which then holds it over its limit for good.
TEST_F(ThumbnailCache, BadOrRepeatedEntriesAreSkippedOneByOne) {
  const QString a = writeSource(u"a.jpg"_s, "a");
  const QString b = writeSource(u"b.jpg"_s, "b");
  const QString c = writeSource(u"c.jpg"_s, "c");
  for (const char* id : {"1", "2", "3", "4"}) {
    writeCacheFile(QString::fromLatin1(id), id);
  }
  writeCacheXml(entry(a, u"1"_s, getFileEtag(a)) + "<MINIATURE path=\"" + b.toUtf8() + "\" id=\"2\"/>" +  // no etag
                entry(a.toUpper(), u"3"_s, getFileEtag(a)) +  // the same path again (case ignored)
                entry(c, u"1"_s, getFileEtag(c)) +            // thumbnail 1 is a's
                entry(c, u"4"_s, getFileEtag(c)));
  gMiniaturesCache = fnctLoadMiniaturesCache(cacheXml());
  EXPECT_EQ(indexedSources(), (QStringList{a, c}));
  EXPECT_EQ(gMiniaturesCache.colMiniatureFiles.value(c), cacheFile(u"4"_s));
}

// cache.xml is a file anyone with access to the folder may edit: its ids must never lead
// the cache to read, serve or delete anything outside the folder.
TEST_F(ThumbnailCache, IdsThatLeaveTheFolderAreRefused) {
  const QString source = writeSource(u"a.jpg"_s, "a");
  const QString etag = getFileEtag(source);
  const QString outside = writeSource(u"secret"_s, "secret");
  const QString outsideNumber = writeSource(u"55"_s, "not ours");
  app_.write(u"config.xml"_s, "<CONFIGURATION/>");
  ASSERT_TRUE(QDir().mkpath(cacheFolder()));
  ASSERT_TRUE(QFile::link(outside, cacheFile(u"777"_s)));
  const QString ids[] = {outside,  u"../config.xml"_s, u"../../"_s + QDir(sources_.path()).dirName() + u"/55"_s,
                         u"777"_s, u"/55"_s,           u"55/"_s};
  QByteArray entries;
  for (const QString& id : ids) {
    entries += entry(source, id, etag);
  }
  writeCacheXml(entries);

  gMiniaturesCache = fnctLoadMiniaturesCache(cacheXml());
  EXPECT_EQ(gMiniaturesCache.count(), 0);
  EXPECT_FALSE(FindMiniatureInCache(source));

  gConfiguration.Other.MINATURE_CACHE_SIZE_MAX = 1;
  subTrimMiniaturesCache();
  ASSERT_TRUE(subSaveMiniaturesCache(cacheXml()).ok);
  EXPECT_EQ(readBytes(outside), "secret");
  EXPECT_EQ(readBytes(outsideNumber), "not ours");
  EXPECT_TRUE(QFile::exists(app_.file(u"config.xml"_s)));
  EXPECT_TRUE(QFileInfo(cacheFile(u"777"_s)).isSymLink());  // not a thumbnail of ours: left alone
}

TEST_F(ThumbnailCache, LoadDeletesOnlyUnindexedThumbnailFiles) {
  const QString source = writeSource(u"a.jpg"_s, "a");
  writeCacheFile(u"10"_s, "indexed");
  writeCacheFile(u"11"_s, "orphan, left by a run that ended without saving");
  writeCacheFile(u"notes.txt"_s, "not a thumbnail");
  writeCacheFile(u"sub/12"_s, "below the folder");
  writeCacheXml(entry(source, u"10"_s, getFileEtag(source)));
  ASSERT_TRUE(QFile::link(sources_.file(u"a.jpg"_s), cacheFile(u"13"_s)));

  gMiniaturesCache = fnctLoadMiniaturesCache(cacheXml());
  EXPECT_EQ(cacheEntries(), (QStringList{u"10"_s, u"13"_s, u"cache.xml"_s, u"notes.txt"_s, u"sub"_s}));
  EXPECT_EQ(readBytes(source), "a");
  EXPECT_TRUE(QFile::exists(cacheFile(u"sub/12"_s)));
}

TEST_F(ThumbnailCache, LoadWithoutACacheFolderCreatesNothing) {
  EXPECT_EQ(fnctLoadMiniaturesCache(cacheXml()).count(), 0);
  EXPECT_FALSE(QFileInfo::exists(cacheFolder()));
}

TEST_F(ThumbnailCache, SaveWritesValidEntriesOldestFirstWithoutIndentation) {
  const QString a = addIndexed(u"a & b.jpg"_s, u"5"_s);
  const QString b = addIndexed(u"b.jpg"_s, u"6"_s);
  const QString gone = addIndexed(u"gone.jpg"_s, u"7"_s);
  QFile::remove(gone);
  gConfiguration.AppState.blnCacheModified = true;

  ASSERT_TRUE(subSaveMiniaturesCache(cacheXml()).ok);
  const QByteArray expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CACHE><MINIATURE path=\"" +
                              a.toUtf8().replace("&", "&amp;") + "\" id=\"5\" etag=\"" + getFileEtag(a).toUtf8() +
                              "\"/><MINIATURE path=\"" + b.toUtf8() + "\" id=\"6\" etag=\"" + getFileEtag(b).toUtf8() +
                              "\"/></CACHE>\n";
  EXPECT_EQ(readBytes(cacheXml()), expected);
  EXPECT_FALSE(gConfiguration.AppState.blnCacheModified);

  const tMiniaturesCache loaded = fnctLoadMiniaturesCache(cacheXml());
  ASSERT_EQ(loaded.count(), 2);
  EXPECT_EQ(loaded.colMiniatureSources.at(1), a);
  EXPECT_EQ(loaded.colMiniatureEtags.at(2), getFileEtag(b));
}

TEST_F(ThumbnailCache, SaveCreatesTheFolderAndAFailedSaveKeepsTheFlag) {
  {
    EXPECT_TRUE(subSaveMiniaturesCache(cacheXml()).ok);
    EXPECT_EQ(readBytes(cacheXml()), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CACHE/>\n");
  }
  QFile::remove(cacheXml());
  ASSERT_TRUE(QDir().mkpath(cacheXml()));  // nothing can be renamed over a folder
  gConfiguration.AppState.blnCacheModified = true;
  const orv::platform::WriteResult result = subSaveMiniaturesCache(cacheXml());
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.error.isEmpty());
  EXPECT_TRUE(gConfiguration.AppState.blnCacheModified);
}

TEST_F(ThumbnailCache, FullnessCountsEveryFileBelowTheFolderButNoLinks) {
  gConfiguration.Other.MINATURE_CACHE_SIZE_MAX = 100;
  EXPECT_FALSE(isMiniaturesCacheFull());  // no folder
  writeCacheFile(u"1"_s, QByteArray(60, 'x'));
  writeCacheFile(u"sub/deeper/x"_s, QByteArray(40, 'x'));
  EXPECT_EQ(orv::content::getMiniaturesCacheSize(), 100);
  EXPECT_FALSE(isMiniaturesCacheFull());  // at the limit is not over it
  const QString big = writeSource(u"big"_s, QByteArray(5000, 'x'));
  ASSERT_TRUE(QFile::link(big, cacheFile(u"2"_s)));
  ASSERT_TRUE(QFile::link(sources_.path(), cacheFile(u"elsewhere"_s)));
  EXPECT_FALSE(isMiniaturesCacheFull());
  writeCacheFile(u"cache.xml"_s, "x");
  EXPECT_TRUE(isMiniaturesCacheFull());
}

TEST_F(ThumbnailCache, TrimDeletesTheOldestUntilTheFolderFits) {
  gConfiguration.Other.MINATURE_CACHE_SIZE_MAX = 1000000;
  QStringList sources;
  for (int i = 0; i < 30; ++i) {
    sources << addIndexed(u"s%1.jpg"_s.arg(i), QString::number(100 + i), 50000);
  }
  subTrimMiniaturesCache();
  EXPECT_EQ(indexedSources(), sources.mid(10));
  EXPECT_EQ(orv::content::getMiniaturesCacheSize(), 1000000);
  EXPECT_FALSE(QFile::exists(cacheFile(u"109"_s)));
  EXPECT_TRUE(QFile::exists(cacheFile(u"110"_s)));
  EXPECT_TRUE(gConfiguration.AppState.blnCacheModified);
}

TEST_F(ThumbnailCache, TrimAlwaysKeepsOneEntry) {
  gConfiguration.Other.MINATURE_CACHE_SIZE_MAX = 1;
  addIndexed(u"a.jpg"_s, u"1"_s);
  const QString newest = addIndexed(u"b.jpg"_s, u"2"_s);
  subTrimMiniaturesCache();
  EXPECT_EQ(indexedSources(), QStringList{newest});
  EXPECT_TRUE(QFile::exists(cacheFile(u"2"_s)));
}

TEST_F(ThumbnailCache, TrimDropsEntriesOutsideTheFolderWithoutDeletingThem) {
  gConfiguration.Other.MINATURE_CACHE_SIZE_MAX = 1;
  writeCacheFile(u"1"_s, QByteArray(100, 'x'));
  const QString outside = writeSource(u"8"_s, "outside");
  const QString otherCase = app_.write(u"Cache/9"_s, "another folder");
  const QString named = writeCacheFile(u"name"_s, "not a number");
  for (const QString& file : {outside, otherCase, named}) {
    gMiniaturesCache.add(file + u".jpg"_s, file, u"-1"_s);
  }
  const QString last = addIndexed(u"last.jpg"_s, u"2"_s);
  subTrimMiniaturesCache();
  EXPECT_EQ(indexedSources(), QStringList{last});
  for (const QString& file : {outside, otherCase, named}) {
    EXPECT_TRUE(QFile::exists(file)) << file.toStdString();
  }
}

TEST_F(ThumbnailCache, FindIgnoresTheCaseOfKeysButNotOfTags) {
  const QDateTime written(QDate(2006, 3, 7), QTime(14, 5, 9));  // a tag with letters: 7D637E59...
  const QString source = writeSource(u"Photo.jpg"_s, "same bytes");
  const QString otherCase = writeSource(u"PHOTO.JPG"_s, "same bytes");
  thumbnail_test::setWriteTime(source, written);
  thumbnail_test::setWriteTime(otherCase, written);
  gMiniaturesCache.add(source, writeCacheFile(u"1"_s, "t"), getFileEtag(source));
  EXPECT_TRUE(FindMiniatureInCache(source));
  EXPECT_TRUE(FindMiniatureInCache(otherCase));

  *gMiniaturesCache.colMiniatureEtags.find(source) = getFileEtag(source).toLower();
  EXPECT_FALSE(FindMiniatureInCache(source));

  *gMiniaturesCache.colMiniatureEtags.find(source) = getFileEtag(source);
  QFile::remove(cacheFile(u"1"_s));
  EXPECT_FALSE(FindMiniatureInCache(source));
}

TEST_F(ThumbnailCache, FindSeesAChangedSource) {
  const QString source = addIndexed(u"a.jpg"_s, u"1"_s);
  touch(source, 5);
  EXPECT_FALSE(FindMiniatureInCache(source));
}

TEST_F(ThumbnailCache, AddingReplacesTheEntryAndDeletesItsFormerThumbnail) {
  const QString a = addIndexed(u"a.jpg"_s, u"1"_s);
  const QString b = addIndexed(u"b.jpg"_s, u"2"_s);
  const QString replacement = writeCacheFile(u"3"_s, "new");
  subAddMiniatureInCache(a, replacement, getFileEtag(a));
  EXPECT_EQ(indexedSources(), (QStringList{b, a}));
  EXPECT_EQ(gMiniaturesCache.colMiniatureFiles.value(a), replacement);
  EXPECT_FALSE(QFile::exists(cacheFile(u"1"_s)));
  EXPECT_TRUE(gConfiguration.AppState.blnCacheModified);
}

TEST_F(ThumbnailCache, TheIndexNeverGrowsBeyondWhatCacheXmlCanHold) {
  for (qsizetype i = 0; i < orv::content::kMaxMiniaturesCacheEntries; ++i) {
    gMiniaturesCache.add(u"/s/%1"_s.arg(i), cacheFile(QString::number(i)), u"-1"_s);
  }
  const QString source = writeSource(u"new.jpg"_s, "n");
  subAddMiniatureInCache(source, writeCacheFile(u"9999998"_s, "t"), getFileEtag(source));
  EXPECT_EQ(gMiniaturesCache.count(), orv::content::kMaxMiniaturesCacheEntries);
  EXPECT_FALSE(gMiniaturesCache.colMiniatureFiles.contains(u"/s/0"_s));
  EXPECT_EQ(gMiniaturesCache.colMiniatureSources.at(gMiniaturesCache.count()), source);
}

}  // namespace
