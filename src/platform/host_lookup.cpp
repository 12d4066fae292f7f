#include "platform/host_lookup.h"

#include "platform/async_socket.h"
#include "platform/message_window.h"
#include "platform/winsock_errors.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <signal.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace orv::platform {
namespace {

int fail(int winsockError) {
  setLastSocketError(winsockError);
  return -1;
}

int failFromErrno() {
  return fail(winsockErrorFromErrno(errno));
}

// Host lookups run in the C library's own helpers; each completion writes the address of
// its record into a pipe that the loop watches, so the loop itself never waits and a
// record is freed only after the library is done with it.
struct HostLookup {
  int handle = 0;
  int window = 0;
  unsigned message = 0;
  char* buffer = nullptr;
  int bufferLength = 0;
  bool cancelled = false;
  QByteArray name;
  addrinfo hints{};
  gaicb request{};
};

class LookupCompletions : public QObject {
 public:
  explicit LookupCompletions(QObject* parent) : QObject(parent) {}

  ~LookupCompletions() override {
    // Records still in flight stay allocated, and their pipe open: the library may still
    // write them.
    if (!lookups_.empty()) {
      for (auto& entry : lookups_) {
        (void)entry.second.release();
      }
      return;
    }
    closePipe();
  }

  int start(int window, unsigned message, const QString& name, char* buffer, int bufferLength) {
    if (readEnd_ < 0 && !openPipe()) {
      fail(kWsaEnobufs);
      return 0;
    }
    auto lookup = std::make_unique<HostLookup>();
    lookup->handle = ++lastHandle_;
    lookup->window = window;
    lookup->message = message;
    lookup->buffer = buffer;
    lookup->bufferLength = bufferLength;
    lookup->name = name.toUtf8();
    lookup->hints.ai_family = AF_INET;
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->request.ar_name = lookup->name.constData();
    lookup->request.ar_request = &lookup->hints;

    sigevent notification{};
    notification.sigev_notify = SIGEV_THREAD;
    notification.sigev_notify_function = &LookupCompletions::completed;
    notification.sigev_value.sival_ptr = lookup.get();
    gaicb* requests[1] = {&lookup->request};
    const int started = ::getaddrinfo_a(GAI_NOWAIT, requests, 1, &notification);
    if (started != 0) {
      fail(winsockErrorFromLookup(started));
      closePipeWhenIdle();
      return 0;
    }
    const int handle = lookup->handle;
    lookups_.emplace(lookup.get(), std::move(lookup));
    return handle;
  }

  int cancel(int handle) {
    for (auto it = lookups_.begin(); it != lookups_.end(); ++it) {
      HostLookup* lookup = it->first;
      if (lookup->handle != handle || lookup->cancelled) {
        continue;
      }
      lookup->cancelled = true;
      if (::gai_cancel(&lookup->request) == EAI_CANCELED) {
        // Never started: the library will not notify, so the record can go now.
        lookups_.erase(it);
        closePipeWhenIdle();
      }
      return 0;
    }
    return fail(kWsaEinval);
  }

 private:
  static int& writeEnd() {
    static int end = -1;
    return end;
  }

  static void completed(sigval value) {
    const auto address = reinterpret_cast<quintptr>(value.sival_ptr);
    ssize_t written = 0;
    do {
      written = ::write(writeEnd(), &address, sizeof address);
    } while (written < 0 && errno == EINTR);
  }

  void collect() {
    quintptr address = 0;
    while (::read(readEnd_, &address, sizeof address) == static_cast<ssize_t>(sizeof address)) {
      const auto it = lookups_.find(reinterpret_cast<HostLookup*>(address));
      if (it == lookups_.end()) {
        continue;
      }
      std::unique_ptr<HostLookup> lookup = std::move(it->second);
      lookups_.erase(it);
      finish(*lookup);
    }
    closePipeWhenIdle();
  }

  // The pipe lives only while lookups are in flight, so that an idle process holds no
  // descriptor for it.
  bool openPipe() {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
      return false;
    }
    ::fcntl(ends[0], F_SETFL, ::fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    readEnd_ = ends[0];
    writeEnd() = ends[1];
    notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
    QObject::connect(notifier_, &QSocketNotifier::activated, this, [this] { collect(); });
    return true;
  }

  void closePipeWhenIdle() {
    if (lookups_.empty()) {
      closePipe();
    }
  }

  void closePipe() {
    if (notifier_ != nullptr) {
      notifier_->setEnabled(false);
      notifier_->deleteLater();
      notifier_ = nullptr;
    }
    if (readEnd_ >= 0) {
      ::close(readEnd_);
      ::close(writeEnd());
      readEnd_ = -1;
      writeEnd() = -1;
    }
  }

  static void finish(HostLookup& lookup) {
    const int result = ::gai_error(&lookup.request);
    if (!lookup.cancelled) {
      int error = winsockErrorFromLookup(result);
      int written = 0;
      if (result == 0) {
        for (const addrinfo* entry = lookup.request.ar_result; entry != nullptr; entry = entry->ai_next) {
          if (entry->ai_family != AF_INET || written + 8 > lookup.bufferLength) {
            continue;
          }
          const quint32 address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
          std::memcpy(lookup.buffer + written, &address, sizeof address);
          written += 4;
        }
        if (written == 0) {
          error = kWsaNoData;
        }
      }
      if (lookup.bufferLength >= written + 4) {
        std::memset(lookup.buffer + written, 0, 4);
      }
      postMessage(lookup.window, lookup.message, static_cast<quintptr>(lookup.handle), makeSelectLParam(0, error));
    }
    if (lookup.request.ar_result != nullptr) {
      ::freeaddrinfo(lookup.request.ar_result);
    }
  }

  int readEnd_ = -1;
  int lastHandle_ = 0;
  QSocketNotifier* notifier_ = nullptr;
  std::unordered_map<HostLookup*, std::unique_ptr<HostLookup>> lookups_;
};

LookupCompletions* lookupCompletions() {
  static QPointer<LookupCompletions> instance;
  if (instance.isNull() && QCoreApplication::instance() != nullptr) {
    instance = new LookupCompletions(QCoreApplication::instance());
  }
  return instance.data();
}

}  // namespace

QString localHostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) {
    failFromErrno();
    return {};
  }
  return QString::fromLocal8Bit(name);
}

quint32 localHostAddress() {
  ifaddrs* interfaces = nullptr;
  if (::getifaddrs(&interfaces) != 0) {
    failFromErrno();
    return kInaddrNone;
  }
  quint32 found = htonl(INADDR_LOOPBACK);
  for (const ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET || (entry->ifa_flags & IFF_UP) == 0 ||
        (entry->ifa_flags & IFF_LOOPBACK) != 0) {
      continue;
    }
    found = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr;
    break;
  }
  ::freeifaddrs(interfaces);
  return found;
}

quint32 resolveHostNow(const QString& name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const QByteArray bytes = name.toUtf8();
  const int result = ::getaddrinfo(bytes.constData(), nullptr, &hints, &found);
  if (result != 0 || found == nullptr) {
    fail(result != 0 ? winsockErrorFromLookup(result) : kWsaNoData);
    return kInaddrNone;
  }
  const quint32 address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(found);
  return address;
}

int asyncGetHostByName(int window, unsigned message, const QString& name, char* buffer, int bufferLength) {
  LookupCompletions* completions = lookupCompletions();
  if (completions == nullptr || buffer == nullptr || bufferLength < 4) {
    fail(completions == nullptr ? kWsaEnobufs : kWsaEfault);
    return 0;
  }
  return completions->start(window, message, name, buffer, bufferLength);
}

int cancelAsyncRequest(int handle) {
  LookupCompletions* completions = lookupCompletions();
  return completions == nullptr ? fail(kWsaEinval) : completions->cancel(handle);
}

}  // namespace orv::platform
