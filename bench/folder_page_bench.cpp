// Times the XML page of folders of 1,000, 10,000 and 50,000 files, each once with names
// sorted by name (no MP3 data read) and once with the sound section sorted by artist
// (every file's MP3 data read), and prints how the time grows per entry. Prints one
// "name value" pair a line.
//
//   folder_page_bench <work folder> [counts...]

#include "content/build_xml_page.h"
#include "content/mp3_reader.h"
#include "content/xsl_stylesheets.h"
#include "core/configuration.h"
#include "core/language.h"
#include "platform/file_system.h"
#include "platform/message_loop.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using orv::content::BuildStatus;
using orv::content::usrBuildXmlPage;

// A small MP3 file: one MPEG frame and an ID3v1.1 tag whose artist and album vary.
QByteArray mp3Bytes(int i) {
  const auto fixed = [](const QByteArray& text, int width) { return (text + QByteArray(width, '\0')).left(width); };
  QByteArray frame(417, '\0');
  frame[0] = '\xFF';
  frame[1] = '\xFB';
  frame[2] = '\x90';
  return frame + "TAG" + fixed("Title " + QByteArray::number(i), 30) +
         fixed("Artist " + QByteArray::number(i % 97), 30) + fixed("Album " + QByteArray::number(i % 31), 30) +
         fixed("2006", 4) + fixed("", 28) + '\0' + static_cast<char>(i % 20 + 1) + '\x0C';
}

// count files "track NNNNNN.mp3" and a few sub-folders, made once and kept for the runs.
bool makeFolder(const QString& path, int count) {
  QDir().mkpath(path);
  const QByteArray base = orv::platform::nativePath(path) + '/';
  for (int i = 0; i < count; ++i) {
    const QByteArray name = base + "track " + QByteArray::number(i).rightJustified(6, '0') + ".mp3";
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
      return false;
    }
    const QByteArray bytes = mp3Bytes(i);
    const bool written = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    ::close(fd);
    if (!written) {
      return false;
    }
  }
  for (int i = 0; i < 20; ++i) {
    QDir().mkpath(path + QStringLiteral("/folder %1").arg(i));
  }
  return true;
}

struct Timing {
  double buildMs = 0;
  double outputMs = 0;
  double cpuMs = 0;  // processor time of both, which other work on the machine does not stretch
  qsizetype bytes = 0;
};

double cpuNowMs() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

Timing timePage(const QString& folder, bool byArtist) {
  usrBuildXmlPage builder;
  builder.SetLocalFolderPath(folder);
  builder.SetServerFolderPath(QStringLiteral("/music/"));
  builder.SetUrlTag(QString());
  builder.SetSharePhysicalFolder(true);
  builder.SetShareVirtualFolder(true);
  builder.SetShareOther(true);
  builder.SetShareSound(true);
  builder.SetShareImage(true);
  builder.SetShareVideo(true);
  for (auto set : {&usrBuildXmlPage::SetDisplayModeFolder, &usrBuildXmlPage::SetDisplayModeOther,
                   &usrBuildXmlPage::SetDisplayModeSound, &usrBuildXmlPage::SetDisplayModeImage,
                   &usrBuildXmlPage::SetDisplayModeVideo}) {
    (builder.*set)(QStringLiteral("list"));
  }
  for (auto set : {&usrBuildXmlPage::SetSortValueFolder, &usrBuildXmlPage::SetSortValueOther,
                   &usrBuildXmlPage::SetSortValueImage, &usrBuildXmlPage::SetSortValueVideo}) {
    (builder.*set)(QStringLiteral("name"));
  }
  builder.SetSortValueSound(byArtist ? QStringLiteral("artist") : QStringLiteral("name"));
  for (auto set :
       {&usrBuildXmlPage::SetSortOrderFolder, &usrBuildXmlPage::SetSortOrderOther, &usrBuildXmlPage::SetSortOrderSound,
        &usrBuildXmlPage::SetSortOrderImage, &usrBuildXmlPage::SetSortOrderVideo}) {
    (builder.*set)(QStringLiteral("ascending"));
  }
  for (auto set :
       {&usrBuildXmlPage::SetShowGroupFolder, &usrBuildXmlPage::SetShowGroupOther, &usrBuildXmlPage::SetShowGroupSound,
        &usrBuildXmlPage::SetShowGroupImage, &usrBuildXmlPage::SetShowGroupVideo}) {
    (builder.*set)(QStringLiteral("true"));
  }
  builder.SetShowPlayers(QStringLiteral("false"));

  Timing timing;
  const double cpuStart = cpuNowMs();
  QElapsedTimer timer;
  timer.start();
  if (builder.BuildDocumentFolder() != BuildStatus::Completed) {
    std::fprintf(stderr, "the build of %s failed\n", qPrintable(folder));
    return timing;
  }
  timing.buildMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
  timer.restart();
  timing.bytes = builder.GetOutputResult().toUtf8().size();
  timing.outputMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
  timing.cpuMs = cpuNowMs() - cpuStart;
  return timing;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  orv::platform::selectMessageLoop();
  QCoreApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() < 2) {
    std::fprintf(stderr, "usage: folder_page_bench <work folder> [counts...]\n");
    return 2;
  }
  const QString work = arguments.at(1);
  std::vector<int> counts;
  for (qsizetype i = 2; i < arguments.size(); ++i) {
    counts.push_back(std::max(1, arguments.at(i).toInt()));
  }
  if (counts.empty()) {
    counts = {1000, 10000, 50000};
  }

  orv::core::gAppFolder = work + QStringLiteral("/app");
  QDir().mkpath(orv::core::gAppFolder + QStringLiteral("/resources"));
  orv::core::gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD = 1;
  orv::core::gConfiguration.AppState.objXslSortDocument =
      std::make_shared<const orv::xml::Document>(orv::content::getXslSortStylesheet());
  orv::core::gConfiguration.AppState.objXslGroupDocument =
      std::make_shared<const orv::xml::Document>(orv::content::getXslGroupStylesheet());
  orv::content::subInitBitrateTables();

  int failures = 0;
  double firstPerEntry[2] = {0, 0};
  for (const int count : counts) {
    const QString folder = work + QStringLiteral("/folder-%1").arg(count);
    QElapsedTimer made;
    made.start();
    if (!QDir(folder).exists() && !makeFolder(folder, count)) {
      std::fprintf(stderr, "cannot make %s\n", qPrintable(folder));
      return 1;
    }
    for (const bool byArtist : {false, true}) {
      const char* kind = byArtist ? "artist" : "name";
      std::vector<double> build;
      std::vector<double> output;
      std::vector<double> cpu;
      qsizetype bytes = 0;
      const int runs = count >= 50000 ? 3 : 5;
      for (int run = 0; run < runs; ++run) {
        const Timing timing = timePage(folder, byArtist);
        if (timing.bytes == 0) {
          ++failures;
        }
        build.push_back(timing.buildMs);
        output.push_back(timing.outputMs);
        cpu.push_back(timing.cpuMs);
        bytes = timing.bytes;
      }
      const double total = median(build) + median(output);
      const double perEntryUs = total * 1000.0 / count;
      if (firstPerEntry[byArtist] == 0) {
        firstPerEntry[byArtist] = perEntryUs;
      }
      std::printf("files_%d_%s_build_ms %.1f\n", count, kind, median(build));
      std::printf("files_%d_%s_output_ms %.1f\n", count, kind, median(output));
      std::printf("files_%d_%s_total_ms %.1f\n", count, kind, total);
      std::printf("files_%d_%s_cpu_ms %.1f\n", count, kind, median(cpu));
      std::printf("files_%d_%s_us_per_entry %.2f\n", count, kind, perEntryUs);
      std::printf("files_%d_%s_growth %.2f\n", count, kind, perEntryUs / firstPerEntry[byArtist]);
      std::printf("files_%d_%s_page_bytes %lld\n", count, kind, static_cast<long long>(bytes));
    }
  }
  std::printf("failures %d\n", failures);
  return failures == 0 ? 0 : 1;
}
