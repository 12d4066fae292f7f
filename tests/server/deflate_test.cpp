#include "server/deflate.h"

#include "support/qt_printers.h"

#include <QRandomGenerator>

#include <zlib.h>

#include <gtest/gtest.h>

namespace {

using orv::server::fnctCompressBytes;

struct Inflated {
  QByteArray data;
  qsizetype bytesRead = 0;  // of the input, up to the end of the deflate data
  bool complete = false;
};

// Inflates raw deflate data, as a browser reads the body of Content-Encoding "deflate".
Inflated inflateRaw(const QByteArray& input) {
  z_stream stream{};
  Inflated result;
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
    return result;
  }
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.constData()));
  stream.avail_in = static_cast<uInt>(input.size());
  char chunk[4096];
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk);
    stream.avail_out = sizeof chunk;
    status = inflate(&stream, Z_NO_FLUSH);
    result.data.append(chunk, static_cast<qsizetype>(sizeof chunk - stream.avail_out));
  }
  result.complete = status == Z_STREAM_END;
  result.bytesRead = static_cast<qsizetype>(stream.total_in);
  inflateEnd(&stream);
  return result;
}

QByteArray bigEndianAdler32(const QByteArray& data) {
  const uLong sum =
      adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.constData()), static_cast<uInt>(data.size()));
  QByteArray bytes;
  for (int shift = 24; shift >= 0; shift -= 8) {
    bytes += static_cast<char>((sum >> shift) & 0xFF);
  }
  return bytes;
}

QByteArray randomBytes(qsizetype size) {
  QByteArray bytes(size, Qt::Uninitialized);
  QRandomGenerator generator(42);
  for (char& byte : bytes) {
    byte = static_cast<char>(generator.bounded(256));
  }
  return bytes;
}

TEST(Deflate, TheBodyInflatesToTheSameBytesFollowedByItsAdler32) {
  struct Case {
    const char* name;
    QByteArray body;
  };
  const Case cases[] = {
      {"one byte", "x"},
      {"page", QByteArray("<?xml version=\"1.0\"?><folder><item name=\"a\"/></folder>\r\n").repeated(200)},
      {"random bytes that do not compress", randomBytes(70000)},
      {"every byte value",
       [] {
         QByteArray all;
         for (int i = 0; i < 256; ++i) {
           all += static_cast<char>(i);
         }
         return all;
       }()},
  };
  for (const Case& c : cases) {
    const std::optional<QByteArray> compressed = fnctCompressBytes(c.body);
    ASSERT_TRUE(compressed.has_value()) << c.name;
    ASSERT_GT(compressed->size(), 4) << c.name;
    const Inflated inflated = inflateRaw(*compressed);
    EXPECT_TRUE(inflated.complete) << c.name;
    EXPECT_EQ(inflated.data, c.body) << c.name;
    // The deflate data is followed by exactly the 4-byte trailer of the zlib stream.
    EXPECT_EQ(inflated.bytesRead, compressed->size() - 4) << c.name;
    EXPECT_EQ(compressed->right(4), bigEndianAdler32(c.body)) << c.name;
  }
}

TEST(Deflate, TheZlibHeaderIsDropped) {
  const QByteArray body = QByteArray("hello hello hello hello").repeated(10);
  const std::optional<QByteArray> compressed = fnctCompressBytes(body);
  ASSERT_TRUE(compressed.has_value());
  QByteArray zlibStream(static_cast<qsizetype>(compressBound(static_cast<uLong>(body.size()))), Qt::Uninitialized);
  auto size = static_cast<uLongf>(zlibStream.size());
  ASSERT_EQ(compress(reinterpret_cast<Bytef*>(zlibStream.data()), &size, reinterpret_cast<const Bytef*>(body.data()),
                     static_cast<uLong>(body.size())),
            Z_OK);
  zlibStream.resize(static_cast<qsizetype>(size));
  EXPECT_EQ(static_cast<unsigned char>(zlibStream[0]), 0x78);
  EXPECT_EQ(*compressed, zlibStream.mid(2));
}

TEST(Deflate, AnEmptyBodyGivesTheDeflateDataOfNothing) {
  const std::optional<QByteArray> compressed = fnctCompressBytes(QByteArray());
  ASSERT_TRUE(compressed.has_value());
  const Inflated inflated = inflateRaw(*compressed);
  EXPECT_TRUE(inflated.complete);
  EXPECT_TRUE(inflated.data.isEmpty());
  EXPECT_EQ(compressed->right(4), QByteArray("\x00\x00\x00\x01", 4));
}

TEST(Deflate, AStreamThatDoesNotFitIsAFailureNotACutBody) {
  const QByteArray body = randomBytes(1000);
  EXPECT_FALSE(orv::server::detail::compressIntoBuffer(body, 500).has_value());
  EXPECT_FALSE(orv::server::detail::compressIntoBuffer(body, 0).has_value());
  EXPECT_TRUE(orv::server::detail::compressIntoBuffer(body, 2000).has_value());
}

}  // namespace
