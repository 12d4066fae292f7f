#pragma once

#include "core/keyed_list.h"

#include <QHash>
#include <QString>
#include <QStringView>

// The language record: every text the windows and the generated pages show, read from a
// language file of the folder "lang".
namespace orv::core {

struct tLanguage {
  // The text named "SECTION/GROUP/KEY" (or "SYSTEM_MENU/KEY"), for example
  // text(u"HTLM/OTHER/BYTE"); empty when the record is not loaded. A name that is not one
  // of the record's texts is a programming error.
  QString text(QStringView name) const;

  QHash<QString, QString> texts;  // by "SECTION/GROUP/KEY"
  bool blnLoaded = false;
};

extern tLanguage gLanguage;

}  // namespace orv::core
