#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <memory>

// A submission ring of the kernel (io_uring) for the loop's own thread: socket calls are
// gathered while the loop runs its handlers and reach the kernel together, in one entry,
// when the loop is about to wait again (or, when it has more to do and will not wait, on
// its next turn). Their completions come back through the loop as well: the ring's
// descriptor is watched like any socket, and each completion calls its handler from the
// loop, never from inside a call of this class.
//
// A handler runs at most once. A cancelled operation never calls its handler, but the
// buffers it was given stay alive until the kernel has let go of them.
namespace orv::platform {

class IoRing {
 public:
  // 0 stands for "the ring could not take the operation": the caller does it itself.
  using OperationId = quint64;

  // result: bytes received (0 at the end of the stream) or -errno; data holds the bytes.
  using ReceiveHandler = std::function<void(int result, QByteArray data)>;
  // result: bytes sent or -errno.
  using SendHandler = std::function<void(int result)>;
  // result: the new descriptor or -errno; address in network order, port in host order.
  using AcceptHandler = std::function<void(int result, quint32 address, int port)>;
  // result: 0 or -errno.
  using DoneHandler = std::function<void(int result)>;

  // The ring of this thread, made at the first call, or nullptr when the platform has
  // none (the kernel lacks it or forbids it, no event loop runs, or it is switched off).
  static IoRing* instance();

  // Whether instance() may make a ring. Switching off drops an existing ring (its pending
  // operations are cancelled and their handlers never run). Off at start unless the
  // environment variable ORV_IO_RING is 1.
  static void setEnabled(bool enabled);
  static bool enabled();

  explicit IoRing(unsigned entries = kDefaultEntries);
  ~IoRing();
  IoRing(const IoRing&) = delete;
  IoRing& operator=(const IoRing&) = delete;

  // False when the kernel refused the ring; every call then answers 0.
  bool isValid() const;

  // Receives at most buffer.size() bytes into the buffer, which the handler gets back
  // (its size then the count), so that a caller can use one buffer again and again. With a
  // time limit, a receive still waiting when it is up ends with -ECANCELED.
  OperationId receive(int socket, QByteArray buffer, ReceiveHandler handler, int timeoutMs = -1);
  // Sends data from offset on (at most length bytes when length is not negative), all of it
  // unless the connection fails (the kernel waits for room itself); data is kept until the
  // kernel is done with it.
  OperationId send(int socket, QByteArray data, qsizetype offset, SendHandler handler, qsizetype length = -1);
  // Accepts a connection as a non-blocking, close-on-exec descriptor.
  OperationId accept(int socket, AcceptHandler handler);
  // Closes the descriptor; the handler may be empty. (No shutdown here: the kernel runs it
  // in a worker, which finds the descriptor only then, perhaps another socket's by then.)
  OperationId close(int socket, DoneHandler handler);

  // The handler will not run; the kernel is asked to stop the operation.
  void cancel(OperationId id);

  // Runs prepare once, just before the gathered operations go to the kernel, so that what
  // a pass produces for one socket leaves as one operation. It may add operations.
  void beforeSubmit(std::function<void()> prepare);

  // Runs task from the loop on its next turn, as a posted event would, but woken by the
  // ring itself: the wake-up reaches the kernel with the pass's other operations, in the
  // same entry. False (and task dropped) when the ring cannot take it.
  bool post(std::function<void()> task);

  // Runs hook when the ring ends, before its pending operations are cancelled.
  void whenEnding(std::function<void()> hook);

  // Hands what was gathered to the kernel now (the loop does it by itself); runs no handler.
  void flush();
  // What the loop does when it is about to wait: hands what was gathered to the kernel, and
  // runs the handlers of what completed meanwhile (which may gather more) a few times over.
  void endPass();
  // Runs the handlers of the completions already there (the loop does it by itself).
  void dispatchCompletions();

  // Operations gathered and not yet handed to the kernel; operations whose completion has
  // not arrived yet; kernel entries made to submit so far.
  int gathered() const;
  int pending() const;
  quint64 submissions() const;

  static constexpr unsigned kDefaultEntries = 256;

 private:
  struct Private;
  std::unique_ptr<Private> d_;
};

}  // namespace orv::platform
