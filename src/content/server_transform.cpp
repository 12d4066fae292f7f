#include "content/server_transform.h"

#include "content/grouping.h"
#include "content/xsl_stylesheets.h"
#include "core/configuration.h"
#include "core/debug_log.h"

#include <memory>

namespace orv::content {

xml::Document getXslStylesheetDocument() {
  const core::tConfHtmlDisplay& html = core::gConfiguration.HtmlDisplay;
  if (html.PAGE_BUILD_METHOD != 2) {
    return xml::Document();
  }
  const QString path = core::gAppFolder + QLatin1String("/resources/") + html.XSL_FILE;
  QString error;
  xml::Document document = xml::Document::fromFile(path, &error);
  if (document.isNull()) {
    // Every page the server transforms comes out empty until the file is mended and the
    // settings saved again: the log says why.
    core::subAddDebugEvent(QLatin1String("Page stylesheet not loaded: ") + path + QLatin1String(": ") + error,
                           core::DebugEventCategory::Application);
  }
  return document;
}

void subBuildXslStylesheetDocuments() {
  core::tAppState& state = core::gConfiguration.AppState;
  state.objXslSortDocument = std::make_shared<const xml::Document>(getXslSortStylesheet());
  state.objXslGroupDocument = std::make_shared<const xml::Document>(getXslGroupStylesheet());
  state.objXslTransformDocument = std::make_shared<const xml::Document>(getXslStylesheetDocument());
}

void subReloadXslStylesheetDocument() {
  // A new document, never the old one changed: the parsed stylesheet is known by its
  // document, so the next page parses the new one.
  core::gConfiguration.AppState.objXslTransformDocument =
      std::make_shared<const xml::Document>(getXslStylesheetDocument());
}

QString fnctTransformPageText(const QByteArray& pageText) {
  return QString::fromUtf8(fnctTransformPageBytes(pageText));
}

QByteArray fnctTransformPageBytes(const QByteArray& pageText) {
  if (!fnctParsedStylesheet(core::gConfiguration.AppState.objXslTransformDocument)) {
    return {};
  }
  return fnctTransformPageDocument(xml::Document::fromBytes(pageText));
}

QByteArray fnctTransformPageDocument(const xml::Document& page) {
  const std::shared_ptr<const xml::Stylesheet> stylesheet =
      fnctParsedStylesheet(core::gConfiguration.AppState.objXslTransformDocument);
  if (!stylesheet || page.isNull()) {
    return {};
  }
  return stylesheet->transformToUtf8(page);
}

}  // namespace orv::content
