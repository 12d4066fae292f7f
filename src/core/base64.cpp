#include "core/base64.h"

#include "platform/codepage.h"

#include <QByteArray>

#include <array>

namespace orv::core {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The 6-bit value of each alphabet byte; 0 for every other byte, so it reads as "A".
constexpr std::array<quint8, 256> kReverse = [] {
  std::array<quint8, 256> reverse{};
  for (quint8 value = 0; value < 64; ++value) {
    reverse[static_cast<unsigned char>(kAlphabet[value])] = value;
  }
  return reverse;
}();

constexpr qsizetype kLineLength = 76;

QString encode(const QString& text, bool withLineBreaks) {
  const QByteArray bytes = platform::toAnsi(text);
  const qsizetype n = bytes.size();
  const qsizetype encodedLength = 4 * (n / 3) + (n % 3 != 0 ? 4 : 0);
  const qsizetype breaks = withLineBreaks && encodedLength > 0 ? (encodedLength - 1) / kLineLength : 0;
  QString out(encodedLength + 2 * breaks, Qt::Uninitialized);
  QChar* cursor = out.data();
  qsizetype onLine = 0;
  const auto put = [&](unsigned value) {
    if (withLineBreaks && onLine == kLineLength) {
      *cursor++ = QLatin1Char('\r');
      *cursor++ = QLatin1Char('\n');
      onLine = 0;
    }
    *cursor++ = QLatin1Char(kAlphabet[value & 63]);
    ++onLine;
  };
  const auto byteAt = [&](qsizetype i) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[i])); };
  qsizetype i = 0;
  for (; i + 2 < n; i += 3) {
    const unsigned b0 = byteAt(i);
    const unsigned b1 = byteAt(i + 1);
    const unsigned b2 = byteAt(i + 2);
    put(b0 >> 2);
    put(((b0 & 3) << 4) | (b1 >> 4));
    put(((b1 & 15) << 2) | (b2 >> 6));
    put(b2 & 63);
  }
  if (n - i == 1) {
    const unsigned b0 = byteAt(i);
    put(b0 >> 2);
    put((b0 & 3) << 4);
    *cursor++ = QLatin1Char('=');
    *cursor++ = QLatin1Char('=');
  } else if (n - i == 2) {
    const unsigned b0 = byteAt(i);
    const unsigned b1 = byteAt(i + 1);
    put(b0 >> 2);
    put(((b0 & 3) << 4) | (b1 >> 4));
    put((b1 & 15) << 2);
    *cursor++ = QLatin1Char('=');
  }
  return out;
}

}  // namespace

QString clsBase64::fnctEncodeString(const QString& text) const {
  return encode(text, true);
}

QString clsBase64::fnctEncodeStringSingleLine(const QString& text) const {
  return encode(text, false);
}

QString clsBase64::fnctDecodeToString(const QString& text) const {
  QString cleaned = text;
  cleaned.remove(QStringLiteral("\r\n"));
  cleaned.remove(QLatin1Char('='));
  const QByteArray codes = platform::toAnsi(cleaned);
  const qsizetype n = codes.size();
  if (n < 2) {
    return {};
  }
  const qsizetype remainder = n % 4;
  QByteArray bytes(3 * (n / 4) + (remainder == 2 ? 1 : remainder == 3 ? 2 : 0), Qt::Uninitialized);
  const auto valueAt = [&](qsizetype i) {
    return static_cast<unsigned>(kReverse[static_cast<unsigned char>(codes[i])]);
  };
  qsizetype out = 0;
  qsizetype i = 0;
  for (; i + 3 < n; i += 4) {
    const unsigned c0 = valueAt(i);
    const unsigned c1 = valueAt(i + 1);
    const unsigned c2 = valueAt(i + 2);
    const unsigned c3 = valueAt(i + 3);
    bytes[out++] = static_cast<char>(((c0 << 2) | (c1 >> 4)) & 0xFF);
    bytes[out++] = static_cast<char>(((c1 << 4) | (c2 >> 2)) & 0xFF);
    bytes[out++] = static_cast<char>(((c2 << 6) | c3) & 0xFF);
  }
  if (remainder >= 2) {
    const unsigned c0 = valueAt(i);
    const unsigned c1 = valueAt(i + 1);
    bytes[out++] = static_cast<char>(((c0 << 2) | (c1 >> 4)) & 0xFF);
    if (remainder == 3) {
      const unsigned c2 = valueAt(i + 2);
      bytes[out++] = static_cast<char>(((c1 << 4) | (c2 >> 2)) & 0xFF);
    }
  }
  return platform::fromAnsi(bytes);
}

}  // namespace orv::core
