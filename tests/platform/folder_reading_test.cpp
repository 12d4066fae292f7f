// A folder opened once for a listing: its entries with their bytes and kinds, each entry
// looked at again through the open folder, a link answering for itself unless followed,
// and the folder's own entries kept when its path is given to another folder.

#include "platform/folder_reading.h"

#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

using orv::platform::EntryType;
using orv::platform::OpenFolder;
using orv::platform::ReadFolderEntry;

QByteArray native(const QString& path) {
  return orv::platform::nativePath(path);
}

void writeBytes(const QString& folder, const QByteArray& name, const QByteArray& bytes) {
  const int fd = ::open((native(folder) + '/' + name).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())), bytes.size());
  ::close(fd);
}

const ReadFolderEntry* find(const std::vector<ReadFolderEntry>& entries, const QByteArray& name) {
  const auto found = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.native == name; });
  return found == entries.end() ? nullptr : &*found;
}

TEST(OpenFolder, ListsEveryEntryWithItsBytesAndKind) {
  const TempFolder folder;
  writeBytes(folder.path(), "plain.txt", "12345");
  writeBytes(folder.path(), "caf\xE9 \x01<&>", "x");
  folder.makeFolder(QStringLiteral("sub"));
  ASSERT_EQ(::symlink("plain.txt", (native(folder.path()) + "/link").constData()), 0);
  ASSERT_EQ(::mkfifo((native(folder.path()) + "/pipe").constData(), 0644), 0);

  const OpenFolder open(folder.path());
  ASSERT_TRUE(open.isOpen());
  const auto entries = open.entries();
  ASSERT_TRUE(entries.has_value());
  EXPECT_EQ(entries->size(), 5u);
  const struct {
    QByteArray name;
    EntryType type;
  } cases[] = {{"plain.txt", EntryType::File},
               {"caf\xE9 \x01<&>", EntryType::File},
               {"sub", EntryType::Folder},
               {"link", EntryType::SymbolicLink},
               {"pipe", EntryType::Other}};
  for (const auto& c : cases) {
    const ReadFolderEntry* entry = find(*entries, c.name);
    ASSERT_NE(entry, nullptr) << c.name.toHex().constData();
    EXPECT_EQ(entry->type, c.type) << c.name.constData();
    // The text of the name leads back to the very bytes.
    EXPECT_EQ(native(entry->name), c.name);
  }
  // Read again from the start, the same entries.
  EXPECT_EQ(open.entries()->size(), 5u);
}

TEST(OpenFolder, LooksAtEachEntryAndALinkAnswersForItselfUnlessFollowed) {
  const TempFolder folder;
  writeBytes(folder.path(), "plain.txt", "12345");
  folder.makeFolder(QStringLiteral("sub"));
  ASSERT_EQ(::symlink("plain.txt", (native(folder.path()) + "/link").constData()), 0);
  const struct timespec times[2] = {{1'000'000'000, 0}, {1'000'000'000, 999'000'000}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (native(folder.path()) + "/plain.txt").constData(), times, 0), 0);

  const OpenFolder open(folder.path());
  const auto plain = open.statEntry("plain.txt", false);
  ASSERT_TRUE(plain.has_value());
  EXPECT_TRUE(plain->isRegularFile);
  EXPECT_FALSE(plain->isDirectory);
  EXPECT_EQ(plain->size, 5);
  EXPECT_EQ(plain->lastWriteSeconds, 1'000'000'000);
  EXPECT_TRUE(open.statEntry("sub", false)->isDirectory);

  const auto unfollowed = open.statEntry("link", false);
  ASSERT_TRUE(unfollowed.has_value());
  EXPECT_FALSE(unfollowed->isRegularFile);
  EXPECT_FALSE(unfollowed->isDirectory);
  const auto followed = open.statEntry("link", true);
  ASSERT_TRUE(followed.has_value());
  EXPECT_TRUE(followed->isRegularFile);
  EXPECT_EQ(followed->size, 5);

  // Gone, empty, or a path instead of a name: nothing.
  EXPECT_FALSE(open.statEntry("missing", false).has_value());
  EXPECT_FALSE(open.statEntry("", false).has_value());
  EXPECT_FALSE(open.statEntry("sub/../plain.txt", false).has_value());
  ASSERT_EQ(::unlink((native(folder.path()) + "/plain.txt").constData()), 0);
  EXPECT_FALSE(open.statEntry("plain.txt", false).has_value());
}

TEST(OpenFolder, KeepsTheOpenedFolderWhenItsPathIsGivenToAnother) {
  const TempFolder root;
  const QString first = root.makeFolder(QStringLiteral("page"));
  writeBytes(first, "mine.txt", "1");
  const OpenFolder open(first);
  ASSERT_TRUE(open.isOpen());
  ASSERT_EQ(::rename(native(first).constData(), (native(root.path()) + "/moved").constData()), 0);
  const QString second = root.makeFolder(QStringLiteral("page"));
  writeBytes(second, "other.txt", "2");

  EXPECT_TRUE(open.statEntry("mine.txt", false).has_value());
  EXPECT_FALSE(open.statEntry("other.txt", false).has_value());
  const auto entries = open.entries();
  ASSERT_TRUE(entries.has_value());
  ASSERT_EQ(entries->size(), 1u);
  EXPECT_EQ(entries->front().native, QByteArray("mine.txt"));
}

TEST(OpenFolder, AFolderThatCannotBeOpenedListsNothing) {
  const TempFolder folder;
  writeBytes(folder.path(), "file", "x");
  for (const QString& path :
       {QString(), folder.path() + QStringLiteral("/missing"), folder.path() + QStringLiteral("/file")}) {
    const OpenFolder open(path);
    EXPECT_FALSE(open.isOpen()) << path.toStdString();
    EXPECT_FALSE(open.entries().has_value());
    EXPECT_FALSE(open.statEntry("file", false).has_value());
  }
}

}  // namespace
