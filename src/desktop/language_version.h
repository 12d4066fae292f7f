#pragma once

#include <QString>

#include <optional>

// The version a language file says it knows (MAX_APP_VERSION_COMPATIBLILITY) against the
// application's, compared number by number, never as digits run together.
namespace orv::desktop {

// A version text: "1.0.2" (major, minor and revision), "1.02" (major, then minor and
// revision written together, the last digit the revision) or "102" (all three together).
struct AppVersion {
  int versionMajor = 0;
  int versionMinor = 0;
  int versionRevision = 0;
  auto operator<=>(const AppVersion&) const = default;
};
std::optional<AppVersion> fnctParseAppVersion(const QString& text);
// Major 1, minor 0, revision 2.
AppVersion applicationVersion();
// The file knows this application's version: its MAX_APP_VERSION_COMPATIBLILITY is not
// older, compared number by number. A text that is no version counts as older.
bool isLanguageVersionCompatible(const QString& maxAppVersion, const AppVersion& application = applicationVersion());

}  // namespace orv::desktop
