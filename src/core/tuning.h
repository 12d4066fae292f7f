#pragma once

#include "core/configuration.h"

#include <QString>

// The runtime tuning parameters: changed while the server runs from the debug window, each
// through one validating setter. Readers read gConfiguration.AdvancedParameters directly.
namespace orv::core {

// Validates value for the parameter called name (case ignored) and stores it in
// gConfiguration. source names who asks ("local" for the debug window). True when the value
// was stored or already was the current value; every change and every refusal writes an
// application line to the debug log.
bool setAdvParamValue(const QString& name, const QString& value, const QString& source);

// The same on a given set of parameters.
bool setAdvParamValue(tAdvancedParameters& parameters, const QString& name, const QString& value,
                      const QString& source);

}  // namespace orv::core
