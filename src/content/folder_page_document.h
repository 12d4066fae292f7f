#pragma once

#include "content/mp3_reader.h"
#include "platform/xml.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <optional>

// The XML document of a folder page and its parts, element by element in the order the
// page stylesheet reads them: the processing instructions, `page` with `server`,
// `document` and the five `section` elements, and the `item` of each file and folder.
// Every text from a file name, a tag or a URL goes in as a text node or an attribute
// value, never as markup: control characters (0 to 31) of such texts become blanks, and
// what XML cannot hold besides becomes U+FFFD, so the page is well-formed whatever the
// names on disk hold.
namespace orv::content {

// The sections of a folder page, in page order.
inline constexpr std::array<const char*, 5> kSectionTypes = {"folder", "other", "sound", "image", "video"};

// The display values of one section, as given to the page builder (not checked here).
struct SectionDisplay {
  QString showby;     // "list", "icon" or "mini"
  QString sortby;     // "name", "size", "type", "date", "artist" or "album"
  QString sortorder;  // "ascending" or "descending"
  QString showgroup;  // "true" or "false"
  QString filter;     // written unchanged
};

// What the `document` header of a page needs to know about the page.
struct PageLocation {
  QString localFolderPath;   // disk folder of the page, ending with "/"
  QString serverFolderPath;  // the URL path as requested (URL-encoded), beginning and ending with "/"
  QString urlTagEncoded;     // the encoded query text that every folder link carries
  QString userPageIcon;      // bare file names in the resources folder, or empty
  QString userUrlIcon;
};

// The four default icons of a file type, used when no file-type icon serves the extension.
struct DefaultItemIcons {
  QString smallShow;
  QString smallHide;
  QString bigShow;
  QString bigHide;

  // "itemicon_small_show_" ... "itemicon_big_hide_" followed by the type word ("other",
  // "sound", "image" or "video") and ".png".
  static DefaultItemIcons forType(const QString& typeWord);
};

struct FileItemData {
  QString displayMode;  // "list", "icon" or "mini"
  bool hidden = false;
  QString name;       // as on disk
  QString extension;  // the text after the last ".", empty when there is none
  QString sizeText;   // bytes as decimal text
  QDateTime date;     // last modified
  DefaultItemIcons icons;
  std::optional<tMp3Summary> mp3;  // the MP3 elements are written only when present
};

// The URL form of a file or folder name: its bytes as the file system holds them,
// percent-encoded, so that the server decodes the URL back to the very name. For every
// name that is valid UTF-8 this is fnctUrlEncode of the name.
QString fnctUrlEncodeFileName(const QString& name);

// The display text of a name: control characters become blanks.
QString fnctDisplayName(const QString& name);

// The text under an item's icon: the name (without its extension when HIDE_EXTENSIONS is
// on; for a folder only a class-id suffix goes), as is in "list" mode, wrapped into two
// lines of 14 ("icon") or 16 ("mini") characters joined by "<br />", empty in any other
// mode.
QString FormatItemLabel(const QString& displayMode, const QString& name, bool isFolder);

// The "xml-stylesheet" processing instruction that names the page stylesheet XSL_FILE.
// The document's own XML declaration (version 1.0) stands for the "xml" instruction.
void subAppendStylesheetInstruction(xml::Document& document);

// `server` with the language texts and settings of a page type: "folder" gets the
// language texts, `config` and `version`; "identification" the texts of the login form;
// any other type only `language` with its type attribute.
xml::Element BuildServerConfigNode(xml::Element parent, const QString& pageType, bool showFolder = false,
                                   const QString& showPlayers = {});

// `document` with its `url` (the page icon and the url tag); type "folder" also gets one
// `folder` per level of the server path and the `icon` of the folder.
xml::Element BuildDocumentHeader(xml::Element parent, const QString& pageType, const PageLocation& location);

// A `section` with its first six attributes (type, showby, sortby, sortorder, showgroup,
// filter); the listing adds diskitems later.
xml::Element fnctAppendSection(xml::Element parent, const QString& type, const SectionDisplay& display);
void subSetSectionAttributes(xml::Element section, const QString& type, const SectionDisplay& display);

xml::Element BuildFileItem(xml::Element section, const FileItemData& file);
xml::Element BuildFolderItem(xml::Element section, const QString& displayMode, bool hidden, const QString& name,
                             const QDateTime& date, const QString& urlTagEncoded);

// The top of a folder page: the stylesheet instruction and `page` with `server`,
// `document` and the five sections (with their first six attributes), ready for the
// listing to fill.
struct FolderPage {
  xml::Document document;
  std::array<xml::Element, 5> sections;  // in the order of kSectionTypes
};
FolderPage BuildFolderPageTop(const PageLocation& location, const std::array<SectionDisplay, 5>& displays,
                              bool showFolder, const QString& showPlayers);

}  // namespace orv::content
