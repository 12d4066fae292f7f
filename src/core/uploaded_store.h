#pragma once

#include "platform/atomic_file.h"

#include <QHash>
#include <QString>

#include <deque>
#include <vector>

// The store of sent files: every visible upload that ended, sent to its end (finished) or
// cut off (aborted), with per-file counts and bytes, kept in memory for the uploads window
// and in uploaded.xml beside the executable between runs.
namespace orv::core {

// The most transfer rows the store keeps: past it the oldest rows go (their files keep
// their totals), so that a client fetching one small file all day neither grows
// uploaded.xml without end nor slows every later start.
inline constexpr qsizetype kMaxUploadedTransfers = 32767;

// The largest count and byte number the store holds: a total that reaches one stays there,
// so what is written always reads back. Larger numbers in a file are not believed.
inline constexpr qint64 kMaxUploadedCount = 2147483647;          // 32-bit counters
inline constexpr double kMaxUploadedBytes = 9007199254740992.0;  // 2^53: every byte count exact

// The per-file values of one local path; a path without an entry reads as all zeros.
struct tUploadedFile {
  QString path;                  // the store's key, compared as the file system does: case counts
  qint64 nbFinishedSession = 0;  // not saved
  qint64 nbFinishedTotal = 0;    // saved as nbFinished
  qint64 nbAbortSession = 0;     // not saved
  double sizeSentSession = 0;    // not saved
  double sizeSentTotal = 0;      // saved as sizeSent
};

// The per-file values by path, in the order of each path's first appearance. Paths are
// compared exactly: on a case-sensitive file system "a.bin" and "A.bin" are two files.
class tUploadedFileList {
 public:
  qsizetype count() const { return static_cast<qsizetype>(files_.size()); }
  bool isEmpty() const { return files_.empty(); }
  bool contains(const QString& path) const { return index_.contains(path); }

  const tUploadedFile* find(const QString& path) const;
  tUploadedFile* find(const QString& path);
  // The entry of the path, added with zeros when it has none.
  tUploadedFile& entry(const QString& path);
  // Adds the file at the end; false (and nothing added) when its path has an entry.
  bool add(const tUploadedFile& file);

  // Position 1 is the first entry; the caller keeps within 1..count().
  const tUploadedFile& at(qsizetype position) const { return files_[static_cast<std::size_t>(position - 1)]; }

  void clear();

  auto begin() const { return files_.cbegin(); }
  auto end() const { return files_.cend(); }

 private:
  std::vector<tUploadedFile> files_;
  QHash<QString, qsizetype> index_;  // path -> place in files_
};

// One ended transfer.
struct tUploadedTransfer {
  QString path;
  bool isSessionTransfer = false;  // added in this run; not saved
  QString date;                    // as stored: see parseStoredDate
  QString clientInfos;             // the address, or the address and " (" login ")"
  double transferred = 0;          // bytes sent to the client
  bool completeFile = false;       // no byte range was asked for
  bool finished = false;           // sent to its end
};

struct tUploadedLists {
  tUploadedFileList filePaths;              // by path, in the order of first appearance
  std::deque<tUploadedTransfer> transfers;  // oldest first; transfer n is transfers[n - 1]

  // The per-file values of the path, all zeros when it has none.
  tUploadedFile file(const QString& path) const;
  // Transfer n (1 = the oldest row), or nullptr when n is not a row.
  const tUploadedTransfer* transfer(qsizetype n) const;
};

extern tUploadedLists gUploadedLists;

// Records one ended transfer dated now in gUploadedLists: counts it as finished or aborted
// for its path, adds its bytes, appends its row (dropping the oldest row past
// kMaxUploadedTransfers) and sets blnUploadedModified.
void subAddUploadInUploadedLists(const QString& path, const QString& clientInfos, double transferred, bool isFinished,
                                 bool isCompleteFile);

// The clear-list command of the uploads window: every transfer row goes, the per-file
// values stay; sets blnUploadedModified.
void subClearUploadedTransfers();

// The store of the file: its valid rows and files in file order, the newest
// kMaxUploadedTransfers rows at most, the run-only values at zero. An invalid or incomplete
// entry (and a second FILE of the same path) is skipped and the others are kept. A missing
// file gives an empty store. A file that cannot be read whole (not XML, cut short, without
// its UPLOADED element, unreadable) gives what was sound before its fault; it is first
// renamed to its name, ".bad-" and the date and time, so that nothing overwrites it, and
// blnUploadedModified is set so that the sound part is written back at exit.
tUploadedLists fnctLoadUploadedLists(const QString& path);

// Writes gUploadedLists to path through a temporary file renamed over the old one and
// clears blnUploadedModified; a failed write leaves the file and the flag as they were, and
// its reason goes to the debug log and the console before it is returned.
platform::WriteResult subSaveUploadedLists(const QString& path);

// The entry checks of the reader: texts not empty, the date readable, numbers numeric, not
// negative and within kMaxUploadedBytes (counts within kMaxUploadedCount).
bool isValidUploadedTransfer(const QString& path, const QString& date, const QString& clientInfos,
                             const QString& transferred);
bool isValidUploadedFile(const QString& path, const QString& nbFinished, const QString& sizeSent);

}  // namespace orv::core
