// The uploads window over a large list of sent files: how long it takes to open (fill both
// lists, sort the sent files newest first and show them), to sort them again by name, and
// to take one more ended upload, which sorts the list again by its current column. Prints
// one "name value" pair a line, in milliseconds.
//
//   QT_QPA_PLATFORM=offscreen uploads_window_bench [rows]

#include "core/configuration.h"
#include "core/language.h"
#include "core/uploaded_store.h"
#include "desktop/frm_uploads.h"
#include "platform/message_loop.h"
#include "server/server_engine.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  orv::platform::selectMessageLoop();
  QApplication application(argc, argv);
  // More rows than the store keeps: so the list of a store read whole, and the one more
  // upload then makes the store let every row past its limit go at once.
  const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  for (int i = 0; i < rows; ++i) {
    orv::core::gUploadedLists.transfers.push_back({QStringLiteral("/srv/%1/file%2.bin").arg(i % 100).arg(i), false,
                                                   QStringLiteral("2026/03/07 04:05:09"), QStringLiteral("10.0.0.2"), 1,
                                                   true, true});
  }
  orv::server::ServerEngine server;
  QElapsedTimer clock;
  clock.start();
  orv::desktop::frmUploads window(server);
  window.resize(760, 460);
  window.show();
  QCoreApplication::processEvents();
  std::printf("rows %d\nopen_ms %lld\n", rows, static_cast<long long>(clock.restart()));
  window.SortUploadedFiles(1, false);
  QCoreApplication::processEvents();
  std::printf("sort_by_name_ms %lld\n", static_cast<long long>(clock.restart()));
  orv::core::subAddUploadInUploadedLists(QStringLiteral("/srv/new.bin"), QStringLiteral("127.0.0.1"), 1, true, true);
  window.addUploadedFileInList(QStringLiteral("/srv/new.bin"), {}, true, true, true, true, true);
  QCoreApplication::processEvents();
  std::printf("one_more_row_ms %lld\n", static_cast<long long>(clock.restart()));
  return 0;
}
