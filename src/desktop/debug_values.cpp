#include "desktop/debug_values.h"

#include "core/debug_log.h"
#include "core/tuning.h"
#include "server/ip_counters.h"

#include <QLocale>

#include <type_traits>
#include <variant>

namespace orv::desktop {
namespace {

using core::tAdvancedParameters;
using Field = std::variant<int tAdvancedParameters::*, double tAdvancedParameters::*>;

struct ValueRow {
  const char* caption;
  const char* parameter;  // null for a counter
  Field field;
};

constexpr int tAdvancedParameters::*kNoField = nullptr;

const std::array<ValueRow, kDebugValuesRowCount> kRows = {{
    {"APP_LOADED_CONTROL_SOCKET", nullptr, kNoField},
    {"APP_LOADED_CONTROL_FILE_READER", nullptr, kNoField},
    {"APP_LOADED_CONTROL_XML_PAGES", nullptr, kNoField},
    {"APP_LOADED_CONTROL_MINIATURE", nullptr, kNoField},
    {"APP_TOTAL_PAGE_IN_CREATION", nullptr, kNoField},
    {"APP_TOTAL_MINIATURE_IN_CREATION", nullptr, kNoField},
    {"APP_MAX_SEND_TO_SOCKET_SIZE", "APP_MAX_SEND_TO_SOCKET_SIZE", &tAdvancedParameters::APP_MAX_SEND_TO_SOCKET_SIZE},
    {"APP_FILE_READER_BLOCK_SIZE", "APP_FILE_READER_BLOCK_SIZE", &tAdvancedParameters::APP_FILE_READER_BLOCK_SIZE},
    {"APP_MAX_MINIATURE_SOURCE_FILE_SIZE", "APP_MAX_MINIATURE_SOURCE_FILE_SIZE",
     &tAdvancedParameters::APP_MAX_MINIATURE_SOURCE_FILE_SIZE},
    {"APP_MAX_TOTAL_FOLDER_IN_CREATION", "APP_MAX_TOTAL_FOLDER_IN_CREATION",
     &tAdvancedParameters::APP_MAX_TOTAL_FOLDER_IN_CREATION},
    {"APP_MAX_CLIENT_FOLDER_IN_CREATION", "APP_MAX_CLIENT_FOLDER_IN_CREATION",
     &tAdvancedParameters::APP_MAX_CLIENT_FOLDER_IN_CREATION},
    {"APP_MAX_TOTAL_MINIATURE_IN_CREATION", "APP_MAX_TOTAL_MINIATURE_IN_CREATION",
     &tAdvancedParameters::APP_MAX_TOTAL_MINIATURE_IN_CREATION},
    {"APP_MAX_CLIENT_MINIATURE_IN_CREATION", "APP_MAX_CLIENT_MINIATURE_IN_CREATION",
     &tAdvancedParameters::APP_MAX_CLIENT_MINIATURE_IN_CREATION},
    {"SKT_SNDBUF (OS default: -1)", "SKT_SNDBUF", &tAdvancedParameters::SKT_SNDBUF},
    {"SKT_RCVBUF (OS default: -1)", "SKT_RCVBUF", &tAdvancedParameters::SKT_RCVBUF},
    {"SKT_SNDLOWAT (OS default: -1)", "SKT_SNDLOWAT", &tAdvancedParameters::SKT_SNDLOWAT},
    {"SKT_RCVLOWAT (OS default: -1)", "SKT_RCVLOWAT", &tAdvancedParameters::SKT_RCVLOWAT},
    {"SKT_KEEPALIVE (OS default: -1)", "SKT_KEEPALIVE", &tAdvancedParameters::SKT_KEEPALIVE},
    {"SKT_DONTROUTE (OS default: -1)", "SKT_DONTROUTE", &tAdvancedParameters::SKT_DONTROUTE},
    {"SKT_TCP_NODELAY (OS default: -1)", "SKT_TCP_NODELAY", &tAdvancedParameters::SKT_TCP_NODELAY},
    {"HTTP_MAX_REQUEST_SIZE", "HTTP_MAX_REQUEST_SIZE", &tAdvancedParameters::HTTP_MAX_REQUEST_SIZE},
    {"HTTP_MAX_URL_SIZE", "HTTP_MAX_URL_SIZE", &tAdvancedParameters::HTTP_MAX_URL_SIZE},
    {"HTTP_KEEP_ALIVE_TIMEOUT", "HTTP_KEEP_ALIVE_TIMEOUT", &tAdvancedParameters::HTTP_KEEP_ALIVE_TIMEOUT},
    {"HTTP_KEEP_ALIVE_MAX", "HTTP_KEEP_ALIVE_MAX", &tAdvancedParameters::HTTP_KEEP_ALIVE_MAX},
    {"TCP_MAX_OPEN_CONNECTION_TOTAL", "TCP_MAX_OPEN_CONNECTION_TOTAL",
     &tAdvancedParameters::TCP_MAX_OPEN_CONNECTION_TOTAL},
    {"TCP_MAX_OPEN_CONNECTION_CLIENT", "TCP_MAX_OPEN_CONNECTION_CLIENT",
     &tAdvancedParameters::TCP_MAX_OPEN_CONNECTION_CLIENT},
}};

bool isTuningRow(int row) {
  return row >= kDebugCounterCount && row < kDebugValuesRowCount;
}

}  // namespace

QString debugValuesRowCaption(int row) {
  return row >= 0 && row < kDebugValuesRowCount ? QLatin1String(kRows[static_cast<std::size_t>(row)].caption)
                                                : QString();
}

QString tuningParameterOfCaption(const QString& caption) {
  for (int row = kDebugCounterCount; row < kDebugValuesRowCount; ++row) {
    const ValueRow& entry = kRows[static_cast<std::size_t>(row)];
    if (caption.compare(QLatin1String(entry.caption), Qt::CaseInsensitive) == 0) {
      return QLatin1String(entry.parameter);
    }
  }
  return {};
}

std::array<int, kDebugCounterCount> getDebugCounterValues() {
  const core::LoadedObjectsCount loaded = core::getLoadedObjectsCount();
  const core::tAppState& state = core::gConfiguration.AppState;
  return {loaded.usrSocket,
          loaded.usrFileReader,
          loaded.usrBuildXmlPage,
          loaded.usrMinature,
          server::getCounterValue(state.colIpFoldersInCreation, QString()),
          server::getCounterValue(state.colIpMiniaturesInCreation, QString())};
}

QString tuningValueText(const tAdvancedParameters& parameters, int row) {
  if (!isTuningRow(row)) {
    return {};
  }
  return std::visit(
      [&](auto member) {
        const auto& value = parameters.*member;
        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(value)>, int>) {
          return QString::number(value);
        } else {
          QLocale locale = QLocale::system();
          locale.setNumberOptions(QLocale::OmitGroupSeparator);
          return locale.toString(value, 'G', 7);
        }
      },
      kRows[static_cast<std::size_t>(row)].field);
}

void RestoreDebugDefaultValues(tAdvancedParameters& parameters) {
  const tAdvancedParameters defaults;
  for (int row = kDebugCounterCount; row < kDebugValuesRowCount; ++row) {
    std::visit([&](auto member) { parameters.*member = defaults.*member; }, kRows[static_cast<std::size_t>(row)].field);
  }
}

bool ApplyDebugValueEdit(const QString& caption, const QString& typedText) {
  const QString parameter = tuningParameterOfCaption(caption);
  if (parameter.isEmpty()) {
    return false;
  }
  return core::setAdvParamValue(parameter, typedText, QStringLiteral("local"));
}

}  // namespace orv::desktop
