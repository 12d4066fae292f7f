#include "server/request_parser.h"

#include "server/http_dates.h"

#include <limits>
#include <optional>
#include <string_view>

namespace orv::server {
namespace {

// The text that begins a line of each header, in the order of ClientHeader.
constexpr std::array<std::string_view, kClientHeaderCount> kClientHeaderSearchTexts{
    "Accept:",
    "Accept-Charset:",
    "Accept-Encoding:",
    "Accept-Language:",
    "Allow:",
    "Authorization:",
    "Connection:",
    "Cache-Control:",
    "Content-Encoding:",
    "Content-Language:",
    "Content-Length:",
    "Content-Type:",
    "Cookie:",
    "Date:",
    "From:",
    "If-Modified-Since:",
    "If-Unmodified-Since:",
    "If-None-Match:",
    "Keep-Alive:",
    "Host:",
    "Last-Modified:",
    "Range: bytes=",
    "Referer:",
    "User-Agent:",
    "Expect:",
    "Expires:",
    "If-Match:",
    "If-Range:",
    "Max-Forwards:",
    "Pragma:",
    "Proxy-Authorization:",
    "Retry-After:",
    "TE:",
    "Transfer-Encoding:",
    "Vary:",
    "Content-Location:",
    "Content-MD5:",
    "Content-Range:",
    "Trailer:",
    "Upgrade:",
    "Via:",
    "Warning:",
};

constexpr std::array<std::string_view, 7> kKnownMethods{"CONNECT", "DELETE", "GET", "HEAD", "POST", "PUT", "TRACE"};
constexpr std::array<std::string_view, 3> kKnownVersions{"1.0", "0.9", "1.1"};

constexpr QByteArrayView kCrLf("\r\n");
constexpr QByteArrayView kEndOfHead("\r\n\r\n");

QByteArrayView view(std::string_view text) {
  return QByteArrayView(text.data(), static_cast<qsizetype>(text.size()));
}

std::size_t indexOf(ClientHeader name) {
  return static_cast<std::size_t>(name);
}

// False when the byte can never equal the other with case ignored; a cheap test before the
// comparison, since every line of every head is compared with the names of all known
// headers. Qt folds Latin-1 letters too, none of them to an ASCII one.
bool mayEqualIgnoringCase(char byte, char other) {
  if (static_cast<unsigned char>(other) >= 0x80) {
    return true;
  }
  const bool letter = (other >= 'A' && other <= 'Z') || (other >= 'a' && other <= 'z');
  return letter ? (byte | 0x20) == (other | 0x20) : byte == other;
}

bool startsWithIgnoringCase(QByteArrayView text, QByteArrayView start) {
  return text.size() >= start.size() && (start.isEmpty() || mayEqualIgnoringCase(text[0], start[0])) &&
         text.first(start.size()).compare(start, Qt::CaseInsensitive) == 0;
}

qsizetype lastIndexOfIgnoringCase(QByteArrayView text, QByteArrayView part) {
  for (qsizetype from = text.size() - part.size(); from >= 0; --from) {
    if ((part.isEmpty() || mayEqualIgnoringCase(text[from], part[0])) &&
        text.sliced(from, part.size()).compare(part, Qt::CaseInsensitive) == 0) {
      return from;
    }
  }
  return -1;
}

bool containsIgnoringCase(QByteArrayView text, QByteArrayView part) {
  return lastIndexOfIgnoringCase(text, part) >= 0;
}

// Only blanks count here, as in the header values the server has always read: a tab stays.
QByteArrayView withoutLeadingBlanks(QByteArrayView text) {
  qsizetype start = 0;
  while (start < text.size() && text[start] == ' ') {
    ++start;
  }
  return text.sliced(start);
}

QByteArrayView withoutBlanks(QByteArrayView text) {
  text = withoutLeadingBlanks(text);
  qsizetype end = text.size();
  while (end > 0 && text[end - 1] == ' ') {
    --end;
  }
  return text.first(end);
}

// A whole number of decimal digits; no sign, fraction or exponent.
std::optional<qint64> decimalValue(QByteArrayView text) {
  if (text.isEmpty()) {
    return std::nullopt;
  }
  constexpr qint64 kLargest = std::numeric_limits<qint64>::max();
  qint64 value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    const int digit = c - '0';
    value = value > (kLargest - digit) / 10 ? kLargest : value * 10 + digit;
  }
  return value;
}

// Empty lines before a request line are ignored (RFC 7230 section 3.5): some clients end a
// body with an extra CR LF.
qsizetype requestLineStart(QByteArrayView buffer) {
  qsizetype start = 0;
  while (buffer.sliced(start).startsWith(kCrLf)) {
    start += kCrLf.size();
  }
  return start;
}

// The head's lines after the request line: from the end of the request line to the blank
// line, or to the end of the text when it has no blank line yet.
QByteArrayView headerBlock(QByteArrayView request) {
  request = request.sliced(requestLineStart(request));
  const qsizetype firstLineEnd = request.indexOf(kCrLf);
  if (firstLineEnd < 0) {
    return {};
  }
  const qsizetype headEnd = request.indexOf(kEndOfHead);
  const qsizetype blockEnd = headEnd < 0 ? request.size() : headEnd + kCrLf.size();
  return request.sliced(firstLineEnd + kCrLf.size(), blockEnd - firstLineEnd - kCrLf.size());
}

// Calls visit(line) for every line of the block, each without its CR LF.
template <typename Visit>
void forEachLine(QByteArrayView block, Visit visit) {
  while (!block.isEmpty()) {
    const qsizetype end = block.indexOf(kCrLf);
    if (end < 0) {
      visit(block);
      return;
    }
    visit(block.first(end));
    block = block.sliced(end + kCrLf.size());
  }
}

// A NUL byte, or a CR or LF outside a CR LF pair, can never be part of a head the server
// reads (RFC 7230 section 3.5): a lone LF would let a value end a line for the client but
// not for the server. A CR at the very end may still get its LF.
const char* faultInHeadBytes(QByteArrayView buffer, qsizetype from, qsizetype to) {
  for (qsizetype i = from; i < to; ++i) {
    const char c = buffer[i];
    if (c == '\0') {
      return "NUL byte in the request head";
    }
    if (c == '\n' && (i == 0 || buffer[i - 1] != '\r')) {
      return "line feed without carriage return in the request head";
    }
    if (c == '\r' && i + 1 < buffer.size() && buffer[i + 1] != '\n') {
      return "carriage return without line feed in the request head";
    }
  }
  return nullptr;
}

QByteArray knownMethod(QByteArrayView method) {
  for (const std::string_view known : kKnownMethods) {
    if (method.compare(view(known), Qt::CaseInsensitive) == 0) {
      return method.toByteArray();
    }
  }
  return {};
}

QByteArray knownVersion(QByteArrayView requestLine) {
  if (requestLine.size() >= 3) {
    const QByteArrayView version = requestLine.last(3);
    for (const std::string_view known : kKnownVersions) {
      if (version == view(known)) {
        return version.toByteArray();
      }
    }
  }
  return QByteArrayLiteral("1.1");
}

QByteArray urlOf(QByteArrayView requestLine, qsizetype firstBlank) {
  const QByteArrayView rest = withoutBlanks(requestLine.sliced(firstBlank + 1));
  const qsizetype versionStart = lastIndexOfIgnoringCase(rest, " HTTP/");
  return versionStart < 0 ? QByteArray() : withoutBlanks(rest.first(versionStart)).toByteArray();
}

RequestParseResult bad(const char* why) {
  RequestParseResult result;
  result.status = RequestParseStatus::Bad;
  result.error = why;
  return result;
}

// Fills the header values from the header lines; the error of a head the server must refuse.
const char* readHeaders(QByteArrayView block, ParsedRequest& request) {
  std::array<bool, kClientHeaderCount> found{};
  const char* fault = nullptr;
  forEachLine(block, [&](QByteArrayView line) {
    for (std::size_t i = 0; i < kClientHeaderCount; ++i) {
      const QByteArrayView start = view(kClientHeaderSearchTexts[i]);
      if (!startsWithIgnoringCase(line, start)) {
        continue;
      }
      const QByteArrayView value = withoutLeadingBlanks(line.sliced(start.size()));
      if (i == indexOf(ClientHeader::TransferEncoding) &&
          withoutBlanks(value).compare("identity", Qt::CaseInsensitive) != 0) {
        // The server reads bodies by Content-Length only; a chunked body would be taken for
        // the next request (RFC 7230 section 3.3.3).
        fault = "Transfer-Encoding is not supported";
      }
      if (!found[i]) {
        found[i] = true;
        request.headers[i] = value.toByteArray();
      } else if (i == indexOf(ClientHeader::Host)) {
        // Two hosts leave in doubt which site is asked for, and a proxy before the server
        // may have read the other one (RFC 7230 section 5.4).
        fault = "two Host headers";
      } else if (i == indexOf(ClientHeader::ContentLength) &&
                 value.trimmed() != QByteArrayView(request.headers[i]).trimmed()) {
        // Two lengths leave the end of the body, and so the start of the next request, in
        // doubt (RFC 7230 section 3.3.3).
        fault = "two different Content-Length headers";
      }
      return;
    }
  });
  return fault;
}

void readTypedValues(ParsedRequest& request) {
  request.contentLength = getContentLengthValue(request.header(ClientHeader::ContentLength));
  const QByteArray range = request.header(ClientHeader::Range);
  const qsizetype dash = range.lastIndexOf('-');
  request.rangeStart = dash < 0 ? 0 : decimalValue(withoutBlanks(QByteArrayView(range).first(dash))).value_or(0);
  request.date = getStandardDateFormat(request.header(ClientHeader::Date));
  request.ifModifiedSince = getStandardDateFormat(request.header(ClientHeader::IfModifiedSince));
  request.ifUnmodifiedSince = getStandardDateFormat(request.header(ClientHeader::IfUnmodifiedSince));
  request.lastModified = getStandardDateFormat(request.header(ClientHeader::LastModified));
}

}  // namespace

RequestParseResult parseHttpRequest(QByteArrayView buffer) {
  const qsizetype start = requestLineStart(buffer);
  const qsizetype headEnd = buffer.indexOf(kEndOfHead, start);
  const qsizetype bodyStart = headEnd < 0 ? buffer.size() : headEnd + kEndOfHead.size();
  if (const char* fault = faultInHeadBytes(buffer, start, bodyStart)) {
    return bad(fault);
  }
  if (headEnd < 0) {
    return {};
  }

  const QByteArrayView head = buffer.sliced(start, bodyStart - start);
  const QByteArrayView requestLine = head.first(head.indexOf(kCrLf));
  const qsizetype firstBlank = requestLine.indexOf(' ');
  if (firstBlank < 0) {
    return bad("no blank in the request line");
  }
  if (!containsIgnoringCase(requestLine, "HTTP")) {
    return bad("no HTTP version in the request line");
  }

  RequestParseResult result;
  ParsedRequest& request = result.request;
  request.method = knownMethod(requestLine.first(firstBlank));
  request.httpVersion = knownVersion(requestLine);
  request.url = urlOf(requestLine, firstBlank);
  // The path and the query are decoded later; a NUL byte in either would cut a name short.
  if (containsIgnoringCase(request.url, "%00")) {
    return bad("encoded NUL byte in the URL");
  }
  if (const char* fault = readHeaders(headerBlock(head), request)) {
    return bad(fault);
  }
  readTypedValues(request);

  if (buffer.size() - bodyStart < request.contentLength) {
    return {};
  }
  request.body = buffer.sliced(bodyStart, static_cast<qsizetype>(request.contentLength)).toByteArray();
  result.status = RequestParseStatus::Ok;
  result.bytesUsed = bodyStart + static_cast<qsizetype>(request.contentLength);
  return result;
}

qint64 getContentLengthValue(QByteArrayView value) {
  return decimalValue(value.trimmed()).value_or(0);
}

QByteArray getRequestValue(QByteArrayView request, QByteArrayView start, QByteArrayView end) {
  QByteArray value;
  bool found = false;
  forEachLine(headerBlock(request), [&](QByteArrayView line) {
    if (!found && !start.isEmpty() && startsWithIgnoringCase(line, start)) {
      found = true;
      value = withoutLeadingBlanks(line.sliced(start.size())).toByteArray();
    }
  });
  if (!found || end.isEmpty()) {
    return value;
  }
  const qsizetype endStart = lastIndexOfIgnoringCase(value, end);
  return endStart < 0 ? QByteArray() : withoutBlanks(QByteArrayView(value).first(endStart)).toByteArray();
}

}  // namespace orv::server
