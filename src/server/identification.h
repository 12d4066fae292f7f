#pragma once

#include "server/request_context.h"
#include "server/road_decision.h"

#include <QString>

// Identification of the client on a restricted share, the ban of addresses that fail too
// often, and the naming of the client for the transfer lists and the history.
namespace orv::server {

// Where a login and password came from.
enum class CredentialSource : int {
  None = 0,
  Basic = 1,   // the Authorization header of HTTP Basic
  Form = 2,    // the fields "user" and "password" of the login form's body
  Cookie = 3,  // the cookies "user" and "password" that a form login set
};

struct Credentials {
  QString login;
  QString password;
  CredentialSource source = CredentialSource::None;
  bool basicHeaderGiven = false;  // an Authorization header of the Basic scheme came
  bool holdsNul = false;          // a decoded value holds a NUL character
};

// The Basic credentials of an Authorization header value ("Basic " and Base64 of
// "login:password"): the login before the first ":" of the decoded text, the password after
// it (a password may hold ":", a login cannot). A value that is no Base64 text, or whose decoded text is shorter than 3
// characters or holds no ":", gives no login and no password, though the header was given.
Credentials getBasicCredentials(const QString& authorization);

// The credentials of a request, in this order of preference: the form fields of the body
// (percent-decoded once, as a browser sends them), the cookies (the login percent-decoded,
// the "password" cookie's hash as it stands), the Basic header.
Credentials getRequestCredentials(const clsHttpRequest& request);

// Identifies the client when the share that serves the request is restricted and the
// request is not for a resource; then names the client (context.clientInfos, to be copied
// into the connection's file reader).
//
// On success it fills login, account key and the account's icons, and after a form login
// adds the cookies "user" (the login, percent-encoded) and "password" (the keyed hash of the
// account's login and password, fnctLoginCookieValue) to context.request, both HttpOnly and
// SameSite=Lax; both last one year when the form's "savepwd" is "on", else until the
// browser closes. A "password" cookie is checked against that hash, never as a password. A failure with a login or a
// password counts against the address (LOGIN_FAILED in the history); the failure that reaches MAX_IDENTIFICATION_ERROR
// bans it (BANNED) and is answered 403. A banned address is answered 403 "IP banned" on every restricted share until
// BAN_DURATION seconds after its last failure, even with the right password. Other failures get the challenge: the
// Basic one (WWW-Authenticate set on context.request, error page 401 with the request object) for IDENTIFICATION_METHOD
// 1 and for audio players, else the login page with status 401. A NUL character in a credential is answered 400.
RoadDecision fnctIdentifyClient(RequestContext& context);

}  // namespace orv::server
