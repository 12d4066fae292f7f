// Ten thousand debug lines a second into an open debug window: the window's event grid
// takes each line as it comes while the loop keeps turning. Runs for a few seconds and
// prints one "name value" pair a line: the lines written, the rows kept, the processor
// time per line, and how late a 10 ms timer of the same loop fired (the program's
// responsiveness) at its worst and at the 99th percentile.
//
//   QT_QPA_PLATFORM=offscreen debug_log_bench [seconds] [lines per second]

#include "core/configuration.h"
#include "core/debug_log.h"
#include "desktop/frm_debug.h"
#include "platform/message_loop.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

double processorSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  orv::platform::selectMessageLoop();
  QApplication application(argc, argv);
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
  const int linesPerSecond = argc > 2 ? std::atoi(argv[2]) : 10000;
  constexpr int kTickMs = 1;
  constexpr int kProbeMs = 10;

  orv::core::gConfiguration.AdvancedParameters.SKT_DEBUG = true;
  orv::desktop::frmDebug window;
  window.show();

  QElapsedTimer clock;
  long long written = 0;
  const double cpuStart = processorSeconds();
  clock.start();

  // Writes the lines due by now, in the one thread, as the engine would.
  QTimer writer;
  writer.setInterval(kTickMs);
  QObject::connect(&writer, &QTimer::timeout, [&] {
    const long long due = clock.elapsed() * linesPerSecond / 1000;
    for (; written < due; ++written) {
      orv::core::subAddDebugEvent(QStringLiteral("Socket %1: 1460 bytes received from 127.0.0.2").arg(written),
                                  static_cast<orv::core::DebugEventCategory>(written % 4));
    }
  });

  std::vector<qint64> lateness;
  QElapsedTimer probeClock;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  probe.setInterval(kProbeMs);
  QObject::connect(&probe, &QTimer::timeout,
                   [&] { lateness.push_back(std::max<qint64>(0, probeClock.restart() - kProbeMs)); });

  // Read before the loop ends: quitting closes the window, and its lines go with it.
  int rowsKept = 0;
  const auto* list = window.findChild<QListView*>(QStringLiteral("flexDebugEvList"));
  QTimer::singleShot(seconds * 1000, &application, [&] {
    rowsKept = list->model()->rowCount();
    QCoreApplication::quit();
  });
  writer.start();
  probeClock.start();
  probe.start();
  application.exec();

  const double cpu = processorSeconds() - cpuStart;
  std::sort(lateness.begin(), lateness.end());
  std::printf("lines_written %lld\n", written);
  std::printf("lines_per_second %.0f\n", static_cast<double>(written) * 1000.0 / static_cast<double>(clock.elapsed()));
  std::printf("rows_kept %d\n", rowsKept);
  std::printf("cpu_microseconds_per_line %.2f\n", cpu * 1e6 / static_cast<double>(std::max<long long>(written, 1)));
  std::printf("cpu_share %.2f\n", cpu / (static_cast<double>(clock.elapsed()) / 1000.0));
  if (!lateness.empty()) {
    std::printf("timer_late_ms_p99 %lld\n", static_cast<long long>(lateness[lateness.size() * 99 / 100]));
    std::printf("timer_late_ms_max %lld\n", static_cast<long long>(lateness.back()));
  }
  return 0;
}
