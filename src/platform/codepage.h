#pragma once

#include <QByteArray>
#include <QString>

// The system's single-byte code page is Windows-1252 on every machine. Each of the
// 256 byte values maps to exactly one character and back; the five byte values that
// Windows-1252 leaves undefined map to the C1 control character of the same value, so
// any byte string survives a round trip through text.
namespace orv::platform {

QString fromAnsi(const QByteArray& bytes);

// Characters outside Windows-1252 become "?", as the Windows converter's default
// character does.
QByteArray toAnsi(const QString& text);

// The byte that Windows-1252 gives a character, or -1 when it has none.
int ansiCodeOf(QChar character);

}  // namespace orv::platform
