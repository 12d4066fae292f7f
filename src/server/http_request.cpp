#include "server/http_request.h"

namespace orv::server {

RequestParseStatus clsHttpRequest::initClientRequestValues(QByteArrayView request) {
  RequestParseResult result = parseHttpRequest(request);
  if (result.status == RequestParseStatus::Ok) {
    m_request = std::move(result.request);
  }
  return result.status;
}

void clsHttpRequest::buildServerRequest() {
  m_fullResponseHead = buildResponseHead(m_response);
  m_response.cookies.clear();
}

void clsHttpRequest::addServerCookie(const QByteArray& cookieName, const QByteArray& cookieValue,
                                     const QByteArray& cookieExpires, const QByteArray& cookiePath,
                                     const QByteArray& cookieDomain) {
  m_response.cookies.append(cookieText(cookieName, cookieValue, cookieExpires, cookiePath, cookieDomain));
}

}  // namespace orv::server
