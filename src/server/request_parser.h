#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include <array>
#include <cstddef>

// Reading one request out of the bytes a connection has received so far.
namespace orv::server {

// The headers the server knows, in the order of kClientHeaderNames.
enum class ClientHeader : std::size_t {
  Accept,
  AcceptCharset,
  AcceptEncoding,
  AcceptLanguage,
  Allow,
  Authorization,
  Connection,
  CacheControl,
  ContentEncoding,
  ContentLanguage,
  ContentLength,
  ContentType,
  Cookie,
  Date,
  From,
  IfModifiedSince,
  IfUnmodifiedSince,
  IfNoneMatch,
  KeepAlive,
  Host,
  LastModified,
  Range,
  Referer,
  UserAgent,
  Expect,
  Expires,
  IfMatch,
  IfRange,
  MaxForwards,
  Pragma,
  ProxyAuthorization,
  RetryAfter,
  TE,
  TransferEncoding,
  Vary,
  ContentLocation,
  ContentMD5,
  ContentRange,
  Trailer,
  Upgrade,
  Via,
  Warning,
};

inline constexpr std::size_t kClientHeaderCount = 42;

// Where the value of one header lies in ParsedRequest::headerLines; start -1: absent.
struct HeaderSpan {
  qsizetype start = -1;
  qsizetype size = 0;
};

struct ParsedRequest {
  // As sent when it is one of CONNECT, DELETE, GET, HEAD, POST, PUT and TRACE (case
  // ignored), else empty.
  QByteArray method;
  // Everything between the method and the last " HTTP/" of the request line, blanks around
  // it removed; empty when the line has no " HTTP/".
  QByteArray url;
  // The last three characters of the request line when they are "1.0", "0.9" or "1.1",
  // else "1.1".
  QByteArray httpVersion;
  // getContentLengthValue of the Content-Length header.
  qint64 contentLength = 0;
  qint64 rangeStart = 0;  // the first offset of "Range: bytes=first-..."
  // UTC date-times of the four date headers; null when absent or not an RFC 1123 date.
  QDateTime date;
  QDateTime ifModifiedSince;
  QDateTime ifUnmodifiedSince;
  QDateTime lastModified;
  QByteArray body;  // the Content-Length bytes after the head

  // The header lines of the head as received. A request asks for a few of its headers
  // only, so their values are copied out when asked for, not all at the parse.
  QByteArray headerLines;
  std::array<HeaderSpan, kClientHeaderCount> headerSpans{};

  // The value of the first line of the header, blanks after the colon removed, blanks at
  // the end kept; for Range the text after "bytes=". Empty when the header is absent.
  QByteArrayView headerView(ClientHeader name) const {
    const HeaderSpan& span = headerSpans[static_cast<std::size_t>(name)];
    return span.start < 0 ? QByteArrayView() : QByteArrayView(headerLines.constData() + span.start, span.size);
  }
  QByteArray header(ClientHeader name) const {
    const HeaderSpan& span = headerSpans[static_cast<std::size_t>(name)];
    return span.start < 0 ? QByteArray() : QByteArray(headerLines.constData() + span.start, span.size);
  }
};

enum class RequestParseStatus {
  Incomplete,  // wait for more bytes: the head or the body is not all there yet
  Bad,         // the bytes can never become a request the server reads: answer 400
  Ok,
};

struct RequestParseResult {
  RequestParseStatus status = RequestParseStatus::Incomplete;
  ParsedRequest request;    // with Ok
  qsizetype bytesUsed = 0;  // with Ok: the request's bytes from the buffer's start; the rest
                            // belongs to the next request of the connection
  QByteArray error;         // with Bad: why, for the log
};

// Reads the first request of buffer: optional empty lines, the request line, header lines
// and the blank line, all ended by CR LF, then as many body bytes as Content-Length says.
// A header is found only at the start of a header line; the first line of a name counts.
// Bad: a NUL byte, a CR or LF that is not part of a CR LF in the head, a request line
// without a blank or without "HTTP", "%00" in the URL, two Host headers, two different
// Content-Length values,
// a Transfer-Encoding other than "identity". A method or URL the server does not serve is
// no parse error: the request is Ok with that field empty, and the caller answers it.
RequestParseResult parseHttpRequest(QByteArrayView buffer);

// A Content-Length value as a number: a whole number of decimal digits, blanks and tabs
// around it left out (RFC 7230 section 3.2.4); 0 when empty or not such a number (a sign,
// a fraction). Numbers too large for 64 bits read as the largest one.
qint64 getContentLengthValue(QByteArrayView value);

// The value of the first header line of request that begins with start (case ignored),
// blanks after start removed, up to the line's end. With a non-empty end: the part before
// the last occurrence of end in that value, blanks around it removed, or empty when the
// value does not hold end. Only the header lines are searched: never the request line, never
// the body. Empty when no header line begins with start.
QByteArray getRequestValue(QByteArrayView request, QByteArrayView start, QByteArrayView end);

}  // namespace orv::server
