#pragma once

#include "content/mp3_reader.h"
#include "content/page_build_state.h"
#include "platform/folder_reading.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

// The listing of a folder page: the disk sub-folders of the page's folder, the virtual
// folders that lead to deeper shares and the folder's files, each as an `item` of its
// section. The folder is read once per build; each entry is looked at again when its turn
// comes, since the loops yield to the event loop between entries and the folder may
// change (or vanish) meanwhile: an entry that is gone by then is left out.
namespace orv::content {

// The section of a file by its extension: the first of the SOUND, IMAGE and VIDEO lists
// that holds ".", the extension and ";" (case ignored), else other.
SectionIndex getFileSectionOf(const QString& extension);

// The text after the last "." of a name, as on disk; empty when there is none.
QString getNameExtension(const QString& name);

// True when the filter occurs in the name, case ignored; the empty filter passes all.
bool isNamePassingFilter(const QString& name, const QString& filter);

struct ListedEntry {
  QString name;  // as on disk, through the surrogate-escape mapping
  bool isLink = false;
  QByteArray native;  // the name's bytes; empty when only the name is known
};

// The page folder as read at the start of a build: its sub-folders and its files, each
// sorted as the sort stylesheet sorts names ascending, since the file system gives them in
// no order. Symbolic links are listed as what they lead to only when that lies inside the
// share's folder; links that lead out of it, nowhere or round in a loop are left out, and
// so are entries that are neither files nor folders (devices, pipes, sockets).
// The folder stays open while the snapshot lives: each entry is looked at again through it,
// one call per entry.
struct FolderSnapshot {
  QString boundary;  // the share's folder, every link resolved
  std::vector<ListedEntry> folders;
  std::vector<ListedEntry> files;
  std::shared_ptr<const platform::OpenFolder> folder;
};

// Nothing when the folder cannot be listed or does not lie inside the share's folder
// (shareFolderPath; the folder itself when that is empty).
std::optional<FolderSnapshot> fnctReadFolderSnapshot(const QString& folderPath, const QString& shareFolderPath);

// Sorts names as the sort stylesheet orders the `name` texts of items, ascending: by the
// text lower-cased as the stylesheets lower-case it, then by the text itself, in code point
// order; folder names with the "/" their items show. Names that look the same on the page
// keep an order of their own bytes.
void subSortAsPage(std::vector<ListedEntry>& entries, bool folders);

// True when a file of the snapshot is still there when its turn comes: a regular file, and
// for a link one that still leads inside the share. folderPath ends with "/".
bool isListedFileStillThere(const FolderSnapshot& snapshot, const QString& folderPath, const ListedEntry& entry);

// The MP3 data of a listed file, as fnctGetMp3Infos reads them, through one handle; a file
// that was listed as no link is not followed if it became one.
tMp3Summary fnctGetListedMp3Infos(const QString& path, bool isLink);

// How a listing loop ended.
enum class LoopEnd { Finished, Aborted, Destroyed };

// The disk sub-folders of the page into the folder section (counting listed and visible
// folders afresh).
LoopEnd BuildSubFolderItems(PageBuildState& state, const FolderSnapshot& snapshot, const QString& filter);

// The virtual folders of the page: one per first component of the deeper share server
// paths, unless a disk folder or a share of exactly that path stands for it. It does not
// yield.
void BuildVirtualFolderItems(PageBuildState& state, const QString& filter);

// The files of the folder into the sections of their types, for the shared types, through
// each type's filter; counts the files seen per type.
LoopEnd BuildFileItems(PageBuildState& state, const FolderSnapshot& snapshot);

// Fills a file section without its filter: every file whose ".ext;" is in the list (for the
// other section: is not). count is the section's items, 0 when the loop was aborted.
LoopEnd BuildSectionFileItems(PageBuildState& state, const FolderSnapshot& snapshot, SectionIndex section,
                              const QString& extensionList, int& count);

}  // namespace orv::content
