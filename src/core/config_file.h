#pragma once

#include "core/configuration.h"
#include "platform/atomic_file.h"

#include <QString>

// config.xml, the settings file of the application folder: the share store, the user
// accounts, the local-path exclusions, the IP filter and the settings of every category.
namespace orv::core {

// Reads the file at path into a new record (gConfiguration is not touched): the tuning
// parameters at their defaults, every value the file holds that passes its checks, and the
// defaults of fnctCheckConfiguration for the rest. Never fails: a missing, empty or broken
// file gives the record of defaults. Also scans the resources folder for file-type icons.
tConfiguration fnctLoadConfiguration(const QString& path);

// The XML text that subSaveConfiguration writes for the record.
QByteArray fnctBuildConfigurationBytes(const tConfiguration& record);

// Writes gConfiguration to path, replacing the file only once the new one is complete on
// disk and readable by the owner alone (it holds passwords); then clears blnConfigModified.
// A failure leaves the old file as it was and blnConfigModified set, writes the reason to
// the debug log and the console, and is returned so that the caller can show it.
platform::WriteResult subSaveConfiguration(const QString& path);

}  // namespace orv::core
