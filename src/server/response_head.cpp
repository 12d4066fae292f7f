#include "server/response_head.h"

#include "server/http_dates.h"
#include "server/status_texts.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace orv::server {
namespace {

struct HeaderLine {
  std::string_view name;
  QByteArray ResponseHead::*text;
  QDateTime ResponseHead::*date;
};

constexpr std::array<HeaderLine, 25> kHeaderLines{{
    {"Date: ", nullptr, &ResponseHead::date},
    {"Server: ", &ResponseHead::server, nullptr},
    {"Last-Modified: ", nullptr, &ResponseHead::lastModified},
    {"Etag: ", &ResponseHead::etag, nullptr},
    {"Keep-Alive: ", &ResponseHead::keepAlive, nullptr},
    {"Connection: ", &ResponseHead::connection, nullptr},
    {"Transfer-Encoding: ", &ResponseHead::transferEncoding, nullptr},
    {"Accept-Ranges: ", &ResponseHead::acceptRange, nullptr},
    {"Content-Encoding: ", &ResponseHead::contentEncoding, nullptr},
    {"Content-Language: ", &ResponseHead::contentLanguage, nullptr},
    {"Content-Length: ", &ResponseHead::contentLength, nullptr},
    {"Content-Type: ", &ResponseHead::contentType, nullptr},
    {"Expires: ", &ResponseHead::expires, nullptr},
    {"Location: ", &ResponseHead::location, nullptr},
    {"Allow: ", &ResponseHead::allow, nullptr},
    {"Age: ", &ResponseHead::age, nullptr},
    {"WWW-Authenticate: ", &ResponseHead::wwwAuthenticate, nullptr},
    {"Content-Location: ", &ResponseHead::contentLocation, nullptr},
    {"Content-MD5: ", &ResponseHead::contentMD5, nullptr},
    {"Content-Range: ", &ResponseHead::contentRange, nullptr},
    {"Trailer: ", &ResponseHead::trailer, nullptr},
    {"Upgrade: ", &ResponseHead::upgrade, nullptr},
    {"Via: ", &ResponseHead::via, nullptr},
    {"Warning: ", &ResponseHead::warning, nullptr},
    {"Vary: ", &ResponseHead::vary, nullptr},
}};

constexpr std::size_t kDateLineCount = static_cast<std::size_t>(std::count_if(
    kHeaderLines.begin(), kHeaderLines.end(), [](const HeaderLine& line) { return line.date != nullptr; }));

// A CR or LF inside a value would end the header early and let the rest pass for a header
// or a body of its own (RFC 7230 section 3.2.4); long Base64 texts, for one, carry line
// breaks that would cut a cookie in two. Writes the value without them and moves out past it.
bool isCut(char c) {
  return c == '\r' || c == '\n' || c == '\0';
}

// The first CR, LF or NUL from from on, or end. Values hold none nearly always: they are
// looked at eight bytes at a time, and a word with no byte below 14 holds none of the three.
const char* findCut(const char* from, const char* end) {
  constexpr quint64 kOnes = 0x0101010101010101ULL;
  constexpr quint64 kHighBits = 0x8080808080808080ULL;
  while (end - from >= 8) {
    quint64 word;
    std::memcpy(&word, from, sizeof word);
    if (((word - kOnes * 14) & ~word & kHighBits) != 0) {
      break;
    }
    from += 8;
  }
  return std::find_if(from, end, isCut);
}

void writeValue(char*& out, QByteArrayView value) {
  const char* run = value.data();
  const char* const end = run + value.size();
  while (run != end) {
    const char* cut = findCut(run, end);
    std::memcpy(out, run, static_cast<std::size_t>(cut - run));
    out += cut - run;
    run = cut == end ? end : cut + 1;
  }
}

void writeText(char*& out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  out += text.size();
}

void writeLine(char*& out, std::string_view name, QByteArrayView value) {
  writeText(out, name);
  writeValue(out, value);
  writeText(out, "\r\n");
}

}  // namespace

QByteArray cookieText(const QByteArray& cookieName, const QByteArray& cookieValue, const QByteArray& cookieExpires,
                      const QByteArray& cookiePath, const QByteArray& cookieDomain) {
  QByteArray text = cookieName + '=' + cookieValue;
  if (!cookieExpires.isEmpty()) {
    text += "; expires=" + cookieExpires;
  }
  if (!cookiePath.isEmpty()) {
    text += "; path=" + cookiePath;
  }
  if (!cookieDomain.isEmpty()) {
    text += "; domain=" + cookieDomain;
  }
  return text;
}

QByteArray buildResponseHead(const ResponseHead& head) {
  const QLatin1StringView phrase = getRequestStatusMsg(head.statusNb);
  // Every answer has a head: its parts are measured first and written into place, the
  // cut bytes of the values making it at most shorter.
  // The texts of the date lines, in their order.
  std::array<QByteArray, kDateLineCount> dates;
  qsizetype size = 5 + head.httpVersion.size() + 1 + head.statusNb.size() + 1 + phrase.size() + 2 + 2;
  std::size_t dateCount = 0;
  for (const HeaderLine& line : kHeaderLines) {
    if (line.date != nullptr) {
      QByteArray& text = dates[dateCount++];
      if (const QDateTime& date = head.*line.date; date.isValid()) {
        text = getRFC1123DateFormat(date);
        size += static_cast<qsizetype>(line.name.size()) + text.size() + 2;
      }
    } else if (const QByteArray& value = head.*line.text; !value.isEmpty()) {
      size += static_cast<qsizetype>(line.name.size()) + value.size() + 2;
    }
  }
  constexpr std::string_view kCookieName = "Set-Cookie: ";
  for (const QByteArray& cookie : head.cookies) {
    size += static_cast<qsizetype>(kCookieName.size()) + cookie.size() + 2;
  }

  QByteArray text(size, Qt::Uninitialized);
  char* out = text.data();
  writeText(out, "HTTP/");
  writeValue(out, head.httpVersion);
  *out++ = ' ';
  writeValue(out, head.statusNb);
  *out++ = ' ';
  out = std::copy(phrase.data(), phrase.data() + phrase.size(), out);
  writeText(out, "\r\n");
  dateCount = 0;
  for (const HeaderLine& line : kHeaderLines) {
    if (line.date != nullptr) {
      if (const QByteArray& date = dates[dateCount++]; !date.isEmpty()) {
        writeLine(out, line.name, date);
      }
    } else if (const QByteArray& value = head.*line.text; !value.isEmpty()) {
      writeLine(out, line.name, value);
    }
  }
  for (const QByteArray& cookie : head.cookies) {
    writeLine(out, kCookieName, cookie);
  }
  writeText(out, "\r\n");
  text.truncate(out - text.constData());
  return text;
}

}  // namespace orv::server
