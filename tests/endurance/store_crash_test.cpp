// The four stores killed in the middle of their save: a saver process (this test program
// started again, running only its saver) saves a store over and over, two versions in
// turn, with the program's own save procedure, and is killed (SIGKILL) at points taken
// from what the folder shows: as soon as a temporary file appears, once it holds a whole
// version, as soon as it is gone again, and a little later each time. Whatever the point,
// the file is one version or the other, byte for byte, never a mix or a truncated file,
// and the program's loader reads it whole.

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

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>

extern char** environ;

namespace {

using namespace Qt::StringLiterals;
using orv::core::gConfiguration;

constexpr int kEvents = 5000;
constexpr int kTransfers = 5000;
constexpr int kThumbnails = 1000;
constexpr int kUsers = 400;

// One store: a way to make each of its two versions the program's, its save, and its
// loader's count of what it read.
struct Store {
  std::function<void(int version)> use;
  std::function<void(const QString& path)> save;
  std::function<qsizetype(const QString& path)> loadedCount;
  qsizetype counts[2];
};

// The store of that name, its versions made from the folder (the same in the test and in
// its saver: the thumbnail index reads the pictures and thumbnails the test wrote there).
Store makeStore(const QString& name, const QString& folder) {
  if (name == u"config"_s) {
    auto versions = std::make_shared<std::array<orv::core::tConfiguration, 2>>();
    for (int version = 0; version < 2; ++version) {
      orv::core::tConfiguration& record = (*versions)[version];
      record = gConfiguration;
      record.Protocol.LOCAL_PORT = QString::number(8080 + version);
      for (int n = 0; n < kUsers + version; ++n) {
        record.Users.add({u"id%1"_s.arg(n), u"user%1"_s.arg(n), u"password %1 & <more>"_s.arg(n), {}, {}});
      }
    }
    return {[versions](int version) { gConfiguration = (*versions)[version]; },
            [](const QString& path) { orv::core::subSaveConfiguration(path); },
            [](const QString& path) { return orv::core::fnctLoadConfiguration(path).Users.count(); },
            {kUsers, kUsers + 1}};
  }
  if (name == u"history"_s) {
    auto versions = std::make_shared<std::array<orv::core::tHistoryLists, 2>>();
    for (int version = 0; version < 2; ++version) {
      for (int n = 0; n < kEvents + version; ++n) {
        (*versions)[version].events.push_back({u"2024/03/01 12:00:00"_s, orv::core::HistoryEventType::FILE_END_UPLOAD,
                                               u"192.168.0.%1 (user)"_s.arg(n % 250),
                                               u"/srv/share/file %1.mp3"_s.arg(n), false});
      }
    }
    return {[versions](int version) { orv::core::gHistoryLists = (*versions)[version]; },
            [](const QString& path) { orv::core::subSaveHistory(path, false); },
            [](const QString& path) { return orv::core::fnctLoadHistory(path).count(); },
            {kEvents, kEvents + 1}};
  }
  if (name == u"uploaded"_s) {
    auto versions = std::make_shared<std::array<orv::core::tUploadedLists, 2>>();
    for (int version = 0; version < 2; ++version) {
      for (int n = 0; n < kTransfers + version; ++n) {
        (*versions)[version].transfers.push_back({u"/srv/share/file %1.mp3"_s.arg(n % 500), false,
                                                  u"2024/03/01 12:00:00"_s, u"192.168.0.%1"_s.arg(n % 250),
                                                  static_cast<double>(n), true, n % 3 != 0});
      }
    }
    return {[versions](int version) { orv::core::gUploadedLists = (*versions)[version]; },
            [](const QString& path) { orv::core::subSaveUploadedLists(path); },
            [](const QString& path) {
              return static_cast<qsizetype>(orv::core::fnctLoadUploadedLists(path).transfers.size());
            },
            {kTransfers, kTransfers + 1}};
  }
  // The thumbnail index keeps only entries whose thumbnail exists and whose picture is
  // unchanged: the two versions list the same entries, in two orders.
  auto versions = std::make_shared<std::array<orv::content::tMiniaturesCache, 2>>();
  for (int n = 0; n < kThumbnails; ++n) {
    const QString source = folder + u"/pictures/picture %1.png"_s.arg(n);
    const QString etag = orv::core::getFileEtag(source);
    (*versions)[0].add(source, orv::content::getMiniatureFilePath(QString::number(n + 1)), etag);
  }
  for (int n = kThumbnails; n-- > 0;) {
    (*versions)[1].add((*versions)[0].colMiniatureSources.at(n + 1), (*versions)[0].colMiniatureFiles.at(n + 1),
                       (*versions)[0].colMiniatureEtags.at(n + 1));
  }
  return {[versions](int version) { orv::content::gMiniaturesCache = (*versions)[version]; },
          [](const QString& path) { orv::content::subSaveMiniaturesCache(path); },
          [](const QString& path) { return orv::content::fnctLoadMiniaturesCache(path).count(); },
          {kThumbnails, kThumbnails}};
}

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// The size of the newest temporary file of a save of the store, if there is one. Read
// without allocating: the test looks again and again while the saver writes.
std::optional<qint64> temporarySize(const std::string& folder, const std::string& prefix) {
  DIR* directory = ::opendir(folder.c_str());
  if (directory == nullptr) {
    return std::nullopt;
  }
  std::optional<qint64> size;
  while (const dirent* entry = ::readdir(directory)) {
    if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0) {
      char name[4096];
      std::snprintf(name, sizeof name, "%s/%s", folder.c_str(), entry->d_name);
      struct stat status {};
      if (::stat(name, &status) == 0) {
        size = status.st_size;
      }
    }
  }
  ::closedir(directory);
  return size;
}

// Where to kill the saver, read from the folder while it saves.
enum class KillPoint {
  TemporaryAppears,  // the temporary file exists: the save is writing it
  TemporaryWhole,    // it holds as many bytes as a whole version: flushing, renaming
  TemporaryGone,     // it was renamed over the store: the folder is being flushed
  Later,             // a fraction of a save's time or more after a temporary file appears:
                     // anywhere in the saves that follow, building the text included
};

// Waits, looking without pause, until the folder shows the point; false after a minute.
bool reach(KillPoint point, const std::string& folder, const std::string& prefix, qint64 wholeSize) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  bool seen = false;
  while (std::chrono::steady_clock::now() < end) {
    const std::optional<qint64> size = temporarySize(folder, prefix);
    if (((point == KillPoint::TemporaryAppears || point == KillPoint::Later) && size) ||
        (point == KillPoint::TemporaryWhole && size >= wholeSize) ||
        (point == KillPoint::TemporaryGone && seen && !size)) {
      return true;
    }
    seen = seen || size.has_value();
  }
  return false;
}

// The saver: this program again, running only its saver test, on one store and path.
class Saver {
 public:
  Saver(const QString& store, const QString& folder, const QString& path) {
    const std::string filter = "--gtest_filter=StoreCrashSaver.DISABLED_SavesUntilKilled";
    const std::string alsoDisabled = "--gtest_also_run_disabled_tests";
    const std::string program = "/proc/self/exe";
    char* arguments[] = {const_cast<char*>(program.c_str()), const_cast<char*>(filter.c_str()),
                         const_cast<char*>(alsoDisabled.c_str()), nullptr};
    ::setenv("ORV_STORE_SAVER", store.toUtf8().constData(), 1);
    ::setenv("ORV_STORE_FOLDER", folder.toUtf8().constData(), 1);
    ::setenv("ORV_STORE_PATH", path.toUtf8().constData(), 1);
    // Its test runner's lines would only mix with the test's own.
    posix_spawn_file_actions_t quiet;
    ::posix_spawn_file_actions_init(&quiet);
    ::posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (::posix_spawn(&pid_, program.c_str(), &quiet, nullptr, arguments, environ) != 0) {
      pid_ = -1;
    }
    ::posix_spawn_file_actions_destroy(&quiet);
    ::unsetenv("ORV_STORE_SAVER");
    ::unsetenv("ORV_STORE_FOLDER");
    ::unsetenv("ORV_STORE_PATH");
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

  // Kills a saver of the store at every point, several times each a little later, and
  // checks the file after each kill.
  void killDuringSaves(const QString& name, const QString& path) {
    Store store = makeStore(name, tmp.path());
    // The bytes of each version, saved once in a folder of their own.
    QByteArray versions[2];
    std::chrono::steady_clock::duration saveTime{};
    for (int version = 0; version < 2; ++version) {
      const QString reference = tmp.makeFolder(u"reference-%1"_s.arg(version)) + u"/store"_s;
      store.use(version);
      const auto start = std::chrono::steady_clock::now();
      store.save(reference);
      saveTime = std::chrono::steady_clock::now() - start;
      versions[version] = readAll(reference);
      ASSERT_EQ(store.loadedCount(reference), store.counts[version]);
    }
    ASSERT_NE(versions[0], versions[1]);
    const qint64 wholeSize = std::min(versions[0].size(), versions[1].size());
    store.use(0);
    store.save(path);

    const std::string folder = QFile::encodeName(QFileInfo(path).absolutePath()).toStdString();
    const std::string prefix = QFile::encodeName(QFileInfo(path).fileName() + u".tmp-"_s).toStdString();
    for (const KillPoint point :
         {KillPoint::TemporaryAppears, KillPoint::TemporaryWhole, KillPoint::TemporaryGone, KillPoint::Later}) {
      for (int later = 0; later < (point == KillPoint::Later ? 8 : 3); ++later) {
        // Microseconds at the points the folder shows; quarters of a save's time after
        // the first temporary file for the others.
        const auto delay = point == KillPoint::Later
                               ? saveTime * (later + 1) / 4
                               : std::chrono::steady_clock::duration(std::chrono::microseconds(later * 100));
        SCOPED_TRACE(u"point %1, %2 us later"_s.arg(static_cast<int>(point))
                         .arg(std::chrono::duration_cast<std::chrono::microseconds>(delay).count())
                         .toStdString());
        Saver saver(name, tmp.path(), path);
        ASSERT_TRUE(saver.started());
        ASSERT_TRUE(reach(point, folder, prefix, wholeSize));
        std::this_thread::sleep_for(delay);  // the kill point itself
        saver.kill();

        const QByteArray bytes = readAll(path);
        const int version = bytes == versions[0] ? 0 : bytes == versions[1] ? 1 : -1;
        ASSERT_NE(version, -1) << "neither version: " << bytes.size() << " bytes, " << bytes.right(80).toStdString();
        EXPECT_EQ(store.loadedCount(path), store.counts[version]);
        // A killed save leaves its temporary file; the next saver makes its own.
        const QFileInfo info(path);
        for (const QString& left : QDir(info.absolutePath()).entryList({info.fileName() + u".tmp-*"_s})) {
          QFile::remove(info.absolutePath() + u'/' + left);
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
  const QString path = tmp.file(u"config.xml"_s);
  killDuringSaves(u"config"_s, path);
  EXPECT_EQ(QFileInfo(path).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
}

TEST_F(StoreCrash, TheHistoryIsEitherVersion) {
  killDuringSaves(u"history"_s, tmp.file(u"history.xml"_s));
}

TEST_F(StoreCrash, TheSentFilesAreEitherVersion) {
  killDuringSaves(u"uploaded"_s, tmp.file(u"uploaded.xml"_s));
}

TEST_F(StoreCrash, TheThumbnailIndexIsEitherVersion) {
  for (int n = 0; n < kThumbnails; ++n) {
    tmp.write(u"pictures/picture %1.png"_s.arg(n), QByteArray::number(n));
    tmp.write(u"cache/%1"_s.arg(n + 1), "BM");
  }
  killDuringSaves(u"cache"_s, tmp.file(u"cache/cache.xml"_s));
}

// The saver the tests above start and kill: saves the store named in its environment,
// versions 0 and 1 in turn, until it is killed. Not run on its own.
TEST(StoreCrashSaver, DISABLED_SavesUntilKilled) {
  const QString name = qEnvironmentVariable("ORV_STORE_SAVER");
  ASSERT_FALSE(name.isEmpty());
  orv::core::gAppFolder = qEnvironmentVariable("ORV_STORE_FOLDER");
  gConfiguration.History.MAX_ENTRY = -1;
  const QString path = qEnvironmentVariable("ORV_STORE_PATH");
  const Store store = makeStore(name, orv::core::gAppFolder);
  for (int version = 0;; version = 1 - version) {
    store.use(version);
    store.save(path);
  }
}

}  // namespace
