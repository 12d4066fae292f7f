#include "platform/surrogate_escape.h"

#include <algorithm>

namespace orv::platform {
namespace {

bool isContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// The length of the well-formed sequence that starts at data[0] (Unicode's table of
// well-formed UTF-8 byte sequences), or 0 when the bytes there form none. The second
// byte's range is what rules out overlong forms, surrogates and codes above U+10FFFF.
qsizetype wellFormedLength(const unsigned char* data, qsizetype available, char32_t& code) {
  const unsigned char lead = data[0];
  qsizetype length;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
    if (lead == 0xE0) {
      low = 0xA0;
    } else if (lead == 0xED) {
      high = 0x9F;
    }
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
    if (lead == 0xF0) {
      low = 0x90;
    } else if (lead == 0xF4) {
      high = 0x8F;
    }
  } else {
    return 0;
  }
  if (available < length || data[1] < low || data[1] > high) {
    return 0;
  }
  for (qsizetype i = 1; i < length; ++i) {
    if (!isContinuation(data[i])) {
      return 0;
    }
    code = (code << 6) | (data[i] & 0x3F);
  }
  return length;
}

// Every path of every request passes here, nearly always ASCII: one pass without branches.
bool isAscii(QByteArrayView bytes) {
  unsigned char bits = 0;
  for (const char byte : bytes) {
    bits |= static_cast<unsigned char>(byte);
  }
  return bits < 0x80;
}

bool isAscii(QStringView text) {
  char16_t bits = 0;
  for (const QChar c : text) {
    bits |= c.unicode();
  }
  return bits < 0x80;
}

bool holdsSurrogate(QStringView text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isSurrogate(); });
}

}  // namespace

QString decodeUtf8Escaped(QByteArrayView bytes) {
  if (isAscii(bytes)) {
    return QString::fromLatin1(bytes);
  }
  QString text;
  text.reserve(bytes.size());
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const qsizetype size = bytes.size();
  for (qsizetype i = 0; i < size;) {
    const unsigned char byte = data[i];
    if (byte < 0x80) {
      text += QChar(static_cast<char16_t>(byte));
      ++i;
      continue;
    }
    char32_t code = 0;
    const qsizetype length = wellFormedLength(data + i, size - i, code);
    if (length == 0) {
      text += QChar(static_cast<char16_t>(kEscapedByteBase + byte));
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      text += QChar(QChar::highSurrogate(code));
      text += QChar(QChar::lowSurrogate(code));
    } else {
      text += QChar(static_cast<char16_t>(code));
    }
    i += length;
  }
  return text;
}

QByteArray encodeUtf8Escaped(QStringView text) {
  if (isAscii(text)) {
    return text.toLatin1();
  }
  if (!holdsSurrogate(text)) {
    return text.toUtf8();
  }
  QByteArray bytes;
  bytes.reserve(text.size() * 3);
  const qsizetype size = text.size();
  for (qsizetype i = 0; i < size; ++i) {
    const char16_t unit = text[i].unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < size && QChar::isLowSurrogate(text[i + 1].unicode())) {
      const char32_t code = QChar::surrogateToUcs4(unit, text[i + 1].unicode());
      bytes += static_cast<char>(0xF0 | (code >> 18));
      bytes += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (code & 0x3F));
      ++i;
    } else if (isEscapedByte(unit)) {
      bytes += static_cast<char>(unit - kEscapedByteBase);
    } else if (QChar::isSurrogate(unit)) {
      bytes += '?';
    } else if (unit < 0x80) {
      bytes += static_cast<char>(unit);
    } else if (unit < 0x800) {
      bytes += static_cast<char>(0xC0 | (unit >> 6));
      bytes += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
      bytes += static_cast<char>(0xE0 | (unit >> 12));
      bytes += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  return bytes;
}

}  // namespace orv::platform
