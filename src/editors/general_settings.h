#pragma once

#include "core/configuration.h"
#include "core/language.h"
#include "desktop/language_version.h"

#include <QString>
#include <QStringList>

#include <optional>

// The rules of the general category: the port, the thumbnail cache size, the keyword and
// domain lists and the language file check, without a screen.
namespace orv::editors {

// ---- Port ----
// The port a text names: a number (blanks around it, a fraction or an exponent allowed)
// that rounds to 1..65535. Nothing for any other text ("0", "65536", "abc").
std::optional<int> fnctCheckLocalPort(const QString& text);
// The text the port box keeps when it loses the focus: its own text when it passes, else
// the stored port.
QString fnctCheckedLocalPortText(const QString& text, const core::tConfProtocol& protocol);
// The port to store for a box text: the number alone ("080" and " 80" store "80"); the
// stored port when the text is refused.
QString fnctLocalPortToStore(const QString& text, const core::tConfProtocol& protocol);
// The port text changes the listening port: compared as numbers, so "080" is no change
// from "80".
bool isLocalPortChanged(const QString& text, const core::tConfProtocol& protocol);

// ---- Thumbnail cache size, shown in megabytes and kept in bytes ----
inline constexpr qint64 kBytesPerMegabyte = 1048576;
// The largest size the signed 32-bit byte count holds in whole megabytes.
inline constexpr int kLargestCacheSizeMegabytes = 2047;
// The box text at load: the stored bytes in megabytes rounded (halves to even), 0 shown as 1.
QString fnctCacheSizeShownText(int storedBytes);
// The box text Escape puts back: the stored bytes in megabytes in full decimal form.
QString fnctCacheSizeExactText(int storedBytes);
// The megabytes a text names: -1, or 1..2047 (larger sizes cannot be held in bytes).
std::optional<int> fnctCheckCacheSizeMegabytes(const QString& text);
QString fnctCheckedCacheSizeText(const QString& text, int storedBytes);
// The bytes to store for a box text. A text that shows the stored size (as loaded or as
// Escape puts it back) keeps the stored bytes as they are: only a newly typed size is
// stored in whole megabytes. A refused text keeps the stored bytes too.
int fnctCacheSizeBytesToStore(const QString& text, int storedBytes);

// ---- ";"-lists ----
// The text a list box keeps when it loses the focus: every item trimmed of blanks, empty
// items dropped, each item followed by ";", the empty list as ";".
QString fnctNormalizeListText(const QString& text);
// The stored array of a list text: its items, followed by one empty element; no element
// for the empty list.
QStringList fnctListTextToArray(const QString& text);
// The list text of a stored array ("a;b;", ";" for none).
QString fnctArrayToListText(const QStringList& array);

// "Allow only domains" with no domain would refuse every request.
bool isDomainsChoiceRefused(bool allowOnlyDomains, const QString& domainsText);
// The fixed English text of that refusal (the language files have none).
inline constexpr char kEmptyDomainsListText[] =
    "The list of allowed domains is empty: with \"Allow only domains\" every request would be refused. "
    "Add a domain or uncheck the box.";

// ---- Language file ----

// What Save does with the language choice.
enum class LanguageChoice {
  Unchanged,  // the same file, or no entry chosen (FILENAME names no listed file)
  OutOfDate,  // the file's version is older than the application's
  NotLoaded,  // the file is missing, broken or incomplete
  Changed,    // loaded into the record given
};
// The language file at position index (from 0) of the list, against the file in use.
// index -1 is no selection.
LanguageChoice fnctChooseLanguage(const core::tLanguagesList& list, int index, const QString& currentFileName,
                                  core::tLanguage* loaded);
// The position of the file name in the list (case ignored), -1 when none.
int fnctLanguageIndex(const core::tLanguagesList& list, const QString& fileName);

}  // namespace orv::editors
