#include "server/status_texts.h"

#include <array>
#include <string_view>

namespace orv::server {
namespace {

struct StatusText {
  std::string_view status;
  std::string_view phrase;
};

// The phrases of RFC 2616 section 10; 306 is unused there and has none here.
constexpr std::array<StatusText, 40> kHttpStatusText{{
    {"100", "Continue"},
    {"101", "Switching Protocols"},
    {"200", "OK"},
    {"201", "Created"},
    {"202", "Accepted"},
    {"203", "Non-Authoritative Information"},
    {"204", "No Content"},
    {"205", "Reset Content"},
    {"206", "Partial Content"},
    {"300", "Multiple Choices"},
    {"301", "Moved Permanently"},
    {"302", "Found"},
    {"303", "See Other"},
    {"304", "Not Modified"},
    {"305", "Use Proxy"},
    {"307", "Temporary Redirect"},
    {"400", "Bad Request"},
    {"401", "Unauthorized"},
    {"402", "Payment Required"},
    {"403", "Forbidden"},
    {"404", "Not Found"},
    {"405", "Method Not Allowed"},
    {"406", "Not Acceptable"},
    {"407", "Proxy Authentication Required"},
    {"408", "Request Timeout"},
    {"409", "Conflict"},
    {"410", "Gone"},
    {"411", "Length Required"},
    {"412", "Precondition Failed"},
    {"413", "Request Entity Too Large"},
    {"414", "Request-URI Too Long"},
    {"415", "Unsupported Media Type"},
    {"416", "Requested Range Not Satisfiable"},
    {"417", "Expectation Failed"},
    {"500", "Internal Server Error"},
    {"501", "Not Implemented"},
    {"502", "Bad Gateway"},
    {"503", "Service Unavailable"},
    {"504", "Gateway Timeout"},
    {"505", "HTTP Version Not Supported"},
}};

constexpr std::string_view kUnknownStatus = "Unknow method";

QLatin1StringView toView(std::string_view text) {
  return QLatin1StringView(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QLatin1StringView getRequestStatusMsg(QByteArrayView statusNb) {
  const std::string_view key(statusNb.data(), static_cast<std::size_t>(statusNb.size()));
  for (const StatusText& row : kHttpStatusText) {
    if (row.status == key) {
      return toView(row.phrase);
    }
  }
  return toView(kUnknownStatus);
}

}  // namespace orv::server
