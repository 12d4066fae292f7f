// Feeds arbitrary bytes to the request parser as a connection would: parse, drop the bytes
// the request used, parse the rest. Besides the sanitizers' checks it stops on any broken
// promise of the parser: bytes used outside the buffer, a body of the wrong length, a shorter
// buffer that does not wait for more, a value that splits a response head, a date that does
// not survive a round trip.

#include "server/http_dates.h"
#include "server/http_request.h"
#include "server/request_parser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using orv::server::clsHttpRequest;
using orv::server::getRFC1123DateFormat;
using orv::server::getStandardDateFormat;
using orv::server::ParsedRequest;
using orv::server::parseHttpRequest;
using orv::server::RequestParseResult;
using orv::server::RequestParseStatus;

void check(bool promise) {
  if (!promise) {
    std::abort();
  }
}

void checkDateRoundTrip(const QDateTime& date) {
  if (date.isValid()) {
    check(getStandardDateFormat(getRFC1123DateFormat(date)) == date);
  }
}

// The values a response reflects from its request (a redirect's Location from the Host, a
// cookie from the login) must not add a line to the head.
void checkReflectedHead(const ParsedRequest& parsed) {
  clsHttpRequest exchange(parsed);
  exchange.setServerStatusNb(exchange.getClientMethod());
  exchange.setServerHttpVersion(exchange.getClientHttpVersion());
  exchange.setServerLocation(exchange.getClientHost());
  exchange.setServerServer(exchange.getClientUserAgent());
  exchange.setServerLastModified(exchange.getClientIfModifiedSince());
  exchange.addServerCookie(exchange.getClientCookie(), exchange.getClientBodyData());
  exchange.buildServerRequest();
  const QByteArray head = exchange.getServerFullRequest();
  check(head.endsWith("\r\n\r\n"));
  int lines = 0;
  for (qsizetype i = 0; i < head.size(); ++i) {
    check(head[i] != '\0');
    if (head[i] == '\r') {
      check(i + 1 < head.size() && head[i + 1] == '\n');
      ++lines;
    } else if (head[i] == '\n') {
      check(i > 0 && head[i - 1] == '\r');
    }
  }
  const int expected = 1 + (exchange.getClientHost().isEmpty() ? 0 : 1) +
                       (exchange.getClientUserAgent().isEmpty() ? 0 : 1) +
                       (exchange.getClientIfModifiedSince().isValid() ? 1 : 0) + 1 + 1;
  check(lines == expected);
}

void checkRequest(QByteArrayView buffer, const RequestParseResult& result) {
  const ParsedRequest& request = result.request;
  check(result.bytesUsed > 0 && result.bytesUsed <= buffer.size());
  check(request.contentLength >= 0 && request.rangeStart >= 0);
  check(request.body.size() == request.contentLength);
  check(buffer.first(result.bytesUsed).endsWith(request.body));
  // One byte less is never a whole request.
  check(parseHttpRequest(buffer.first(result.bytesUsed - 1)).status == RequestParseStatus::Incomplete);
  for (std::size_t i = 0; i < orv::server::kClientHeaderCount; ++i) {
    const QByteArray value = request.header(static_cast<orv::server::ClientHeader>(i));
    check(!value.contains('\0') && !value.contains('\r') && !value.contains('\n'));
  }
  check(!request.url.contains('\0') && !request.url.contains('\r') && !request.url.contains('\n'));
  checkDateRoundTrip(request.date);
  checkDateRoundTrip(request.ifModifiedSince);
  checkDateRoundTrip(request.ifUnmodifiedSince);
  checkDateRoundTrip(request.lastModified);
  checkReflectedHead(request);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArrayView input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  checkDateRoundTrip(getStandardDateFormat(input));

  QByteArrayView rest = input;
  for (;;) {
    const RequestParseResult result = parseHttpRequest(rest);
    if (result.status == RequestParseStatus::Bad) {
      check(!result.error.isEmpty() && result.bytesUsed == 0);
      break;
    }
    if (result.status == RequestParseStatus::Incomplete) {
      check(result.bytesUsed == 0);
      break;
    }
    checkRequest(rest, result);
    rest = rest.sliced(result.bytesUsed);
  }
  return 0;
}
