// Times the event history at the sizes a long-kept history reaches: reading a history.xml
// of 1,000 to 100,000 events, opening the history panel on them, and 1,000 events arriving
// while it is shown. Prints one "name value" pair a line.
//
//   QT_QPA_PLATFORM=offscreen history_bench <work folder> [counts...]

#include "core/configuration.h"
#include "core/history_store.h"
#include "core/language.h"
#include "desktop/frm_history.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <memory>

namespace {

using orv::core::HistoryEventType;

QString writeHistory(const QString& folder, int count) {
  QByteArray bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<HISTORY>\n";
  for (int i = 0; i < count; ++i) {
    bytes += "  <EVENT type=\"" + QByteArray::number(i % 11 + 1) +
             "\" ipAddress=\"192.168.1.20 (amy)\" date=\"2006/03/07 04:05:09\" text=\"/home/amy/Public/file " +
             QByteArray::number(i) + ".txt\"/>\n";
  }
  bytes += "</HISTORY>\n";
  const QString path = folder + QStringLiteral("/history-%1.xml").arg(count);
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
    return {};
  }
  return path;
}

void print(const char* name, int count, double value) {
  std::printf("%s_%d %.1f\n", name, count, value);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() < 2) {
    std::fprintf(stderr, "usage: history_bench <work folder> [counts...]\n");
    return 2;
  }
  const QString folder = arguments[1];
  QDir().mkpath(folder);
  QList<int> counts;
  for (qsizetype i = 2; i < arguments.size(); ++i) {
    counts << arguments[i].toInt();
  }
  if (counts.isEmpty()) {
    counts = {1000, 10000, 100000};
  }
  orv::core::gAppFolder = folder;
  orv::core::gLanguage =
      orv::core::fnctLoadLanguage(QCoreApplication::applicationDirPath() + QStringLiteral("/../app/lang/english.xml"));
  orv::core::gConfiguration.History.MAX_ENTRY = -1;

  for (const int count : counts) {
    const QString path = writeHistory(folder, count);
    if (path.isEmpty()) {
      std::fprintf(stderr, "cannot write the history of %d events\n", count);
      return 1;
    }
    QElapsedTimer timer;
    timer.start();
    orv::core::gHistoryLists = orv::core::fnctLoadHistory(path);
    print("load_ms", count, static_cast<double>(timer.nsecsElapsed()) / 1e6);

    timer.restart();
    auto panel = std::make_unique<orv::desktop::frmHistory>();
    panel->resize(780, 420);
    panel->show();
    QCoreApplication::processEvents();
    print("open_panel_ms", count, static_cast<double>(timer.nsecsElapsed()) / 1e6);

    timer.restart();
    for (int i = 0; i < 1000; ++i) {
      orv::core::subAddEntryInHistory(HistoryEventType::NOT_FOUND, QStringLiteral("10.0.0.1"),
                                      QStringLiteral("/srv/missing"));
    }
    QCoreApplication::processEvents();
    print("add_1000_live_us_each", count, static_cast<double>(timer.nsecsElapsed()) / 1e6);
    panel.reset();
    QFile::remove(path);
  }
  return 0;
}
