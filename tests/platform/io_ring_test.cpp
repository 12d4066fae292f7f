#include "platform/io_ring.h"

#include <QSocketNotifier>

#include "platform/file_system.h"
#include "support/event_loop.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <memory>
#include <vector>

namespace {

namespace platform = orv::platform;
using platform::IoRing;

// A listener on 127.0.0.1 with a port the system chose, made with plain system calls.
struct Listener {
  int fd = -1;
  int port = 0;

  Listener() {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::listen(fd, 64);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
  }
  ~Listener() { ::close(fd); }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  int connectClient() const {
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<quint16>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return client;
  }
};

int localPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

// A connected pair on the loopback: the server end non-blocking, the client end blocking
// (the loopback takes small writes at once).
struct Pair {
  int server = -1;
  int client = -1;

  explicit Pair(const Listener& listener) {
    client = listener.connectClient();
    do {
      server = ::accept4(listener.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (server < 0 && (errno == EAGAIN || errno == EINTR));
  }
  ~Pair() {
    if (server >= 0) {
      ::close(server);
    }
    if (client >= 0) {
      ::close(client);
    }
  }
  Pair(const Pair&) = delete;
  Pair& operator=(const Pair&) = delete;
};

QByteArray readExactly(int fd, qsizetype length) {
  QByteArray data;
  while (data.size() < length) {
    char buffer[65536];
    const ssize_t received = ::recv(fd, buffer, std::min<size_t>(sizeof buffer, length - data.size()), 0);
    if (received <= 0) {
      break;
    }
    data.append(buffer, received);
  }
  return data;
}

class IoRingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    descriptorsBefore_ = platform::openDescriptorCount();
    ring_ = std::make_unique<IoRing>();
    if (!ring_->isValid()) {
      GTEST_SKIP() << "the kernel gives no io_uring here";
    }
  }

  void TearDown() override {
    ring_.reset();
    EXPECT_LE(platform::openDescriptorCount(), descriptorsBefore_);
  }

  std::unique_ptr<IoRing> ring_;
  int descriptorsBefore_ = 0;
};

TEST_F(IoRingTest, GathersTheOperationsOfOnePassIntoOneKernelEntry) {
  Listener listener;
  Pair first(listener);
  Pair second(listener);
  std::vector<QByteArray> received;
  std::vector<int> results;
  for (Pair* pair : {&first, &second}) {
    EXPECT_NE(ring_->receive(pair->server, QByteArray(100, '\0'),
                             [&](int result, QByteArray data) {
                               results.push_back(result);
                               received.push_back(std::move(data));
                             }),
              0u);
  }
  int sent = -1;
  EXPECT_NE(ring_->send(first.server, QByteArrayLiteral("xxhello"), 2, [&](int result) { sent = result; }), 0u);
  // Nothing reaches the kernel, and no handler runs, inside the calls themselves.
  EXPECT_EQ(ring_->gathered(), 3);
  EXPECT_EQ(ring_->submissions(), 0u);
  EXPECT_EQ(sent, -1);

  ASSERT_TRUE(processEventsUntil([&] { return sent >= 0; }));
  EXPECT_EQ(sent, 5);
  EXPECT_EQ(ring_->submissions(), 1u);
  EXPECT_EQ(readExactly(first.client, 5), QByteArrayLiteral("hello"));

  ASSERT_EQ(::send(first.client, "ab", 2, 0), 2);
  ASSERT_EQ(::send(second.client, "cde", 3, 0), 3);
  ASSERT_TRUE(processEventsUntil([&] { return received.size() == 2; }));
  EXPECT_EQ(results, (std::vector<int>{2, 3}));
  EXPECT_EQ(received, (std::vector<QByteArray>{QByteArrayLiteral("ab"), QByteArrayLiteral("cde")}));
  EXPECT_EQ(ring_->pending(), 0);
}

TEST_F(IoRingTest, ReceiveReportsTheEndAndTheErrorsOfAConnection) {
  Listener listener;
  struct Case {
    const char* name;
    bool reset;
    int expected;
  };
  for (const Case& c : {Case{"peer ends", false, 0}, Case{"peer resets", true, -ECONNRESET}}) {
    SCOPED_TRACE(c.name);
    Pair pair(listener);
    int result = 1;
    ring_->receive(pair.server, QByteArray(100, '\0'), [&](int r, QByteArray data) {
      result = r;
      EXPECT_TRUE(data.isEmpty());
    });
    processPendingEvents();
    if (c.reset) {
      const linger abortive{1, 0};
      ::setsockopt(pair.client, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    }
    ::close(pair.client);
    pair.client = -1;
    ASSERT_TRUE(processEventsUntil([&] { return result != 1; }));
    EXPECT_EQ(result, c.expected);
  }
}

TEST_F(IoRingTest, SendKeepsItsDataAliveAndCarriesLargeData) {
  Listener listener;
  Pair pair(listener);
  QByteArray big(4 << 20, '\0');
  for (qsizetype i = 0; i < big.size(); ++i) {
    big[i] = static_cast<char>(i * 7);
  }
  qint64 total = 0;
  bool failed = false;
  // The caller's copy goes at once; short sends continue from where the kernel stopped.
  std::function<void(qsizetype)> sendFrom = [&](qsizetype offset) {
    ring_->send(pair.server, QByteArray(big), offset, [&, offset](int result) {
      if (result <= 0) {
        failed = true;
        return;
      }
      total += result;
      if (offset + result < big.size()) {
        sendFrom(offset + result);
      }
    });
  };
  sendFrom(0);
  QByteArray arrived;
  QSocketNotifier reader(pair.client, QSocketNotifier::Read);
  QObject::connect(&reader, &QSocketNotifier::activated, [&] {
    char buffer[65536];
    const ssize_t received = ::recv(pair.client, buffer, sizeof buffer, MSG_DONTWAIT);
    if (received > 0) {
      arrived.append(buffer, received);
    }
  });
  ASSERT_TRUE(processEventsUntil([&] { return failed || arrived.size() == big.size(); }));
  EXPECT_FALSE(failed);
  EXPECT_EQ(total, big.size());
  EXPECT_TRUE(arrived == big);
}

TEST_F(IoRingTest, AcceptGivesTheConnectionAndThePeersAddress) {
  Listener listener;
  int accepted = -1;
  quint32 address = 0;
  int port = 0;
  ring_->accept(listener.fd, [&](int result, quint32 a, int p) {
    accepted = result;
    address = a;
    port = p;
  });
  processPendingEvents();
  EXPECT_EQ(accepted, -1) << "no connection was made yet";
  const int client = listener.connectClient();
  ASSERT_TRUE(processEventsUntil([&] { return accepted >= 0; }));
  EXPECT_EQ(address, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(port, localPort(client));
  EXPECT_NE(::fcntl(accepted, F_GETFL) & O_NONBLOCK, 0);
  EXPECT_NE(::fcntl(accepted, F_GETFD) & FD_CLOEXEC, 0);
  ::close(accepted);
  ::close(client);
}

TEST_F(IoRingTest, ACancelledOperationNeverCallsItsHandler) {
  Listener listener;
  Pair pair(listener);
  bool called = false;
  bool otherCalled = false;
  // Cancelled in the same pass, before the kernel saw it, and after it was submitted.
  const IoRing::OperationId early =
      ring_->receive(pair.server, QByteArray(100, '\0'), [&](int, QByteArray) { called = true; });
  ring_->cancel(early);
  const IoRing::OperationId late =
      ring_->receive(pair.server, QByteArray(100, '\0'), [&](int, QByteArray) { called = true; });
  processPendingEvents();
  EXPECT_EQ(ring_->gathered(), 0);
  ring_->cancel(late);
  ring_->cancel(late);
  // The kernel still holds the cancelled receive until its completion says it let go: its
  // buffer stays with the ring until then.
  EXPECT_EQ(ring_->pending(), 1);
  ASSERT_TRUE(processEventsUntil([&] { return ring_->pending() == 0; }));
  ring_->receive(pair.server, QByteArray(100, '\0'), [&](int result, QByteArray data) {
    otherCalled = true;
    EXPECT_EQ(result, 3);
    EXPECT_EQ(data, QByteArrayLiteral("abc"));
  });
  ASSERT_EQ(::send(pair.client, "abc", 3, 0), 3);
  ASSERT_TRUE(processEventsUntil([&] { return otherCalled; }));
  EXPECT_FALSE(called);
  ring_->cancel(12345);  // unknown: nothing happens
}

TEST_F(IoRingTest, AHandlerMayCancelAndAddOperations) {
  Listener listener;
  Pair first(listener);
  Pair second(listener);
  IoRing::OperationId secondReceive = 0;
  bool secondCalled = false;
  int again = 0;
  ring_->receive(first.server, QByteArray(100, '\0'), [&](int, QByteArray) {
    ring_->cancel(secondReceive);
    ring_->receive(first.server, QByteArray(100, '\0'), [&](int result, QByteArray) { again = result; });
  });
  secondReceive = ring_->receive(second.server, QByteArray(100, '\0'), [&](int, QByteArray) { secondCalled = true; });
  processPendingEvents();
  // Both are ready in the same dispatch: the first handler's cancel still holds.
  ASSERT_EQ(::send(first.client, "a", 1, 0), 1);
  ASSERT_EQ(::send(second.client, "b", 1, 0), 1);
  ASSERT_EQ(::send(first.client, "cd", 2, 0), 2);
  ASSERT_TRUE(processEventsUntil([&] { return again != 0; }));
  EXPECT_EQ(again, 2);
  EXPECT_FALSE(secondCalled);
}

TEST_F(IoRingTest, AFullSubmissionQueueGoesToTheKernelAndTakesMore) {
  ring_ = std::make_unique<IoRing>(4);
  ASSERT_TRUE(ring_->isValid());
  Listener listener;
  std::vector<std::unique_ptr<Pair>> pairs;
  int completed = 0;
  for (int i = 0; i < 10; ++i) {
    pairs.push_back(std::make_unique<Pair>(listener));
    EXPECT_NE(ring_->receive(pairs.back()->server, QByteArray(10, '\0'),
                             [&](int result, QByteArray) { completed += result; }),
              0u);
  }
  EXPECT_EQ(ring_->submissions(), 2u) << "two full queues of four went to the kernel while gathering";
  EXPECT_EQ(ring_->gathered(), 2);
  for (const auto& pair : pairs) {
    ASSERT_EQ(::send(pair->client, "z", 1, 0), 1);
  }
  ASSERT_TRUE(processEventsUntil([&] { return completed == 10; }));
  EXPECT_EQ(ring_->submissions(), 3u);
}

TEST_F(IoRingTest, EndingTheRingWithOperationsPendingLosesNothingAndCallsNoHandler) {
  Listener listener;
  Pair pair(listener);
  bool called = false;
  ring_->receive(pair.server, QByteArray(1 << 16, '\0'), [&](int, QByteArray) { called = true; });
  ring_->accept(listener.fd, [&](int, quint32, int) { called = true; });
  processPendingEvents();
  ring_->receive(pair.server, QByteArray(100, '\0'), [&](int, QByteArray) { called = true; });  // never submitted
  ring_.reset();
  ASSERT_EQ(::send(pair.client, "late", 4, 0), 4);
  processPendingEvents();
  EXPECT_FALSE(called);
  char buffer[8];
  EXPECT_EQ(::recv(pair.server, buffer, sizeof buffer, MSG_DONTWAIT), 4) << "the data waits for a direct read";
}

TEST_F(IoRingTest, AReceiveGivesItsBufferBackForTheNext) {
  Listener listener;
  Pair pair(listener);
  QByteArray buffer(4096, '\0');
  const char* storage = buffer.constData();
  QByteArray back;
  ring_->receive(pair.server, std::move(buffer), [&](int result, QByteArray data) {
    EXPECT_EQ(result, 2);
    back = std::move(data);
  });
  ASSERT_EQ(::send(pair.client, "hi", 2, 0), 2);
  ASSERT_TRUE(processEventsUntil([&] { return !back.isNull(); }));
  EXPECT_EQ(back, QByteArrayLiteral("hi"));
  EXPECT_EQ(back.constData(), storage);
  EXPECT_GE(back.capacity(), 4096);
}

TEST_F(IoRingTest, AReceiveWithATimeLimitEndsWhenItIsUp) {
  Listener listener;
  Pair pair(listener);
  struct Case {
    const char* name;
    int timeoutMs;
    bool sendData;
    int expected;
  };
  for (const Case& c : {Case{"nothing arrives", 1, false, -ECANCELED}, Case{"data first", 60000, true, 1}}) {
    SCOPED_TRACE(c.name);
    int result = 1000;
    ring_->receive(
        pair.server, QByteArray(16, '\0'), [&](int r, QByteArray) { result = r; }, c.timeoutMs);
    if (c.sendData) {
      processPendingEvents();
      ASSERT_EQ(::send(pair.client, "x", 1, 0), 1);
    }
    ASSERT_TRUE(processEventsUntil([&] { return result != 1000; }));
    EXPECT_EQ(result, c.expected);
    ASSERT_TRUE(processEventsUntil([&] { return ring_->pending() == 0; }));
  }
}

TEST_F(IoRingTest, WhatAPassPreparesLeavesWithItsOperations) {
  Listener listener;
  Pair pair(listener);
  QByteArray gathered;
  int prepared = 0;
  int sent = -1;
  for (const char* piece : {"head ", "and ", "body"}) {
    if (gathered.isEmpty()) {
      ring_->beforeSubmit([&] {
        ++prepared;
        ring_->send(pair.server, gathered, 0, [&](int result) { sent = result; });
      });
    }
    gathered.append(piece);
  }
  EXPECT_EQ(prepared, 0);
  ASSERT_TRUE(processEventsUntil([&] { return sent >= 0; }));
  EXPECT_EQ(prepared, 1);
  EXPECT_EQ(ring_->submissions(), 1u);
  EXPECT_EQ(readExactly(pair.client, 13), QByteArrayLiteral("head and body"));
}

TEST(IoRingSwitch, SwitchedOffThereIsNoRing) {
  const bool before = IoRing::enabled();
  IoRing::setEnabled(false);
  EXPECT_EQ(IoRing::instance(), nullptr);
  IoRing::setEnabled(true);
  IoRing* ring = IoRing::instance();
  if (ring != nullptr) {
    EXPECT_TRUE(ring->isValid());
    EXPECT_EQ(IoRing::instance(), ring);
  }
  IoRing::setEnabled(before);
}

}  // namespace
