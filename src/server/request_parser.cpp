#include "server/request_parser.h"

#include "server/http_dates.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

namespace orv::server {
namespace {

// The name of each header, in the order of ClientHeader: a line begins with the name and a
// colon, except Range, whose line begins with "Range: bytes=".
constexpr std::array<std::string_view, kClientHeaderCount> kClientHeaderNames{
    "Accept",
    "Accept-Charset",
    "Accept-Encoding",
    "Accept-Language",
    "Allow",
    "Authorization",
    "Connection",
    "Cache-Control",
    "Content-Encoding",
    "Content-Language",
    "Content-Length",
    "Content-Type",
    "Cookie",
    "Date",
    "From",
    "If-Modified-Since",
    "If-Unmodified-Since",
    "If-None-Match",
    "Keep-Alive",
    "Host",
    "Last-Modified",
    "Range",
    "Referer",
    "User-Agent",
    "Expect",
    "Expires",
    "If-Match",
    "If-Range",
    "Max-Forwards",
    "Pragma",
    "Proxy-Authorization",
    "Retry-After",
    "TE",
    "Transfer-Encoding",
    "Vary",
    "Content-Location",
    "Content-MD5",
    "Content-Range",
    "Trailer",
    "Upgrade",
    "Via",
    "Warning",
};

constexpr std::string_view kRangeUnit = " bytes=";
constexpr std::size_t kLongestNameSize = 19;
constexpr std::size_t kMostNamesOfOneSize = 6;

// The headers of each name size: a line's name is compared with those of its size only.
struct NamesBySize {
  std::array<std::array<std::uint8_t, kMostNamesOfOneSize>, kLongestNameSize + 1> headers{};
  std::array<std::uint8_t, kLongestNameSize + 1> counts{};
};

constexpr NamesBySize namesBySize() {
  NamesBySize table;
  for (std::size_t i = 0; i < kClientHeaderNames.size(); ++i) {
    const std::size_t size = kClientHeaderNames[i].size();
    table.headers[size][table.counts[size]++] = static_cast<std::uint8_t>(i);
  }
  return table;
}

constexpr NamesBySize kNamesBySize = namesBySize();
static_assert(kNamesBySize.counts[kLongestNameSize] > 0);

constexpr std::array<std::string_view, 7> kKnownMethods{"CONNECT", "DELETE", "GET", "HEAD", "POST", "PUT", "TRACE"};

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

char asciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// The names are ASCII: Qt folds Latin-1 letters too, but none of them to an ASCII one, so
// an ASCII comparison finds what a case-insensitive one of Qt does.
bool equalsIgnoringAsciiCase(const char* text, std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (asciiLower(text[i]) != asciiLower(name[i])) {
      return false;
    }
  }
  return true;
}

// The header whose name is the text, case ignored; -1 for none.
int headerNamed(QByteArrayView name) {
  const auto size = static_cast<std::size_t>(name.size());
  if (size == 0 || size > kLongestNameSize) {
    return -1;
  }
  const char first = asciiLower(name[0]);
  for (std::size_t i = 0; i < kNamesBySize.counts[size]; ++i) {
    const std::uint8_t header = kNamesBySize.headers[size][i];
    const std::string_view known = kClientHeaderNames[header];
    if (asciiLower(known[0]) == first && equalsIgnoringAsciiCase(name.data(), known)) {
      return header;
    }
  }
  return -1;
}

// Where the head ends, or why it can never be read.
struct HeadScan {
  qsizetype firstLineEnd = -1;  // the CR that ends the request line
  qsizetype end = -1;           // just past the blank line; -1 while it has not come
  const char* fault = nullptr;
};

// True when a byte of the word is below 14, as NUL, LF and CR are.
bool mayHoldLineBytes(quint64 word) {
  constexpr quint64 kOnes = 0x0101010101010101ULL;
  constexpr quint64 kHighBits = 0x8080808080808080ULL;
  return ((word - kOnes * 14) & ~word & kHighBits) != 0;
}

// A NUL byte, or a CR or LF outside a CR LF pair, can never be part of a head the server
// reads (RFC 7230 section 3.5): a lone LF would let a value end a line for the client but
// not for the server. A CR at the very end may still get its LF. The head is read from
// from up to its blank line, eight bytes at a time where none of them can end a line.
HeadScan scanHead(QByteArrayView buffer, qsizetype from) {
  HeadScan scan;
  const char* const data = buffer.data();
  const qsizetype size = buffer.size();
  qsizetype lineStart = from;
  qsizetype i = from;
  while (i < size) {
    if (i + 8 <= size) {
      quint64 word;
      std::memcpy(&word, data + i, sizeof word);
      if (!mayHoldLineBytes(word)) {
        i += 8;
        continue;
      }
    }
    const char c = data[i];
    if (c == '\0') {
      scan.fault = "NUL byte in the request head";
      return scan;
    }
    if (c == '\n') {
      // The LF of a CR LF pair is passed over with its CR.
      scan.fault = "line feed without carriage return in the request head";
      return scan;
    }
    if (c != '\r') {
      ++i;
      continue;
    }
    if (i + 1 == size) {
      return scan;
    }
    if (data[i + 1] != '\n') {
      scan.fault = "carriage return without line feed in the request head";
      return scan;
    }
    if (i == lineStart && lineStart > from) {
      scan.end = i + 2;
      return scan;
    }
    if (scan.firstLineEnd < 0) {
      scan.firstLineEnd = i;
    }
    i += 2;
    lineStart = i;
  }
  return scan;
}

QByteArray knownMethod(QByteArrayView method) {
  // Nearly every request says GET: its text needs no copy.
  if (method == QByteArrayView("GET")) {
    return QByteArrayLiteral("GET");
  }
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
    if (version == QByteArrayView("1.0")) {
      return QByteArrayLiteral("1.0");
    }
    if (version == QByteArrayView("0.9")) {
      return QByteArrayLiteral("0.9");
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

// Finds the header values in the header lines (each ended by CR LF, no lone CR or LF left);
// the error of a head the server must refuse.
const char* readHeaders(ParsedRequest& request) {
  const QByteArray& lines = request.headerLines;
  const char* const data = lines.constData();
  const qsizetype size = lines.size();
  const char* fault = nullptr;
  qsizetype lineStart = 0;
  while (lineStart < size) {
    const auto* lineFeed = static_cast<const char*>(std::memchr(data + lineStart, '\n', size - lineStart));
    const qsizetype lineEnd = lineFeed - data - 1;  // the CR before it
    const QByteArrayView line(data + lineStart, lineEnd - lineStart);
    const qsizetype thisStart = lineStart;
    lineStart = lineEnd + 2;
    const qsizetype colon = line.indexOf(':');
    if (colon < 0) {
      continue;
    }
    const int header = headerNamed(line.first(colon));
    if (header < 0) {
      continue;
    }
    const auto i = static_cast<std::size_t>(header);
    qsizetype valueStart = colon + 1;
    if (i == indexOf(ClientHeader::Range)) {
      if (line.size() - valueStart < static_cast<qsizetype>(kRangeUnit.size()) ||
          !equalsIgnoringAsciiCase(line.data() + valueStart, kRangeUnit)) {
        continue;
      }
      valueStart += static_cast<qsizetype>(kRangeUnit.size());
    }
    while (valueStart < line.size() && line[valueStart] == ' ') {
      ++valueStart;
    }
    const QByteArrayView value = line.sliced(valueStart);
    if (i == indexOf(ClientHeader::TransferEncoding) &&
        withoutBlanks(value).compare("identity", Qt::CaseInsensitive) != 0) {
      // The server reads bodies by Content-Length only; a chunked body would be taken for
      // the next request (RFC 7230 section 3.3.3).
      fault = "Transfer-Encoding is not supported";
    }
    HeaderSpan& span = request.headerSpans[i];
    if (span.start < 0) {
      span = {thisStart + valueStart, value.size()};
    } else if (i == indexOf(ClientHeader::Host)) {
      // Two hosts leave in doubt which site is asked for, and a proxy before the server
      // may have read the other one (RFC 7230 section 5.4).
      fault = "two Host headers";
    } else if (i == indexOf(ClientHeader::ContentLength) &&
               value.trimmed() != request.headerView(ClientHeader::ContentLength).trimmed()) {
      // Two lengths leave the end of the body, and so the start of the next request, in
      // doubt (RFC 7230 section 3.3.3).
      fault = "two different Content-Length headers";
    }
  }
  return fault;
}

void readTypedValues(ParsedRequest& request) {
  request.contentLength = getContentLengthValue(request.headerView(ClientHeader::ContentLength));
  const QByteArrayView range = request.headerView(ClientHeader::Range);
  const qsizetype dash = range.lastIndexOf('-');
  request.rangeStart = dash < 0 ? 0 : decimalValue(withoutBlanks(range.first(dash))).value_or(0);
  request.date = getStandardDateFormat(request.headerView(ClientHeader::Date));
  request.ifModifiedSince = getStandardDateFormat(request.headerView(ClientHeader::IfModifiedSince));
  request.ifUnmodifiedSince = getStandardDateFormat(request.headerView(ClientHeader::IfUnmodifiedSince));
  request.lastModified = getStandardDateFormat(request.headerView(ClientHeader::LastModified));
}

}  // namespace

RequestParseResult parseHttpRequest(QByteArrayView buffer) {
  const qsizetype start = requestLineStart(buffer);
  const HeadScan scan = scanHead(buffer, start);
  if (scan.fault != nullptr) {
    return bad(scan.fault);
  }
  if (scan.end < 0) {
    return {};
  }
  const qsizetype bodyStart = scan.end;

  const QByteArrayView requestLine = buffer.sliced(start, scan.firstLineEnd - start);
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
  // The header lines, each with its CR LF, without the blank line.
  const qsizetype linesStart = scan.firstLineEnd + kCrLf.size();
  request.headerLines = buffer.sliced(linesStart, bodyStart - kCrLf.size() - linesStart).toByteArray();
  if (const char* fault = readHeaders(request)) {
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
