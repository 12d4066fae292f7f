#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>

// The head of a response: status line, header lines in one fixed order, cookies.
namespace orv::server {

struct ResponseHead {
  QByteArray statusNb;     // "200", "404"
  QByteArray httpVersion;  // "1.1"
  // Written in RFC 1123 form when valid, left out otherwise.
  QDateTime date;
  QDateTime lastModified;
  // Each written when not empty.
  QByteArray server;
  QByteArray etag;
  QByteArray keepAlive;
  QByteArray connection;
  QByteArray transferEncoding;
  QByteArray acceptRange;
  QByteArray contentEncoding;
  QByteArray contentLanguage;
  QByteArray contentLength;
  QByteArray contentType;
  QByteArray expires;
  QByteArray location;
  QByteArray allow;
  QByteArray age;
  QByteArray wwwAuthenticate;
  QByteArray contentLocation;
  QByteArray contentMD5;
  QByteArray contentRange;
  QByteArray trailer;
  QByteArray upgrade;
  QByteArray via;
  QByteArray warning;
  QByteArray vary;
  QList<QByteArray> cookies;  // one Set-Cookie line each, in the order of adding
};

// name "=" value, then "; expires=", "; path=" and "; domain=" each with its text when that
// text is not empty. Nothing is encoded or checked.
QByteArray cookieText(const QByteArray& cookieName, const QByteArray& cookieValue, const QByteArray& cookieExpires,
                      const QByteArray& cookiePath, const QByteArray& cookieDomain);

// "HTTP/" version " " status " " reason phrase, then Date, Server, Last-Modified, Etag,
// Keep-Alive, Connection, Transfer-Encoding, Accept-Ranges, Content-Encoding,
// Content-Language, Content-Length, Content-Type, Expires, Location, Allow, Age,
// WWW-Authenticate, Content-Location, Content-MD5, Content-Range, Trailer, Upgrade, Via,
// Warning, Vary, the Set-Cookie lines and the empty line, each line ended by CR LF. CR, LF
// and NUL bytes are left out of every value, so no value can end its line early or add a
// line of its own.
QByteArray buildResponseHead(const ResponseHead& head);

}  // namespace orv::server
