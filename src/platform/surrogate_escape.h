#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// A lossless mapping between byte strings that are meant to be UTF-8 (file names, decoded
// URLs) and text. A Linux file name may hold any byte but "/" and NUL, valid UTF-8 or not,
// and the usual converters either drop such names or turn their bad bytes into U+FFFD,
// which cannot be turned back. Here valid UTF-8 decodes as usual, and each byte of a
// sequence that is not valid UTF-8 becomes the lone surrogate U+DC00 plus the byte
// (U+DC80 to U+DCFF, "surrogate escape"); encoding turns exactly those lone surrogates back
// into their bytes. So encode(decode(bytes)) == bytes for every byte string, and a name
// read from a folder, put into a URL as its bytes and decoded again is the same text.
//
// A lone surrogate is not a character: XML and display code must not show it as such
// (orv::xml writes U+FFFD for it).
namespace orv::platform {

inline constexpr char16_t kEscapedByteBase = 0xDC00;

// True for the lone surrogates that stand for one byte of an invalid sequence.
constexpr bool isEscapedByte(char16_t unit) {
  return unit >= 0xDC80 && unit <= 0xDCFF;
}

// The text of the bytes: well-formed UTF-8 sequences (no overlong forms, no encoded
// surrogates, nothing above U+10FFFF) as their characters, every other byte as
// U+DC00 + byte. A leading byte-order mark stays as U+FEFF.
QString decodeUtf8Escaped(QByteArrayView bytes);

// The UTF-8 bytes of the text, each lone surrogate U+DC80..U+DCFF as its byte. Any other
// lone surrogate, which stands for no byte, becomes "?".
QByteArray encodeUtf8Escaped(QStringView text);

}  // namespace orv::platform
