#include "core/text_encoding.h"

#include "platform/codepage.h"
#include "platform/surrogate_escape.h"

#include <array>

namespace orv::core {
namespace {

// The bytes that a URL carries as they are; every other byte is percent-encoded.
constexpr std::array<bool, 256> kKeptBytes = [] {
  std::array<bool, 256> kept{};
  for (int code = 0; code < 256; ++code) {
    kept[static_cast<std::size_t>(code)] = code == 38 || code == 42 || (code >= 45 && code <= 57) || code == 61 ||
                                           (code >= 63 && code <= 90) || code == 95 || (code >= 97 && code <= 122);
  }
  return kept;
}();

constexpr char kHexDigits[] = "0123456789ABCDEF";

int hexValue(QChar character) {
  const char16_t code = character.unicode();
  if (code >= u'0' && code <= u'9') {
    return code - u'0';
  }
  if (code >= u'A' && code <= u'F') {
    return code - u'A' + 10;
  }
  if (code >= u'a' && code <= u'f') {
    return code - u'a' + 10;
  }
  return -1;
}

// The character that the system code page gives each byte value.
const QString& ansiCharacters() {
  static const QString characters = [] {
    QByteArray bytes(256, Qt::Uninitialized);
    for (int code = 0; code < 256; ++code) {
      bytes[code] = static_cast<char>(code);
    }
    return platform::fromAnsi(bytes);
  }();
  return characters;
}

}  // namespace

QString fnctUrlEncode(const QString& text) {
  return fnctUrlEncode(fnctUnicodeToUtf8(text));
}

QString fnctUrlEncode(const QByteArray& bytes) {
  QString encoded(bytes.size() * 3, Qt::Uninitialized);
  char16_t* out = reinterpret_cast<char16_t*>(encoded.data());
  for (const char byte : bytes) {
    const auto code = static_cast<unsigned char>(byte);
    if (kKeptBytes[code]) {
      *out++ = code;
    } else {
      *out++ = u'%';
      *out++ = static_cast<char16_t>(kHexDigits[code >> 4]);
      *out++ = static_cast<char16_t>(kHexDigits[code & 15]);
    }
  }
  encoded.truncate(out - reinterpret_cast<const char16_t*>(encoded.constData()));
  return encoded;
}

QString fnctUrlDecode(const QString& text, bool blnNoUtf8) {
  // Every request decodes its path and its query: written into place, never longer.
  const qsizetype length = text.size();
  QString decoded(length, Qt::Uninitialized);
  QChar* out = decoded.data();
  for (qsizetype p = 0; p < length; ++p) {
    const QChar character = text.at(p);
    if (character == QLatin1Char('+')) {
      *out++ = QLatin1Char(' ');
      continue;
    }
    if (character == QLatin1Char('%') && p + 2 < length) {
      const int high = hexValue(text.at(p + 1));
      const int low = hexValue(text.at(p + 2));
      if (high >= 0 && low >= 0) {
        *out++ = ansiCharacters().at(high * 16 + low);
        p += 2;
        continue;
      }
    }
    *out++ = character;
  }
  decoded.truncate(out - decoded.constData());
  if (!blnNoUtf8 && isUtf8String(decoded)) {
    return fnctUtf8ToUnicode(platform::toAnsi(decoded));
  }
  return decoded;
}

// The same mapping as file names: a URL that carries the bytes of a name which is not
// valid UTF-8 decodes to the very text the folder listing gave that name.
QByteArray fnctUnicodeToUtf8(const QString& text) {
  return platform::encodeUtf8Escaped(text);
}

QString fnctUtf8ToUnicode(const QByteArray& utf8) {
  return platform::decodeUtf8Escaped(utf8);
}

bool isUtf8String(const QString& text) {
  for (const QChar character : text) {
    // ASCII characters are their own code.
    if (character.unicode() >= 0x80 && platform::ansiCodeOf(character) >= 128) {
      return true;
    }
  }
  return false;
}

bool isUtf8String(const QByteArray& bytes) {
  for (const char byte : bytes) {
    if (static_cast<unsigned char>(byte) >= 128) {
      return true;
    }
  }
  return false;
}

QString fnctReplaceControlChars(const QString& text) {
  QString replaced = text;
  for (QChar& character : replaced) {
    if (character.unicode() < 32) {
      character = QLatin1Char(' ');
    }
  }
  return replaced;
}

}  // namespace orv::core
