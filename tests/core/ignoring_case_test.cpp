#include "core/ignoring_case.h"

#include "support/qt_printers.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

using orv::core::equalsIgnoringCase;
using orv::core::startsWithIgnoringCase;

TEST(IgnoringCase, ComparesAsciiTextsAndThoseBeyondAscii) {
  struct Case {
    const char16_t* text;
    const char16_t* other;
    bool equal;
    bool startsWith;
  };
  const Case cases[] = {
      {u"/srv/Share/Config.XML", u"/srv/share/config.xml", true, true},
      {u"/srv/share/config.xml", u"/srv/share/config.xm", false, true},
      {u"/srv/share/config.xm", u"/srv/share/config.xml", false, false},
      {u"/srv/share/a", u"/srv/share/b", false, false},
      {u"@[`{", u"`{@[", false, false},  // neighbours of the letters are no letters
      {u"", u"", true, true},
      {u"abc", u"", false, true},
      // Characters that fold to ASCII ones, and letters beyond ASCII.
      {u"\u212Aar", u"kar", true, true},
      {u"\u017Fh", u"SH", true, true},
      {u"\u00C9t\u00C9", u"\u00E9t\u00E9", true, true},
      {u"\U00010400x", u"\U00010428X", true, true},
      {u"\u00E9a", u"\u00E9b", false, false},
  };
  for (const Case& c : cases) {
    const QString text = QString::fromUtf16(c.text);
    const QString other = QString::fromUtf16(c.other);
    EXPECT_EQ(equalsIgnoringCase(text, other), c.equal) << text.toStdString() << " / " << other.toStdString();
    EXPECT_EQ(startsWithIgnoringCase(text, other), c.startsWith) << text.toStdString() << " / " << other.toStdString();
  }
}

// Every pair of short texts over characters that fold in every way gets Qt's own answers.
TEST(IgnoringCase, AnswersAsQtDoesForEveryShortText) {
  const QString units = QString::fromUtf16(u"aAkKsS/0\u212A\u017F\u00E9\u00C9\u00FF\u0178\xD801\xDC00\xDC28");
  QStringList texts = {QString(), QString(QLatin1String(""))};
  for (const QChar first : units) {
    texts.append(QString(first));
    for (const QChar second : units) {
      texts.append(QString(first) + second);
    }
  }
  for (const QString& text : texts) {
    for (const QString& other : texts) {
      ASSERT_EQ(equalsIgnoringCase(text, other), text.compare(other, Qt::CaseInsensitive) == 0)
          << text.toStdString() << " / " << other.toStdString();
      ASSERT_EQ(startsWithIgnoringCase(text, other), text.startsWith(other, Qt::CaseInsensitive))
          << text.toStdString() << " / " << other.toStdString();
      const QByteArray latin1 = other.toLatin1();
      if (QString::fromLatin1(latin1) == other) {
        const QLatin1StringView view = other.isNull() ? QLatin1StringView() : QLatin1StringView(latin1);
        ASSERT_EQ(equalsIgnoringCase(text, view), text.compare(view, Qt::CaseInsensitive) == 0)
            << text.toStdString() << " / " << other.toStdString();
        ASSERT_EQ(startsWithIgnoringCase(text, view), text.startsWith(view, Qt::CaseInsensitive))
            << text.toStdString() << " / " << other.toStdString();
      }
    }
  }
}

}  // namespace
