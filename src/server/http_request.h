#pragma once

#include "server/request_parser.h"
#include "server/response_head.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include <utility>

// The HTTP message of one exchange: the request as the client sent it and the head of the
// response the server gives. All texts are the bytes of the wire, one character per byte.
namespace orv::server {

class clsHttpRequest {
 public:
  clsHttpRequest() = default;
  // The request that parseHttpRequest read, for a caller that has parsed it already.
  explicit clsHttpRequest(ParsedRequest request) : m_request(std::move(request)) {}

  // Response side: each setter stores its value as it is; a later call replaces it.
  void setServerStatusNb(const QByteArray& value) { m_response.statusNb = value; }
  void setServerHttpVersion(const QByteArray& value) { m_response.httpVersion = value; }
  void setServerAcceptRange(const QByteArray& value) { m_response.acceptRange = value; }
  void setServerAllow(const QByteArray& value) { m_response.allow = value; }
  void setServerConnection(const QByteArray& value) { m_response.connection = value; }
  void setServerContentEncoding(const QByteArray& value) { m_response.contentEncoding = value; }
  void setServerContentLanguage(const QByteArray& value) { m_response.contentLanguage = value; }
  void setServerContentLength(const QByteArray& value) { m_response.contentLength = value; }
  void setServerContentType(const QByteArray& value) { m_response.contentType = value; }
  // A UTC date-time (getGmtDate); a null one leaves the Date line out.
  void setServerDate(const QDateTime& value) { m_response.date = value; }
  void setServerEtag(const QByteArray& value) { m_response.etag = value; }
  void setServerExpires(const QByteArray& value) { m_response.expires = value; }
  void setServerLocation(const QByteArray& value) { m_response.location = value; }
  void setServerServer(const QByteArray& value) { m_response.server = value; }
  void setServerTransferEncoding(const QByteArray& value) { m_response.transferEncoding = value; }
  void setServerAge(const QByteArray& value) { m_response.age = value; }
  void setServerWWWAuthenticate(const QByteArray& value) { m_response.wwwAuthenticate = value; }
  void setServerContentLocation(const QByteArray& value) { m_response.contentLocation = value; }
  void setServerContentMD5(const QByteArray& value) { m_response.contentMD5 = value; }
  void setServerContentRange(const QByteArray& value) { m_response.contentRange = value; }
  void setServerContentTrailer(const QByteArray& value) { m_response.trailer = value; }
  void setServerContentUpgrade(const QByteArray& value) { m_response.upgrade = value; }
  void setServerContentVia(const QByteArray& value) { m_response.via = value; }
  void setServerContentWarning(const QByteArray& value) { m_response.warning = value; }
  // A UTC date-time (getGmtDate); a null one leaves the Last-Modified line out.
  void setServerLastModified(const QDateTime& value) { m_response.lastModified = value; }
  void setServerKeepAlive(const QByteArray& value) { m_response.keepAlive = value; }
  void setServerVary(const QByteArray& value) { m_response.vary = value; }

  // Request side: empty texts, 0 and null dates until a request is read.
  QByteArray getClientMethod() const { return m_request.method; }
  QByteArray getClientUrl() const { return m_request.url; }
  QByteArray getClientHttpVersion() const { return m_request.httpVersion; }
  QByteArray getClientAccept() const { return header(ClientHeader::Accept); }
  QByteArray getClientAcceptCharset() const { return header(ClientHeader::AcceptCharset); }
  QByteArray getClientAcceptEncoding() const { return header(ClientHeader::AcceptEncoding); }
  QByteArray getClientAcceptLanguage() const { return header(ClientHeader::AcceptLanguage); }
  QByteArray getClientAllow() const { return header(ClientHeader::Allow); }
  QByteArray getClientAuthorization() const { return header(ClientHeader::Authorization); }
  QByteArray getClientConnection() const { return header(ClientHeader::Connection); }
  QByteArray getClientCacheControl() const { return header(ClientHeader::CacheControl); }
  QByteArray getClientContentEncoding() const { return header(ClientHeader::ContentEncoding); }
  QByteArray getClientContentLanguage() const { return header(ClientHeader::ContentLanguage); }
  qint64 getClientContentLength() const { return m_request.contentLength; }
  QByteArray getClientContentType() const { return header(ClientHeader::ContentType); }
  QByteArray getClientCookie() const { return header(ClientHeader::Cookie); }
  QDateTime getClientDate() const { return m_request.date; }
  QByteArray getClientFrom() const { return header(ClientHeader::From); }
  QDateTime getClientIfModifiedSince() const { return m_request.ifModifiedSince; }
  QByteArray getClientIfNoneMatch() const { return header(ClientHeader::IfNoneMatch); }
  QByteArray getClientKeepAlive() const { return header(ClientHeader::KeepAlive); }
  QByteArray getClientHost() const { return header(ClientHeader::Host); }
  QDateTime getClientLastModified() const { return m_request.lastModified; }
  qint64 getClientRange() const { return m_request.rangeStart; }
  QByteArray getClientReferer() const { return header(ClientHeader::Referer); }
  QByteArray getClientUserAgent() const { return header(ClientHeader::UserAgent); }
  QByteArray getClientExpect() const { return header(ClientHeader::Expect); }
  QByteArray getClientExpires() const { return header(ClientHeader::Expires); }
  QByteArray getClientIfMatch() const { return header(ClientHeader::IfMatch); }
  QByteArray getClientIfRange() const { return header(ClientHeader::IfRange); }
  QDateTime getClientIfUnmodifiedSince() const { return m_request.ifUnmodifiedSince; }
  QByteArray getClientMaxForwards() const { return header(ClientHeader::MaxForwards); }
  QByteArray getClientPragma() const { return header(ClientHeader::Pragma); }
  QByteArray getClientProxyAuthorization() const { return header(ClientHeader::ProxyAuthorization); }
  QByteArray getClientRetryAfter() const { return header(ClientHeader::RetryAfter); }
  QByteArray getClientTE() const { return header(ClientHeader::TE); }
  QByteArray getClientTransferEncoding() const { return header(ClientHeader::TransferEncoding); }
  QByteArray getClientVary() const { return header(ClientHeader::Vary); }
  QByteArray getClientContentLocation() const { return header(ClientHeader::ContentLocation); }
  QByteArray getClientContentMD5() const { return header(ClientHeader::ContentMD5); }
  QByteArray getClientContentRange() const { return header(ClientHeader::ContentRange); }
  QByteArray getClientTrailer() const { return header(ClientHeader::Trailer); }
  QByteArray getClientUpgrade() const { return header(ClientHeader::Upgrade); }
  QByteArray getClientVia() const { return header(ClientHeader::Via); }
  QByteArray getClientWarning() const { return header(ClientHeader::Warning); }
  QByteArray getClientBodyData() const { return m_request.body; }

  // The head that buildServerRequest made last; empty before the first build.
  QByteArray getServerFullRequest() const { return m_fullResponseHead; }

  // Reads the first request of the text (parseHttpRequest). Only a complete, readable
  // request (Ok) replaces the request side; otherwise every field keeps its value.
  RequestParseStatus initClientRequestValues(QByteArrayView request);

  // Builds the head from the response side (buildResponseHead) and empties the cookie
  // list, so that a second build carries no cookie unless one is added again.
  void buildServerRequest();

  // Appends one Set-Cookie line (cookieText); a second cookie of the same name is a second
  // line. Empty texts leave their attribute out.
  void addServerCookie(const QByteArray& cookieName, const QByteArray& cookieValue,
                       const QByteArray& cookieExpires = {}, const QByteArray& cookiePath = {},
                       const QByteArray& cookieDomain = {});

  // The Set-Cookie lines added since the last build, so that a response built on another
  // object (the file reader's) can carry them.
  const QList<QByteArray>& getServerCookies() const { return m_response.cookies; }
  void addServerCookieLines(const QList<QByteArray>& lines) { m_response.cookies.append(lines); }

 private:
  QByteArray header(ClientHeader name) const { return m_request.header(name); }

  ParsedRequest m_request;
  ResponseHead m_response;
  QByteArray m_fullResponseHead;
};

}  // namespace orv::server
