#pragma once

#include "content/page_build_state.h"
#include "core/configuration.h"
#include "platform/xml.h"

#include <QDate>
#include <QString>

#include <memory>

// Sorting and grouping of the sections of a page with the two generated stylesheets, and
// the decoration of their groups: date groups in the locale's short date, pictures,
// playlist links and a web search for artist and album groups.
namespace orv::content {

// The parsed stylesheet of a stylesheet document of the application state. Parsing is
// done once per document: the cache knows a document by its shared pointer, so a
// document rebuilt (a new language, a saved html category) is parsed afresh. Null for an
// empty document or one that is not a stylesheet (found so once per document).
std::shared_ptr<const xml::Stylesheet> fnctParsedStylesheet(const core::StylesheetDocument& document);

// The address of a web search for the text.
QString fnctWebSearchUrl(const QString& text);

// A date group's name as the server's locale writes a short date, with the year in all
// its digits (a two-digit year would leave the century open).
QString fnctFormatGroupDate(const QDate& date);

// Sorts (when sortNeeded) and groups the section at the index, decorates its groups and
// puts the new section document in the old one's place. False when a stylesheet is missing or a
// transform fails; the old section then stays.
bool BuildSectionGroups(PageBuildState& state, SectionIndex section, bool sortNeeded, const QString& sortValue,
                        bool groupSwitch);

}  // namespace orv::content
