#pragma once

// The socket layer reports failures with the Winsock numbers its callers and its error
// texts know. This maps the system's errno values onto them.
namespace orv::platform {

inline constexpr int kWsaEintr = 10004;
inline constexpr int kWsaEacces = 10013;
inline constexpr int kWsaEfault = 10014;
inline constexpr int kWsaEinval = 10022;
inline constexpr int kWsaEmfile = 10024;
inline constexpr int kWsaEwouldblock = 10035;
inline constexpr int kWsaEinprogress = 10036;
inline constexpr int kWsaEalready = 10037;
inline constexpr int kWsaEnotsock = 10038;
inline constexpr int kWsaEmsgsize = 10040;
inline constexpr int kWsaEaddrinuse = 10048;
inline constexpr int kWsaEaddrnotavail = 10049;
inline constexpr int kWsaEnetdown = 10050;
inline constexpr int kWsaEnetunreach = 10051;
inline constexpr int kWsaEconnaborted = 10053;
inline constexpr int kWsaEconnreset = 10054;
inline constexpr int kWsaEnobufs = 10055;
inline constexpr int kWsaEisconn = 10056;
inline constexpr int kWsaEnotconn = 10057;
inline constexpr int kWsaEshutdown = 10058;
inline constexpr int kWsaEtimedout = 10060;
inline constexpr int kWsaEconnrefused = 10061;
inline constexpr int kWsaEhostunreach = 10065;
inline constexpr int kWsaHostNotFound = 11001;
inline constexpr int kWsaTryAgain = 11002;
inline constexpr int kWsaNoRecovery = 11003;
inline constexpr int kWsaNoData = 11004;

// The Winsock error number of the last failed socket call, as WSAGetLastError.
int lastSocketError();
void setLastSocketError(int winsockError);

// The Winsock number of an errno value; a value without one keeps its own number.
int winsockErrorFromErrno(int errnoValue);

// The Winsock number of a getaddrinfo result (EAI_*); 0 stays 0.
int winsockErrorFromLookup(int lookupResult);

}  // namespace orv::platform
