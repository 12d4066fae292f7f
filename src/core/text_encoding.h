#pragma once

#include <QByteArray>
#include <QString>

// Conversions between the program's text, UTF-8 byte strings and percent-encoded URL text.
// A UTF-8 text travels as the bytes themselves (QByteArray); where a text must say which
// byte a character stands for, the system code page (Windows-1252) gives it.
namespace orv::core {

// Percent-encodes the UTF-8 form of the text. "&", "*", "-", ".", "/", the digits, "=",
// "?", "@", the letters A-Z and a-z and "_" stay as they are; every other byte becomes "%"
// and two upper-case hexadecimal digits (a blank gives "%20").
QString fnctUrlEncode(const QString& text);

// Percent-encodes bytes that are already UTF-8 (or any other byte string), unchanged.
QString fnctUrlEncode(const QByteArray& bytes);

// Undoes percent-encoding: a literal "+" becomes a blank, "%" and two hexadecimal digits
// become the character of that byte in the system code page, and a "%" not followed by two
// hexadecimal digits stays as it is ("100%", "%zz1", "%4" at the end). Unless blnNoUtf8 is
// set, a result holding any character of code 128 or more is then read as UTF-8
// (fnctUtf8ToUnicode), so "%C3%A9" gives "é".
QString fnctUrlDecode(const QString& text, bool blnNoUtf8);

// The UTF-8 bytes of the text. A lone surrogate U+DC80..U+DCFF stands for the byte of an
// invalid sequence (platform/surrogate_escape.h) and becomes that byte; any other lone
// surrogate, which has no UTF-8 form, becomes "?".
QByteArray fnctUnicodeToUtf8(const QString& text);

// The text of UTF-8 bytes. Bytes that do not form valid UTF-8 (a lone lead or continuation
// byte, a truncated sequence, an overlong form such as C0 AE, an encoded surrogate or a code
// above U+10FFFF) each come out as the lone surrogate U+DC00 plus the byte, so that
// fnctUnicodeToUtf8 gives the same bytes back and a name that is not valid UTF-8 is found
// again; they never turn into the character they try to disguise, and pages show them as
// U+FFFD. A leading byte-order mark is kept as U+FEFF so that the bytes that were sent are
// the text that is seen.
QString fnctUtf8ToUnicode(const QByteArray& utf8);

// True when some character's code in the system code page is 128 or more. It does not
// check that the bytes form valid UTF-8.
bool isUtf8String(const QString& text);
bool isUtf8String(const QByteArray& bytes);

// The text with every character of code 0 to 31 replaced by one blank; the length stays.
QString fnctReplaceControlChars(const QString& text);

}  // namespace orv::core
