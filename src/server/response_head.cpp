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
// breaks that would cut a cookie in two.
void appendValue(QByteArray& text, QByteArrayView value) {
  const auto isCut = [](char c) { return c == '\r' || c == '\n' || c == '\0'; };
  const char* run = value.data();
  const char* const end = run + value.size();
  while (run != end) {
    const char* cut = std::find_if(run, end, isCut);
    text.append(run, cut - run);
    run = cut == end ? end : cut + 1;
  }
}

void appendLine(QByteArray& text, std::string_view name, QByteArrayView value) {
  text.append(name.data(), static_cast<qsizetype>(name.size()));
  appendValue(text, value);
  text += "\r\n";
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
  QByteArray text;
  // Room for a usual head, so that it grows in place.
  text.reserve(512);
  text += "HTTP/";
  appendValue(text, head.httpVersion);
  text += ' ';
  appendValue(text, head.statusNb);
  text += ' ';
  const QLatin1StringView phrase = getRequestStatusMsg(head.statusNb);
  text.append(phrase.data(), phrase.size());
  text += "\r\n";
  for (const HeaderLine& line : kHeaderLines) {
    if (line.date != nullptr) {
      const QDateTime& date = head.*line.date;
      if (date.isValid()) {
        appendLine(text, line.name, getRFC1123DateFormat(date));
      }
    } else if (const QByteArray& value = head.*line.text; !value.isEmpty()) {
      appendLine(text, line.name, value);
    }
  }
  for (const QByteArray& cookie : head.cookies) {
    appendLine(text, "Set-Cookie: ", cookie);
  }
  text += "\r\n";
  return text;
}

}  // namespace orv::server
