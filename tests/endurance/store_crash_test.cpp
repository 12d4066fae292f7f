// The four stores killed in the middle of their save: a child process saves a store over
// and over, two versions in turn, with the program's own save procedure, and is killed
// (SIGKILL) at points taken from what the folder shows: as soon as a temporary file
// appears, once it holds a whole version, as soon as it is gone again, and after a few
// microseconds more each time. Whatever the point, the file is one version or the other,
// byte for byte, never a mix or a truncated file, and the program's loader reads it whole.

#include "content/thumbnail_cache.h"
#include "core/config_file.h"
#include "core/configuration.h"
#include "core/file_utils.h"
#include "core/history_store.h"
#include "core/uploaded_store.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

namespace {

using namespace Qt::StringLiterals;
using orv::core::gConfiguration;

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// The temporary files of the saves of path: its name followed by ".tmp-".
QStringList temporaryFiles(const QString& path) {
  const QFileInfo info(path);
  return QDir(info.absolutePath()).entryList({info.fileName() + u".tmp-*"_s}, QDir::Files | QDir::Hidden);
}

std::optional<qint64> temporarySize(const QString& path) {
  const QStringList names = temporaryFiles(path);
  if (names.isEmpty()) {
    return std::nullopt;
  }
  struct stat status {};
  const QByteArray name = QFile::encodeName(QFileInfo(path).absolutePath() + u'/' + names.first());
  return ::stat(name.constData(), &status) == 0 ? std::optional<qint64>(status.st_size) : std::nullopt;
}

// Where to kill the saver, read from the folder while it saves.
enum class KillPoint {
  TemporaryAppears,  // the temporary file exists: the save has begun writing
  TemporaryWhole,    // it holds as many bytes as a whole version: flushing, renaming
  TemporaryGone,     // it was renamed over the store: the folder is being flushed
};

// One store: two versions in memory, a way to make one of them the program's, its save,
// and its loader's count of what it read.
struct Store {
  QString name;
  std::function<void(int version)> use;
  std::function<void(const QString& path)> save;
  std::function<qsizetype(const QString& path)> loadedCount;
  qsizetype counts[2];
};

// A child that saves the store, versions 0 and 1 in turn, until it is killed.
class Saver {
 public:
  Saver(const Store& store, const QString& path) {
    pid_ = ::fork();
    if (pid_ == 0) {
      for (int version = 0;; version = 1 - version) {
        store.use(version);
        store.save(path);
      }
    }
  }
  ~Saver() { kill(); }
  Saver(const Saver&) = delete;
  Saver& operator=(const Saver&) = delete;

  bool started() const { return pid_ > 0; }
  void kill() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      ::waitpid(pid_, &status, 0);
      pid_ = -1;
    }
  }

 private:
  pid_t pid_ = -1;
};

// Waits, looking without pause, until the folder shows the point; false after a minute.
bool reach(KillPoint point, const QString& path, qint64 wholeSize) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  bool seen = false;
  while (std::chrono::steady_clock::now() < end) {
    const std::optional<qint64> size = temporarySize(path);
    switch (point) {
      case KillPoint::TemporaryAppears:
        if (size) {
          return true;
        }
        break;
      case KillPoint::TemporaryWhole:
        if (size && *size >= wholeSize) {
          return true;
        }
        break;
      case KillPoint::TemporaryGone:
        if (seen && !size) {
          return true;
        }
        seen = seen || size.has_value();
        break;
    }
  }
  return false;
}

class StoreCrash : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = gConfiguration;
    savedAppFolder_ = orv::core::gAppFolder;
    orv::core::gAppFolder = tmp.path();
    gConfiguration.History.MAX_ENTRY = -1;
  }
  void TearDown() override {
    gConfiguration = saved_;
    orv::core::gAppFolder = savedAppFolder_;
    orv::core::gHistoryLists = {};
    orv::core::gUploadedLists = {};
    orv::content::gMiniaturesCache = {};
  }

  // Kills a saver of the store at every point, several times each, and checks the file
  // after each kill.
  void killDuringSaves(Store& store, const QString& path) {
    // The bytes of each version, saved once in a folder of their own.
    QByteArray versions[2];
    for (int version = 0; version < 2; ++version) {
      const QString reference = tmp.makeFolder(u"reference-%1-%2"_s.arg(store.name).arg(version)) + u"/store"_s;
      store.use(version);
      store.save(reference);
      versions[version] = readAll(reference);
      ASSERT_EQ(store.loadedCount(reference), store.counts[version]);
    }
    ASSERT_NE(versions[0], versions[1]);
    const qint64 wholeSize = std::min(versions[0].size(), versions[1].size());
    store.use(0);
    store.save(path);

    for (const KillPoint point : {KillPoint::TemporaryAppears, KillPoint::TemporaryWhole, KillPoint::TemporaryGone}) {
      for (int delay = 0; delay < 3; ++delay) {
        SCOPED_TRACE(
            u"%1, point %2, %3 us later"_s.arg(store.name).arg(static_cast<int>(point)).arg(delay * 100).toStdString());
        Saver saver(store, path);
        ASSERT_TRUE(saver.started());
        ASSERT_TRUE(reach(point, path, wholeSize));
        std::this_thread::sleep_for(std::chrono::microseconds(delay * 100));  // the kill point itself
        saver.kill();

        const QByteArray bytes = readAll(path);
        const int version = bytes == versions[0] ? 0 : bytes == versions[1] ? 1 : -1;
        ASSERT_NE(version, -1) << "neither version: " << bytes.size() << " bytes, " << bytes.right(80).toStdString();
        EXPECT_EQ(store.loadedCount(path), store.counts[version]);
        // What a killed save leaves is its temporary file, never the store's own name.
        for (const QString& name : temporaryFiles(path)) {
          QFile::remove(QFileInfo(path).absolutePath() + u'/' + name);
        }
      }
    }
  }

  TempFolder tmp;

 private:
  orv::core::tConfiguration saved_;
  QString savedAppFolder_;
};

TEST_F(StoreCrash, TheConfigurationIsEitherVersionAndPrivate) {
  orv::core::tConfiguration versions[2] = {gConfiguration, gConfiguration};
  for (int version = 0; version < 2; ++version) {
    versions[version].Protocol.LOCAL_PORT = QString::number(8080 + version);
    for (int n = 0; n < 400 + version; ++n) {
      versions[version].Users.add({u"id%1"_s.arg(n), u"user%1"_s.arg(n), u"password %1 & <more>"_s.arg(n), {}, {}});
    }
  }
  Store store{u"config"_s,
              [&](int version) { gConfiguration = versions[version]; },
              [](const QString& path) { orv::core::subSaveConfiguration(path); },
              [](const QString& path) { return orv::core::fnctLoadConfiguration(path).Users.count(); },
              {400, 401}};
  const QString path = tmp.file(u"config.xml"_s);
  killDuringSaves(store, path);
  EXPECT_EQ(QFileInfo(path).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
}

TEST_F(StoreCrash, TheHistoryIsEitherVersion) {
  orv::core::tHistoryLists versions[2];
  for (int version = 0; version < 2; ++version) {
    for (int n = 0; n < 5000 + version; ++n) {
      versions[version].events.push_back({u"2024/03/01 12:00:00"_s, orv::core::HistoryEventType::FILE_END_UPLOAD,
                                          u"192.168.0.%1 (user)"_s.arg(n % 250), u"/srv/share/file %1.mp3"_s.arg(n),
                                          false});
    }
  }
  Store store{u"history"_s,
              [&](int version) { orv::core::gHistoryLists = versions[version]; },
              [](const QString& path) { orv::core::subSaveHistory(path, false); },
              [](const QString& path) { return orv::core::fnctLoadHistory(path).count(); },
              {5000, 5001}};
  killDuringSaves(store, tmp.file(u"history.xml"_s));
}

TEST_F(StoreCrash, TheSentFilesAreEitherVersion) {
  orv::core::tUploadedLists versions[2];
  for (int version = 0; version < 2; ++version) {
    for (int n = 0; n < 5000 + version; ++n) {
      versions[version].transfers.push_back({u"/srv/share/file %1.mp3"_s.arg(n % 500), false, u"2024/03/01 12:00:00"_s,
                                             u"192.168.0.%1"_s.arg(n % 250), static_cast<double>(n), true, n % 3 != 0});
    }
  }
  Store store{u"uploaded"_s,
              [&](int version) { orv::core::gUploadedLists = versions[version]; },
              [](const QString& path) { orv::core::subSaveUploadedLists(path); },
              [](const QString& path) {
                return static_cast<qsizetype>(orv::core::fnctLoadUploadedLists(path).transfers.size());
              },
              {5000, 5001}};
  killDuringSaves(store, tmp.file(u"uploaded.xml"_s));
}

TEST_F(StoreCrash, TheThumbnailIndexIsEitherVersion) {
  // Real thumbnails of real pictures: the index keeps only entries whose files exist and
  // whose source is unchanged. The two versions list the same entries in two orders.
  constexpr int kEntries = 1500;
  orv::content::tMiniaturesCache versions[2];
  const QString cache = tmp.makeFolder(u"cache"_s);
  for (int n = 0; n < kEntries; ++n) {
    const QString source = tmp.write(u"pictures/picture %1.png"_s.arg(n), QByteArray::number(n));
    const QString thumbnail = tmp.write(u"cache/%1"_s.arg(n + 1), "BM");
    versions[0].add(source, thumbnail, orv::core::getFileEtag(source));
  }
  for (int n = kEntries; n-- > 0;) {
    const QString source = versions[0].colMiniatureSources.at(n + 1);
    versions[1].add(source, versions[0].colMiniatureFiles.at(n + 1), versions[0].colMiniatureEtags.at(n + 1));
  }
  Store store{u"cache"_s,
              [&](int version) { orv::content::gMiniaturesCache = versions[version]; },
              [](const QString& path) { orv::content::subSaveMiniaturesCache(path); },
              [](const QString& path) { return orv::content::fnctLoadMiniaturesCache(path).count(); },
              {kEntries, kEntries}};
  killDuringSaves(store, cache + u"/cache.xml"_s);
}

}  // namespace
