#include "content/folder_enumeration.h"

#include "content/mp3_reader.h"
#include "content/xsl_stylesheets.h"
#include "core/configuration.h"
#include "core/file_utils.h"
#include "core/lookup_cache.h"
#include "core/text_encoding.h"
#include "platform/clock.h"
#include "platform/file_system.h"

#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace orv::content {
namespace {

QString latin(const char* text) {
  return QString::fromLatin1(text);
}

bool isInside(const QString& canonical, const QString& boundary) {
  if (canonical.isEmpty() || boundary.isEmpty()) {
    return false;
  }
  if (canonical == boundary || boundary == QLatin1String("/")) {
    return true;
  }
  return canonical.size() > boundary.size() && canonical.startsWith(boundary) &&
         canonical.at(boundary.size()) == QLatin1Char('/');
}

bool showsHiddenItems() {
  return core::gConfiguration.HtmlDisplay.VIEW_HIDDEN_DISK_ITEMS;
}

bool isArtistOrAlbum(const QString& sortValue) {
  return sortValue.compare(latin("artist"), Qt::CaseInsensitive) == 0 ||
         sortValue.compare(latin("album"), Qt::CaseInsensitive) == 0;
}

// What the page shows of an entry, read when its turn comes.
struct EntryData {
  bool hidden = false;
  qint64 size = 0;
  QDateTime date;  // local time, whole seconds
};

std::optional<EntryData> readEntry(const FolderSnapshot& snapshot, const QString& folderPath, const ListedEntry& entry,
                                   bool folder) {
  // A link may have been pointed elsewhere since the folder was read.
  if (entry.isLink && !isInside(platform::canonicalPath(folderPath + entry.name), snapshot.boundary)) {
    return std::nullopt;
  }
  // An entry that was no link when the folder was read must not have become one meanwhile.
  bool isDirectory = false;
  bool isRegularFile = false;
  qint64 size = 0;
  qint64 lastWrite = 0;
  if (snapshot.folder != nullptr && !entry.native.isEmpty()) {
    const std::optional<platform::EntryStatus> status = snapshot.folder->statEntry(entry.native, entry.isLink);
    if (!status) {
      return std::nullopt;
    }
    isDirectory = status->isDirectory;
    isRegularFile = status->isRegularFile;
    size = status->size;
    lastWrite = status->lastWriteSeconds;
  } else {
    const std::optional<platform::PathStatus> status = platform::statPathQuick(folderPath + entry.name, entry.isLink);
    if (!status) {
      return std::nullopt;
    }
    isDirectory = status->isDirectory;
    isRegularFile = status->isRegularFile;
    size = status->size;
    lastWrite = status->lastWriteUtc.toSecsSinceEpoch();
  }
  if (folder ? !isDirectory : !isRegularFile) {
    return std::nullopt;
  }
  EntryData data;
  data.hidden = entry.name.startsWith(QLatin1Char('.'));
  data.size = size;
  data.date = platform::localDateTimeFromSecs(lastWrite);
  return data;
}

bool isShown(const EntryData& data) {
  return !data.hidden || showsHiddenItems();
}

// Code point order of UTF-16 texts: the units of the surrogate range move above every
// other unit of the Basic Multilingual Plane, as their characters stand above it.
int compareCodePoints(const QString& a, const QString& b) {
  const auto* left = reinterpret_cast<const char16_t*>(a.constData());
  const auto* right = reinterpret_cast<const char16_t*>(b.constData());
  const qsizetype common = std::min(a.size(), b.size());
  qsizetype i = 0;
  // The names of one folder often share a long start ("IMG_2024...", "entry 0001..."): equal
  // units are passed four at a time.
  for (; i + 4 <= common; i += 4) {
    std::uint64_t leftUnits = 0;
    std::uint64_t rightUnits = 0;
    std::memcpy(&leftUnits, left + i, sizeof leftUnits);
    std::memcpy(&rightUnits, right + i, sizeof rightUnits);
    if (leftUnits != rightUnits) {
      break;
    }
  }
  for (; i < common; ++i) {
    if (left[i] != right[i]) {
      const auto fixUp = [](char16_t unit) -> int {
        return unit >= 0xE000 ? unit - 0x800 : unit >= 0xD800 ? unit + 0x2000 : unit;
      };
      return fixUp(left[i]) < fixUp(right[i]) ? -1 : 1;
    }
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// The bytes of a listed file for the MP3 reader: one handle and positioned reads.
class ListedFileSource final : public Mp3ByteSource {
 public:
  ListedFileSource(int handle, qint64 size) : handle_(handle), size_(size) {}
  qint64 size() const override { return size_; }
  qint64 read(qint64 offset, char* buffer, qint64 count) const override {
    qint64 done = 0;
    while (done < count) {
      const qint64 got = platform::readFileAt(handle_, offset + done, buffer + done, count - done);
      if (got <= 0) {
        break;
      }
      done += got;
    }
    return done;
  }

 private:
  int handle_;
  qint64 size_;
};

void appendFileItem(PageBuildState& state, SectionIndex section, const ListedEntry& entry, const EntryData& data,
                    bool withMp3, const DefaultItemIcons& icons) {
  FileItemData file;
  file.displayMode = state.displays[section].showby;
  file.hidden = data.hidden;
  file.name = entry.name;
  file.extension = getNameExtension(entry.name);
  file.sizeText = QString::number(data.size);
  file.date = data.date;
  file.icons = icons;
  if (withMp3) {
    file.mp3 = fnctGetListedMp3Infos(state.localFolderPath + entry.name, entry.isLink);
  }
  BuildFileItem(state.sections[section], file);
}

std::array<DefaultItemIcons, kSectionCount> defaultIconsOfSections() {
  std::array<DefaultItemIcons, kSectionCount> icons;
  for (std::size_t i = kOtherSection; i < kSectionCount; ++i) {
    icons[i] = DefaultItemIcons::forType(latin(kSectionTypes[i]));
  }
  return icons;
}

}  // namespace

tMp3Summary fnctGetListedMp3Infos(const QString& path, bool isLink) {
  qint64 size = 0;
  const core::ScopedFileHandle handle(platform::openRegularFileForRead(path, size, isLink));
  if (!handle.isValid()) {
    return fnctMergeMp3Infos({}, path);
  }
  return fnctMergeMp3Infos(fnctReadMp3Data(ListedFileSource(handle.get(), size)), path);
}

bool isListedFileStillThere(const FolderSnapshot& snapshot, const QString& folderPath, const ListedEntry& entry) {
  return readEntry(snapshot, folderPath, entry, false).has_value();
}

SectionIndex getFileSectionOf(const QString& extension) {
  const core::tConfShellExtension& lists = core::gConfiguration.ShellExtension;
  static core::LookupCache<3, SectionIndex> cache;
  return cache.find({&lists.SOUND, &lists.IMAGE, &lists.VIDEO}, extension, [&lists](const QString& key) {
    const QString needle = QLatin1Char('.') + key + QLatin1Char(';');
    if (lists.SOUND.contains(needle, Qt::CaseInsensitive)) {
      return kSoundSection;
    }
    if (lists.IMAGE.contains(needle, Qt::CaseInsensitive)) {
      return kImageSection;
    }
    if (lists.VIDEO.contains(needle, Qt::CaseInsensitive)) {
      return kVideoSection;
    }
    return kOtherSection;
  });
}

QString getNameExtension(const QString& name) {
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  return dot < 0 ? QString() : name.mid(dot + 1);
}

bool isNamePassingFilter(const QString& name, const QString& filter) {
  return filter.isEmpty() || name.contains(filter, Qt::CaseInsensitive);
}

void subSortAsPage(std::vector<ListedEntry>& entries, bool folders) {
  // The keys are made once; the sort moves positions, not texts.
  std::vector<QString> lowered(entries.size());
  std::vector<QString> shown(entries.size());
  std::vector<std::size_t> order(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    // The `name` text of the item: display form, what XML holds of it, "/" for folders.
    shown[i] = xml::toXmlSafeText(fnctDisplayName(entries[i].name));
    if (folders) {
      shown[i] += QLatin1Char('/');
    }
    lowered[i] = fnctStylesheetLowerCase(shown[i]);
    order[i] = i;
  }
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    int comparison = compareCodePoints(lowered[a], lowered[b]);
    if (comparison == 0) {
      comparison = compareCodePoints(shown[a], shown[b]);
    }
    if (comparison == 0) {
      comparison = compareCodePoints(entries[a].name, entries[b].name);
    }
    return comparison < 0;
  });
  std::vector<ListedEntry> sorted;
  sorted.reserve(entries.size());
  for (const std::size_t i : order) {
    sorted.push_back(std::move(entries[i]));
  }
  entries = std::move(sorted);
}

std::optional<FolderSnapshot> fnctReadFolderSnapshot(const QString& folderPath, const QString& shareFolderPath) {
  FolderSnapshot snapshot;
  const QString folder = platform::canonicalPath(folderPath);
  snapshot.boundary = shareFolderPath.isEmpty() ? folder : platform::canonicalPath(shareFolderPath);
  if (!isInside(folder, snapshot.boundary)) {
    return std::nullopt;
  }
  auto opened = std::make_shared<const platform::OpenFolder>(folderPath);
  std::optional<std::vector<platform::ReadFolderEntry>> entries = opened->entries();
  if (!entries) {
    return std::nullopt;
  }
  snapshot.folder = std::move(opened);
  const QString base = folderPath.endsWith(QLatin1Char('/')) ? folderPath : folderPath + QLatin1Char('/');
  for (platform::ReadFolderEntry& entry : *entries) {
    switch (entry.type) {
      case platform::EntryType::File:
        snapshot.files.push_back({std::move(entry.name), false, std::move(entry.native)});
        break;
      case platform::EntryType::Folder:
        snapshot.folders.push_back({std::move(entry.name), false, std::move(entry.native)});
        break;
      case platform::EntryType::SymbolicLink: {
        // Resolved now, so that a link to a folder sorts with the folders.
        const QString target = platform::canonicalPath(base + entry.name);
        if (!isInside(target, snapshot.boundary)) {
          break;
        }
        const std::optional<platform::PathStatus> status = platform::statPath(target);
        if (status && status->isDirectory) {
          snapshot.folders.push_back({std::move(entry.name), true, std::move(entry.native)});
        } else if (status && status->isRegularFile) {
          snapshot.files.push_back({std::move(entry.name), true, std::move(entry.native)});
        }
        break;
      }
      case platform::EntryType::Other:
        break;
    }
  }
  subSortAsPage(snapshot.folders, true);
  subSortAsPage(snapshot.files, false);
  return snapshot;
}

LoopEnd BuildSubFolderItems(PageBuildState& state, const FolderSnapshot& snapshot, const QString& filter) {
  state.listedDiskFolders = 0;
  state.visibleDiskFolders = 0;
  for (const ListedEntry& entry : snapshot.folders) {
    if (state.blnAbort) {
      return LoopEnd::Aborted;
    }
    const std::optional<EntryData> data = readEntry(snapshot, state.localFolderPath, entry, true);
    if (data && isShown(*data)) {
      if (isNamePassingFilter(entry.name, filter)) {
        BuildFolderItem(state.sections[kFolderSection], state.displays[kFolderSection].showby, data->hidden, entry.name,
                        data->date, state.urlTagEncoded);
        ++state.listedDiskFolders;
      }
      ++state.visibleDiskFolders;
    }
    if (!subYieldToMessageLoop(state)) {
      return LoopEnd::Destroyed;
    }
  }
  return LoopEnd::Finished;
}

void BuildVirtualFolderItems(PageBuildState& state, const QString& filter) {
  state.listedVirtualFolders = 0;
  state.countedVirtualFolders = 0;
  QStringList listed;
  const core::tShares& shares = core::gConfiguration.Shared;
  const QString& page = state.serverFolderPath;
  for (qsizetype position = 1; position <= shares.count(); ++position) {
    if (state.blnAbort) {
      return;
    }
    const QString& serverPath = shares.serverPath.at(position);
    if (!serverPath.startsWith(page, Qt::CaseInsensitive) || serverPath.compare(page, Qt::CaseInsensitive) == 0) {
      continue;
    }
    const QString rest = serverPath.mid(page.size());
    const QString component = rest.left(rest.indexOf(QLatin1Char('/')));
    if (component.isEmpty()) {
      continue;
    }
    const QString name = core::fnctUrlDecode(component, false);
    if (!state.localFolderPath.isEmpty() &&
        core::fnctFolderExists(state.localFolderPath + name, false) == core::ExistenceCode::Usable) {
      continue;
    }
    const QString exact = page + component + QLatin1Char('/');
    bool anotherGivesIt = false;
    for (qsizetype other = 1; other <= shares.count() && !anotherGivesIt; ++other) {
      anotherGivesIt = other != position && shares.serverPath.at(other).compare(exact, Qt::CaseInsensitive) == 0;
    }
    if (anotherGivesIt || listed.contains(name + QLatin1Char('/'), Qt::CaseInsensitive)) {
      continue;
    }
    if (isNamePassingFilter(name, filter)) {
      const QString& localPath = shares.localPath.at(position);
      BuildFolderItem(state.sections[kFolderSection], state.displays[kFolderSection].showby,
                      core::hasFileAttribute(localPath, core::kFileAttributeHidden), name,
                      core::getFileLastWriteDate(localPath), state.urlTagEncoded);
      ++state.listedVirtualFolders;
      listed << name + QLatin1Char('/');
    }
    ++state.countedVirtualFolders;
  }
}

LoopEnd BuildFileItems(PageBuildState& state, const FolderSnapshot& snapshot) {
  const std::array<DefaultItemIcons, kSectionCount> icons = defaultIconsOfSections();
  for (const ListedEntry& entry : snapshot.files) {
    if (state.blnAbort) {
      return LoopEnd::Aborted;
    }
    const std::optional<EntryData> data = readEntry(snapshot, state.localFolderPath, entry, false);
    if (data && isShown(*data)) {
      const SectionIndex section = getFileSectionOf(getNameExtension(entry.name));
      if (state.shareFiles[section]) {
        if (isNamePassingFilter(entry.name, state.displays[section].filter)) {
          const bool withMp3 = section == kSoundSection && isArtistOrAlbum(state.displays[section].sortby);
          appendFileItem(state, section, entry, *data, withMp3, icons[section]);
          ++state.sectionItems[section];
        }
        ++state.filesSeen[section];
      }
    }
    if (!subYieldToMessageLoop(state)) {
      return LoopEnd::Destroyed;
    }
  }
  return LoopEnd::Finished;
}

LoopEnd BuildSectionFileItems(PageBuildState& state, const FolderSnapshot& snapshot, SectionIndex section,
                              const QString& extensionList, int& count) {
  count = 0;
  const xml::Element element = state.sections[section];
  const bool withMp3 = isArtistOrAlbum(element.attribute(latin("sortby")));
  const DefaultItemIcons icons = defaultIconsOfSections()[section];
  int items = 0;
  for (const ListedEntry& entry : snapshot.files) {
    if (state.blnAbort) {
      return LoopEnd::Aborted;
    }
    const std::optional<EntryData> data = readEntry(snapshot, state.localFolderPath, entry, false);
    if (data && isShown(*data)) {
      const QString needle = QLatin1Char('.') + getNameExtension(entry.name) + QLatin1Char(';');
      const bool listed = extensionList.contains(needle, Qt::CaseInsensitive);
      if (section == kOtherSection ? !listed : listed) {
        appendFileItem(state, section, entry, *data, withMp3, icons);
        ++items;
      }
    }
    if (!subYieldToMessageLoop(state)) {
      return LoopEnd::Destroyed;
    }
  }
  count = items;
  return LoopEnd::Finished;
}

}  // namespace orv::content
