#pragma once

// The methods of a request line, by their codes.
namespace orv::server {

enum class HttpMethodCode : int {
  CONNECT = 0,
  DELETE = 1,
  GET = 2,
  HEAD = 3,
  POST = 4,
  PUT = 5,
  TRACE = 6,
  OTHER = 7,  // any other method
};

}  // namespace orv::server
