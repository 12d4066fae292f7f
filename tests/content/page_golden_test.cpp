// Folder pages byte for byte: every page of a hostile folder and of a large one, under every
// sort, group, display and filter choice, as XML and as the HTML the server makes of it, is
// compared with the fingerprint of the page the builder gave before its speed work. A change
// of how pages are built must leave every byte of them as it was.
//
// The fingerprints live in page_golden.txt beside this file. A deliberate change of the page
// rewrites them: run this test with ORV_WRITE_PAGE_GOLDEN=<path of page_golden.txt>. A page
// that differs is written under the build folder (page-golden-actual/) for comparing.

#include "content/build_xml_page.h"
#include "content/server_transform.h"
#include "core/app_info.h"
#include "core/resource_icons.h"
#include "page_fixture.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMap>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

namespace {

using namespace page_fixture;
using orv::content::BuildStatus;
using orv::core::gConfiguration;

QByteArray readSource(const char* relativePath) {
  QFile file(QStringLiteral(ORV_SOURCE_DIR "/") + QString::fromLatin1(relativePath));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QDateTime utc(qint64 seconds) {
  return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

// A file of the given size whose bytes the page never reads: the size is a hole.
void writeSized(const QString& folder, const QByteArray& name, qint64 size, qint64 written) {
  writeRaw(folder, name, QByteArray(), utc(written));
  const QByteArray path = orv::platform::nativePath(folder) + '/' + name;
  ASSERT_EQ(::truncate(path.constData(), size), 0);
  const struct timespec times[2] = {{written, 0}, {written, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
}

void setTime(const QString& path, qint64 written) {
  const struct timespec times[2] = {{written, 0}, {written, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, orv::platform::nativePath(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

constexpr qint64 kBase = 1'000'000'000;  // 2001-09-09

// Every byte a name may hold, markup, invalid UTF-8, sizes at the group edges, MP3 tags
// with markup and control characters, hidden entries, links in and out, a pipe.
void fillHostile(const QString& folder, const QString& outside) {
  for (int byte = 1; byte < 256; ++byte) {
    if (byte != '/') {
      writeRaw(folder, QByteArray("n") + static_cast<char>(byte), "x", utc(kBase + byte * 3600));
    }
  }
  const QByteArray names[] = {
      "tab\tline\nfeed\rcr.txt",
      "Tom & Jerry <1> \"q\" 'a'.mp3",
      "]]>.jpg",
      "&amp;.avi",
      "\xC0\xAE\xC0\xAE",
      "\xED\xA0\x80 surrogate.png",
      "\xF4\x90\x80\x80.mkv",
      "\xEF\xBB\xBF"
      "bom.mp3",
      "\xEF\xBF\xBD replacement",
      "caf\xE9.jpg",
      "caf\xC3\xA9.JPG",
      "%41%2F%00.txt",
      "+plus+.Mp3",
      "a?b=c&d.mp3",
      QByteArray(251, 'L') + ".mp3",
      QByteArray(255, '\xFF'),
      QByteArray(85, 'x') + QByteArray("\xE2\x82\xAC").repeated(56) + "yy",
      "\xC3\x89mile.mp3",
      "\xC3\xA9mile.mp3",
      "\xC4\xB0stanbul.avi",
      "\xC4\xB1stanbul.avi",
      "\xF0\x9F\x98\x80 smile.jpg",
      "no extension",
      "two.dots.tar.gz",
      ".hidden.mp3",
      ".hidden",
      "trailing.",
      "{12345678-1234-1234-1234-123456789012}.{00000000-0000-0000-0000-000000000000}",
  };
  int i = 0;
  for (const QByteArray& name : names) {
    writeRaw(folder, name, QByteArray(i * 7 % 50, 'b'), utc(kBase + i * 86400 * 17));
    ++i;
  }
  const QByteArray artists[] = {"Tom & Jerry <b>", "tab\there \"quoted\"", "", "caf\xE9", "Caf\xC9", "]]>"};
  for (int t = 0; t < 12; ++t) {
    const QByteArray name = "song " + QByteArray::number(t) + ".mp3";
    writeRaw(folder, name,
             mp3Bytes("Title \x01 " + QByteArray::number(t), artists[t % 6], "Album\n" + QByteArray::number(t % 4)),
             utc(kBase + t * 40000));
  }
  for (const qint64 size : {0LL, 1LL, 9LL, 10LL, 3'500'000LL, 3'500'001LL, 100'000'000LL, 100'000'001LL}) {
    writeSized(folder, "size " + QByteArray::number(size) + ".bin", size, kBase + size % 1000);
  }
  const QByteArray folders[] = {"sub\x01\xFF<&>", "Alpha",
                                "alpha2",         "\xC3\x89t\xC3\xA9",
                                ".hidden folder", "Folder.{00000000-0000-0000-0000-000000000000}",
                                "music"};
  i = 0;
  for (const QByteArray& name : folders) {
    makeRawFolder(folder, name, utc(kBase + i * 99999));
    ++i;
  }
  const QByteArray native = orv::platform::nativePath(folder) + '/';
  ASSERT_EQ(::symlink("Alpha", (native + "link to folder").constData()), 0);
  ASSERT_EQ(::symlink("song 1.mp3", (native + "link to song.mp3").constData()), 0);
  ASSERT_EQ(::symlink(orv::platform::nativePath(outside).constData(), (native + "link out.txt").constData()), 0);
  ASSERT_EQ(::symlink("nowhere", (native + "dangling.txt").constData()), 0);
  ASSERT_EQ(::mkfifo((native + "pipe.mp3").constData(), 0644), 0);
}

// Many entries whose names tie, differ only in case or accents, and start with digits and
// signs; sizes and dates spread over the groups; MP3 files with a few artists and albums.
void fillLarge(const QString& folder, int count) {
  const char* starts[] = {"Alpha",
                          "alpha",
                          "\xC3\x89mile",
                          "\xC3\xA9mile",
                          "Zed",
                          "zed",
                          "1999",
                          "_under",
                          "\xC3\x87"
                          "a",
                          "\xC3\xA7"
                          "a",
                          "\xC5\x9E",
                          "\xC4\xB1i",
                          "\xC3\x9F",
                          "\xE6\x97\xA5",
                          "\xF0\x9F\x98\x80",
                          "b & <c>",
                          "Tab\tName",
                          "same"};
  const char* extensions[] = {".mp3", ".MP3", ".jpg", ".png", ".avi", ".mkv", ".txt", ".pdf", "", ".tar.gz", ".Mp3"};
  quint32 seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) & 0xFFFFFF;
  };
  for (int i = 0; i < count; ++i) {
    const QByteArray start = starts[next() % (sizeof starts / sizeof *starts)];
    const QByteArray extension = extensions[next() % (sizeof extensions / sizeof *extensions)];
    const QByteArray name =
        start + ' ' + QByteArray::number(next() % (count / 2)) + '-' + QByteArray::number(i) + extension;
    const qint64 written = kBase + static_cast<qint64>(next() % 4000) * 86400 + next() % 86400;
    if (extension.compare(".mp3", Qt::CaseInsensitive) == 0) {
      writeRaw(folder, name,
               mp3Bytes("T" + QByteArray::number(i), "Artist " + QByteArray::number(next() % 9),
                        "Album " + QByteArray::number(next() % 5)),
               utc(written));
    } else {
      const qint64 sizes[] = {0, 1, 9, 10, 3'500'000, 3'500'001, 100'000'000, 100'000'001};
      const qint64 size = next() % 3 == 0 ? sizes[next() % 8] : next() % 5'000'000;
      writeSized(folder, name, size, written);
    }
  }
  for (int i = 0; i < 40; ++i) {
    makeRawFolder(folder, QByteArray(starts[i % (sizeof starts / sizeof *starts)]) + " folder " + QByteArray::number(i),
                  utc(kBase + i * 7777));
  }
}

struct PageCase {
  const char* name;
  std::array<Display, 5> displays;
  bool html = false;
  bool viewHidden = false;
  bool hideExtensions = false;
  const char* single = nullptr;  // a section fragment of this type instead of the page
};

std::array<Display, 5> all(const char* showby, const char* sortby, const char* sortorder, const char* showgroup) {
  std::array<Display, 5> displays;
  for (Display& display : displays) {
    display = {s(showby), s(sortby), s(sortorder), s(showgroup), {}};
  }
  return displays;
}

std::array<Display, 5> withSound(std::array<Display, 5> displays, const char* sortby, const char* showgroup) {
  displays[2].sortby = s(sortby);
  displays[2].showgroup = s(showgroup);
  return displays;
}

std::array<Display, 5> filtered(std::array<Display, 5> displays, const char* folder, const char* other,
                                const char* sound, const char* image, const char* video) {
  displays[0].filter = s(folder);
  displays[1].filter = s(other);
  displays[2].filter = s(sound);
  displays[3].filter = s(image);
  displays[4].filter = s(video);
  return displays;
}

std::vector<PageCase> pageCases() {
  std::vector<PageCase> cases = {
      {"name-list", all("list", "name", "ascending", "true")},
      {"name-descending-icon", all("icon", "name", "descending", "true")},
      {"name-nogroup-mini", all("mini", "name", "ascending", "false")},
      {"size-ascending", all("list", "size", "ascending", "true")},
      {"size-descending-icon", all("icon", "size", "descending", "true")},
      {"size-nogroup", all("list", "size", "ascending", "false")},
      {"type-ascending-mini", all("mini", "type", "ascending", "true")},
      {"type-descending-nogroup", all("list", "type", "descending", "false")},
      {"date-ascending", all("list", "date", "ascending", "true")},
      {"date-descending-icon", all("icon", "date", "descending", "true")},
      {"date-nogroup", all("list", "date", "ascending", "false")},
      {"artist", withSound(all("list", "name", "ascending", "true"), "artist", "true")},
      {"artist-nogroup-descending", withSound(all("icon", "name", "descending", "false"), "artist", "false")},
      {"album", withSound(all("mini", "date", "ascending", "true"), "album", "true")},
      {"unknown-words", all("grid", "name", "ascending", "maybe")},
      {"filters-some", filtered(all("list", "name", "ascending", "true"), "a", "1", "song", "caf", "stan")},
      {"filters-none", filtered(all("list", "size", "ascending", "true"), "zzz", "zzz", "zzz", "zzz", "zzz")},
      {"hidden-and-extensions", all("icon", "name", "ascending", "true"), false, true, true},
      {"html-name", all("list", "name", "ascending", "true"), true},
      {"html-icon-size", all("icon", "size", "descending", "true"), true},
      {"html-artist", withSound(all("mini", "date", "ascending", "true"), "artist", "true"), true, true, true},
      {"fragment-sound", withSound(all("list", "name", "ascending", "true"), "album", "true"), false, false, false,
       "sound"},
      {"fragment-folder", all("icon", "date", "descending", "true"), false, false, false, "folder"},
  };
  return cases;
}

class PageGolden : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    const char* zone = std::getenv("TZ");
    savedZone_ = zone == nullptr ? std::optional<QByteArray>() : std::optional<QByteArray>(zone);
    // The dates of the pages are local time: one zone and one locale wherever this runs.
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    gConfiguration.ShellExtension.strResourcesIconsList =
        orv::core::getResourcesIconsList(QStringLiteral(ORV_SOURCE_DIR "/resources"));
    gConfiguration.HtmlDisplay.XSL_FILE = s("classic-full.xsl");
    app_.write(s("resources/classic-full.xsl"), readSource("resources/classic-full.xsl"));
    const QString golden = QStringLiteral(ORV_SOURCE_DIR "/tests/content/page_golden.txt");
    QFile file(golden);
    if (file.open(QIODevice::ReadOnly)) {
      for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2) {
          expected_.insert(QString::fromLatin1(parts[0]), parts[1]);
        }
      }
    }
  }
  void TearDown() override {
    if (savedZone_) {
      ::setenv("TZ", savedZone_->constData(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
    PageTest::TearDown();
  }

  // The page of a case, the version number (which changes with every release) taken out.
  QByteArray page(const QString& folder, const PageCase& c) const {
    gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD = c.html ? 2 : 1;
    gConfiguration.HtmlDisplay.VIEW_HIDDEN_DISK_ITEMS = c.viewHidden;
    gConfiguration.HtmlDisplay.HIDE_EXTENSIONS = c.hideExtensions;
    orv::content::subReloadXslStylesheetDocument();
    auto builder = makeBuilder(folder, s("/music/"), c.displays);
    builder->SetShareLocalFolderPath(share_.path());
    QByteArray bytes;
    if (c.single != nullptr) {
      EXPECT_EQ(builder->BuildSingleSection(s(c.single)), BuildStatus::Completed) << c.name;
      bytes = builder->GetOutputDocument().toBytes();
    } else {
      EXPECT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed) << c.name;
      bytes = builder->GetOutputResult().toUtf8();
      // What the server sends is the same text, made without passing through UTF-16.
      EXPECT_EQ(builder->GetOutputBytes(), bytes) << c.name;
    }
    const QByteArray version = orv::core::displayVersion().toUtf8();
    bytes.replace("<num>" + version + "</num>", "<num>VERSION</num>");
    bytes.replace(orv::core::applicationTitle().toUtf8() + ' ' + version, "TITLE VERSION");
    return bytes;
  }

  void check(const QString& folder, const char* prefix) {
    const char* writeTo = std::getenv("ORV_WRITE_PAGE_GOLDEN");
    const QString artifacts = QCoreApplication::applicationDirPath() + QStringLiteral("/page-golden-actual/");
    for (const PageCase& c : pageCases()) {
      const QString key = s(prefix) + QLatin1Char('-') + s(c.name);
      const QByteArray bytes = page(folder, c);
      EXPECT_GT(bytes.size(), 200) << key.toStdString();
      const QByteArray print =
          QByteArray::number(bytes.size()) + ':' + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
      if (writeTo != nullptr) {
        written_ += key.toLatin1() + ' ' + print + '\n';
        continue;
      }
      ASSERT_TRUE(expected_.contains(key)) << "no fingerprint for " << key.toStdString();
      if (expected_.value(key) != print) {
        QDir().mkpath(artifacts);
        QFile out(artifacts + key + (c.html ? QStringLiteral(".html") : QStringLiteral(".xml")));
        if (out.open(QIODevice::WriteOnly)) {
          out.write(bytes);
        }
        ADD_FAILURE() << "the page " << key.toStdString() << " changed; it is in " << out.fileName().toStdString();
      }
    }
    if (writeTo != nullptr) {
      QFile out(QString::fromLocal8Bit(writeTo));
      ASSERT_TRUE(out.open(QIODevice::Append));
      out.write(written_);
    }
  }

  // Two shares below the page's server path give virtual folders beside the disk ones.
  void addVirtualShares(const TempFolder& others) {
    const QString rock = others.makeFolder(s("rock"));
    const QString jazz = others.makeFolder(s("jazz & <blues>"));
    setTime(rock, kBase + 5);
    setTime(jazz, kBase + 500000);
    addShare(s("/music/rock/"), rock);
    addShare(s("/music/jazz%20&%20%3Cblues%3E/deep/"), jazz);
    addShare(s("/music/music/"), rock);
  }

  std::optional<QByteArray> savedZone_;
  QMap<QString, QByteArray> expected_;
  QByteArray written_;
};

TEST_F(PageGolden, EveryPageOfAHostileFolderKeepsEveryByte) {
  const TempFolder outside;
  const TempFolder others;
  const QString secret = outside.write(s("secret.txt"), "secret");
  fillHostile(share_.path(), secret);
  addVirtualShares(others);
  check(share_.path(), "hostile");
}

TEST_F(PageGolden, EveryPageOfALargeFolderKeepsEveryByte) {
  const TempFolder others;
  fillLarge(share_.path(), 2500);
  addVirtualShares(others);
  check(share_.path(), "large");
}

}  // namespace
