#include "server/deflate.h"

#include <zlib.h>

namespace orv::server {

namespace detail {

std::optional<QByteArray> compressIntoBuffer(QByteArrayView data, qsizetype capacity) {
  constexpr qsizetype kZlibHeaderSize = 2;
  if (capacity < kZlibHeaderSize) {
    return std::nullopt;
  }
  QByteArray buffer(capacity, Qt::Uninitialized);
  auto streamSize = static_cast<uLongf>(capacity);
  const int status = compress(reinterpret_cast<Bytef*>(buffer.data()), &streamSize,
                              reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()));
  if (status != Z_OK || streamSize < static_cast<uLongf>(kZlibHeaderSize)) {
    return std::nullopt;
  }
  buffer.resize(static_cast<qsizetype>(streamSize));
  buffer.remove(0, kZlibHeaderSize);
  return buffer;
}

}  // namespace detail

std::optional<QByteArray> fnctCompressBytes(QByteArrayView data) {
  return detail::compressIntoBuffer(data, static_cast<qsizetype>(compressBound(static_cast<uLong>(data.size()))));
}

}  // namespace orv::server
