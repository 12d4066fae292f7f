// The start-up's load of the store of sent files from an uploaded.xml of 500,000 rows (the
// rows of some months of one client fetching a small file): the time it takes, the memory
// the process reaches, the rows kept and whether they are the newest; then the save of
// what was kept, and, for comparison, the same file read as a whole document.
//
//   build/<flavour>/bench/uploaded_store_bench [rows]

#include "core/configuration.h"
#include "core/uploaded_store.h"
#include "platform/xml.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <ctime>

namespace {

double cpuSeconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

double peakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

QByteArray rowPath(int i) {
  return "/home/user/Music/album " + QByteArray::number(i % 300) + "/track " + QByteArray::number(i % 17) + " #" +
         QByteArray::number(i) + ".mp3";
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const int rows = argc > 1 ? std::atoi(argv[1]) : 500000;
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("uploaded.xml"));
  {
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      return 1;
    }
    out.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<UPLOADED>\n  <TRANSFERS>\n");
    for (int i = 0; i < rows; ++i) {
      out.write("    <TRANSFER path=\"" + rowPath(i) + "\" date=\"2026/12/" + QByteArray::number(10 + i % 20) +
                " 10:" + QByteArray::number(10 + i % 50) + ":00\" clientInfos=\"192.168.1." +
                QByteArray::number(i % 250) + "\" transferred=\"" + QByteArray::number(i * 37 % 9000000) +
                "\" completeFile=\"true\" finished=\"true\"/>\n");
    }
    out.write("  </TRANSFERS>\n  <FILES>\n");
    for (int i = 0; i < 300; ++i) {
      out.write("    <FILE path=\"/home/user/Music/album " + QByteArray::number(i) + "/track.mp3\" nbFinished=\"" +
                QByteArray::number(i) + "\" sizeSent=\"" + QByteArray::number(i * 1000) + "\"/>\n");
    }
    out.write("  </FILES>\n</UPLOADED>\n");
  }
  const double fileMiB = static_cast<double>(QFile(path).size()) / (1024.0 * 1024.0);

  const double rssBefore = peakMiB();
  QElapsedTimer timer;
  double cpu = cpuSeconds();
  timer.start();
  orv::core::gUploadedLists = orv::core::fnctLoadUploadedLists(path);
  const double loadMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
  const double loadCpuMs = (cpuSeconds() - cpu) * 1000.0;
  const double rssAfter = peakMiB();

  const auto& transfers = orv::core::gUploadedLists.transfers;
  const qsizetype kept = static_cast<qsizetype>(transfers.size());
  const bool newest = kept > 0 && transfers.back().path == QString::fromUtf8(rowPath(rows - 1)) &&
                      transfers.front().path == QString::fromUtf8(rowPath(rows - static_cast<int>(kept)));

  timer.restart();
  const QString savedPath = folder.filePath(QStringLiteral("saved.xml"));
  const bool saved = orv::core::subSaveUploadedLists(savedPath).ok;
  const double saveMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
  timer.restart();
  const qsizetype reloaded = static_cast<qsizetype>(orv::core::fnctLoadUploadedLists(savedPath).transfers.size());
  const double reloadMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;

  cpu = cpuSeconds();
  timer.restart();
  const bool parsed = !orv::xml::Document::fromFile(path).isNull();
  const double documentMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
  const double documentCpuMs = (cpuSeconds() - cpu) * 1000.0;
  const double rssDocument = peakMiB();

  std::printf("uploaded.xml of %d rows, %.1f MiB\n", rows, fileMiB);
  std::printf("load:   %8.1f ms (%.1f ms of CPU), %lld rows kept, the newest: %s, peak memory %.1f -> %.1f MiB\n",
              loadMs, loadCpuMs, static_cast<long long>(kept), newest ? "yes" : "NO", rssBefore, rssAfter);
  std::printf("save of the kept rows: %8.1f ms (%s, %.1f MiB); its load: %.1f ms, %lld rows\n", saveMs,
              saved ? "written" : "FAILED", static_cast<double>(QFile(savedPath).size()) / (1024.0 * 1024.0), reloadMs,
              static_cast<long long>(reloaded));
  std::printf("for comparison, the same file as one document: %8.1f ms (%.1f ms of CPU, %s), peak memory %.1f MiB\n",
              documentMs, documentCpuMs, parsed ? "parsed" : "refused", rssDocument);
  return newest && saved ? 0 : 1;
}
