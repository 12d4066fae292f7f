#include "editors/boot_settings.h"

#include "core/app_info.h"
#include "platform/autostart_entry.h"

namespace orv::editors {
namespace {

constexpr QChar kQuote = QLatin1Char('"');
constexpr QChar kBackslash = QLatin1Char('\\');

// The quoting of one argument of an Exec value.
QString quotedArgument(const QString& argument) {
  QString quoted(kQuote);
  for (const QChar character : argument) {
    if (character == kQuote || character == QLatin1Char('`') || character == QLatin1Char('$') ||
        character == kBackslash) {
      quoted += kBackslash;
    } else if (character == QLatin1Char('%')) {
      quoted += QLatin1Char('%');
    }
    quoted += character;
  }
  return quoted + kQuote;
}

// The escapes of a string value of a desktop entry.
QString escapedValue(const QString& text) {
  QString escaped;
  for (const QChar character : text) {
    switch (character.unicode()) {
      case u'\\':
        escaped += QStringLiteral("\\\\");
        break;
      case u'\n':
        escaped += QStringLiteral("\\n");
        break;
      case u'\r':
        escaped += QStringLiteral("\\r");
        break;
      case u'\t':
        escaped += QStringLiteral("\\t");
        break;
      default:
        escaped += character;
    }
  }
  return escaped;
}

QString unescapedValue(const QString& value) {
  QString text;
  for (qsizetype i = 0; i < value.size(); ++i) {
    if (value[i] != kBackslash || i + 1 == value.size()) {
      text += value[i];
      continue;
    }
    const QChar next = value[++i];
    switch (next.unicode()) {
      case u's':
        text += QLatin1Char(' ');
        break;
      case u'n':
        text += QLatin1Char('\n');
        break;
      case u'r':
        text += QLatin1Char('\r');
        break;
      case u't':
        text += QLatin1Char('\t');
        break;
      default:
        text += next;
    }
  }
  return text;
}

bool isTrue(const QString& value) {
  return value.trimmed() == QLatin1String("true");
}

bool isFalse(const QString& value) {
  return value.trimmed() == QLatin1String("false");
}

}  // namespace

QString fnctAutostartExecValue(const QString& programPath) {
  return escapedValue(quotedArgument(programPath));
}

QByteArray fnctAutostartEntryText(const QString& programPath) {
  const QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=") + core::applicationTitle() +
                       QStringLiteral("\nExec=") + fnctAutostartExecValue(programPath) +
                       QStringLiteral("\nTerminal=false\n");
  return text.toUtf8();
}

std::optional<QStringList> fnctExecArguments(const QString& execValue) {
  const QString text = unescapedValue(execValue);
  QStringList arguments;
  QString current;
  bool inArgument = false;
  bool quoted = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar character = text[i];
    if (quoted) {
      if (character == kQuote) {
        quoted = false;
      } else if (character == kBackslash && i + 1 < text.size()) {
        current += text[++i];
      } else if (character == QLatin1Char('%') && i + 1 < text.size() && text[i + 1] == QLatin1Char('%')) {
        current += text[++i];
      } else {
        current += character;
      }
      continue;
    }
    if (character == QLatin1Char(' ') || character == QLatin1Char('\t')) {
      if (inArgument) {
        arguments.append(current);
        current.clear();
        inArgument = false;
      }
      continue;
    }
    inArgument = true;
    if (character == kQuote) {
      quoted = true;
    } else if (character == QLatin1Char('%') && i + 1 < text.size() && text[i + 1] == QLatin1Char('%')) {
      current += text[++i];
    } else {
      current += character;
    }
  }
  if (quoted) {
    return std::nullopt;
  }
  if (inArgument) {
    arguments.append(current);
  }
  return arguments;
}

bool isAutostartEntryStarting(const QByteArray& entry, const QString& programPath) {
  bool inMainGroup = false;
  std::optional<QString> exec;
  bool switchedOff = false;
  for (const QString& rawLine : QString::fromUtf8(entry).split(QLatin1Char('\n'))) {
    const QString line = rawLine.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
      continue;
    }
    if (line.startsWith(QLatin1Char('['))) {
      inMainGroup = line == QLatin1String("[Desktop Entry]");
      continue;
    }
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (!inMainGroup || equals < 0) {
      continue;
    }
    const QString key = line.left(equals).trimmed();
    const QString value = line.mid(equals + 1).trimmed();
    if (key == QLatin1String("Exec")) {
      exec = value;
    } else if ((key == QLatin1String("Hidden") && isTrue(value)) ||
               (key == QLatin1String("X-GNOME-Autostart-enabled") && isFalse(value))) {
      switchedOff = true;
    }
  }
  if (!exec || switchedOff) {
    return false;
  }
  const std::optional<QStringList> arguments = fnctExecArguments(*exec);
  return arguments && arguments->size() == 1 && arguments->first() == programPath;
}

AutostartChange fnctAutostartChange(bool tickedAtLoad, bool tickedNow) {
  if (tickedAtLoad == tickedNow) {
    return AutostartChange::None;
  }
  return tickedNow ? AutostartChange::Write : AutostartChange::Remove;
}

platform::WriteResult fnctApplyAutostartChange(AutostartChange change, const QString& programPath) {
  switch (change) {
    case AutostartChange::Write:
      return platform::writeAutostartEntry(fnctAutostartEntryText(programPath));
    case AutostartChange::Remove:
      return platform::removeAutostartEntry();
    case AutostartChange::None:
      break;
  }
  return {true, {}};
}

QString fnctAutostartFailureText(AutostartChange change, const platform::WriteResult& result) {
  const QString what = change == AutostartChange::Remove
                           ? QStringLiteral("The start with the session could not be switched off: ")
                           : QStringLiteral("The start with the session could not be set up: ");
  return what + result.error + QStringLiteral(".\nThe entry is ") + platform::autostartEntryPath() +
         QStringLiteral("; press Save again once the cause is mended.");
}

BootFields fnctBootFields(const core::tConfOther& other) {
  return {other.START_IN_TRAY, other.START_SERVER_ON_LOAD};
}

void subStoreBoot(const BootFields& fields, core::tConfOther& other) {
  other.START_IN_TRAY = fields.startInTray;
  other.START_SERVER_ON_LOAD = fields.startServerOnLoad;
}

}  // namespace orv::editors
