#include "content/thumbnail_cache.h"
#include "core/configuration.h"
#include "core/file_utils.h"
#include "core/history_store.h"
#include "core/language.h"
#include "core/uploaded_store.h"
#include "desktop/frm_main.h"
#include "desktop/message_box.h"

#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace Qt::StringLiterals;
using orv::content::gMiniaturesCache;
using orv::core::gConfiguration;

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The thumbnail index is read at start-up and written at shut-down only when it changed.
class StartUpCache : public ::testing::Test {
 protected:
  void SetUp() override {
    resetGlobals();
    orv::desktop::setMessageBoxAnswerer(
        [](const orv::desktop::MessageBoxRequest&) { return orv::desktop::MessageAnswer::Ok; });
    folder_.write(u"lang/english.xml"_s, readFile(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml")));
    source_ = sources_.write(u"photo.jpg"_s, "a source");
    folder_.write(u"cache/12"_s, "a thumbnail");
    index_ =
        folder_.write(u"cache/cache.xml"_s, "<CACHE><MINIATURE path=\"" + source_.toUtf8() + "\" id=\"12\" etag=\"" +
                                                orv::core::getFileEtag(source_).toUtf8() + "\"/></CACHE>");
  }
  void TearDown() override {
    window_.reset();
    orv::desktop::setMessageBoxAnswerer({});
    resetGlobals();
  }
  static void resetGlobals() {
    gConfiguration = {};
    orv::core::gAppFolder.clear();
    orv::core::gLanguage = {};
    orv::core::gLanguagesList = {};
    orv::core::gHistoryLists = {};
    orv::core::gUploadedLists = {};
    gMiniaturesCache = {};
  }
  bool load() {
    window_ = std::make_unique<orv::desktop::frmMain>(folder_.path(), QString());
    return window_->MDIForm_Load();
  }

  TempFolder folder_;
  TempFolder sources_;
  QString source_;
  QString index_;
  std::unique_ptr<orv::desktop::frmMain> window_;
};

TEST_F(StartUpCache, TheIndexIsLoadedAndAnUnchangedOneIsNotWritten) {
  const QByteArray before = readFile(index_);
  ASSERT_TRUE(load());
  ASSERT_EQ(gMiniaturesCache.count(), 1);
  EXPECT_EQ(gMiniaturesCache.colMiniatureFiles.value(source_), folder_.file(u"cache/12"_s));
  window_->close();
  EXPECT_EQ(readFile(index_), before);
}

TEST_F(StartUpCache, AModifiedIndexIsWrittenAtShutDown) {
  ASSERT_TRUE(load());
  gMiniaturesCache.remove(source_);
  gConfiguration.AppState.blnCacheModified = true;
  window_->close();
  EXPECT_EQ(readFile(index_), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CACHE/>\n");
  EXPECT_FALSE(gConfiguration.AppState.blnCacheModified);
}

}  // namespace
