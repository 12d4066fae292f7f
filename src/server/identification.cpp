#include "server/identification.h"

#include "core/base64.h"
#include "core/configuration.h"
#include "core/history_store.h"
#include "core/language.h"
#include "core/text_encoding.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "server/account_check.h"
#include "server/http_dates.h"
#include "server/ip_counters.h"
#include "server/login_cookie.h"
#include "server/query_values.h"
#include "server/response_head.h"

namespace orv::server {
namespace {

using core::gConfiguration;

constexpr QChar kNul = QChar(u'\0');

bool isBase64Character(QChar character) {
  const char16_t c = character.unicode();
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'+' || c == u'/';
}

// Standard Base64 (RFC 4648 section 4): the alphabet, then at most two "=" that fill the
// last group of four. The decoder itself reads anything, so a header of another kind would
// otherwise turn into a login attempt that counts against the address.
bool isBase64Text(const QString& text) {
  qsizetype end = text.size();
  while (end > 0 && text.at(end - 1) == QLatin1Char('=')) {
    --end;
  }
  const qsizetype fill = text.size() - end;
  if (end == 0 || fill > 2 || end % 4 == 1 || (fill > 0 && text.size() % 4 != 0)) {
    return false;
  }
  for (qsizetype p = 0; p < end; ++p) {
    if (!isBase64Character(text.at(p))) {
      return false;
    }
  }
  return true;
}

QString decodeOnce(const QString& text) {
  return core::fnctUrlDecode(text, false);
}

// A quoted-string of RFC 7230 section 3.2.6: a quote or backslash of the text is escaped.
QString quoted(const QString& text) {
  QString escaped = text;
  escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
  escaped.replace(QLatin1Char('"'), QStringLiteral("\\\""));
  return QLatin1Char('"') + escaped + QLatin1Char('"');
}

RoadDecision challenge(RequestContext& context, bool basicMethod) {
  if (basicMethod) {
    context.request.setServerWWWAuthenticate(
        QByteArrayLiteral("Basic realm=") +
        platform::toAnsi(quoted(core::gLanguage.text(u"HTLM/IDENTIFICATION/INFO"))));
    RoadDecision decision = fnctErrorPage(401);
    decision.passRequestObject = true;
    return decision;
  }
  RoadDecision decision;
  decision.answer = RoadAnswer::LoginPage;
  decision.status = 401;
  decision.title = core::gLanguage.text(u"HTLM/IDENTIFICATION/TITLE");
  return decision;
}

// Scripts of a page never read the login cookies, and other sites' pages do not send them
// along with their own requests to this server, bar plain links.
constexpr char kCookieFlags[] = "; HttpOnly; SameSite=Lax";

void addLoginCookies(RequestContext& context, const Credentials& credentials) {
  const QString body = platform::fromAnsi(context.request.getClientBodyData());
  const bool remember = getParamValue(body, QStringLiteral("savepwd"), QStringLiteral("&"))
                            .compare(QLatin1StringView("on"), Qt::CaseInsensitive) == 0;
  const QByteArray expires = remember ? getRFC1123DateFormat(platform::currentDateTime().addYears(1)) : QByteArray();
  const core::tConfUsers& accounts = gConfiguration.Users;
  // Both values stay within the characters a cookie may hold (RFC 6265 section 4.1.1): the
  // login percent-encoded, the keyed hash in hexadecimal.
  const QByteArray user = platform::toAnsi(core::fnctUrlEncode(credentials.login));
  const QByteArray password =
      fnctLoginCookieValue(accounts.login.value(context.accountKey), accounts.password.value(context.accountKey));
  context.request.addServerCookieLines(
      QList<QByteArray>{cookieText(QByteArrayLiteral("user"), user, expires, {}, {}) + kCookieFlags,
                        cookieText(QByteArrayLiteral("password"), password, expires, {}, {}) + kCookieFlags});
}

}  // namespace

Credentials getBasicCredentials(const QString& authorization) {
  Credentials credentials;
  if (authorization.size() <= 6 || !authorization.startsWith(QLatin1StringView("basic"), Qt::CaseInsensitive)) {
    return credentials;
  }
  credentials.basicHeaderGiven = true;
  const QString encoded = authorization.mid(6).trimmed();
  if (!isBase64Text(encoded)) {
    return credentials;
  }
  const QString decoded = core::clsBase64().fnctDecodeToString(encoded);
  if (decoded.size() < 3 || !decoded.contains(QLatin1Char(':'))) {
    return credentials;
  }
  credentials.login = decoded.left(decoded.indexOf(QLatin1Char(':')));
  // A login never holds a ":", a password may: the first ":" is the one between them.
  credentials.password = decoded.mid(decoded.indexOf(QLatin1Char(':')) + 1);
  credentials.source = CredentialSource::Basic;
  credentials.holdsNul = decoded.contains(kNul);
  return credentials;
}

Credentials getRequestCredentials(const clsHttpRequest& request) {
  const Credentials basic = getBasicCredentials(platform::fromAnsi(request.getClientAuthorization()));
  Credentials credentials;
  credentials.basicHeaderGiven = basic.basicHeaderGiven;

  const QString body = platform::fromAnsi(request.getClientBodyData());
  credentials.login = decodeOnce(getParamValue(body, QStringLiteral("user"), QStringLiteral("&")));
  credentials.password = decodeOnce(getParamValue(body, QStringLiteral("password"), QStringLiteral("&")));
  credentials.source = CredentialSource::Form;

  if (credentials.login.isEmpty() && credentials.password.isEmpty()) {
    const QString cookie = platform::fromAnsi(request.getClientCookie());
    credentials.login = decodeOnce(getParamValue(cookie, QStringLiteral("user"), QStringLiteral(";")));
    // The keyed hash of a form login, checked as it stands (getUserFromLoginCookie).
    credentials.password = getParamValue(cookie, QStringLiteral("password"), QStringLiteral(";"));
    credentials.source = CredentialSource::Cookie;
  }
  if (credentials.login.isEmpty() && credentials.password.isEmpty()) {
    credentials.login = basic.login;
    credentials.password = basic.password;
    credentials.source = basic.source;
  }
  credentials.holdsNul = credentials.login.contains(kNul) || credentials.password.contains(kNul);
  return credentials;
}

RoadDecision fnctIdentifyClient(RequestContext& context) {
  context.login.clear();
  context.accountKey.clear();
  context.pageIcon.clear();
  context.urlIcon.clear();

  if (context.share.restricted && context.kind != RequestKind::Resource) {
    const core::tConfProtocol& protocol = gConfiguration.Protocol;
    const bool basicMethod = protocol.IDENTIFICATION_METHOD == 1 || context.audioPlayer;
    const Credentials credentials = getRequestCredentials(context.request);
    if (credentials.holdsNul) {
      return fnctErrorPage(400);
    }
    const QString accountKey =
        credentials.source == CredentialSource::Cookie
            ? getUserFromLoginCookie(credentials.login, credentials.password, context.share.users)
            : getUserFromLogin(credentials.login, credentials.password, context.share.users);
    // A banned address is refused before its login is looked at, even a right one.
    if (isIpBanned(context.clientIp)) {
      return fnctErrorPage(403, QStringLiteral("IP banned"));
    }
    if (accountKey == QStringLiteral("-1") || (basicMethod && !credentials.basicHeaderGiven)) {
      if (!credentials.login.isEmpty() || !credentials.password.isEmpty()) {
        subIncrementIpCounter(context.clientIp);
        core::subAddEntryInHistory(core::HistoryEventType::LOGIN_FAILED, context.clientIp, QString());
        if (getCounterValue(gConfiguration.AppState.colIpIdentificationErrors, context.clientIp) ==
            protocol.MAX_IDENTIFICATION_ERROR) {
          const QString duration = QString::number(protocol.BAN_DURATION);
          core::subAddEntryInHistory(core::HistoryEventType::BANNED, context.clientIp, duration);
          return fnctErrorPage(403, QStringLiteral("Too many identification errors : IP banned for ") + duration +
                                        QStringLiteral(" seconds"));
        }
      }
      return challenge(context, basicMethod);
    }
    context.login = credentials.login;
    context.accountKey = accountKey;
    context.pageIcon = gConfiguration.Users.pagesicon.value(accountKey);
    context.urlIcon = gConfiguration.Users.urlsicon.value(accountKey);
    if (credentials.source == CredentialSource::Form) {
      addLoginCookies(context, credentials);
    }
  }

  context.clientInfos = context.login.isEmpty()
                            ? context.clientIp
                            : context.clientIp + QStringLiteral(" (") + context.login + QLatin1Char(')');
  return {};
}

}  // namespace orv::server
