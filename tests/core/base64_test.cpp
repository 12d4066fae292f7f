#include "core/base64.h"

#include "platform/codepage.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using orv::core::clsBase64;

QString textOfLength(qsizetype length) {
  QString text;
  for (qsizetype i = 0; i < length; ++i) {
    text += QLatin1Char(static_cast<char>('a' + i % 26));
  }
  return text;
}

// Every byte value 0 to 255 as the code page's character.
QString everyByte() {
  QByteArray bytes;
  for (int code = 0; code < 256; ++code) {
    bytes += static_cast<char>(code);
  }
  return orv::platform::fromAnsi(bytes);
}

TEST(Base64, EncodesShortTextsWithPadding) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {{"abc", "YWJj"}, {"ab", "YWI="}, {"a", "YQ=="}, {"", ""}, {"user:pass", "dXNlcjpwYXNz"}};
  const clsBase64 base64;
  for (const auto& row : cases) {
    EXPECT_EQ(base64.fnctEncodeString(QLatin1String(row.text)), QLatin1String(row.expected)) << row.text;
  }
}

TEST(Base64, BreaksLinesAfterEvery76CharactersButNotAtTheEnd) {
  const clsBase64 base64;
  const QString of57 = base64.fnctEncodeString(textOfLength(57));
  EXPECT_EQ(of57.size(), 76);
  EXPECT_FALSE(of57.contains(QLatin1Char('\r')));

  const QString of58 = base64.fnctEncodeString(textOfLength(58));
  ASSERT_EQ(of58.size(), 76 + 2 + 4);
  EXPECT_EQ(of58.mid(76, 2), QStringLiteral("\r\n"));

  const QString of114 = base64.fnctEncodeString(textOfLength(114));
  ASSERT_EQ(of114.size(), 76 + 2 + 76);
  EXPECT_EQ(of114.mid(76, 2), QStringLiteral("\r\n"));
  EXPECT_FALSE(of114.endsWith(QStringLiteral("\r\n")));
}

TEST(Base64, AgreesWithTheStandardEncodingAtEveryLength) {
  const clsBase64 base64;
  for (qsizetype length = 0; length <= 240; ++length) {
    const QString text = textOfLength(length);
    const QString standard = QString::fromLatin1(text.toLatin1().toBase64());
    EXPECT_EQ(base64.fnctEncodeStringSingleLine(text), standard) << length;
    EXPECT_EQ(QString(base64.fnctEncodeString(text)).remove(QStringLiteral("\r\n")), standard) << length;
    EXPECT_EQ(base64.fnctDecodeToString(base64.fnctEncodeString(text)), text) << length;
  }
}

TEST(Base64, TheSingleLineFormOfLongCredentialsFitsInAHeader) {
  const clsBase64 base64;
  const QString credentials = QStringLiteral("a-rather-long-login-name:") + textOfLength(150);
  const QString oneLine = base64.fnctEncodeStringSingleLine(credentials);
  EXPECT_FALSE(oneLine.contains(QLatin1Char('\r')));
  EXPECT_FALSE(oneLine.contains(QLatin1Char('\n')));
  EXPECT_TRUE(base64.fnctEncodeString(credentials).contains(QStringLiteral("\r\n")));
  EXPECT_EQ(base64.fnctDecodeToString(oneLine), credentials);
}

TEST(Base64, DecodesLenientlyWithoutRefusingAnything) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"YWJj", "abc"},    {"YWJj==", "abc"}, {"YW\r\nJj", "abc"}, {"YWI", "ab"}, {"YWJjZ", "abc"},
      {"Y=W=J=j", "abc"}, {"", ""},          {"Y", ""},           {"==", ""},    {"Y=", ""},
  };
  const clsBase64 base64;
  for (const auto& row : cases) {
    EXPECT_EQ(base64.fnctDecodeToString(QLatin1String(row.text)), QLatin1String(row.expected)) << row.text;
  }
}

TEST(Base64, ACharacterOutsideTheAlphabetCountsAsA) {
  const clsBase64 base64;
  EXPECT_EQ(base64.fnctDecodeToString(QStringLiteral("Y W")), base64.fnctDecodeToString(QStringLiteral("YAW")));
  EXPECT_EQ(base64.fnctDecodeToString(QStringLiteral("Y\nWJj")), base64.fnctDecodeToString(QStringLiteral("YAWJj")));
  EXPECT_EQ(base64.fnctDecodeToString(QStringLiteral("Y日Jj")), base64.fnctDecodeToString(QStringLiteral("YAJj")));
}

TEST(Base64, WorksOnTheCodePageBytesOfTheText) {
  const clsBase64 base64;
  EXPECT_EQ(base64.fnctEncodeString(QStringLiteral("é")), QStringLiteral("6Q=="));   // the byte E9
  EXPECT_EQ(base64.fnctEncodeString(QStringLiteral("€")), QStringLiteral("gA=="));   // the byte 80
  EXPECT_EQ(base64.fnctEncodeString(QStringLiteral("日")), QStringLiteral("Pw=="));  // "?"
  EXPECT_EQ(base64.fnctDecodeToString(QStringLiteral("6Q==")), QStringLiteral("é"));

  const QString all = everyByte();
  EXPECT_EQ(base64.fnctDecodeToString(base64.fnctEncodeString(all)), all);
  EXPECT_EQ(base64.fnctDecodeToString(base64.fnctEncodeStringSingleLine(all)), all);
}

}  // namespace
