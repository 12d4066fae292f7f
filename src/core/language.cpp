#include "core/language.h"

namespace orv::core {

tLanguage gLanguage;

QString tLanguage::text(QStringView name) const {
  return texts.value(name.toString());
}

}  // namespace orv::core
