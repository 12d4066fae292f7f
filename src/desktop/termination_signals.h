#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

// A stop asked by the session or a terminal (SIGTERM, SIGINT, SIGHUP) becomes a call on the
// event loop, so that the program closes its main window as the user would, runs its
// shut-down sequence and keeps its stores. The signals are unblocked when the watcher is
// installed, so that a stop asked before it was ready is not lost.
namespace orv::desktop {

class TerminationSignalWatcher : public QObject {
  Q_OBJECT

 public:
  // onSignal runs on the event loop after one or more of the signals arrived. Only one
  // watcher exists at a time; the previous handlers come back when it is destroyed.
  explicit TerminationSignalWatcher(std::function<void()> onSignal, QObject* parent = nullptr);
  ~TerminationSignalWatcher() override;

  TerminationSignalWatcher(const TerminationSignalWatcher&) = delete;
  TerminationSignalWatcher& operator=(const TerminationSignalWatcher&) = delete;

 private:
  void readSignal();

  std::function<void()> onSignal_;
  int sockets_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace orv::desktop
