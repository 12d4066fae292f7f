#include "platform/xml.h"

#include "platform/file_system.h"

#include <QFile>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/variables.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <cstdarg>
#include <cstdio>

namespace orv::xml {
namespace {

// No network, no external DTD, no entity substitution; errors are collected, not printed.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

// Larger files are refused before parsing: no store of the system comes near this.
constexpr qint64 kMaxDocumentBytes = 256LL * 1024 * 1024;

QString& lastLibraryMessage() {
  static QString message;
  return message;
}

// libxml2 hands over printf-style messages; the attribute lets the compiler check the
// forwarding instead of warning about a format it cannot see.
__attribute__((format(printf, 2, 3))) void collectGenericError(void*, const char* format, ...) {
  char buffer[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  lastLibraryMessage() += QString::fromUtf8(buffer);
}

void collectStructuredError(void*, const xmlError* error) {
  if (error != nullptr && error->message != nullptr) {
    lastLibraryMessage() += QString::fromUtf8(error->message).trimmed();
  }
}

struct LibraryInit {
  LibraryInit() {
    xmlInitParser();
    xmlSetGenericErrorFunc(nullptr, collectGenericError);
    xmlSetStructuredErrorFunc(nullptr, reinterpret_cast<xmlStructuredErrorFunc>(collectStructuredError));
    xsltSetGenericErrorFunc(nullptr, collectGenericError);
    // Stylesheets may read files (imports of the resources folder) but never write
    // files, create folders or reach the network.
    xsltSecurityPrefsPtr prefs = xsltNewSecurityPrefs();
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_WRITE_FILE, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_CREATE_DIRECTORY, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
    xsltSetDefaultSecurityPrefs(prefs);
  }
};

void ensureLibrary() {
  static const LibraryInit init;
}

void beginCollecting() {
  ensureLibrary();
  lastLibraryMessage().clear();
}

void reportTo(QString* error, const QString& fallback) {
  if (error != nullptr) {
    *error = lastLibraryMessage().isEmpty() ? fallback : lastLibraryMessage();
  }
}

const xmlChar* utf8(const QByteArray& bytes) {
  return reinterpret_cast<const xmlChar*>(bytes.constData());
}

QByteArray safeUtf8(const QString& text) {
  return toXmlSafeText(text).toUtf8();
}

QString fromXmlChars(const xmlChar* chars) {
  return chars == nullptr ? QString() : QString::fromUtf8(reinterpret_cast<const char*>(chars));
}

bool nameMatches(const xmlNode* node, const QString& name) {
  return node->type == XML_ELEMENT_NODE && (name.isEmpty() || fromXmlChars(node->name) == name);
}

xmlNode* firstElementFrom(xmlNode* node, const QString& name) {
  for (; node != nullptr; node = node->next) {
    if (nameMatches(node, name)) {
      return node;
    }
  }
  return nullptr;
}

bool isXmlChar(char32_t code) {
  return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
         (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

}  // namespace

QString toXmlSafeText(const QString& text) {
  QString safe;
  safe.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
      safe.append(c);
      safe.append(text.at(++i));
    } else if (c.isSurrogate() || !isXmlChar(c.unicode())) {
      safe.append(QChar(0xFFFD));
    } else {
      safe.append(c);
    }
  }
  return safe;
}

// ---- Element ----

QString Element::name() const {
  return node_ == nullptr ? QString() : fromXmlChars(node_->name);
}

bool Element::hasAttribute(const QString& name) const {
  return node_ != nullptr && xmlHasProp(node_, utf8(name.toUtf8())) != nullptr;
}

QString Element::attribute(const QString& name) const {
  if (node_ == nullptr) {
    return {};
  }
  xmlChar* value = xmlGetNoNsProp(node_, utf8(name.toUtf8()));
  const QString result = fromXmlChars(value);
  xmlFree(value);
  return result;
}

void Element::setAttribute(const QString& name, const QString& value) {
  if (node_ != nullptr) {
    xmlSetProp(node_, utf8(name.toUtf8()), utf8(safeUtf8(value)));
  }
}

QString Element::text() const {
  QString result;
  if (node_ == nullptr) {
    return result;
  }
  for (const xmlNode* child = node_->children; child != nullptr; child = child->next) {
    if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) {
      result += fromXmlChars(child->content);
    }
  }
  return result;
}

void Element::setText(const QString& text) {
  if (node_ == nullptr) {
    return;
  }
  while (node_->children != nullptr) {
    xmlNode* child = node_->children;
    xmlUnlinkNode(child);
    xmlFreeNode(child);
  }
  appendText(text);
}

Element Element::appendElement(const QString& name) {
  if (node_ == nullptr) {
    return {};
  }
  return Element(xmlNewChild(node_, nullptr, utf8(name.toUtf8()), nullptr));
}

Element Element::appendTextElement(const QString& name, const QString& text) {
  if (node_ == nullptr) {
    return {};
  }
  // xmlNewTextChild escapes the content; xmlNewChild would read "&" as an entity start.
  return Element(xmlNewTextChild(node_, nullptr, utf8(name.toUtf8()), utf8(safeUtf8(text))));
}

void Element::appendText(const QString& text) {
  if (node_ == nullptr || text.isEmpty()) {
    return;
  }
  const QByteArray bytes = safeUtf8(text);
  xmlAddChild(node_, xmlNewDocTextLen(node_->doc, utf8(bytes), static_cast<int>(bytes.size())));
}

Element Element::firstChildElement(const QString& name) const {
  return node_ == nullptr ? Element() : Element(firstElementFrom(node_->children, name));
}

Element Element::nextSiblingElement(const QString& name) const {
  return node_ == nullptr ? Element() : Element(firstElementFrom(node_->next, name));
}

std::vector<Element> Element::childElements(const QString& name) const {
  std::vector<Element> elements;
  for (Element child = firstChildElement(name); child; child = child.nextSiblingElement(name)) {
    elements.push_back(child);
  }
  return elements;
}

// Walks the subtree without recursion: a document may nest as deep as the parser allows.
// Only element children are entered, so entity references are never expanded.
namespace {

xmlNode* nextInSubtree(xmlNode* node, const xmlNode* top) {
  if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
    return node->children;
  }
  while (node != top && node->next == nullptr) {
    node = node->parent;
  }
  return node == top ? nullptr : node->next;
}

}  // namespace

Element Element::firstDescendantElement(const QString& name) const {
  if (node_ == nullptr || node_->children == nullptr) {
    return {};
  }
  const QByteArray wanted = name.toUtf8();
  for (xmlNode* node = node_->children; node != nullptr; node = nextInSubtree(node, node_)) {
    if (node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, utf8(wanted)) != 0) {
      return Element(node);
    }
  }
  return {};
}

QString Element::textContent() const {
  if (node_ == nullptr || node_->children == nullptr) {
    return {};
  }
  QByteArray bytes;
  for (xmlNode* node = node_->children; node != nullptr; node = nextInSubtree(node, node_)) {
    if ((node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) && node->content != nullptr) {
      bytes += reinterpret_cast<const char*>(node->content);
    }
  }
  return QString::fromUtf8(bytes);
}

QByteArray Element::toBytes() const {
  if (node_ == nullptr) {
    return {};
  }
  xmlBufferPtr buffer = xmlBufferCreate();
  xmlNodeDump(buffer, node_->doc, node_, 0, 0);
  const QByteArray bytes(reinterpret_cast<const char*>(xmlBufferContent(buffer)), xmlBufferLength(buffer));
  xmlBufferFree(buffer);
  return bytes;
}

// ---- Document ----

void Document::Deleter::operator()(_xmlDoc* doc) const {
  xmlFreeDoc(doc);
}

Document::Document() {
  ensureLibrary();
  doc_.reset(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
}

Document::Document(_xmlDoc* doc) : doc_(doc) {}
Document::~Document() = default;
Document::Document(Document&& other) noexcept = default;
Document& Document::operator=(Document&& other) noexcept = default;

Document Document::null() {
  return Document(static_cast<_xmlDoc*>(nullptr));
}

Document Document::fromBytes(const QByteArray& bytes, QString* error) {
  beginCollecting();
  if (bytes.size() > kMaxDocumentBytes) {
    reportTo(error, QStringLiteral("document too large"));
    return null();
  }
  xmlDoc* doc = xmlReadMemory(bytes.constData(), static_cast<int>(bytes.size()), nullptr, nullptr, kParseOptions);
  if (doc == nullptr || xmlDocGetRootElement(doc) == nullptr) {
    xmlFreeDoc(doc);
    reportTo(error, QStringLiteral("not an XML document"));
    return null();
  }
  return Document(doc);
}

Document Document::fromFile(const QString& path, QString* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error != nullptr) {
      *error = file.errorString();
    }
    return null();
  }
  if (file.size() > kMaxDocumentBytes) {
    if (error != nullptr) {
      *error = QStringLiteral("document too large");
    }
    return null();
  }
  return fromBytes(file.readAll(), error);
}

Element Document::documentElement() const {
  return doc_ == nullptr ? Element() : Element(xmlDocGetRootElement(doc_.get()));
}

Element Document::firstDescendantElement(const QString& name) const {
  const Element root = documentElement();
  if (root.isNull() || root.name() == name) {
    return root;
  }
  return root.firstDescendantElement(name);
}

Element Document::createDocumentElement(const QString& name) {
  if (doc_ == nullptr) {
    return {};
  }
  xmlNode* root = xmlNewDocNode(doc_.get(), nullptr, utf8(name.toUtf8()), nullptr);
  if (xmlNode* old = xmlDocGetRootElement(doc_.get())) {
    xmlReplaceNode(old, root);
    xmlFreeNode(old);
  } else {
    xmlAddChild(reinterpret_cast<xmlNode*>(doc_.get()), root);
  }
  return Element(root);
}

void Document::appendProcessingInstruction(const QString& target, const QString& data) {
  if (doc_ == nullptr) {
    return;
  }
  xmlNode* instruction = xmlNewDocPI(doc_.get(), utf8(target.toUtf8()), utf8(safeUtf8(data)));
  xmlAddChild(reinterpret_cast<xmlNode*>(doc_.get()), instruction);
}

Document Document::clone() const {
  return doc_ == nullptr ? null() : Document(xmlCopyDoc(doc_.get(), 1));
}

QByteArray Document::toBytes(bool indent) const {
  if (doc_ == nullptr) {
    return {};
  }
  xmlChar* chars = nullptr;
  int size = 0;
  xmlDocDumpFormatMemoryEnc(doc_.get(), &chars, &size, "UTF-8", indent ? 1 : 0);
  const QByteArray bytes(reinterpret_cast<const char*>(chars), size);
  xmlFree(chars);
  return bytes;
}

platform::WriteResult Document::saveFile(const QString& path, unsigned permissions) const {
  if (doc_ == nullptr) {
    return {false, QStringLiteral("no document to save")};
  }
  return platform::writeFileAtomically(path, toBytes(true), permissions);
}

// ---- Stylesheet ----

Stylesheet::~Stylesheet() {
  xsltFreeStylesheet(style_);
}

Stylesheet::Stylesheet(Stylesheet&& other) noexcept : style_(std::exchange(other.style_, nullptr)) {}

Stylesheet& Stylesheet::operator=(Stylesheet&& other) noexcept {
  if (this != &other) {
    xsltFreeStylesheet(style_);
    style_ = std::exchange(other.style_, nullptr);
  }
  return *this;
}

Stylesheet Stylesheet::fromDocument(const Document& document, QString* error) {
  beginCollecting();
  Stylesheet result;
  if (document.isNull()) {
    reportTo(error, QStringLiteral("no stylesheet document"));
    return result;
  }
  // The stylesheet takes ownership of the document it is parsed from.
  xmlDoc* copy = xmlCopyDoc(document.handle(), 1);
  result.style_ = xsltParseStylesheetDoc(copy);
  if (result.style_ == nullptr) {
    xmlFreeDoc(copy);
    reportTo(error, QStringLiteral("not a valid stylesheet"));
  }
  return result;
}

namespace {

xmlDoc* applyStylesheet(xsltStylesheet* style, xmlDoc* input, const Stylesheet::Parameters& parameters) {
  xsltTransformContextPtr context = xsltNewTransformContext(style, input);
  if (context == nullptr) {
    return nullptr;
  }
  std::vector<QByteArray> storage;
  std::vector<const char*> list;
  for (const auto& [name, value] : parameters) {
    storage.push_back(name.toUtf8());
    storage.push_back(value.toUtf8());
  }
  for (const QByteArray& item : storage) {
    list.push_back(item.constData());
  }
  list.push_back(nullptr);
  xmlDoc* result = nullptr;
  if (xsltQuoteUserParams(context, list.data()) == 0) {
    result = xsltApplyStylesheetUser(style, input, nullptr, nullptr, nullptr, context);
    if (context->state != XSLT_STATE_OK) {
      xmlFreeDoc(result);
      result = nullptr;
    }
  }
  xsltFreeTransformContext(context);
  return result;
}

}  // namespace

Document Stylesheet::transform(const Document& input, const Parameters& parameters, QString* error) const {
  beginCollecting();
  if (style_ == nullptr || input.isNull()) {
    reportTo(error, QStringLiteral("nothing to transform"));
    return Document::null();
  }
  xmlDoc* result = applyStylesheet(style_, input.handle(), parameters);
  if (result == nullptr) {
    reportTo(error, QStringLiteral("transform failed"));
    return Document::null();
  }
  return Document(result);
}

QByteArray Stylesheet::transformToBytes(const Document& input, const Parameters& parameters, QString* error) const {
  beginCollecting();
  if (style_ == nullptr || input.isNull()) {
    reportTo(error, QStringLiteral("nothing to transform"));
    return {};
  }
  xmlDoc* result = applyStylesheet(style_, input.handle(), parameters);
  if (result == nullptr) {
    reportTo(error, QStringLiteral("transform failed"));
    return {};
  }
  xmlChar* chars = nullptr;
  int size = 0;
  const int saved = xsltSaveResultToString(&chars, &size, result, style_);
  xmlFreeDoc(result);
  QByteArray bytes;
  if (saved == 0 && chars != nullptr) {
    bytes = QByteArray(reinterpret_cast<const char*>(chars), size);
  } else if (saved != 0) {
    reportTo(error, QStringLiteral("serializing the transform result failed"));
  }
  xmlFree(chars);
  return bytes;
}

}  // namespace orv::xml
