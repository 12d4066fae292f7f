#include "content/grouping.h"

#include "content/xsl_stylesheets.h"
#include "core/file_utils.h"
#include "core/language.h"
#include "core/text_encoding.h"
#include "platform/file_system.h"

#include <QLocale>
#include <QRegularExpression>

#include <vector>

namespace orv::content {
namespace {

QString latin(const char* text) {
  return QString::fromLatin1(text);
}

// The search endpoint and the fixed parameter that follows the query.
constexpr const char* kWebSearchEndpoint = "https://duckduckgo.com/?q=";
constexpr const char* kWebSearchExtra = "&ia=web";

bool isInsideShare(const PageBuildState& state, const QString& path) {
  const QString boundary = platform::canonicalPath(state.shareLocalFolderPath.isEmpty() ? state.localFolderPath
                                                                                        : state.shareLocalFolderPath);
  const QString canonical = platform::canonicalPath(path);
  if (boundary.isEmpty() || canonical.isEmpty()) {
    return false;
  }
  return boundary == QLatin1String("/") || canonical == boundary ||
         (canonical.startsWith(boundary) && canonical.at(boundary.size()) == QLatin1Char('/'));
}

// The picture of an artist or album group: a file of the page's folder named after the
// group, or the resource icon of the kind. A name that holds "/" cannot name a file of the
// folder, and a picture that lies outside the share is not shown.
QString groupPicture(const PageBuildState& state, const QString& name, bool artist) {
  if (!state.localFolderPath.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0))) {
    for (const char* extension : {".bmp", ".jpg", ".png"}) {
      const QString file = name + latin(extension);
      const QString path = state.localFolderPath + file;
      if (core::fnctFileExists(path, false) == core::ExistenceCode::Usable && isInsideShare(state, path)) {
        return core::fnctUrlEncode(file);
      }
    }
  }
  return core::fnctUrlEncode(latin(artist ? "/?res=groupdetails_artist.png" : "/?res=groupdetails_album.png"));
}

void decorateDateGroups(xml::Element section) {
  for (xml::Element group : section.childElements(latin("group"))) {
    const QDate date = QDate::fromString(group.attribute(latin("name")), latin("yyyy/MM/dd"));
    if (date.isValid()) {
      group.setAttribute(latin("name"), fnctFormatGroupDate(date));
    }
  }
}

void decorateArtistAlbumGroups(const PageBuildState& state, xml::Element section, const QString& sortValue) {
  const bool artist = sortValue.compare(latin("artist"), Qt::CaseInsensitive) == 0;
  const QString unknownArtist = core::gLanguage.text(u"HTLM/GROUP/UNKNOW_ARTIST");
  for (xml::Element group : section.childElements(latin("group"))) {
    const QString name = group.attribute(latin("name"));
    group.setAttribute(latin("img"), groupPicture(state, name, artist));
    group.setAttribute(latin("playlist"), QLatin1Char('?') + sortValue + QLatin1Char(':') +
                                              core::fnctUrlEncode(name.toLower()) + latin(".pls"));
    if (artist && name.compare(unknownArtist, Qt::CaseInsensitive) != 0) {
      group.setAttribute(latin("website"), fnctWebSearchUrl(name));
    }
  }
}

}  // namespace

std::shared_ptr<const xml::Stylesheet> fnctParsedStylesheet(const core::StylesheetDocument& document) {
  struct Cached {
    std::weak_ptr<const xml::Document> source;
    std::shared_ptr<const xml::Stylesheet> parsed;
  };
  static std::vector<Cached> cache;
  if (!document || document->isNull()) {
    return nullptr;
  }
  std::erase_if(cache, [](const Cached& entry) { return entry.source.expired(); });
  for (const Cached& entry : cache) {
    if (entry.source.lock() == document) {
      return entry.parsed;
    }
  }
  std::shared_ptr<const xml::Stylesheet> parsed =
      std::make_shared<const xml::Stylesheet>(xml::Stylesheet::fromDocument(*document));
  // A document that is no stylesheet is remembered as such, not parsed again for each page.
  if (parsed->isNull()) {
    parsed.reset();
  }
  cache.push_back({document, parsed});
  return parsed;
}

QString fnctWebSearchUrl(const QString& text) {
  // The URL encoding keeps "&", "=" and "?", which would end or split the query value.
  QString query = core::fnctUrlEncode(text);
  query.replace(QLatin1Char('&'), latin("%26"))
      .replace(QLatin1Char('='), latin("%3D"))
      .replace(QLatin1Char('?'), latin("%3F"));
  return latin(kWebSearchEndpoint) + query + latin(kWebSearchExtra);
}

QString fnctFormatGroupDate(const QDate& date) {
  const QLocale locale;
  static const QRegularExpression twoDigitYear(latin("(?<!y)yy(?!y)"));
  QString format = locale.dateFormat(QLocale::ShortFormat);
  format.replace(twoDigitYear, latin("yyyy"));
  return locale.toString(date, format);
}

bool BuildSectionGroups(PageBuildState& state, SectionIndex section, bool sortNeeded, const QString& sortValue,
                        bool groupSwitch) {
  const core::tAppState& app = core::gConfiguration.AppState;
  const std::shared_ptr<const xml::Stylesheet> group = fnctParsedStylesheet(app.objXslGroupDocument);
  if (!group) {
    return false;
  }
  xml::Document sorted;
  if (sortNeeded) {
    const std::shared_ptr<const xml::Stylesheet> sort = fnctParsedStylesheet(app.objXslSortDocument);
    if (!sort) {
      return false;
    }
    // The sort writes no text as markup, so its result tree serves as it is.
    sorted = sort->transform(state.sectionDocuments[section]);
    if (sorted.isNull()) {
      return false;
    }
  }
  xml::Document result = fnctTransformSection(*group, sortNeeded ? sorted : state.sectionDocuments[section]);
  const xml::Element grouped = result.documentElement();
  if (grouped.isNull() || grouped.name() != latin("section")) {
    return false;
  }
  if (sortValue.compare(latin("date"), Qt::CaseInsensitive) == 0 && groupSwitch) {
    decorateDateGroups(grouped);
  }
  if (sortValue.compare(latin("artist"), Qt::CaseInsensitive) == 0 ||
      sortValue.compare(latin("album"), Qt::CaseInsensitive) == 0) {
    decorateArtistAlbumGroups(state, grouped, sortValue);
  }
  state.sectionDocuments[section] = std::move(result);
  state.sections[section] = grouped;
  return true;
}

}  // namespace orv::content
