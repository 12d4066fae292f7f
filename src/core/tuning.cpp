#include "core/tuning.h"

#include "core/debug_log.h"

#include <QLocale>

#include <array>
#include <cmath>
#include <optional>
#include <type_traits>
#include <variant>

namespace orv::core {
namespace {

enum class Rule {
  Switch,               // "0" or "1"
  Positive,             // a number above 0
  OsDefaultOrPositive,  // "-1" or a number above 0
  Tristate,             // "1", "0" or "-1"
  Timeout,              // a number above 0 and at most 60
};

enum class Storage {
  Flag,    // "1" true, "0" false
  Whole,   // rounded to a whole number
  Number,  // the number itself
};

struct Parameter {
  const char* name;
  Rule rule;
  Storage storage;
  // The number is a size or a count that its reader takes as a whole number: a value that
  // rounds to 0 would make every transfer or request stall, so it is refused.
  bool wholeAtUse;
  std::variant<bool tAdvancedParameters::*, int tAdvancedParameters::*, double tAdvancedParameters::*> field;
};

using P = tAdvancedParameters;

// In the order the setter looks the names up.
constexpr std::array<Parameter, 23> kParameters = {{
    {"APP_DEBUG", Rule::Switch, Storage::Flag, false, &P::APP_DEBUG},
    {"HTTP_DEBUG", Rule::Switch, Storage::Flag, false, &P::HTTP_DEBUG},
    {"SKT_DEBUG", Rule::Switch, Storage::Flag, false, &P::SKT_DEBUG},
    {"APP_MAX_SEND_TO_SOCKET_SIZE", Rule::Positive, Storage::Whole, true, &P::APP_MAX_SEND_TO_SOCKET_SIZE},
    {"APP_FILE_READER_BLOCK_SIZE", Rule::Positive, Storage::Number, true, &P::APP_FILE_READER_BLOCK_SIZE},
    {"APP_MAX_MINIATURE_SOURCE_FILE_SIZE", Rule::Positive, Storage::Number, true,
     &P::APP_MAX_MINIATURE_SOURCE_FILE_SIZE},
    {"APP_MAX_TOTAL_FOLDER_IN_CREATION", Rule::Positive, Storage::Whole, true, &P::APP_MAX_TOTAL_FOLDER_IN_CREATION},
    {"APP_MAX_CLIENT_FOLDER_IN_CREATION", Rule::Positive, Storage::Whole, true, &P::APP_MAX_CLIENT_FOLDER_IN_CREATION},
    {"APP_MAX_TOTAL_MINIATURE_IN_CREATION", Rule::Positive, Storage::Whole, true,
     &P::APP_MAX_TOTAL_MINIATURE_IN_CREATION},
    {"APP_MAX_CLIENT_MINIATURE_IN_CREATION", Rule::Positive, Storage::Whole, true,
     &P::APP_MAX_CLIENT_MINIATURE_IN_CREATION},
    {"SKT_SNDBUF", Rule::OsDefaultOrPositive, Storage::Whole, true, &P::SKT_SNDBUF},
    {"SKT_RCVBUF", Rule::OsDefaultOrPositive, Storage::Whole, true, &P::SKT_RCVBUF},
    {"SKT_SNDLOWAT", Rule::OsDefaultOrPositive, Storage::Whole, true, &P::SKT_SNDLOWAT},
    {"SKT_RCVLOWAT", Rule::OsDefaultOrPositive, Storage::Whole, true, &P::SKT_RCVLOWAT},
    {"SKT_KEEPALIVE", Rule::Tristate, Storage::Whole, false, &P::SKT_KEEPALIVE},
    {"SKT_DONTROUTE", Rule::Tristate, Storage::Whole, false, &P::SKT_DONTROUTE},
    {"SKT_TCP_NODELAY", Rule::Tristate, Storage::Whole, false, &P::SKT_TCP_NODELAY},
    {"HTTP_MAX_REQUEST_SIZE", Rule::Positive, Storage::Number, true, &P::HTTP_MAX_REQUEST_SIZE},
    {"HTTP_MAX_URL_SIZE", Rule::Positive, Storage::Number, true, &P::HTTP_MAX_URL_SIZE},
    {"HTTP_KEEP_ALIVE_TIMEOUT", Rule::Timeout, Storage::Number, false, &P::HTTP_KEEP_ALIVE_TIMEOUT},
    {"HTTP_KEEP_ALIVE_MAX", Rule::Positive, Storage::Number, true, &P::HTTP_KEEP_ALIVE_MAX},
    {"TCP_MAX_OPEN_CONNECTION_TOTAL", Rule::Positive, Storage::Number, true, &P::TCP_MAX_OPEN_CONNECTION_TOTAL},
    {"TCP_MAX_OPEN_CONNECTION_CLIENT", Rule::Positive, Storage::Number, true, &P::TCP_MAX_OPEN_CONNECTION_CLIENT},
}};

const Parameter* findParameter(const QString& name) {
  for (const Parameter& parameter : kParameters) {
    if (name.compare(QLatin1String(parameter.name), Qt::CaseInsensitive) == 0) {
      return &parameter;
    }
  }
  return nullptr;
}

// A number written with the user's decimal separator, or failing that with ".".
std::optional<double> toNumber(const QString& text) {
  bool ok = false;
  double number = QLocale::system().toDouble(text, &ok);
  if (!ok) {
    number = QLocale::c().toDouble(text, &ok);
  }
  if (!ok || !std::isfinite(number)) {
    return std::nullopt;
  }
  return number;
}

// Halves go to the even neighbour (2.5 gives 2), as whole numbers are made everywhere.
double roundHalfEven(double number) {
  return std::nearbyint(number);
}

bool isOneOf(const QString& value, std::initializer_list<const char*> texts) {
  for (const char* text : texts) {
    if (value.compare(QLatin1String(text), Qt::CaseInsensitive) == 0) {
      return true;
    }
  }
  return false;
}

// The value in its stored form, or nothing when the parameter's rule refuses it.
std::optional<double> acceptedValue(const Parameter& parameter, const QString& value) {
  switch (parameter.rule) {
    case Rule::Switch:
      return isOneOf(value, {"0", "1"}) ? std::optional<double>(value.toInt()) : std::nullopt;
    case Rule::Tristate:
      return isOneOf(value, {"1", "0", "-1"}) ? std::optional<double>(value.toInt()) : std::nullopt;
    case Rule::OsDefaultOrPositive:
      if (isOneOf(value, {"-1"})) {
        return -1.0;
      }
      break;
    case Rule::Positive:
    case Rule::Timeout:
      break;
  }
  const std::optional<double> number = toNumber(value);
  if (!number || *number <= 0 || (parameter.rule == Rule::Timeout && *number > 60)) {
    return std::nullopt;
  }
  const double whole = roundHalfEven(*number);
  if (parameter.wholeAtUse && whole < 1) {
    return std::nullopt;
  }
  if (parameter.storage == Storage::Whole) {
    // The 32-bit fields cannot hold more.
    if (std::holds_alternative<int tAdvancedParameters::*>(parameter.field) && whole > 2147483647.0) {
      return std::nullopt;
    }
    return whole;
  }
  return *number;
}

// Stores the value; false when it already was the current one.
bool store(tAdvancedParameters& parameters, const Parameter& parameter, double value) {
  return std::visit(
      [&](auto member) {
        auto& field = parameters.*member;
        using Field = std::remove_reference_t<decltype(field)>;
        const Field converted = [&] {
          if constexpr (std::is_same_v<Field, bool>) {
            return value != 0;
          } else {
            return static_cast<Field>(value);
          }
        }();
        if (field == converted) {
          return false;
        }
        field = converted;
        return true;
      },
      parameter.field);
}

}  // namespace

bool setAdvParamValue(tAdvancedParameters& parameters, const QString& name, const QString& value,
                      const QString& source) {
  const QString line = QStringLiteral("'%1' to '%2' by '%3'").arg(name.toUpper(), value, source);
  const Parameter* parameter = (name == QLatin1String("-1") || value.isEmpty()) ? nullptr : findParameter(name);
  const std::optional<double> accepted = parameter == nullptr ? std::nullopt : acceptedValue(*parameter, value);
  if (!accepted) {
    subAddDebugEvent(QStringLiteral("Unabled to set ") + line, DebugEventCategory::Application);
    return false;
  }
  if (store(parameters, *parameter, *accepted)) {
    subAddDebugEvent(QStringLiteral("Set ") + line, DebugEventCategory::Application);
  }
  return true;
}

bool setAdvParamValue(const QString& name, const QString& value, const QString& source) {
  return setAdvParamValue(gConfiguration.AdvancedParameters, name, value, source);
}

}  // namespace orv::core
