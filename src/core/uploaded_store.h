#pragma once

#include "core/keyed_list.h"
#include "platform/atomic_file.h"

#include <QString>

#include <vector>

// The store of sent files: every visible upload that ended, sent to its end (finished) or
// cut off (aborted), with per-file counts and bytes, kept in memory for the uploads window
// and in uploaded.xml beside the executable between runs.
namespace orv::core {

// The per-file values of one local path; a path without an entry reads as all zeros.
struct tUploadedFile {
  QString path;                  // as first seen; the store's key, compared ignoring case
  qint64 nbFinishedSession = 0;  // not saved
  qint64 nbFinishedTotal = 0;    // saved as nbFinished
  qint64 nbAbortSession = 0;     // not saved
  double sizeSentSession = 0;    // not saved
  double sizeSentTotal = 0;      // saved as sizeSent
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
  KeyedList<tUploadedFile> filePaths;        // by path, in the order of first appearance
  std::vector<tUploadedTransfer> transfers;  // oldest first; transfer n is transfers[n - 1]

  // The per-file values of the path, all zeros when it has none.
  tUploadedFile file(const QString& path) const { return filePaths.value(path); }
};

extern tUploadedLists gUploadedLists;

// Records one ended transfer dated now in gUploadedLists: counts it as finished or aborted
// for its path, adds its bytes, appends its row and sets blnUploadedModified.
void subAddUploadInUploadedLists(const QString& path, const QString& clientInfos, double transferred, bool isFinished,
                                 bool isCompleteFile);

// The store of the file: its valid rows and files in file order, the run-only values at
// zero. A missing, empty or broken file gives an empty store; an invalid or incomplete
// entry (and a second FILE of the same path) is skipped and the others are kept.
tUploadedLists fnctLoadUploadedLists(const QString& path);

// Writes gUploadedLists to path through a temporary file renamed over the old one and
// clears blnUploadedModified; a failed write leaves the file and the flag as they were, and
// its reason goes to the debug log and the console before it is returned.
platform::WriteResult subSaveUploadedLists(const QString& path);

// The entry checks of the reader: texts not empty, the date readable, numbers numeric and
// not negative (counts also within 32 bits).
bool isValidUploadedTransfer(const QString& path, const QString& date, const QString& clientInfos,
                             const QString& transferred);
bool isValidUploadedFile(const QString& path, const QString& nbFinished, const QString& sizeSent);

}  // namespace orv::core
