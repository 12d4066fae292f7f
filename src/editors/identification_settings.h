#pragma once

#include "core/configuration.h"

#include <QString>

#include <optional>

// The settings of the identification category: the limit of failed identifications after
// which a client address is banned, the length of the ban, and the identification method.
namespace orv::editors {

// What the category's boxes and options hold.
struct IdentificationFields {
  QString maxIdentificationErrors;  // text of txtMaxIdentificationErrors
  QString banDuration;              // text of txtBanDuration, in seconds
  bool htmlForm = true;             // optHtml selected; otherwise HTTP Basic
};

// The fields as the form shows the stored settings.
IdentificationFields fnctIdentificationFields(const core::tConfProtocol& protocol);

// The checks a box runs when it loses the focus: the text's integer value when the text
// stays, nothing when the box gets the stored value back. The limit accepts -1 (never
// ban) and 1 upwards; the ban lasts 1 to 86400 seconds.
std::optional<int> fnctCheckMaxIdentificationErrors(const QString& text);
std::optional<int> fnctCheckBanDuration(const QString& text);

// The text a box keeps after its check: its own text when the check passes, else the
// stored value as decimal text.
QString fnctCheckedMaxIdentificationErrorsText(const QString& text, const core::tConfProtocol& protocol);
QString fnctCheckedBanDurationText(const QString& text, const core::tConfProtocol& protocol);

// Save: every box is checked again (a box that never lost the focus too), then a value
// that differs from the stored one is stored.
void subStoreIdentification(const IdentificationFields& fields, core::tConfProtocol& protocol);

}  // namespace orv::editors
