#include "core/local_paths.h"

#include "core/language.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using namespace orv::core;

struct TextCase {
  const char* input;
  const char* expected;
};

TEST(LocalPaths, ExtensionIsThePartAfterTheLastDot) {
  const TextCase cases[] = {
      {"archive.tar.gz", "gz"}, {"README", "README"}, {"name.", ""}, {"", ""}, {".hidden", "hidden"},
  };
  for (const TextCase& row : cases) {
    EXPECT_EQ(getFileExtension(QLatin1String(row.input)), QLatin1String(row.expected)) << row.input;
  }
}

TEST(LocalPaths, RemoveFileExtension) {
  const struct {
    const char* name;
    bool classIdOnly;
    const char* expected;
  } cases[] = {
      {"song.mp3", false, "song"},
      {"a.b.c", false, "a.b"},
      {".hidden", false, ".hidden"},
      {"README", false, "README"},
      {"name.", false, "name"},
      {"Archive.{12345678-1234-1234-1234-123456789ABC}", true, "Archive"},
      {"Archive.zip", true, "Archive.zip"},
      {"Archive.{short}", true, "Archive.{short}"},
      {".{12345678-1234-1234-1234-123456789ABC}", true, ".{12345678-1234-1234-1234-123456789ABC}"},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(fnctRemoveFileExtension(QLatin1String(row.name), row.classIdOnly), QLatin1String(row.expected))
        << row.name;
  }
}

TEST(LocalPaths, DefaultShareNameIsTheLastNameOrTheDriveText) {
  const tLanguage saved = gLanguage;
  gLanguage.setText(u"SHARES_FORM/LISTVIEW/DRIVE", QStringLiteral("Drive"));
  const TextCase cases[] = {
      {"/home/amy/Music", "Music"}, {"/home/amy/Live/", "Live"}, {"/", "Drive"}, {"", "Drive"}, {"Music", "Music"},
  };
  for (const TextCase& row : cases) {
    EXPECT_EQ(getDefaultShareName(QLatin1String(row.input)), QLatin1String(row.expected)) << row.input;
  }
  gLanguage = saved;
}

TEST(LocalPaths, RemoveTrailingBackslashTakesOneSeparatorButLeavesTheRoot) {
  const TextCase cases[] = {
      {"/a/b/", "/a/b"}, {"/a/b", "/a/b"}, {"/a//", "/a/"}, {"/", "/"}, {"", ""},
  };
  for (const TextCase& row : cases) {
    EXPECT_EQ(fnctRemoveTrailingBackslash(QLatin1String(row.input)), QLatin1String(row.expected)) << row.input;
  }
}

TEST(LocalPaths, FileDirectlyInFolder) {
  const struct {
    const char* file;
    const char* folder;
    bool expected;
  } cases[] = {
      {"/res/icon.gif", "/RES/", true},
      {"/res/icon.gif", "/res", true},
      {"/res/sub/icon.gif", "/res/", false},
      {"/resx/icon.gif", "/res", false},
      {"icon.gif", "/res", false},
      {"/icon.gif", "/", false},  // a folder text of one character
      {"/", "/res", false},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(isFileDirectlyInFolder(QLatin1String(row.file), QLatin1String(row.folder)), row.expected)
        << row.file << " in " << row.folder;
  }
}

}  // namespace
