#include "desktop/about_box.h"

#include "core/app_info.h"
#include "core/configuration.h"
#include "core/language.h"

namespace orv::desktop {
namespace {

QString versionDigits() {
  return QString::number(core::kVersionMajor) + QString::number(core::kVersionMinor) +
         QString::number(core::kVersionRevision);
}

QString sitePage(const QString& page, const QString& abbreviation) {
  return QString::fromUtf16(kProjectWebSite) + page + QStringLiteral("?lang=") + abbreviation +
         QStringLiteral("&version=") + versionDigits();
}

}  // namespace

QString aboutVersionText() {
  return core::displayVersion() + QStringLiteral(" Public") + QStringLiteral(" (beta)") + QStringLiteral(", build ") +
         QStringLiteral("Nov 02 2006 03:00 AM");
}

QString aboutAppTitleText() {
  return core::applicationTitle() + QStringLiteral(" (personal web server)");
}

QString aboutAppCreatorText() {
  return QString::fromUtf16(kProgramAuthorName) + QStringLiteral(" <") + QString::fromUtf16(kProgramAuthorEmail) +
         QLatin1Char('>');
}

AboutLanguageFile currentLanguageFile() {
  const core::tLanguagesList& list = core::gLanguagesList;
  const QString& key = core::gConfiguration.Language.FILENAME;
  return {list.colLanguage.value(key), list.colComplete.value(key, false), list.colFileVersion.value(key),
          list.colAuthor.value(key),   list.colEmail.value(key),           list.colAbbreviation.value(key)};
}

QString aboutLanguageTitleText(const QString& translation, const AboutLanguageFile& file) {
  return translation + QStringLiteral(" (") + file.language +
         (file.complete ? QString() : QStringLiteral(", incomplete")) + QLatin1Char(')');
}

QString aboutLanguageCreatorText(const AboutLanguageFile& file) {
  return file.author + QStringLiteral(" <") + file.email + QLatin1Char('>');
}

QString newVersionAddress(const QString& abbreviation) {
  return sitePage(QStringLiteral("update.php"), abbreviation);
}

QString reportBugsAddress(const QString& abbreviation) {
  return sitePage(QStringLiteral("contact.php"), abbreviation);
}

QString webSiteAddress(const QString& abbreviation) {
  return QString::fromUtf16(kProjectWebSite) + QStringLiteral("?lang=") + abbreviation;
}

}  // namespace orv::desktop
