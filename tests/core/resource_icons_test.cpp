#include "core/resource_icons.h"

#include "core/configuration.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

using orv::core::getFileTypeIconName;
using orv::core::getResourcesIconsList;

// Writes the four files of a set, or only the given variants.
void writeSet(const TempFolder& folder, const QString& rest,
              const QStringList& variants = {QStringLiteral("16_show"), QStringLiteral("16_hide"),
                                             QStringLiteral("48_show"), QStringLiteral("48_hide")}) {
  for (const QString& variant : variants) {
    folder.write(QStringLiteral("filetype_") + variant + QLatin1Char('_') + rest, "icon");
  }
}

TEST(ResourceIcons, CompleteSetServesEachOfItsExtensions) {
  TempFolder folder;
  writeSet(folder, QStringLiteral("mp3-wav-wma.png"));
  EXPECT_EQ(getResourcesIconsList(folder.path()),
            QStringLiteral(".mp3:mp3-wav-wma.png;.wav:mp3-wav-wma.png;.wma:mp3-wav-wma.png;"));
}

TEST(ResourceIcons, IncompleteOrNamelessSetsContributeNothing) {
  TempFolder folder;
  writeSet(folder, QStringLiteral("doc.png"), {QStringLiteral("16_show"), QStringLiteral("16_hide")});
  writeSet(folder, QStringLiteral(".png"));  // no extension
  writeSet(folder, QStringLiteral("txt"));   // no image type
  writeSet(folder, QStringLiteral("bin."));  // empty image type
  folder.write(QStringLiteral("filetype_16_show_"), "icon");
  folder.write(QStringLiteral("readme.txt"), "text");
  EXPECT_EQ(getResourcesIconsList(folder.path()), QString());
}

TEST(ResourceIcons, EmptyExtensionPartsAreNotServed) {
  TempFolder folder;
  writeSet(folder, QStringLiteral("zip--rar-.gif"));
  const QString list = getResourcesIconsList(folder.path());
  EXPECT_EQ(list, QStringLiteral(".zip:zip--rar-.gif;.rar:zip--rar-.gif;"));
  EXPECT_EQ(getFileTypeIconName(list, QString(), 0, 16, QStringLiteral("none.png")), QStringLiteral("none.png"));
}

TEST(ResourceIcons, SetListedFirstWinsASharedExtension) {
  TempFolder folder;
  writeSet(folder, QStringLiteral("mp3.png"));
  writeSet(folder, QStringLiteral("AAC-mp3.png"));
  const QString list = getResourcesIconsList(folder.path());
  EXPECT_EQ(list, QStringLiteral(".AAC:AAC-mp3.png;.mp3:AAC-mp3.png;.mp3:mp3.png;"));
  EXPECT_EQ(getFileTypeIconName(list, QStringLiteral("mp3"), 0, 16, QString()),
            QStringLiteral("filetype_16_show_AAC-mp3.png"));
}

TEST(ResourceIcons, ScanReadsTheResourcesFolderOfTheApplication) {
  TempFolder folder;
  for (const char* variant : {"16_show", "16_hide", "48_show", "48_hide"}) {
    folder.write(QStringLiteral("resources/filetype_") + QLatin1String(variant) + QStringLiteral("_pdf.png"), "icon");
  }
  const QString previous = orv::core::gAppFolder;
  orv::core::gAppFolder = folder.path();
  const QString list = getResourcesIconsList();
  orv::core::gAppFolder = previous;
  EXPECT_EQ(list, QStringLiteral(".pdf:pdf.png;"));
}

TEST(ResourceIcons, LookupNeedsTheWholeExtensionAndIgnoresCase) {
  const QString list = QStringLiteral(".mp3:mp3-wav-wma.png;.wav:mp3-wav-wma.png;.wma:mp3-wav-wma.png;");
  const QString fallback = QStringLiteral("itemicon_big_error.png");
  struct Case {
    const char* extension;
    int visibility;
    int size;
    const char* expected;
  };
  const Case cases[] = {
      {"WAV", 1, 48, "filetype_48_hide_mp3-wav-wma.png"},
      {"mp3", 0, 16, "filetype_16_show_mp3-wav-wma.png"},
      {"mp", 0, 16, "itemicon_big_error.png"},  // only part of "mp3"
      {"p3", 0, 16, "itemicon_big_error.png"},
      {"", 0, 16, "itemicon_big_error.png"},
      {"wma", 2, 16, "filetype_16__mp3-wav-wma.png"},  // no word for another visibility
  };
  for (const Case& c : cases) {
    EXPECT_EQ(getFileTypeIconName(list, QLatin1String(c.extension), c.visibility, c.size, fallback),
              QLatin1String(c.expected))
        << c.extension;
  }
}

TEST(ResourceIcons, LookupFollowsTheListItIsGiven) {
  // The same extension asked of lists that change between calls, as a rescan or a new
  // configuration changes them: each answer comes from the list of its own call.
  QString list = QStringLiteral(".mp3:mp3.png;");
  const QString first = getFileTypeIconName(list, QStringLiteral("mp3"), 0, 16, QStringLiteral("none.png"));
  list.replace(QStringLiteral("mp3.png"), QStringLiteral("AAC-mp3.png"));
  const QString changed = getFileTypeIconName(list, QStringLiteral("mp3"), 0, 16, QStringLiteral("none.png"));
  const QString other =
      getFileTypeIconName(QStringLiteral(".wav:wav.png;"), QStringLiteral("mp3"), 0, 16, QStringLiteral("none.png"));
  const QString again = getFileTypeIconName(list, QStringLiteral("MP3"), 1, 48, QStringLiteral("none.png"));
  EXPECT_EQ(first, QStringLiteral("filetype_16_show_mp3.png"));
  EXPECT_EQ(changed, QStringLiteral("filetype_16_show_AAC-mp3.png"));
  EXPECT_EQ(other, QStringLiteral("none.png"));
  EXPECT_EQ(again, QStringLiteral("filetype_48_hide_AAC-mp3.png"));
}

TEST(ResourceIcons, LookupOfManyExtensionsKeepsEveryAnswer) {
  // More different extensions than any folder page normally holds, each asked twice.
  QString list;
  for (int i = 0; i < 3000; i += 3) {
    list += QStringLiteral(".e%1:set%1.png;").arg(i);
  }
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 3000; ++i) {
      const QString expected =
          i % 3 == 0 ? QStringLiteral("filetype_16_show_set%1.png").arg(i) : QStringLiteral("none.png");
      ASSERT_EQ(getFileTypeIconName(list, QStringLiteral("e%1").arg(i), 0, 16, QStringLiteral("none.png")), expected)
          << i;
    }
  }
}

TEST(ResourceIcons, LookupReadsTheListOfTheConfiguration) {
  orv::core::gConfiguration.ShellExtension.strResourcesIconsList = QStringLiteral(".gif:gif.png;");
  const QString icon = getFileTypeIconName(QStringLiteral("GIF"), 0, 48, QString());
  orv::core::gConfiguration = {};
  EXPECT_EQ(icon, QStringLiteral("filetype_48_show_gif.png"));
}

}  // namespace
