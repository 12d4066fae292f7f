#include "net/socket_errors.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace orv::net {
namespace {

struct WinsockErrorText {
  int number;
  const char16_t* text;
};

constexpr WinsockErrorText kWinsockErrorTexts[] = {
    {10004, u"Interrupted function call."},
    {10013, u"Permission denied."},
    {10014, u"Bad address."},
    {10022, u"Invalid argument."},
    {10024, u"Too many open files."},
    {10035, u"Resource temporarily unavailable."},
    {10036, u"Operation now in progress."},
    {10037, u"Operation already in progress."},
    {10038, u"Socket operation on nonsocket."},
    {10039, u"Destination address required."},
    {10040, u"Message too long."},
    {10041, u"Protocol wrong type for socket."},
    {10042, u"Bad protocol option."},
    {10043, u"Protocol not supported."},
    {10044, u"Socket type not supported."},
    {10045, u"Operation not supported."},
    {10046, u"Protocol family not supported."},
    {10047, u"Address family not supported by protocol family."},
    {10048, u"Address already in use."},
    {10049, u"Cannot assign requested address."},
    {10050, u"Network is down."},
    {10051, u"Network is unreachable."},
    {10052, u"Network dropped connection on reset."},
    {10053, u"Software caused connection abort."},
    {10054, u"Connection reset by peer."},
    {10055, u"No buffer space available."},
    {10056, u"Socket is already connected."},
    {10057, u"Socket is not connected."},
    {10058, u"Cannot send after socket shutdown."},
    {10060, u"Connection timed out."},
    {10061, u"Connection refused."},
    {10065, u"No route to host."},
    {10067, u"Too many processes."},
    {10091, u"Network subsystem is unavailable."},
    {10092, u"Winsock.dll version out of range."},
    {10093, u"Successful WSAStartup not yet performed."},
    {11001, u"Host not found."},
    {11002, u"Nonauthoritative host not found."},
    {11003, u"This is a nonrecoverable error."},
    {11004, u"Valid name, no data record of requested type."},
};

SocketErrorDisplay& errorDisplay() {
  static SocketErrorDisplay display;
  return display;
}

}  // namespace

SocketError::SocketError(int number, QString description, QString source)
    : number_(number),
      description_(std::move(description)),
      source_(std::move(source)),
      what_(
          (source_ + QStringLiteral(": ") + QString::number(number_) + QLatin1Char(' ') + description_).toStdString()) {
}

SocketError platformError(int number, const QString& source) {
  return SocketError(number, modSocketMaster::GetWinsockErrorText(number), source);
}

void setSocketErrorDisplay(SocketErrorDisplay display) {
  errorDisplay() = std::move(display);
}

void showSocketError(const QString& text, const QString& title) {
  if (const SocketErrorDisplay display = errorDisplay()) {
    display(text, title);
  }
}

namespace modSocketMaster {

QString GetWinsockErrorText(int number) {
  const auto found = std::find_if(std::begin(kWinsockErrorTexts), std::end(kWinsockErrorTexts),
                                  [number](const WinsockErrorText& entry) { return entry.number == number; });
  return found == std::end(kWinsockErrorTexts) ? QStringLiteral("Unknown error.") : QString::fromUtf16(found->text);
}

}  // namespace modSocketMaster

}  // namespace orv::net
