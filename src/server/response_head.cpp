#include "server/response_head.h"

#include "server/http_dates.h"
#include "server/status_texts.h"

#include <algorithm>
#include <array>
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

// A CR or LF inside a value would end the header early and let the rest pass for a header
// or a body of its own (RFC 7230 section 3.2.4); long Base64 texts, for one, carry line
// breaks that would cut a cookie in two. Writes the value without them and moves out past it.
void writeValue(char*& out, QByteArrayView value) {
  const auto isCut = [](char c) { return c == '\r' || c == '\n' || c == '\0'; };
  const char* run = value.data();
  const char* const end = run + value.size();
  while (run != end) {
    const char* cut = std::find_if(run, end, isCut);
    out = std::copy(run, cut, out);
    run = cut == end ? end : cut + 1;
  }
}

void writeText(char*& out, std::string_view text) {
  out = std::copy(text.begin(), text.end(), out);
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
  std::array<QByteArray, kHeaderLines.size()> dates;
  qsizetype size = 5 + head.httpVersion.size() + 1 + head.statusNb.size() + 1 + phrase.size() + 2 + 2;
  for (std::size_t i = 0; i < kHeaderLines.size(); ++i) {
    const HeaderLine& line = kHeaderLines[i];
    if (line.date != nullptr) {
      const QDateTime& date = head.*line.date;
      if (date.isValid()) {
        dates[i] = getRFC1123DateFormat(date);
        size += static_cast<qsizetype>(line.name.size()) + dates[i].size() + 2;
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
  for (std::size_t i = 0; i < kHeaderLines.size(); ++i) {
    const HeaderLine& line = kHeaderLines[i];
    if (line.date != nullptr) {
      if (!dates[i].isEmpty()) {
        writeLine(out, line.name, dates[i]);
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
