#include "core/text_encoding.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using namespace orv::core;

struct EncodeCase {
  const char16_t* text;
  const char* expected;
};

TEST(UrlEncode, KeepsOnlyTheUrlCharactersOfTheUtf8Form) {
  const EncodeCase cases[] = {
      {u"a b/é", "a%20b/%C3%A9"}, {u"line\nbreak", "line%0Abreak"},
      {u"tab\t", "tab%09"},       {u"&*-./0189=?@AZ_az", "&*-./0189=?@AZ_az"},
      {u"~+%#", "%7E%2B%25%23"},  {u"€", "%E2%82%AC"},
      {u"😀", "%F0%9F%98%80"},     {u"", ""},
  };
  for (const EncodeCase& row : cases) {
    EXPECT_EQ(fnctUrlEncode(QStringView(row.text).toString()), QLatin1String(row.expected))
        << QStringView(row.text).toString().toStdString();
  }
}

TEST(UrlEncode, TakesBytesThatAreAlreadyUtf8Unchanged) {
  EXPECT_EQ(fnctUrlEncode(QByteArray("\xC3\xA9 ")), QStringLiteral("%C3%A9%20"));
  EXPECT_EQ(fnctUrlEncode(QByteArray("\xE9", 1)), QStringLiteral("%E9"));
  EXPECT_EQ(fnctUrlEncode(QByteArray("a\0b", 3)), QStringLiteral("a%00b"));
}

struct DecodeCase {
  const char16_t* text;
  bool noUtf8;
  const char16_t* expected;
};

TEST(UrlDecode, DecodesEscapesAndLeavesBrokenOnesAsTheyAre) {
  const DecodeCase cases[] = {
      {u"%C3%A9", false, u"é"},
      {u"%C3%A9", true, u"\u00C3\u00A9"},  // the two characters of the bytes C3 and A9
      {u"100%", false, u"100%"},
      {u"%zz1", false, u"%zz1"},
      {u"a+b", false, u"a b"},
      {u"%2B", false, u"+"},
      {u"%4", false, u"%4"},  // only one character follows
      {u"a%4", false, u"a%4"},
      {u"%", false, u"%"},
      {u"%%41", false, u"%A"},
      {u"%4g", false, u"%4g"},
      {u"%e9", true, u"é"},  // lower-case digits; E9 is "é" in the code page
      {u"%80", true, u"€"},
      {u"%20%2F%3F", false, u" /?"},
      {u"%2e%2e", false, u".."},
      {u"", false, u""},
      {u"/m%C3%BAsica/", false, u"/música/"},
  };
  for (const DecodeCase& row : cases) {
    const QString text = QStringView(row.text).toString();
    EXPECT_EQ(fnctUrlDecode(text, row.noUtf8), QStringView(row.expected).toString())
        << text.toStdString() << " noUtf8=" << row.noUtf8;
  }
}

TEST(UrlDecode, KeepsAnEncodedNulForTheCallerToRefuse) {
  EXPECT_EQ(fnctUrlDecode(QStringLiteral("a%00b"), false), QStringView(u"a\0b", 3).toString());
}

TEST(UrlDecode, InvalidUtf8BecomesEscapedBytesNeverWhatItDisguises) {
  // Each byte of an invalid sequence comes out as U+DC00 plus the byte.
  const DecodeCase cases[] = {
      {u"%E9", false, u"\xDCE9"},    // a Windows-1252 "é" is not UTF-8
      {u"a%C3", false, u"a\xDCC3"},  // truncated at the end
      {u"%C3a", false,
       u"\xDCC3"
       u"a"},                                                 // lead byte without its continuation
      {u"%A9", false, u"\xDCA9"},                             // lone continuation byte
      {u"%C0%AE%C0%AE", false, u"\xDCC0\xDCAE\xDCC0\xDCAE"},  // overlong "..", not ".."
      {u"%ED%A0%80", false, u"\xDCED\xDCA0\xDC80"},           // an encoded surrogate
      {u"%ED%B3%A9", false, u"\xDCED\xDCB3\xDCA9"},           // the encoded form of an escape itself
      {u"%F4%90%80%80", false, u"\xDCF4\xDC90\xDC80\xDC80"},  // above U+10FFFF
      {u"%F0%9F%98", false, u"\xDCF0\xDC9F\xDC98"},           // a four-byte sequence cut short
      {u"%FF%FEx", false, u"\xDCFF\xDCFEx"},                  // bytes that never start a sequence
      {u"%E2%82%ACa%E9", false,
       u"\u20AC"
       u"a\xDCE9"},  // valid and invalid side by side
      {u"%EF%BB%BFa", false,
       u"\uFEFF"
       u"a"},  // a leading byte-order mark stays
  };
  for (const DecodeCase& row : cases) {
    const QString text = QStringView(row.text).toString();
    const QString decoded = fnctUrlDecode(text, row.noUtf8);
    EXPECT_EQ(decoded, QStringView(row.expected).toString()) << text.toStdString();
    EXPECT_FALSE(decoded.contains(QLatin1Char('.')));
    // The bytes come back exactly.
    EXPECT_EQ(fnctUnicodeToUtf8(decoded), QByteArray::fromPercentEncoding(text.toLatin1())) << text.toStdString();
  }
}

TEST(Utf8, EveryByteStringSurvivesTheRoundTrip) {
  QByteArray every;
  for (int code = 1; code < 256; ++code) {
    every += static_cast<char>(code);
  }
  const QByteArray samples[] = {every, QByteArray("\xC3\xA9\xE9\xC3", 4), QByteArray("\xED\xB2\x80", 3),
                                QByteArray("\xF0\x9F\x98\x80\x80", 5), QByteArray("\x00\xFF", 2)};
  for (const QByteArray& bytes : samples) {
    EXPECT_EQ(fnctUnicodeToUtf8(fnctUtf8ToUnicode(bytes)), bytes);
  }
}

TEST(UrlDecode, RawCodePageCharactersInTheUrlAreReadAsTheirBytes) {
  // A URL read from the wire one character per byte: the UTF-8 bytes of "é" as "Ã©".
  EXPECT_EQ(fnctUrlDecode(QStringLiteral("/\u00C3\u00A9/"), false), QStringLiteral("/é/"));
  EXPECT_EQ(fnctUrlDecode(QStringLiteral("/\u00C3\u00A9/"), true), QStringLiteral("/\u00C3\u00A9/"));
}

TEST(UrlDecode, UndoesEncodingOfAnyText) {
  for (const QString& text :
       {QStringLiteral("/my music/été & co/"), QStringLiteral("100% +1"), QStringLiteral("日本語/😀/")}) {
    EXPECT_EQ(fnctUrlDecode(fnctUrlEncode(text), false), text);
  }
}

TEST(UrlEncode, ReencodesAnOldCodePagePathAsUtf8) {
  // How a server path stored in the system code page moves to UTF-8.
  const QString old = QStringLiteral("/m%E9moire/");
  EXPECT_EQ(fnctUrlEncode(fnctUnicodeToUtf8(fnctUrlDecode(old, true))), QStringLiteral("/m%C3%A9moire/"));
}

TEST(Utf8, RoundTripsEveryCharacter) {
  const QString text = QStringLiteral("a é € 日本 😀");
  EXPECT_EQ(fnctUnicodeToUtf8(text), QByteArray("a \xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80"));
  EXPECT_EQ(fnctUtf8ToUnicode(fnctUnicodeToUtf8(text)), text);
  EXPECT_EQ(fnctUnicodeToUtf8(QString()), QByteArray());
  EXPECT_EQ(fnctUtf8ToUnicode(QByteArray()), QString());
}

TEST(Utf8, ALoneSurrogateBecomesAQuestionMarkUnlessItIsAnEscapedByte) {
  QString text = QStringLiteral("a");
  text += QChar(0xD800);
  text += QLatin1Char('b');
  text += QChar(0xDC7F);  // below the escaped bytes: no byte of an invalid sequence is below 80
  EXPECT_EQ(fnctUnicodeToUtf8(text), QByteArray("a?b?"));
  EXPECT_EQ(fnctUnicodeToUtf8(QStringView(u"\xDCE9\xDC80").toString()), QByteArray("\xE9\x80"));
}

TEST(IsUtf8String, LooksForAnyCodeOf128OrMore) {
  EXPECT_FALSE(isUtf8String(QStringLiteral("abc")));
  EXPECT_FALSE(isUtf8String(QString()));
  EXPECT_TRUE(isUtf8String(QStringLiteral("é")));
  EXPECT_TRUE(isUtf8String(QStringLiteral("a€")));   // byte 80 of the code page
  EXPECT_FALSE(isUtf8String(QStringLiteral("日")));  // no byte in the code page at all
  EXPECT_FALSE(isUtf8String(QByteArray("abc")));
  EXPECT_TRUE(isUtf8String(QByteArray("\xE9", 1)));
}

TEST(ReplaceControlChars, BlanksCodesBelow32AndKeepsTheLength) {
  EXPECT_EQ(fnctReplaceControlChars(QStringLiteral("a\tb")), QStringLiteral("a b"));
  const QString controls = QStringView(u"\0\x1F\r\n \x7F", 6).toString();
  EXPECT_EQ(fnctReplaceControlChars(controls), QStringView(u"     \x7F", 6).toString());
  EXPECT_EQ(fnctReplaceControlChars(QStringLiteral("é€")), QStringLiteral("é€"));
}

}  // namespace
