#include "platform/codepage.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using orv::platform::ansiCodeOf;
using orv::platform::fromAnsi;
using orv::platform::toAnsi;

TEST(CodePage, EveryByteSurvivesARoundTrip) {
  QByteArray all;
  for (int byte = 0; byte < 256; ++byte) {
    all.append(static_cast<char>(byte));
  }
  const QString text = fromAnsi(all);
  ASSERT_EQ(text.size(), 256);
  EXPECT_EQ(toAnsi(text), all);
  for (int byte = 0; byte < 256; ++byte) {
    EXPECT_EQ(ansiCodeOf(text.at(byte)), byte);
  }
}

TEST(CodePage, MapsTheWindows1252Block) {
  struct Case {
    unsigned char byte;
    char16_t character;
  };
  const Case cases[] = {{0x80, 0x20AC}, {0x92, 0x2019}, {0x9F, 0x0178}, {0x81, 0x0081},
                        {0xE9, 0x00E9}, {0x41, 0x0041}, {0xA0, 0x00A0}};
  for (const Case& c : cases) {
    EXPECT_EQ(fromAnsi(QByteArray(1, static_cast<char>(c.byte))).at(0).unicode(), c.character) << int(c.byte);
  }
}

TEST(CodePage, CharactersOutsideThePageBecomeQuestionMarks) {
  EXPECT_EQ(toAnsi(QString::fromUtf8("a\xE2\x88\x9E"
                                     "b")),
            QByteArray("a?b"));
  EXPECT_EQ(ansiCodeOf(QChar(0x221E)), -1);
}

}  // namespace
