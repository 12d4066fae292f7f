#include "server/identification.h"
#include "server/login_cookie.h"

#include "core/base64.h"
#include "server/http_dates.h"
#include "server/ip_counters.h"

#include "road_fixture.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

using orv::core::gConfiguration;
using orv::core::HistoryEventType;
using orv::server::CredentialSource;
using orv::server::fnctIdentifyClient;
using orv::server::getBasicCredentials;
using orv::server::RequestContext;
using orv::server::RequestKind;
using orv::server::RoadAnswer;
using orv::server::RoadDecision;

QByteArray base64(const QString& text) {
  return orv::core::clsBase64().fnctEncodeStringSingleLine(text).toLatin1();
}

QByteArray basicHeader(const QString& credentials) {
  return "Authorization: Basic " + base64(credentials) + "\r\n";
}

const QString kClient = QStringLiteral("10.0.0.5");
const QString kOther = QStringLiteral("10.0.0.6");

struct BasicCase {
  const char* authorization;
  const char* login;
  const char* password;
  bool headerGiven;
};

void PrintTo(const BasicCase& row, std::ostream* out) {
  *out << row.authorization;
}

// Each row: Authorization value -> login, password, whether a Basic header was given.
// What every login cookie ends with.
const QByteArray kFlags = "; HttpOnly; SameSite=Lax";

QByteArray token(const char* login, const QString& password) {
  return orv::server::fnctLoginCookieValue(QString::fromLatin1(login), password);
}
QByteArray token(const char* login, const char* password) {
  return token(login, QString::fromLatin1(password));
}

const BasicCase kBasicCases[] = {
    {"Basic YWxpY2U6c2VjcmV0", "alice", "secret", true},        // alice:secret
    {"basic YWxpY2U6c2VjcmV0", "alice", "secret", true},        // the scheme in any case
    {"Basic   YWxpY2U6c2VjcmV0  ", "alice", "secret", true},    // blanks around the text
    {"Basic YWxpY2U6eDpzZWNyZXQ=", "alice", "x:secret", true},  // alice:x:secret: a password may hold ":"
    {"Basic YWxpY2U6", "alice", "", true},                      // alice:
    {"Basic OnNlY3JldA==", "", "secret", true},                 // :secret
    {"Basic YTo=", "", "", true},                               // "a:" is shorter than 3
    {"Basic YWxpY2U=", "", "", true},                           // alice, no ":"
    {"Basic !!not*base64!!", "", "", true},
    {"Basic YWxpY2U6c2VjcmV0===", "", "", true},  // three fill characters
    {"Basic YWxpY2U6c2VjcmV=0", "", "", true},    // a fill character inside
    {"Basic YWxpY2U6c2VjcmV0A", "", "", true},    // a lone sixth bit group
    {"Basic ", "", "", false},                    // too short to hold anything
    {"Bearer YWxpY2U6c2VjcmV0", "", "", false},
    {"", "", "", false},
};

class BasicCredentialsTest : public testing::TestWithParam<BasicCase> {};

TEST_P(BasicCredentialsTest, ReadsTheHeader) {
  const BasicCase& row = GetParam();
  const orv::server::Credentials credentials = getBasicCredentials(QString::fromUtf8(row.authorization));
  EXPECT_EQ(credentials.login, QString::fromUtf8(row.login));
  EXPECT_EQ(credentials.password, QString::fromUtf8(row.password));
  EXPECT_EQ(credentials.basicHeaderGiven, row.headerGiven);
}

INSTANTIATE_TEST_SUITE_P(Headers, BasicCredentialsTest, testing::ValuesIn(kBasicCases));

class IdentificationTest : public RoadFixture {
 protected:
  void SetUp() override {
    RoadFixture::SetUp();
    gConfiguration.Users.add({QStringLiteral("id1"), QStringLiteral("alice"), QStringLiteral("secret"),
                              QStringLiteral("alice-page.png"), QStringLiteral("alice-url.png")});
    gConfiguration.Users.add({QStringLiteral("id2"), QStringLiteral("bob"), QStringLiteral("a b&c%"), {}, {}});
    gConfiguration.Users.add(
        {QStringLiteral("id3"), QStringLiteral("carl"), QString(QLatin1Char('p')).repeated(120), {}, {}});
    gConfiguration.Protocol.IDENTIFICATION_METHOD = 2;
    gConfiguration.Protocol.MAX_IDENTIFICATION_ERROR = 3;
    gConfiguration.Protocol.BAN_DURATION = 240;
  }

  // A request to a restricted share that admits alice, bob and carl.
  static RequestContext restricted(const QByteArray& headerLines = {}, const QByteArray& body = {},
                                   const QString& ip = kClient) {
    RequestContext context = contextFor(QStringLiteral("/private/"), headerLines, body);
    context.clientIp = ip;
    context.share.restricted = true;
    context.share.users = QStringLiteral("alice:bob:carl");
    return context;
  }

  // The Set-Cookie lines of the response head the request object would send.
  static QList<QByteArray> cookies(RequestContext& context) {
    context.request.setServerStatusNb("200");
    context.request.setServerHttpVersion("1.1");
    context.request.buildServerRequest();
    QList<QByteArray> lines;
    for (const QByteArray& line : context.request.getServerFullRequest().split('\n')) {
      if (line.startsWith("Set-Cookie: ")) {
        lines.append(line.chopped(1).mid(12));
      }
    }
    return lines;
  }

  static QByteArray responseHead(RequestContext& context) {
    context.request.setServerStatusNb("401");
    context.request.setServerHttpVersion("1.1");
    context.request.buildServerRequest();
    return context.request.getServerFullRequest();
  }

  static int failures(const QString& ip = kClient) {
    return orv::server::getCounterValue(gConfiguration.AppState.colIpIdentificationErrors, ip);
  }

  static void at(qint64 secondsAfterStart) { orv::platform::setFixedDateTime(kStart.addSecs(secondsAfterStart)); }
};

TEST_F(IdentificationTest, AnOpenShareAsksNothingAndNamesTheClientByItsAddress) {
  RequestContext context = contextFor(QStringLiteral("/"), basicHeader(QStringLiteral("alice:secret")));
  EXPECT_TRUE(fnctIdentifyClient(context).goesOn());
  EXPECT_TRUE(context.login.isEmpty());
  EXPECT_EQ(context.clientInfos, kClient);
}

TEST_F(IdentificationTest, AResourceIsNeverIdentified) {
  RequestContext context = restricted();
  context.kind = RequestKind::Resource;
  EXPECT_TRUE(fnctIdentifyClient(context).goesOn());
  EXPECT_EQ(context.clientInfos, kClient);
}

TEST_F(IdentificationTest, BasicLoginSucceedsWithTheAccountsIconsAndNoCookie) {
  gConfiguration.Protocol.IDENTIFICATION_METHOD = 1;
  RequestContext context = restricted(basicHeader(QStringLiteral("ALICE:SECRET")));
  EXPECT_TRUE(fnctIdentifyClient(context).goesOn());
  EXPECT_EQ(context.login, QStringLiteral("ALICE"));
  EXPECT_EQ(context.accountKey, QStringLiteral("id1"));
  EXPECT_EQ(context.pageIcon, QStringLiteral("alice-page.png"));
  EXPECT_EQ(context.urlIcon, QStringLiteral("alice-url.png"));
  EXPECT_EQ(context.clientInfos, QStringLiteral("10.0.0.5 (ALICE)"));
  EXPECT_TRUE(cookies(context).isEmpty());
}

TEST_F(IdentificationTest, BasicChallengeCarriesTheRealmAndCountsNothingWithoutCredentials) {
  gConfiguration.Protocol.IDENTIFICATION_METHOD = 1;
  orv::core::gLanguage.setText(u"HTLM/IDENTIFICATION/INFO", QStringLiteral("Members \"only\""));
  RequestContext context = restricted();
  const RoadDecision decision = fnctIdentifyClient(context);
  EXPECT_EQ(decision.answer, RoadAnswer::MessagePage);
  EXPECT_EQ(decision.status, 401);
  EXPECT_EQ(decision.title, QStringLiteral("Error"));
  EXPECT_EQ(decision.message, QStringLiteral("Error 401 : Unauthorized"));
  EXPECT_TRUE(decision.passRequestObject);
  EXPECT_TRUE(responseHead(context).contains("\r\nWWW-Authenticate: Basic realm=\"Members \\\"only\\\"\"\r\n"));
  EXPECT_EQ(failures(), -1);
  EXPECT_TRUE(orv::core::gHistoryLists.events.empty());
}

TEST_F(IdentificationTest, BasicCredentialsThatAreNoCredentialsAreNotCounted) {
  gConfiguration.Protocol.IDENTIFICATION_METHOD = 1;
  for (const QByteArray& header : {QByteArray("Authorization: Basic !!!\r\n"), basicHeader(QStringLiteral("alice")),
                                   basicHeader(QStringLiteral("a:"))}) {
    RequestContext context = restricted(header);
    EXPECT_EQ(fnctIdentifyClient(context).status, 401) << header.constData();
  }
  EXPECT_EQ(failures(), -1);
}

TEST_F(IdentificationTest, AWrongPasswordIsCountedAndRecorded) {
  gConfiguration.Protocol.IDENTIFICATION_METHOD = 1;
  RequestContext context = restricted(basicHeader(QStringLiteral("alice:wrong")));
  EXPECT_EQ(fnctIdentifyClient(context).status, 401);
  EXPECT_EQ(failures(), 1);
  ASSERT_EQ(orv::core::gHistoryLists.count(), 1);
  EXPECT_EQ(lastEvent().type, HistoryEventType::LOGIN_FAILED);
  EXPECT_EQ(lastEvent().ipAddress, kClient);
  EXPECT_TRUE(lastEvent().text.isEmpty());
}

TEST_F(IdentificationTest, AnAccountThatTheShareDoesNotAdmitFails) {
  RequestContext context = restricted({}, "user=alice&password=secret");
  context.share.users = QStringLiteral("bob");
  EXPECT_EQ(fnctIdentifyClient(context).answer, RoadAnswer::LoginPage);
  EXPECT_EQ(failures(), 1);
}

TEST_F(IdentificationTest, BasicModeWantsTheHeaderEvenWhenTheFormBodyIsRight) {
  gConfiguration.Protocol.IDENTIFICATION_METHOD = 1;
  RequestContext context = restricted({}, "user=alice&password=secret");
  EXPECT_EQ(fnctIdentifyClient(context).status, 401);
  EXPECT_EQ(failures(), 1);
}

TEST_F(IdentificationTest, FormModeWithoutCredentialsGetsTheLoginPage) {
  RequestContext context = restricted();
  const RoadDecision decision = fnctIdentifyClient(context);
  EXPECT_EQ(decision.answer, RoadAnswer::LoginPage);
  EXPECT_EQ(decision.status, 401);
  EXPECT_EQ(decision.title, QStringLiteral("Login"));
  EXPECT_FALSE(decision.passRequestObject);
  EXPECT_FALSE(responseHead(context).contains("WWW-Authenticate"));
  EXPECT_EQ(failures(), -1);
}

TEST_F(IdentificationTest, AnAudioPlayerAlwaysGetsTheBasicChallenge) {
  RequestContext context = restricted();
  context.audioPlayer = true;
  const RoadDecision decision = fnctIdentifyClient(context);
  EXPECT_EQ(decision.answer, RoadAnswer::MessagePage);
  EXPECT_EQ(decision.status, 401);
  EXPECT_TRUE(responseHead(context).contains("WWW-Authenticate: Basic realm=\"Members\""));
}

TEST_F(IdentificationTest, AFormLoginSetsSessionCookies) {
  RequestContext context = restricted({}, "user=alice&password=secret");
  EXPECT_TRUE(fnctIdentifyClient(context).goesOn());
  EXPECT_EQ(context.login, QStringLiteral("alice"));
  EXPECT_EQ(cookies(context),
            (QList<QByteArray>{"user=alice" + kFlags, "password=" + token("alice", "secret") + kFlags}));
}

// The password cookie is a keyed hash of the account's login and password: neither the
// password nor its Base64 form, and another password gives another hash.
TEST_F(IdentificationTest, ThePasswordCookieHoldsAKeyedHashNeverThePassword) {
  const QByteArray value = token("alice", "secret");
  EXPECT_EQ(value.size(), 64);
  EXPECT_FALSE(value.contains("secret"));
  EXPECT_FALSE(value.contains(base64(QStringLiteral("secret"))));
  EXPECT_NE(value, token("alice", "Secret"));
  EXPECT_NE(value, token("alic", "esecret"));
  // The old form, the password in Base64, identifies nobody and counts as a failure.
  RequestContext old = restricted("Cookie: user=alice; password=" + base64(QStringLiteral("secret")) + "\r\n");
  EXPECT_EQ(fnctIdentifyClient(old).status, 401);
  EXPECT_EQ(failures(), 1);
  // A changed password ends the remembered login.
  RequestContext context = restricted("Cookie: user=alice; password=" + value + "\r\n");
  EXPECT_TRUE(fnctIdentifyClient(context).goesOn());
  gConfiguration.Users.password.set(QStringLiteral("id1"), QStringLiteral("changed"));
  RequestContext changed = restricted("Cookie: user=alice; password=" + value + "\r\n");
  EXPECT_EQ(fnctIdentifyClient(changed).status, 401);
}

TEST_F(IdentificationTest, SavingThePasswordMakesTheCookiesLastOneYear) {
  RequestContext context = restricted({}, "user=alice&password=secret&savepwd=on");
  EXPECT_TRUE(fnctIdentifyClient(context).goesOn());
  const QByteArray expires = "; expires=" + orv::server::getRFC1123DateFormat(kStart.addYears(1));
  EXPECT_EQ(cookies(context), (QList<QByteArray>{"user=alice" + expires + kFlags,
                                                 "password=" + token("alice", "secret") + expires + kFlags}));

  RequestContext off = restricted({}, "user=alice&password=secret&savepwd=off");
  EXPECT_TRUE(fnctIdentifyClient(off).goesOn());
  EXPECT_FALSE(cookies(off).join().contains("expires"));
}

TEST_F(IdentificationTest, FormFieldsAreReadAsTheBrowserEncodesThem) {
  RequestContext context = restricted({}, "user=b%6Fb&password=a+b%26c%25");
  EXPECT_TRUE(fnctIdentifyClient(context).goesOn());
  EXPECT_EQ(context.accountKey, QStringLiteral("id2"));
  // The cookies hold the login percent-encoded and the hash in hexadecimal, so neither a
  // blank, ";" nor "," can cut them short.
  EXPECT_EQ(cookies(context), (QList<QByteArray>{"user=bob" + kFlags, "password=" + token("bob", "a b&c%") + kFlags}));

  RequestContext again = restricted("Cookie: user=bob; password=" + token("bob", "a b&c%") + "\r\n");
  EXPECT_TRUE(fnctIdentifyClient(again).goesOn());
  EXPECT_EQ(again.accountKey, QStringLiteral("id2"));
}

TEST_F(IdentificationTest, ALongPasswordStaysOnOneCookieLine) {
  const QString password = QString(QLatin1Char('p')).repeated(120);
  RequestContext context = restricted({}, "user=carl&password=" + password.toLatin1());
  EXPECT_TRUE(fnctIdentifyClient(context).goesOn());
  const QList<QByteArray> lines = cookies(context);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(lines.at(1), "password=" + token("carl", password) + kFlags);
  EXPECT_FALSE(lines.at(1).contains('\r'));
}

TEST_F(IdentificationTest, CookiesIdentifyWithoutSettingNewOnes) {
  RequestContext context = restricted("Cookie: theme=dark; user=alice; password=" + token("alice", "secret") + "\r\n");
  EXPECT_TRUE(fnctIdentifyClient(context).goesOn());
  EXPECT_EQ(context.accountKey, QStringLiteral("id1"));
  EXPECT_TRUE(cookies(context).isEmpty());
}

TEST_F(IdentificationTest, FormModeTakesAValidBasicHeaderWhenNothingElseCame) {
  RequestContext context = restricted(basicHeader(QStringLiteral("alice:secret")));
  EXPECT_TRUE(fnctIdentifyClient(context).goesOn());
  EXPECT_EQ(context.login, QStringLiteral("alice"));
  EXPECT_TRUE(cookies(context).isEmpty());
}

TEST_F(IdentificationTest, TheFormBodyComesBeforeCookiesAndBasic) {
  const QByteArray others = "Cookie: user=bob; password=" + base64(QStringLiteral("a b&c%")) + "\r\n" +
                            basicHeader(QStringLiteral("carl:wrong"));
  RequestContext context = restricted(others, "user=alice&password=secret");
  EXPECT_TRUE(fnctIdentifyClient(context).goesOn());
  EXPECT_EQ(context.login, QStringLiteral("alice"));
}

TEST_F(IdentificationTest, ANulCharacterInACredentialIsABadRequest) {
  const struct {
    QByteArray headerLines;
    QByteArray body;
  } rows[] = {
      {{}, "user=alice&password=se%00cret"},
      {{}, "user=ali%00ce&password=secret"},
      {"Cookie: user=al%00ice; password=" + token("alice", "secret") + "\r\n", {}},
      {basicHeader(QStringLiteral("alice:se") + QChar(u'\0') + QStringLiteral("cret")), {}},
  };
  for (const auto& row : rows) {
    RequestContext context = restricted(row.headerLines, row.body);
    const RoadDecision decision = fnctIdentifyClient(context);
    EXPECT_EQ(decision.status, 400) << row.headerLines.constData() << row.body.constData();
    EXPECT_EQ(decision.message, QStringLiteral("Error 400 : Bad Request"));
  }
  EXPECT_EQ(failures(), -1);
}

TEST_F(IdentificationTest, TheFailureThatReachesTheLimitBansTheAddressUntilTheBanRunsOut) {
  const QByteArray wrong = "user=alice&password=wrong";
  const QByteArray right = "user=alice&password=secret";
  for (const qint64 moment : {0, 10}) {
    at(moment);
    RequestContext context = restricted({}, wrong);
    EXPECT_EQ(fnctIdentifyClient(context).answer, RoadAnswer::LoginPage);
  }
  at(20);
  RequestContext third = restricted({}, wrong);
  RoadDecision decision = fnctIdentifyClient(third);
  EXPECT_EQ(decision.answer, RoadAnswer::MessagePage);
  EXPECT_EQ(decision.status, 403);
  EXPECT_EQ(decision.message, QStringLiteral("Too many identification errors : IP banned for 240 seconds"));
  ASSERT_EQ(orv::core::gHistoryLists.count(), 4);
  EXPECT_EQ(orv::core::gHistoryLists.events.at(2).type, HistoryEventType::LOGIN_FAILED);
  EXPECT_EQ(lastEvent().type, HistoryEventType::BANNED);
  EXPECT_EQ(lastEvent().ipAddress, kClient);
  EXPECT_EQ(lastEvent().text, QStringLiteral("240"));

  // Banned, even with the right password; asking neither counts nor extends the ban.
  for (const qint64 moment : {21, 150, 259}) {
    at(moment);
    RequestContext banned = restricted({}, right);
    decision = fnctIdentifyClient(banned);
    EXPECT_EQ(decision.status, 403) << moment;
    EXPECT_EQ(decision.message, QStringLiteral("IP banned"));
  }
  EXPECT_EQ(failures(), 3);
  EXPECT_EQ(orv::core::gHistoryLists.count(), 4);

  // Another address, and an open share, are not concerned.
  RequestContext other = restricted({}, right, kOther);
  EXPECT_TRUE(fnctIdentifyClient(other).goesOn());
  RequestContext open = contextFor(QStringLiteral("/"));
  EXPECT_TRUE(fnctIdentifyClient(open).goesOn());

  at(260);
  RequestContext after = restricted({}, right);
  EXPECT_TRUE(fnctIdentifyClient(after).goesOn());
  EXPECT_EQ(failures(), -1);
}

TEST_F(IdentificationTest, WithoutLimitNobodyIsBannedButFailuresAreRecorded) {
  gConfiguration.Protocol.MAX_IDENTIFICATION_ERROR = -1;
  for (int attempt = 0; attempt < 25; ++attempt) {
    RequestContext context = restricted({}, "user=alice&password=wrong");
    EXPECT_EQ(fnctIdentifyClient(context).answer, RoadAnswer::LoginPage);
  }
  EXPECT_EQ(failures(), 25);
  EXPECT_EQ(orv::core::gHistoryLists.count(), 25);
  RequestContext right = restricted({}, "user=alice&password=secret");
  EXPECT_TRUE(fnctIdentifyClient(right).goesOn());
}

}  // namespace
