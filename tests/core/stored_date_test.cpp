#include "core/stored_date.h"

#include <gtest/gtest.h>

namespace {

using orv::core::isStoredDate;
using orv::core::parseStoredDate;

// The quick check of the stores' own form answers as the full reading does, whatever the
// fallbacks (ISO, the system locale's forms) make of the texts that are not that form.
TEST(StoredDate, TheQuickCheckAgreesWithTheReading) {
  const char* const texts[] = {
      "2024/03/01 12:00:00",
      "  2006/03/07 04:05:09 ",
      "2024/02/29 23:59:59",
      "2023/02/29 12:00:00",
      "2024/13/01 12:00:00",
      "2024/03/01 24:00:00",
      "2024/03/01 12:60:00",
      "2024/03/01",
      "2024/03/01 12:00",
      "2024-03-01T12:00:00",
      "",
      "garbage text",
      "2024/03/01 12:00:00 extra",
      "abcd/03/01 12:00:00",
      "2024/0x/01 12:00:00",
      "2024/03/01 1a:00:00",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    EXPECT_EQ(isStoredDate(QString::fromLatin1(text)), parseStoredDate(QString::fromLatin1(text)).isValid());
  }
  EXPECT_TRUE(isStoredDate(QStringLiteral("2006/03/07 04:05:09")));
  EXPECT_TRUE(isStoredDate(QStringLiteral("2024/02/29 23:59:59")));
  EXPECT_FALSE(isStoredDate(QStringLiteral("2023/02/29 12:00:00")));
  EXPECT_FALSE(isStoredDate(QStringLiteral("2024/03/01 12:60:00")));
  EXPECT_FALSE(isStoredDate(QStringLiteral("garbage text")));
  EXPECT_FALSE(isStoredDate(QStringLiteral("abcd/03/01 12:00:00")));
  EXPECT_FALSE(isStoredDate(QString()));
}

}  // namespace
