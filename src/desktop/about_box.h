#pragma once

#include <QString>

// What the about box says and where its links lead, apart from the box itself.
namespace orv::desktop {

// The project web site, ending in "/".
inline constexpr char16_t kProjectWebSite[] = u"https://www.orvendale.example/";
inline constexpr char16_t kProgramAuthorName[] = u"The Orvendale developers";
inline constexpr char16_t kProgramAuthorEmail[] = u"developers@orvendale.example";
inline constexpr char16_t kW3cWebSite[] = u"https://www.w3.org/";

// "1.02 Public (beta), build Nov 02 2006 03:00 AM" for version 1.0.2.
QString aboutVersionText();

// The application title and its notice in parentheses.
QString aboutAppTitleText();

// The program author's name followed by " <", the address and ">".
QString aboutAppCreatorText();

// The details of the language file in use (the configuration's FILENAME), from the list of
// installed language files; empty texts for a file the list does not hold.
struct AboutLanguageFile {
  QString language;
  bool complete = false;
  QString fileVersion;
  QString author;
  QString email;
  QString abbreviation;
};
AboutLanguageFile currentLanguageFile();

// TRANSLATION, " (", the language's name, ", incomplete" for a file not declared complete,
// and ")".
QString aboutLanguageTitleText(const QString& translation, const AboutLanguageFile& file);
// The file's author, " <", its address and ">".
QString aboutLanguageCreatorText(const AboutLanguageFile& file);

// The site's "update.php" and "contact.php" pages with "?lang=" and "&version=" (the version
// digits without dots), and its home page with "?lang=".
QString newVersionAddress(const QString& abbreviation);
QString reportBugsAddress(const QString& abbreviation);
QString webSiteAddress(const QString& abbreviation);

}  // namespace orv::desktop
