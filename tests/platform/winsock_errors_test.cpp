#include "platform/winsock_errors.h"

#include <gtest/gtest.h>

#include <netdb.h>
#include <cerrno>

namespace {

TEST(WinsockErrors, MapsErrnoToTheWinsockNumbers) {
  struct Case {
    int errnoValue;
    int winsock;
  };
  const Case cases[] = {
      {EAGAIN, 10035},       {EWOULDBLOCK, 10035}, {EINPROGRESS, 10036},   {EALREADY, 10037},     {ENOTSOCK, 10038},
      {EMSGSIZE, 10040},     {EADDRINUSE, 10048},  {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},     {ENETUNREACH, 10051},
      {ECONNABORTED, 10053}, {ECONNRESET, 10054},  {ENOBUFS, 10055},       {EISCONN, 10056},      {ENOTCONN, 10057},
      {ESHUTDOWN, 10058},    {EPIPE, 10058},       {ETIMEDOUT, 10060},     {ECONNREFUSED, 10061}, {EHOSTUNREACH, 10065},
      {EMFILE, 10024},       {EACCES, 10013},      {EINVAL, 10022},        {EFAULT, 10014},       {EINTR, 10004},
      {ENFILE, 10024},       {EBADF, 10038},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(orv::platform::winsockErrorFromErrno(c.errnoValue), c.winsock) << "errno " << c.errnoValue;
  }
}

TEST(WinsockErrors, OtherErrnoValuesKeepTheirNumber) {
  EXPECT_EQ(orv::platform::winsockErrorFromErrno(ENOSPC), ENOSPC);
  EXPECT_EQ(orv::platform::winsockErrorFromErrno(0), 0);
}

TEST(WinsockErrors, MapsLookupResultsToTheHostErrors) {
  EXPECT_EQ(orv::platform::winsockErrorFromLookup(0), 0);
  EXPECT_EQ(orv::platform::winsockErrorFromLookup(EAI_NONAME), 11001);
  EXPECT_EQ(orv::platform::winsockErrorFromLookup(EAI_AGAIN), 11002);
  EXPECT_EQ(orv::platform::winsockErrorFromLookup(EAI_FAIL), 11003);
}

}  // namespace
