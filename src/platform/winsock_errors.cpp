#include "platform/winsock_errors.h"

#include <netdb.h>
#include <cerrno>

namespace orv::platform {
namespace {

int gLastSocketError = 0;

}  // namespace

int lastSocketError() {
  return gLastSocketError;
}

void setLastSocketError(int winsockError) {
  gLastSocketError = winsockError;
}

int winsockErrorFromErrno(int errnoValue) {
  switch (errnoValue) {
    case EINTR:
      return kWsaEintr;
    case EACCES:
    case EPERM:
      return kWsaEacces;
    case EFAULT:
      return kWsaEfault;
    case EINVAL:
      return kWsaEinval;
    case EMFILE:
    case ENFILE:
      return kWsaEmfile;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EAGAIN:
      return kWsaEwouldblock;
    case EINPROGRESS:
      return kWsaEinprogress;
    case EALREADY:
      return kWsaEalready;
    case ENOTSOCK:
    case EBADF:
      return kWsaEnotsock;
    case EMSGSIZE:
      return kWsaEmsgsize;
    case EADDRINUSE:
      return kWsaEaddrinuse;
    case EADDRNOTAVAIL:
      return kWsaEaddrnotavail;
    case ENETDOWN:
      return kWsaEnetdown;
    case ENETUNREACH:
      return kWsaEnetunreach;
    case ECONNABORTED:
      return kWsaEconnaborted;
    case ECONNRESET:
      return kWsaEconnreset;
    case ENOBUFS:
    case ENOMEM:
      return kWsaEnobufs;
    case EISCONN:
      return kWsaEisconn;
    case ENOTCONN:
      return kWsaEnotconn;
    case ESHUTDOWN:
    case EPIPE:
      return kWsaEshutdown;
    case ETIMEDOUT:
      return kWsaEtimedout;
    case ECONNREFUSED:
      return kWsaEconnrefused;
    case EHOSTUNREACH:
      return kWsaEhostunreach;
    default:
      return errnoValue;
  }
}

int winsockErrorFromLookup(int lookupResult) {
  switch (lookupResult) {
    case 0:
      return 0;
    case EAI_NONAME:
    case EAI_FAMILY:
      return kWsaHostNotFound;
    case EAI_AGAIN:
      return kWsaTryAgain;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
      return kWsaNoData;
    case EAI_SYSTEM:
      return winsockErrorFromErrno(errno);
    default:
      return kWsaNoRecovery;
  }
}

}  // namespace orv::platform
