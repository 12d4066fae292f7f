#include "content/folder_page_document.h"

#include "core/app_info.h"
#include "core/configuration.h"
#include "core/file_utils.h"
#include "core/formats.h"
#include "core/language.h"
#include "core/local_paths.h"
#include "core/resource_icons.h"
#include "core/text_encoding.h"
#include "platform/file_system.h"

#include <QStringList>

#include <algorithm>

namespace orv::content {
namespace {

QString latin(const char* text) {
  return QString::fromLatin1(text);
}

QString resource(const QString& name) {
  return latin("/?res=") + name;
}

bool isUsableFile(const QString& path) {
  return core::fnctFileExists(path, false) == core::ExistenceCode::Usable;
}

bool isUsableResource(const QString& name) {
  return !name.isEmpty() && isUsableFile(core::gAppFolder + latin("/resources/") + name);
}

// Elements whose text is a language text, in the given order: {element, SECTION/GROUP/KEY}.
struct LanguageText {
  const char* element;
  const char16_t* key;
};

template <std::size_t N>
void appendLanguageTexts(xml::Element parent, const LanguageText (&texts)[N]) {
  for (const LanguageText& text : texts) {
    parent.appendTextElement(latin(text.element), core::gLanguage.text(text.key));
  }
}

constexpr LanguageText kUnits[] = {
    {"object", u"HTLM/OTHER/OBJECT"},     {"objects", u"HTLM/OTHER/OBJECTS"},   {"byte", u"HTLM/OTHER/BYTE"},
    {"bytes", u"HTLM/OTHER/BYTES"},       {"kilobyte", u"HTLM/OTHER/KILOBYTE"}, {"megabyte", u"HTLM/OTHER/MEGABYTE"},
    {"gigabyte", u"HTLM/OTHER/GIGABYTE"}, {"terabyte", u"HTLM/OTHER/TERABYTE"},
};

constexpr LanguageText kSections[] = {
    {"pfolder", u"HTLM/OTHER/PARENT_FOLDER"}, {"folder", u"HTLM/SECTIONS_TITLES/FOLDER"},
    {"other", u"HTLM/SECTIONS_TITLES/OTHER"}, {"sound", u"HTLM/SECTIONS_TITLES/SOUND"},
    {"image", u"HTLM/SECTIONS_TITLES/IMAGE"}, {"video", u"HTLM/SECTIONS_TITLES/VIDEO"},
    {"containing", u"HTLM/OTHER/CONTAINING"}, {"listen_group", u"HTLM/GROUP/LINK_LISTEN_TITLE"},
    {"website", u"HTLM/GROUP/LINK_WEB_SITE"},
};

constexpr LanguageText kMenus[] = {
    {"showby", u"HTLM/SECTIONS_MENUS/SHOW_BY"},
    {"sortby", u"HTLM/SECTIONS_MENUS/SORT_BY"},
    {"showbylist", u"HTLM/SECTIONS_MENUS/SHOW_BY_LIST"},
    {"showbyicon", u"HTLM/SECTIONS_MENUS/SHOW_BY_ICONS"},
    {"showbymini", u"HTLM/SECTIONS_MENUS/SHOW_BY_MINIATURES"},
    {"sortbyartist", u"HTLM/SECTIONS_MENUS/SORT_BY_ARTIST"},
    {"sortbyalbum", u"HTLM/SECTIONS_MENUS/SORT_BY_ALBUM"},
    {"sortbyname", u"HTLM/SECTIONS_MENUS/SORT_BY_NAME"},
    {"sortbysize", u"HTLM/SECTIONS_MENUS/SORT_BY_SIZE"},
    {"sortbytype", u"HTLM/SECTIONS_MENUS/SORT_BY_TYPE"},
    {"sortbydate", u"HTLM/SECTIONS_MENUS/SORT_BY_DATE"},
    {"listen_section", u"HTLM/SECTIONS_MENUS/LISTEN"},
    {"showgroup", u"HTLM/SECTIONS_MENUS/SHOW_GROUP"},
    {"filter", u"HTLM/SECTIONS_MENUS/FILTERS"},
    {"showplayers", u"HTLM/SECTIONS_MENUS/SHOW_PLAYERS"},
};

constexpr LanguageText kFilters[] = {
    {"label", u"HTLM/FILTER/FILTER"},
    {"validate", u"HTLM/FILTER/VALIDATE"},
    {"hide", u"HTLM/FILTER/HIDE"},
};

constexpr LanguageText kTooltips[] = {
    {"name", u"HTLM/TOOLTIPS/NAME"},     {"size", u"HTLM/TOOLTIPS/SIZE"},   {"date", u"HTLM/TOOLTIPS/DATE"},
    {"artist", u"HTLM/TOOLTIPS/ARTIST"}, {"title", u"HTLM/TOOLTIPS/TITLE"}, {"album", u"HTLM/TOOLTIPS/ALBUM"},
    {"year", u"HTLM/TOOLTIPS/YEAR"},     {"track", u"HTLM/TOOLTIPS/TRACK"}, {"length", u"HTLM/TOOLTIPS/LENGTH"},
    {"bitrate", u"HTLM/TOOLTIPS/RATE"},
};

constexpr LanguageText kIdentification[] = {
    {"info", u"HTLM/IDENTIFICATION/INFO"},         {"user", u"HTLM/IDENTIFICATION/USER"},
    {"password", u"HTLM/IDENTIFICATION/PASSWORD"}, {"savepwd", u"HTLM/IDENTIFICATION/SAVE_PWD"},
    {"submit", u"HTLM/IDENTIFICATION/SUBMIT"},
};

// The build date the pages have always shown.
constexpr const char* kBuildText = "Nov 02 2006 03:00 AM";

enum class IconMode { Small, Big, None };

IconMode iconModeOf(const QString& displayMode) {
  if (displayMode.compare(QLatin1String("list"), Qt::CaseInsensitive) == 0) {
    return IconMode::Small;
  }
  if (displayMode.compare(QLatin1String("icon"), Qt::CaseInsensitive) == 0 ||
      displayMode.compare(QLatin1String("mini"), Qt::CaseInsensitive) == 0) {
    return IconMode::Big;
  }
  return IconMode::None;
}

QString fileIconName(const FileItemData& file, IconMode mode) {
  const DefaultItemIcons& icons = file.icons;
  const bool big = mode == IconMode::Big;
  const QString& fallback =
      big ? (file.hidden ? icons.bigHide : icons.bigShow) : (file.hidden ? icons.smallHide : icons.smallShow);
  return core::getFileTypeIconName(file.extension, file.hidden ? 1 : 0, big ? 48 : 16, fallback);
}

// The address of an item's icon. The files of a folder share a few icons, often one: the
// address last encoded is kept instead of encoding the same name for every item.
QString iconUrl(const QString& iconName) {
  static QString lastName;
  static QString lastUrl;
  if (lastUrl.isNull() || iconName != lastName) {
    lastUrl = core::fnctUrlEncode(resource(iconName));
    lastName = iconName;
  }
  return lastUrl;
}

QString folderIconName(bool hidden, IconMode mode) {
  const char* size = mode == IconMode::Big ? "big" : "small";
  return latin("itemicon_") + latin(size) + (hidden ? latin("_hide_folder.png") : latin("_show_folder.png"));
}

// The href of the stylesheet instruction holds XSL_FILE unencoded; only the characters
// that would end the pseudo-attribute or the instruction, and "%" so that the server
// decodes the value back to the name, are written percent-encoded.
QString stylesheetHref(const QString& fileName) {
  QString href;
  for (const QChar c : fileName) {
    switch (c.unicode()) {
      case u'%':
        href += latin("%25");
        break;
      case u'"':
        href += latin("%22");
        break;
      case u'>':
        href += latin("%3E");
        break;
      default:
        href += c;
    }
  }
  return href;
}

void appendFolderLevels(xml::Element url, const PageLocation& location) {
  const QStringList parts = location.serverFolderPath.split(QLatin1Char('/'));
  QString running = latin("/");
  for (qsizetype i = 1; i + 1 < parts.size(); ++i) {
    running += parts.at(i) + QLatin1Char('/');
    xml::Element folder = url.appendElement(latin("folder"));
    folder.setAttribute(latin("src"), running + location.urlTagEncoded);
    folder.setAttribute(latin("label"), fnctDisplayName(core::fnctUrlDecode(parts.at(i), false)));
  }
}

QString pageUrlIcon(const QString& pageType, const PageLocation& location) {
  if (pageType == latin("folder")) {
    if (isUsableFile(location.localFolderPath + latin("folder.ico"))) {
      return core::fnctUrlEncode(latin("folder.ico"));
    }
    if (isUsableResource(location.userUrlIcon)) {
      return core::fnctUrlEncode(resource(location.userUrlIcon));
    }
  }
  return core::fnctUrlEncode(resource(latin("favicon.ico")));
}

QString folderPicture(const PageLocation& location) {
  for (const char* name : {"folder.bmp", "folder.jpg", "folder.png"}) {
    if (isUsableFile(location.localFolderPath + latin(name))) {
      return core::fnctUrlEncode(latin(name));
    }
  }
  if (isUsableResource(location.userPageIcon)) {
    return core::fnctUrlEncode(resource(location.userPageIcon));
  }
  return core::fnctUrlEncode(resource(latin("itemicon_big_show_folder.png")));
}

}  // namespace

DefaultItemIcons DefaultItemIcons::forType(const QString& typeWord) {
  const QString suffix = typeWord + latin(".png");
  return {latin("itemicon_small_show_") + suffix, latin("itemicon_small_hide_") + suffix,
          latin("itemicon_big_show_") + suffix, latin("itemicon_big_hide_") + suffix};
}

QString fnctUrlEncodeFileName(const QString& name) {
  return core::fnctUrlEncode(platform::nativePath(name));
}

QString fnctDisplayName(const QString& name) {
  // Nearly every name holds no control character: it is shown as it is, without a copy.
  const bool plain = std::none_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 32; });
  return plain ? name : core::fnctReplaceControlChars(name);
}

QString FormatItemLabel(const QString& displayMode, const QString& name, bool isFolder) {
  const QString text =
      core::gConfiguration.HtmlDisplay.HIDE_EXTENSIONS ? core::fnctRemoveFileExtension(name, isFolder) : name;
  if (displayMode.compare(QLatin1String("list"), Qt::CaseInsensitive) == 0) {
    return text;
  }
  if (displayMode.compare(QLatin1String("icon"), Qt::CaseInsensitive) == 0) {
    return core::fnctWrapText(text, 14, 2, latin("<br />"));
  }
  if (displayMode.compare(QLatin1String("mini"), Qt::CaseInsensitive) == 0) {
    return core::fnctWrapText(text, 16, 2, latin("<br />"));
  }
  return {};
}

void subAppendStylesheetInstruction(xml::Document& document) {
  document.appendProcessingInstruction(
      latin("xml-stylesheet"), latin("type=\"text/xsl\" href=\"/?res=") +
                                   stylesheetHref(core::gConfiguration.HtmlDisplay.XSL_FILE) + QLatin1Char('"'));
}

xml::Element BuildServerConfigNode(xml::Element parent, const QString& pageType, bool showFolder,
                                   const QString& showPlayers) {
  xml::Element server = parent.appendElement(latin("server"));
  xml::Element language = server.appendElement(latin("language"));
  language.setAttribute(latin("type"),
                        core::gLanguagesList.colAbbreviation.value(core::gConfiguration.Language.FILENAME));
  if (pageType == latin("identification")) {
    appendLanguageTexts(language, kIdentification);
    return server;
  }
  if (pageType != latin("folder")) {
    return server;
  }
  appendLanguageTexts(language.appendElement(latin("units")), kUnits);
  appendLanguageTexts(language.appendElement(latin("sections")), kSections);
  appendLanguageTexts(language.appendElement(latin("menus")), kMenus);
  appendLanguageTexts(language.appendElement(latin("filters")), kFilters);
  appendLanguageTexts(language.appendElement(latin("tooltips")), kTooltips);

  const core::tConfHtmlDisplay& html = core::gConfiguration.HtmlDisplay;
  xml::Element config = server.appendElement(latin("config"));
  config.appendTextElement(latin("minidimention"), QString::number(html.MINATURE_DIMENSION));
  config.appendTextElement(latin("allowmini"), core::fnctBoolToString(html.ALLOW_MINIATURES));
  config.appendTextElement(latin("allowmedia"), core::fnctBoolToString(html.ALLOW_MP3_TAGS));
  config.appendTextElement(latin("showfolder"), core::fnctBoolToString(showFolder));
  config.appendTextElement(latin("showplayers"), showPlayers);

  xml::Element version = server.appendElement(latin("version"));
  version.appendTextElement(latin("name"), core::applicationTitle());
  version.appendTextElement(latin("num"), core::displayVersion());
  version.appendTextElement(latin("build"), latin(kBuildText));
  return server;
}

xml::Element BuildDocumentHeader(xml::Element parent, const QString& pageType, const PageLocation& location) {
  xml::Element document = parent.appendElement(latin("document"));
  document.setAttribute(latin("type"), pageType);
  xml::Element url = document.appendElement(latin("url"));
  url.setAttribute(latin("icon"), pageUrlIcon(pageType, location));
  url.setAttribute(latin("tag"), location.urlTagEncoded);
  if (pageType == latin("folder")) {
    appendFolderLevels(url, location);
    document.appendElement(latin("icon")).setAttribute(latin("src"), folderPicture(location));
  }
  return document;
}

void subSetSectionAttributes(xml::Element section, const QString& type, const SectionDisplay& display) {
  section.setAttribute(latin("type"), type);
  section.setAttribute(latin("showby"), display.showby);
  section.setAttribute(latin("sortby"), display.sortby);
  section.setAttribute(latin("sortorder"), display.sortorder);
  section.setAttribute(latin("showgroup"), display.showgroup);
  section.setAttribute(latin("filter"), display.filter);
}

xml::Element fnctAppendSection(xml::Element parent, const QString& type, const SectionDisplay& display) {
  xml::Element section = parent.appendElement(latin("section"));
  subSetSectionAttributes(section, type, display);
  return section;
}

xml::Element BuildFileItem(xml::Element section, const FileItemData& file) {
  xml::Element item = section.appendElement("item");
  const IconMode mode = iconModeOf(file.displayMode);
  item.appendTextElement("img", mode == IconMode::None ? QString() : iconUrl(fileIconName(file, mode)));
  if (file.mp3.has_value()) {
    const tMp3Summary& mp3 = *file.mp3;
    item.appendTextElement("artist", fnctDisplayName(mp3.tag.artist));
    item.appendTextElement("title", fnctDisplayName(mp3.tag.title));
    item.appendTextElement("album", fnctDisplayName(mp3.tag.album));
    item.appendTextElement("year", fnctDisplayName(mp3.tag.year));
    item.appendTextElement("track", fnctDisplayName(mp3.tag.track));
    item.appendTextElement("length", fnctDisplayName(mp3.mpeg.length));
    item.appendTextElement("bitrate", QString::number(mp3.mpeg.bitrate));
  }
  const QString name = fnctDisplayName(file.name);
  item.appendTextElement("label", FormatItemLabel(file.displayMode, name, false));
  item.appendTextElement("name", name);
  item.appendTextElement("date", core::fnctFormatDate(file.date));
  item.appendTextElement("size", file.sizeText);
  item.appendTextElement("type", fnctDisplayName(file.extension));
  item.appendTextElement("src", fnctUrlEncodeFileName(file.name));
  return item;
}

xml::Element BuildFolderItem(xml::Element section, const QString& displayMode, bool hidden, const QString& name,
                             const QDateTime& date, const QString& urlTagEncoded) {
  xml::Element item = section.appendElement("item");
  const IconMode mode = iconModeOf(displayMode);
  item.appendTextElement("img", mode == IconMode::None ? QString() : iconUrl(folderIconName(hidden, mode)));
  const QString shown = fnctDisplayName(name);
  item.appendTextElement("label", FormatItemLabel(displayMode, shown, true));
  item.appendTextElement("name", shown + QLatin1Char('/'));
  item.appendTextElement("date", core::fnctFormatDate(date));
  item.appendTextElement("src", fnctUrlEncodeFileName(name) + latin("/") + urlTagEncoded);
  return item;
}

FolderPage BuildFolderPageTop(const PageLocation& location, const std::array<SectionDisplay, 5>& displays,
                              bool showFolder, const QString& showPlayers) {
  FolderPage page;
  subAppendStylesheetInstruction(page.document);
  xml::Element root = page.document.createDocumentElement(latin("page"));
  BuildServerConfigNode(root, latin("folder"), showFolder, showPlayers);
  BuildDocumentHeader(root, latin("folder"), location);
  for (std::size_t i = 0; i < kSectionTypes.size(); ++i) {
    page.sections[i] = fnctAppendSection(root, latin(kSectionTypes[i]), displays[i]);
  }
  return page;
}

}  // namespace orv::content
