#pragma once

#include <QObject>
#include <QString>

#include <deque>
#include <functional>

// The debug event log: the diagnostic lines of the socket layer, the request engine and the
// rest of the application, kept while the debug window is open and shown by it.
namespace orv::core {

// Which producer a line comes from; each has its switch among the tuning parameters.
enum class DebugEventCategory {
  Always = 0,       // written whatever the switches
  Socket = 1,       // SKT_DEBUG
  Http = 2,         // HTTP_DEBUG
  Application = 3,  // APP_DEBUG
};

struct RgbColour {
  int red = 0;
  int green = 0;
  int blue = 0;
  friend bool operator==(const RgbColour&, const RgbColour&) = default;
};

struct DebugEventLine {
  QString text;  // "[" date and time "] " message
  RgbColour colour;
};

// The lines of the log, newest first, at most kMaxLines of them. The debug window shows
// them and empties them with its clear command.
class DebugEventLog : public QObject {
  Q_OBJECT

 public:
  static constexpr qsizetype kMaxLines = 500;

  qsizetype count() const { return static_cast<qsizetype>(lines_.size()); }
  const DebugEventLine& line(qsizetype row) const { return lines_[static_cast<std::size_t>(row)]; }  // 0 newest

  // Puts the line on top and drops the oldest beyond kMaxLines.
  void addLine(DebugEventLine line);
  void clear();

 Q_SIGNALS:
  void changed();  // a line was added or the log was emptied

 private:
  std::deque<DebugEventLine> lines_;
};

DebugEventLog& debugEventLog();

// The colour of a category's lines; black for a code that is not a category.
RgbColour debugEventColour(DebugEventCategory category);

// Writes "[" the current local date and time "] " and the message as the newest line, when
// the debug window is open and the category's switch is on; other category codes write
// nothing. Never fails.
void subAddDebugEvent(const QString& message, DebugEventCategory category);

// True when subAddDebugEvent writes lines of the category now: callers on busy paths (every
// send of a large file, every request) make their message only then.
bool isDebugEventShown(DebugEventCategory category);

// Writes one line to the console (standard error), for failures the user must see even
// without the debug window, such as a settings file that could not be saved.
void subWriteConsoleLine(const QString& message);

// The numbers of connection components that exist, for the debug window's counters.
struct LoadedObjectsCount {
  int usrSocket = 0;  // connections, the listener not counted
  int usrFileReader = 0;
  int usrBuildXmlPage = 0;
  int usrMinature = 0;
};

// The server registers the function that counts its connection components; until then
// (and after it clears it with an empty function) every count is 0.
void setLoadedObjectsCounter(std::function<LoadedObjectsCount()> counter);
LoadedObjectsCount getLoadedObjectsCount();

}  // namespace orv::core
