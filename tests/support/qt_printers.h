#pragma once

// Lets a failing EXPECT_EQ on Qt values print them.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
  *out << "bytes \"";
  for (const char byte : bytes) {
    const auto code = static_cast<unsigned char>(byte);
    if (code >= 0x20 && code < 0x7F && code != '\\') {
      *out << byte;
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      *out << "\\x" << kHex[code >> 4] << kHex[code & 15];
    }
  }
  *out << '"';
}

inline void PrintTo(const QStringList& list, std::ostream* out) {
  *out << '[';
  for (qsizetype i = 0; i < list.size(); ++i) {
    *out << (i == 0 ? "" : ", ") << '"' << list.at(i).toStdString() << '"';
  }
  *out << ']';
}
QT_END_NAMESPACE
