#pragma once

#include "core/configuration.h"
#include "platform/atomic_file.h"

#include <QString>

#include <functional>

// The Save of every configuration category: the category's values go into the
// configuration record, and the whole record (shares and accounts included) is written to
// config.xml, atomically and readable by the owner alone.
namespace orv::editors {

// The application folder's config.xml.
QString fnctConfigFilePath();

// Runs storeValues on gConfiguration, then writes the whole record to config.xml. When the
// write fails, the record is put back as it was before storeValues, so that nothing in
// memory claims a setting the disk does not hold, and blnConfigModified is set, so that
// shut-down tries to write the record again. Returns the writer's result.
platform::WriteResult fnctSaveCategory(const std::function<void(core::tConfiguration& record)>& storeValues);

// The text that tells the user a Save could not write config.xml.
QString fnctSaveFailureText(const platform::WriteResult& result);

// fnctSaveCategory, and on a failure the message box that says so. True when written.
bool subSaveCategory(const std::function<void(core::tConfiguration& record)>& storeValues);

}  // namespace orv::editors
