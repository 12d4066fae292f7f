#include "desktop/termination_signals.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <utility>

namespace orv::desktop {
namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

// The write end of the watcher's socket pair, for the handler: writing one byte is all a
// signal handler may safely do here.
volatile std::sig_atomic_t gSignalSocket = -1;
std::array<struct sigaction, kSignals.size()> gPreviousActions{};

extern "C" void onTerminationSignal(int signalNumber) {
  const int savedErrno = errno;
  const char byte = static_cast<char>(signalNumber);
  if (gSignalSocket >= 0) {
    [[maybe_unused]] const ssize_t written = ::write(gSignalSocket, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

TerminationSignalWatcher::TerminationSignalWatcher(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, sockets_) != 0) {
    sockets_[0] = sockets_[1] = -1;
    return;
  }
  notifier_ = std::make_unique<QSocketNotifier>(sockets_[1], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationSignalWatcher::readSignal);
  gSignalSocket = sockets_[0];

  struct sigaction action {};
  action.sa_handler = onTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigset_t unblocked;
  sigemptyset(&unblocked);
  for (std::size_t i = 0; i < kSignals.size(); ++i) {
    ::sigaction(kSignals[i], &action, &gPreviousActions[i]);
    sigaddset(&unblocked, kSignals[i]);
  }
  ::sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
}

TerminationSignalWatcher::~TerminationSignalWatcher() {
  if (sockets_[0] < 0) {
    return;
  }
  for (std::size_t i = 0; i < kSignals.size(); ++i) {
    ::sigaction(kSignals[i], &gPreviousActions[i], nullptr);
  }
  gSignalSocket = -1;
  notifier_.reset();
  ::close(sockets_[0]);
  ::close(sockets_[1]);
}

void TerminationSignalWatcher::readSignal() {
  char bytes[16];
  bool received = false;
  while (::read(sockets_[1], bytes, sizeof bytes) > 0) {
    received = true;
  }
  if (received && onSignal_) {
    onSignal_();
  }
}

}  // namespace orv::desktop
