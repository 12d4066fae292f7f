#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// Bodies sent with Content-Encoding "deflate".
namespace orv::server {

// The whole body compressed in one call by zlib's compress, with the stream's 2-byte header
// dropped: the raw deflate data followed by the stream's Adler-32 trailer, most significant
// byte first. Browsers read this as "deflate" whichever of the two forms they expect. An
// empty body gives the deflate data of nothing. When zlib fails the result is empty (no
// value) and the caller sends the body uncompressed, without Content-Encoding.
std::optional<QByteArray> fnctCompressBytes(QByteArrayView data);

namespace detail {
// The same into a buffer of the given size instead of zlib's own bound; a stream that does
// not fit is a failure.
std::optional<QByteArray> compressIntoBuffer(QByteArrayView data, qsizetype capacity);
}  // namespace detail

}  // namespace orv::server
