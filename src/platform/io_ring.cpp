#include "platform/io_ring.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <liburing.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace orv::platform {
namespace {

enum class Kind { Receive, Send, Accept, Done };

struct Operation {
  Kind kind = Kind::Done;
  bool cancelled = false;
  QByteArray buffer;
  sockaddr_in address{};
  socklen_t addressLength = sizeof(sockaddr_in);
  __kernel_timespec timeout{};
  IoRing::ReceiveHandler onReceive;
  IoRing::SendHandler onSend;
  IoRing::AcceptHandler onAccept;
  IoRing::DoneHandler onDone;
};

// Completions of the ring's own cancel requests carry this id and are dropped.
constexpr quint64 kCancelId = 0;

// Off unless asked for: ORV_IO_RING=1 turns the ring on, anything else leaves the direct calls.
bool enabledFromEnvironment() {
  const char* value = std::getenv("ORV_IO_RING");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

struct Instance {
  bool enabled = enabledFromEnvironment();
  bool tried = false;
  bool cleanupAdded = false;
  std::unique_ptr<IoRing> ring;
};

Instance& instanceState() {
  static Instance state;
  return state;
}

void dropInstance() {
  Instance& state = instanceState();
  state.ring.reset();
  state.tried = false;
}

}  // namespace

struct IoRing::Private {
  io_uring ring{};
  bool valid = false;
  int gathered = 0;
  quint64 submissions = 0;
  quint64 lastId = 0;
  std::unordered_map<quint64, std::unique_ptr<Operation>> operations;
  std::vector<std::function<void()>> preparations;
  std::vector<std::function<void()>> endHooks;
  // Tasks for the loop's next turn, run by the completion of one no-op of the ring.
  std::vector<std::function<void()>> posted;
  bool postGathered = false;
  bool endingPass = false;
  std::unique_ptr<QSocketNotifier> notifier;
  // Runs the flush on the loop's next turn when the loop has more to do than to wait.
  std::unique_ptr<QTimer> flushTimer;
  QMetaObject::Connection aboutToBlock;

  io_uring_sqe* nextEntry() {
    io_uring_sqe* entry = io_uring_get_sqe(&ring);
    if (entry == nullptr) {
      // The submission queue is full: what it holds goes to the kernel now, in one entry.
      submitNow();
      entry = io_uring_get_sqe(&ring);
    }
    return entry;
  }

  void submitNow() {
    if (gathered == 0) {
      return;
    }
    int submitted = 0;
    do {
      submitted = io_uring_submit(&ring);
    } while (submitted == -EINTR);
    ++submissions;
    if (submitted >= 0) {
      gathered -= std::min(gathered, submitted);
    }
    if (gathered > 0 && flushTimer != nullptr) {
      // The kernel is busy (its completions overflow): try again on the next turn.
      flushTimer->start();
    }
  }

  void gather() {
    if (gathered++ == 0 && flushTimer != nullptr && !flushTimer->isActive()) {
      flushTimer->start();
    }
  }

  OperationId add(std::unique_ptr<Operation> operation, const std::function<void(io_uring_sqe*)>& prepare,
                  bool withTimeout = false) {
    if (!valid) {
      return 0;
    }
    if (withTimeout && io_uring_sq_space_left(&ring) < 2) {
      // The operation and its time limit must reach the kernel in the same entry.
      submitNow();
    }
    io_uring_sqe* entry = nextEntry();
    if (entry == nullptr) {
      return 0;
    }
    const quint64 id = ++lastId;
    prepare(entry);
    io_uring_sqe_set_data64(entry, id);
    if (withTimeout) {
      io_uring_sqe* limit = io_uring_get_sqe(&ring);
      if (limit != nullptr) {
        entry->flags |= IOSQE_IO_LINK;
        io_uring_prep_link_timeout(limit, &operation->timeout, 0);
        io_uring_sqe_set_data64(limit, kCancelId);
        gather();
      }
    }
    operations.emplace(id, std::move(operation));
    gather();
    return id;
  }
};

IoRing* IoRing::instance() {
  Instance& state = instanceState();
  if (state.ring != nullptr) {
    return state.ring.get();
  }
  if (!state.enabled || state.tried || QCoreApplication::instance() == nullptr) {
    return nullptr;
  }
  state.tried = true;
  auto ring = std::make_unique<IoRing>();
  if (!ring->isValid()) {
    return nullptr;
  }
  state.ring = std::move(ring);
  if (!state.cleanupAdded) {
    // The ring's notifier and timer must go before the loop does.
    qAddPostRoutine(dropInstance);
    state.cleanupAdded = true;
  }
  return state.ring.get();
}

void IoRing::setEnabled(bool enabled) {
  Instance& state = instanceState();
  state.enabled = enabled;
  if (!enabled) {
    state.ring.reset();
  }
  state.tried = false;
}

bool IoRing::enabled() {
  return instanceState().enabled;
}

IoRing::IoRing(unsigned entries) : d_(std::make_unique<Private>()) {
  io_uring_params params{};
  // Room for many completions per submission: a pass gathers up to a queue of operations,
  // and the completions of several passes may wait for one dispatch.
  // One thread submits, and the kernel finishes its work for the ring when the thread
  // enters it anyway, rather than interrupting it; older kernels take the plain ring.
  params.flags = IORING_SETUP_CQSIZE | IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_COOP_TASKRUN;
  params.cq_entries = entries * 8;
  if (io_uring_queue_init_params(entries, &d_->ring, &params) != 0) {
    params = io_uring_params{};
    params.flags = IORING_SETUP_CQSIZE;
    params.cq_entries = entries * 8;
    if (io_uring_queue_init_params(entries, &d_->ring, &params) != 0) {
      return;
    }
  }
  d_->valid = true;
  QCoreApplication* loop = QCoreApplication::instance();
  if (loop == nullptr) {
    return;
  }
  d_->notifier = std::make_unique<QSocketNotifier>(d_->ring.ring_fd, QSocketNotifier::Read);
  QObject::connect(d_->notifier.get(), &QSocketNotifier::activated, d_->notifier.get(),
                   [this] { dispatchCompletions(); });
  d_->flushTimer = std::make_unique<QTimer>();
  d_->flushTimer->setSingleShot(true);
  d_->flushTimer->setInterval(0);
  QObject::connect(d_->flushTimer.get(), &QTimer::timeout, d_->flushTimer.get(), [this] { endPass(); });
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
    d_->aboutToBlock = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, d_->flushTimer.get(),
                                        [this] { endPass(); });
  }
}

IoRing::~IoRing() {
  for (const auto& hook : d_->endHooks) {
    hook();
  }
  if (!d_->valid) {
    return;
  }
  QObject::disconnect(d_->aboutToBlock);
  d_->notifier.reset();
  d_->flushTimer.reset();
  // What the kernel still holds is cancelled, and the buffers go only once it has let go of
  // them (a send the peer never reads would otherwise hold on for as long as it waits).
  if (!d_->operations.empty()) {
    if (io_uring_sqe* entry = d_->nextEntry()) {
      io_uring_prep_cancel64(entry, 0, IORING_ASYNC_CANCEL_ANY);
      io_uring_sqe_set_data64(entry, kCancelId);
      ++d_->gathered;
    }
    d_->flushTimer.reset();
    d_->submitNow();
    __kernel_timespec limit{1, 0};
    io_uring_cqe* completion = nullptr;
    while (!d_->operations.empty() && io_uring_wait_cqe_timeout(&d_->ring, &completion, &limit) == 0) {
      const auto it = d_->operations.find(io_uring_cqe_get_data64(completion));
      if (it != d_->operations.end()) {
        if (it->second->kind == Kind::Accept && completion->res >= 0) {
          ::close(completion->res);
        }
        d_->operations.erase(it);
      }
      io_uring_cqe_seen(&d_->ring, completion);
    }
  }
  io_uring_queue_exit(&d_->ring);
  d_->operations.clear();
}

bool IoRing::isValid() const {
  return d_->valid;
}

IoRing::OperationId IoRing::receive(int socket, QByteArray buffer, ReceiveHandler handler, int timeoutMs) {
  auto operation = std::make_unique<Operation>();
  operation->kind = Kind::Receive;
  operation->buffer = std::move(buffer);
  operation->onReceive = std::move(handler);
  if (timeoutMs >= 0) {
    operation->timeout.tv_sec = timeoutMs / 1000;
    operation->timeout.tv_nsec = static_cast<long long>(timeoutMs % 1000) * 1000000;
  }
  char* data = operation->buffer.data();
  const size_t capacity = static_cast<size_t>(operation->buffer.size());
  return d_->add(
      std::move(operation), [&](io_uring_sqe* entry) { io_uring_prep_recv(entry, socket, data, capacity, 0); },
      timeoutMs >= 0);
}

IoRing::OperationId IoRing::send(int socket, QByteArray data, qsizetype offset, SendHandler handler, qsizetype length) {
  auto operation = std::make_unique<Operation>();
  operation->kind = Kind::Send;
  operation->buffer = std::move(data);
  operation->onSend = std::move(handler);
  const char* bytes = operation->buffer.constData() + offset;
  const qsizetype rest = operation->buffer.size() - offset;
  const size_t count = static_cast<size_t>(length < 0 ? rest : std::min(length, rest));
  return d_->add(std::move(operation), [&](io_uring_sqe* entry) {
    io_uring_prep_send(entry, socket, bytes, count, MSG_NOSIGNAL | MSG_WAITALL);
  });
}

IoRing::OperationId IoRing::accept(int socket, AcceptHandler handler) {
  auto operation = std::make_unique<Operation>();
  operation->kind = Kind::Accept;
  operation->onAccept = std::move(handler);
  Operation* record = operation.get();
  return d_->add(std::move(operation), [&](io_uring_sqe* entry) {
    io_uring_prep_accept(entry, socket, reinterpret_cast<sockaddr*>(&record->address), &record->addressLength,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
  });
}

IoRing::OperationId IoRing::close(int socket, DoneHandler handler) {
  auto operation = std::make_unique<Operation>();
  operation->onDone = std::move(handler);
  return d_->add(std::move(operation), [&](io_uring_sqe* entry) { io_uring_prep_close(entry, socket); });
}

void IoRing::cancel(OperationId id) {
  const auto it = d_->operations.find(id);
  if (it == d_->operations.end() || it->second->cancelled) {
    return;
  }
  Operation& operation = *it->second;
  operation.cancelled = true;
  // What the handlers hold goes now; the buffer stays until the kernel's completion.
  operation.onReceive = nullptr;
  operation.onSend = nullptr;
  operation.onAccept = nullptr;
  operation.onDone = nullptr;
  io_uring_sqe* entry = d_->nextEntry();
  if (entry == nullptr) {
    return;
  }
  io_uring_prep_cancel64(entry, id, 0);
  io_uring_sqe_set_data64(entry, kCancelId);
  d_->gather();
}

bool IoRing::post(std::function<void()> task) {
  if (!d_->valid) {
    return false;
  }
  d_->posted.push_back(std::move(task));
  if (d_->postGathered) {
    return true;
  }
  auto operation = std::make_unique<Operation>();
  operation->onDone = [this](int) {
    d_->postGathered = false;
    std::vector<std::function<void()>> tasks;
    tasks.swap(d_->posted);
    for (const auto& run : tasks) {
      run();
    }
  };
  if (d_->add(std::move(operation), [](io_uring_sqe* entry) { io_uring_prep_nop(entry); }) == 0) {
    d_->posted.pop_back();
    return false;
  }
  d_->postGathered = true;
  return true;
}

void IoRing::whenEnding(std::function<void()> hook) {
  d_->endHooks.push_back(std::move(hook));
}

void IoRing::beforeSubmit(std::function<void()> prepare) {
  if (!d_->valid) {
    return;
  }
  d_->preparations.push_back(std::move(prepare));
  if (d_->flushTimer != nullptr && !d_->flushTimer->isActive()) {
    d_->flushTimer->start();
  }
}

void IoRing::flush() {
  if (d_->flushTimer != nullptr) {
    d_->flushTimer->stop();
  }
  while (!d_->preparations.empty()) {
    std::vector<std::function<void()>> preparations;
    preparations.swap(d_->preparations);
    for (const auto& prepare : preparations) {
      prepare();
    }
  }
  d_->submitNow();
}

void IoRing::endPass() {
  if (d_->endingPass) {
    // A handler of this pass runs the loop itself: what it gathers goes now, and the
    // nested loop finds the completions through the ring's descriptor.
    flush();
    return;
  }
  d_->endingPass = true;
  // What the kernel finished while it took the submission (a send the socket had room for,
  // a no-op) is handled at once, without a turn of the loop to find it: the loop then waits
  // only for what truly waits. A few rounds at most, so that a connection whose every
  // operation completes at once cannot keep the loop from its other sockets and timers.
  constexpr int kRounds = 4;
  for (int round = 0; round < kRounds; ++round) {
    flush();
    if (io_uring_cq_ready(&d_->ring) == 0) {
      break;
    }
    dispatchCompletions();
    if (d_->gathered == 0 && d_->preparations.empty()) {
      break;
    }
  }
  d_->endingPass = false;
}

void IoRing::dispatchCompletions() {
  if (!d_->valid) {
    return;
  }
  // Each completion leaves the queue before its handler runs: a handler may close sockets,
  // add operations or run the loop, which dispatches the rest.
  io_uring_cqe* completion = nullptr;
  while (io_uring_peek_cqe(&d_->ring, &completion) == 0) {
    const quint64 id = io_uring_cqe_get_data64(completion);
    const int result = completion->res;
    io_uring_cqe_seen(&d_->ring, completion);
    if (id == kCancelId) {
      continue;
    }
    const auto it = d_->operations.find(id);
    if (it == d_->operations.end()) {
      continue;
    }
    std::unique_ptr<Operation> operation = std::move(it->second);
    d_->operations.erase(it);
    if (operation->cancelled) {
      if (operation->kind == Kind::Accept && result >= 0) {
        ::close(result);  // accepted before the cancel reached the kernel
      }
      continue;
    }
    switch (operation->kind) {
      case Kind::Receive:
        operation->buffer.resize(result > 0 ? result : 0);
        if (operation->onReceive) {
          operation->onReceive(result, std::move(operation->buffer));
        }
        break;
      case Kind::Send:
        if (operation->onSend) {
          operation->onSend(result);
        }
        break;
      case Kind::Accept:
        if (operation->onAccept) {
          operation->onAccept(result, operation->address.sin_addr.s_addr, ntohs(operation->address.sin_port));
        }
        break;
      case Kind::Done:
        if (operation->onDone) {
          operation->onDone(result);
        }
        break;
    }
  }
}

int IoRing::gathered() const {
  return d_->gathered;
}

int IoRing::pending() const {
  return static_cast<int>(d_->operations.size());
}

quint64 IoRing::submissions() const {
  return d_->submissions;
}

}  // namespace orv::platform
