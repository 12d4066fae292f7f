#pragma once

#include "server/request_context.h"
#include "server/request_parser.h"
#include "server/road_decision.h"
#include "server/server_engine.h"

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

// The intake of the request road: collecting a connection's bytes into one request, refusing
// one that is too large or unreadable, the checks of the parsed request, and the handler that
// runs the whole road from the bytes received to dispatch.
//
// The road, in order: intake (this file), fnctRouteRequest, fnctIdentifyClient (whose client
// text goes into the connection's file reader), fnctCheckLocalPath, fnctDispatchRequest. A
// step that ends the request answers through the page senders (subSendRoadDecision). Every
// path then leaves through the common exit: the folder page counter of the client is lowered
// when context.folderCounterRaised is set, whether the step returned or threw (the engine
// closes a connection whose request threw).
namespace orv::server {

enum class RequestAssemblyStatus {
  Incomplete,  // wait for more bytes
  Complete,    // one request, within the size limit
  TooLarge,    // the request has, or announces, more bytes than the limit: 413
  Bad,         // the bytes can never become a request: 400
};

struct RequestAssembly {
  RequestAssemblyStatus status = RequestAssemblyStatus::Incomplete;
  ParsedRequest request;    // Complete
  qsizetype bytesUsed = 0;  // Complete: the request's bytes; what follows begins the next one
  qsizetype size = 0;       // TooLarge: the bytes it has, or its head and announced body
  QByteArray error;         // Bad: why, for the log
};

// The first request of the text a connection has received (what it kept, then what just
// came), read up to its blank line and as many body bytes as Content-Length says. A
// Content-Length that is missing, not a number or negative counts as 0. The size limit
// (HTTP_MAX_REQUEST_SIZE) applies to the request, not to what the client sent after it: a
// request is too large when it is longer than the limit, when more than the limit has come
// without a complete request, or when its head and announced body would be longer, so that
// a huge Content-Length is refused at once instead of waited for.
RequestAssembly fnctAssembleRequest(QByteArrayView text, double maxRequestSize);

// What a connection keeps of the bytes that came while an answer was still being made or
// sent: all of them, up to HTTP_MAX_REQUEST_SIZE times (HTTP_KEEP_ALIVE_MAX + 1). A byte past
// that could only belong to a request after more requests of the largest size than one
// connection is ever answered, so nothing that would be answered is lost, and a client that
// keeps sending during a long transfer cannot make the server hold ever more memory.
QByteArray fnctHeldBytes(QByteArray waiting);

// Reads the request object of the context into its host (the Host header before its first
// ":"), method code, URL and deflate flag, then makes the checks in their order; the first
// that fails decides the answer, with its log line:
// - the URL does not begin with "/" or the method is none of the seven: 400;
// - ALLOW_ONLY_DOMAINS is on and the host is not in DOMAINS_LIST (an empty host never is):
//   403 "Domain disallowed : " and the host;
// - the URL is longer than HTTP_MAX_URL_SIZE: 414;
// - the User-Agent holds a BANNED_CLIENTS_KEYWORDS keyword: 403 "Banned client (" agent ")";
// - the method is not GET, HEAD or POST: 405, with the Allow header "GET, HEAD, POST" set on
//   the request object that the page is sent with.
// The 400 page goes without deflate; the others with the request's flag.
RoadDecision fnctCheckRequest(RequestContext& context);

// A request (its head and its announced body) must be complete within this many idle
// intervals (HTTP_KEEP_ALIVE_TIMEOUT) from the moment its first bytes came.
inline constexpr int kRequestDeadlineIdleIntervals = 2;

// The data-arrival handler of every connection slot: the request road from the bytes the
// socket received to dispatch (fnctDispatchRequest). Bytes that follow a complete request
// stay in the socket's HttpReceiverBuffer as the start of the next one; when the answer keeps
// the connection, the next request is taken from there without waiting for more bytes.
//
// A partial request waits for the rest while bytes keep coming within the idle interval,
// but no longer than kRequestDeadlineIdleIntervals idle intervals from its first bytes: a
// client sending a head a byte at a time then loses its connection (without an answer, as
// an idle one does), so a few such clients cannot hold the connection slots for good.
void usrSocket_DataArrival(ServerEngine& server, int Index, int bytesTotal);

// The last step of the road: it gets every request that found something it may serve.
using RequestDispatcher = std::function<void(ServerEngine& server, RequestContext& context)>;

// The same road with another last step, for tests and benches.
ServerEngine::DataArrivalHandler fnctRequestRoad(RequestDispatcher dispatch);

}  // namespace orv::server
