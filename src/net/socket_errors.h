#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <string>

// The numbered errors of the socket layer. Misuse and failures of the library raised to
// the caller are thrown as SocketError; failures met while a notification is handled are
// reported through the socket's Error event with a SocketErrorEventArgs.
namespace orv::net {

inline constexpr int kErrOutOfMemory = 7;
inline constexpr int kErrWrongState = 40006;
inline constexpr int kErrBadArgument = 40014;
inline constexpr int kErrUnsupportedType = 40018;
inline constexpr int kErrInvalidOperation = 40020;

inline constexpr char16_t kTextOutOfMemory[] = u"Out of memory";
inline constexpr char16_t kTextWrongState[] =
    u"Wrong protocol or connection state for the requested transaction or request";
inline constexpr char16_t kTextBadArgument[] =
    u"The argument passed to a function was not in the correct format or in the specified range.";
inline constexpr char16_t kTextInvalidArgument[] = u"Invalid argument";
inline constexpr char16_t kTextUnsupportedType[] = u"Unsupported variant type.";
inline constexpr char16_t kTextInvalidOperation[] = u"Invalid operation at current state";

// A numbered error with its description and its source ("clsSocketMaster.Listen").
class SocketError : public std::exception {
 public:
  SocketError(int number, QString description, QString source);

  int Number() const { return number_; }
  const QString& Description() const { return description_; }
  const QString& Source() const { return source_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  int number_;
  QString description_;
  QString source_;
  std::string what_;
};

// A failure of the library: its Winsock number with the text of the error-text table.
SocketError platformError(int number, const QString& source);

// The arguments of the Error event. A handler may change Description, and sets
// CancelDisplay to false to have the description shown in a message box titled with the
// source.
struct SocketErrorEventArgs {
  int Number = 0;
  QString Description;
  int sCode = 0;
  QString Source;
  QString HelpFile;
  int HelpContext = 0;
  bool CancelDisplay = true;
};

// Shows the message box of an error whose handler asked for it; the desktop installs one.
// Without one nothing is shown.
using SocketErrorDisplay = std::function<void(const QString& text, const QString& title)>;
void setSocketErrorDisplay(SocketErrorDisplay display);
void showSocketError(const QString& text, const QString& title);

namespace modSocketMaster {

// The English text of a Winsock error number; "Unknown error." for any other number.
QString GetWinsockErrorText(int number);

}  // namespace modSocketMaster

}  // namespace orv::net
