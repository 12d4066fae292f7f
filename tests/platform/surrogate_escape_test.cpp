#include "platform/surrogate_escape.h"

#include "platform/file_system.h"
#include "platform/folder_reading.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace {

using namespace orv::platform;

QString units(std::initializer_list<char16_t> codes) {
  QString text;
  for (const char16_t code : codes) {
    text += QChar(code);
  }
  return text;
}

struct MappingCase {
  const char* what;
  QByteArray bytes;
  QString text;
};

TEST(SurrogateEscape, ValidUtf8DecodesAsUsualAndEveryInvalidByteIsEscaped) {
  const MappingCase cases[] = {
      {"ASCII", "plain name.txt", QStringLiteral("plain name.txt")},
      {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", QStringLiteral("é€😀")},
      {"a Windows-1252 letter", "caf\xE9", QStringLiteral("caf") + units({0xDCE9})},
      {"a lone continuation byte", "\x80", units({0xDC80})},
      {"a lead byte without continuation",
       "\xC3"
       "a",
       units({0xDCC3, u'a'})},
      {"a truncated three-byte sequence", "\xE2\x82", units({0xDCE2, 0xDC82})},
      {"an overlong slash", "\xC0\xAF", units({0xDCC0, 0xDCAF})},
      {"an overlong three-byte NUL", "\xE0\x80\x80", units({0xDCE0, 0xDC80, 0xDC80})},
      {"an encoded surrogate", "\xED\xA0\x80", units({0xDCED, 0xDCA0, 0xDC80})},
      {"above U+10FFFF", "\xF4\x90\x80\x80", units({0xDCF4, 0xDC90, 0xDC80, 0xDC80})},
      {"FE and FF", "\xFE\xFF", units({0xDCFE, 0xDCFF})},
      {"the highest character", "\xF4\x8F\xBF\xBF", QString::fromUcs4(U"\U0010FFFF")},
      {"the highest BMP character below the surrogates", "\xED\x9F\xBF", units({0xD7FF})},
      {"a byte-order mark", "\xEF\xBB\xBFx", units({0xFEFF, u'x'})},
      {"a valid sequence after a bad byte", "\xE9\xC3\xA9", units({0xDCE9, 0xE9})},
  };
  for (const MappingCase& c : cases) {
    EXPECT_EQ(decodeUtf8Escaped(c.bytes), c.text) << c.what;
    EXPECT_EQ(encodeUtf8Escaped(c.text), c.bytes) << c.what;
  }
}

TEST(SurrogateEscape, EveryByteStringComesBackExactly) {
  // Every pair and triple of the interesting byte values, and every single byte.
  const unsigned char interesting[] = {0x01, 0x2E, 0x2F, 0x7F, 0x80, 0x8F, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1,
                                       0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFE, 0xFF};
  int checked = 0;
  for (int single = 0; single < 256; ++single) {
    const QByteArray bytes(1, static_cast<char>(single));
    ASSERT_EQ(encodeUtf8Escaped(decodeUtf8Escaped(bytes)), bytes) << single;
  }
  for (const unsigned char a : interesting) {
    for (const unsigned char b : interesting) {
      for (const unsigned char c : interesting) {
        const char raw[] = {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)};
        const QByteArray bytes(raw, 3);
        const QString text = decodeUtf8Escaped(bytes);
        ASSERT_EQ(encodeUtf8Escaped(text), bytes);
        // Decoding is the identity on what it produced: no other text stands for the bytes.
        ASSERT_EQ(decodeUtf8Escaped(encodeUtf8Escaped(text)), text);
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 0);
}

TEST(SurrogateEscape, OnlyTheEscapedBytesTurnBackIntoBytes) {
  EXPECT_EQ(encodeUtf8Escaped(units({u'a', 0xD800, u'b'})), QByteArray("a?b"));           // a lone high surrogate
  EXPECT_EQ(encodeUtf8Escaped(units({0xDC00, 0xDC7F})), QByteArray("??"));                // no invalid byte is below 80
  EXPECT_EQ(encodeUtf8Escaped(units({0xD83D, 0xDE00})), QByteArray("\xF0\x9F\x98\x80"));  // a real pair
  EXPECT_TRUE(isEscapedByte(0xDC80));
  EXPECT_TRUE(isEscapedByte(0xDCFF));
  EXPECT_FALSE(isEscapedByte(0xDC7F));
  EXPECT_FALSE(isEscapedByte(0xDD00));
}

// A name that only the mapping can reach: listing it, reaching it by its text and finding
// its link target all keep the bytes.
TEST(FolderListing, NamesWithEveryByteAreListedAndReachedAgain) {
  const TempFolder folder;
  std::vector<QByteArray> names;
  for (int byte = 1; byte < 256; ++byte) {
    if (byte != '/' && byte != '.') {
      names.push_back(QByteArray("n") + static_cast<char>(byte));
    }
  }
  names.push_back(QByteArray(".hidden"));
  names.push_back(QByteArray(255, '\xE9'));  // the longest name, none of it UTF-8
  const QByteArray base = QFile::encodeName(folder.path()) + '/';
  for (const QByteArray& name : names) {
    const int fd = ::open((base + name).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0) << name.toHex().constData();
    ::close(fd);
  }
  ASSERT_EQ(::mkdir((base + "sub\xFF").constData(), 0755), 0);
  ASSERT_EQ(::symlink("sub\xFF", (base + "link\xFE").constData()), 0);

  const auto entries = OpenFolder(folder.path()).entries();
  ASSERT_TRUE(entries.has_value());
  ASSERT_EQ(entries->size(), names.size() + 2);
  for (const QByteArray& name : names) {
    const QString text = decodeUtf8Escaped(name);
    const auto found =
        std::find_if(entries->begin(), entries->end(), [&](const ReadFolderEntry& e) { return e.name == text; });
    ASSERT_NE(found, entries->end()) << name.toHex().constData();
    EXPECT_EQ(found->type, EntryType::File);
    const auto status = statPath(folder.path() + QLatin1Char('/') + text);
    ASSERT_TRUE(status.has_value()) << name.toHex().constData();
    EXPECT_TRUE(status->isRegularFile);
  }
  const QString sub = decodeUtf8Escaped("sub\xFF");
  const QString link = decodeUtf8Escaped("link\xFE");
  const auto typeOf = [&](const QString& name) {
    return std::find_if(entries->begin(), entries->end(), [&](const ReadFolderEntry& e) { return e.name == name; })
        ->type;
  };
  EXPECT_EQ(typeOf(sub), EntryType::Folder);
  EXPECT_EQ(typeOf(link), EntryType::SymbolicLink);
  EXPECT_EQ(canonicalPath(folder.path() + QLatin1Char('/') + link),
            canonicalPath(folder.path()) + QLatin1Char('/') + sub);
}

TEST(FolderListing, AFolderThatIsNotThereOrIsAFileGivesNothing) {
  const TempFolder folder;
  EXPECT_FALSE(OpenFolder(folder.file(QStringLiteral("missing"))).entries().has_value());
  EXPECT_FALSE(OpenFolder(folder.write(QStringLiteral("file"), "x")).entries().has_value());
  const auto empty = OpenFolder(folder.path() + QStringLiteral("/")).entries();
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(empty->size(), 1u);
}

TEST(FolderListing, TheCurrentFolderMayHoldAnyByte) {
  const TempFolder folder;
  const QString odd = folder.path() + QLatin1Char('/') + decodeUtf8Escaped("odd\x80\xFF");
  ASSERT_EQ(::mkdir(nativePath(odd).constData(), 0755), 0);
  const QString previous = currentFolder();
  ASSERT_TRUE(setCurrentFolder(odd));
  EXPECT_EQ(currentFolder(), canonicalPath(odd));
  ASSERT_TRUE(setCurrentFolder(previous));
  EXPECT_FALSE(setCurrentFolder(QString()));
}

}  // namespace
