#include "platform/xml.h"

#include "platform/file_system.h"
#include "platform/html_writer.h"
#include "platform/xml_writing.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/variables.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

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

// A failure before the parser ran: the parser's last message belongs to another document.
void fileError(QString* error, const QString& message) {
  if (error != nullptr) {
    *error = message;
  }
}

const xmlChar* utf8(const QByteArray& bytes) {
  return reinterpret_cast<const xmlChar*>(bytes.constData());
}

// The UTF-8 of what XML can hold of the text, as toXmlSafeText(text).toUtf8() gives it,
// written into a buffer kept for the next text: a page writes several texts per item, and
// libxml2 copies each one anyway. Answers the buffer's bytes, ended by a zero.
struct Utf8Text {
  const char* data;
  int size;
};

Utf8Text safeUtf8Into(QByteArray& buffer, QStringView text) {
  // A buffer that grew for one very long text gives its memory back at the next short one.
  constexpr qsizetype kKeptBytes = 64 * 1024;
  const qsizetype most = text.size() * 3 + 1;
  if (buffer.size() > kKeptBytes && most <= kKeptBytes) {
    buffer = QByteArray(kKeptBytes, Qt::Uninitialized);
  }
  if (buffer.size() < most) {
    buffer.resize(std::max<qsizetype>(most, 2 * buffer.size()));
  }
  char* const start = buffer.data();
  char* out = start;
  const auto* in = reinterpret_cast<const char16_t*>(text.data());
  const qsizetype size = text.size();
  const auto put3 = [&out](char32_t code) {
    *out++ = static_cast<char>(0xE0 | (code >> 12));
    *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
  };
  for (qsizetype i = 0; i < size; ++i) {
    const char16_t unit = in[i];
    if (unit < 0x80) {
      if (unit < 0x20 && unit != 0x9 && unit != 0xA && unit != 0xD) {
        put3(0xFFFD);
      } else {
        *out++ = static_cast<char>(unit);
      }
    } else if (unit < 0x800) {
      *out++ = static_cast<char>(0xC0 | (unit >> 6));
      *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    } else if (QChar::isHighSurrogate(unit) && i + 1 < size && QChar::isLowSurrogate(in[i + 1])) {
      const char32_t code = QChar::surrogateToUcs4(unit, in[i + 1]);
      ++i;
      *out++ = static_cast<char>(0xF0 | (code >> 18));
      *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (code & 0x3F));
    } else if (QChar::isSurrogate(unit) || unit == 0xFFFE || unit == 0xFFFF) {
      put3(0xFFFD);
    } else {
      put3(unit);
    }
  }
  *out = '\0';
  return {start, static_cast<int>(out - start)};
}

// One buffer for values and one for names: a call may need both at once.
QByteArray& valueBuffer() {
  static QByteArray buffer;
  return buffer;
}

QByteArray& nameBuffer() {
  static QByteArray buffer;
  return buffer;
}

const xmlChar* safeValue(QStringView text) {
  return reinterpret_cast<const xmlChar*>(safeUtf8Into(valueBuffer(), text).data);
}

const xmlChar* safeName(QStringView text) {
  return reinterpret_cast<const xmlChar*>(safeUtf8Into(nameBuffer(), text).data);
}

// QString::fromUtf8 drops a byte-order mark at the start, but in a text node U+FEFF is a
// character of the text (a file name may begin with it).
QString textOfUtf8(QByteArrayView bytes) {
  QString marks;
  while (bytes.startsWith("\xEF\xBB\xBF")) {
    marks += QChar(0xFEFF);
    bytes = bytes.sliced(3);
  }
  return marks + QString::fromUtf8(bytes);
}

QString fromXmlChars(const xmlChar* chars) {
  return chars == nullptr ? QString() : textOfUtf8(reinterpret_cast<const char*>(chars));
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
  // Nearly every text is fine as it is: find the first character to replace before
  // copying anything.
  const char16_t* data = reinterpret_cast<const char16_t*>(text.constData());
  const qsizetype size = text.size();
  qsizetype first = 0;
  for (; first < size; ++first) {
    const char16_t unit = data[first];
    if (unit >= 0x20 && unit < 0xD800) {
      continue;
    }
    if (QChar::isHighSurrogate(unit) && first + 1 < size && QChar::isLowSurrogate(data[first + 1])) {
      ++first;
      continue;
    }
    if (QChar::isSurrogate(unit) || !isXmlChar(unit)) {
      break;
    }
  }
  if (first == size) {
    return text;
  }
  QString safe = text;
  char16_t* out = reinterpret_cast<char16_t*>(safe.data());
  for (qsizetype i = first; i < size; ++i) {
    const char16_t unit = out[i];
    if (QChar::isHighSurrogate(unit) && i + 1 < size && QChar::isLowSurrogate(out[i + 1])) {
      ++i;
    } else if (QChar::isSurrogate(unit) || !isXmlChar(unit)) {
      out[i] = 0xFFFD;
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
    xmlSetProp(node_, safeName(name), safeValue(value));
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
  return appendElement(reinterpret_cast<const char*>(safeName(name)));
}

Element Element::appendTextElement(const QString& name, const QString& text) {
  return appendTextElement(reinterpret_cast<const char*>(safeName(name)), text);
}

Element Element::appendElement(const char* name) {
  if (node_ == nullptr) {
    return {};
  }
  return Element(xmlNewChild(node_, nullptr, reinterpret_cast<const xmlChar*>(name), nullptr));
}

Element Element::appendTextElement(const char* name, const QString& text) {
  if (node_ == nullptr) {
    return {};
  }
  // xmlNewTextChild escapes the content; xmlNewChild would read "&" as an entity start.
  return Element(xmlNewTextChild(node_, nullptr, reinterpret_cast<const xmlChar*>(name), safeValue(text)));
}

void Element::appendText(const QString& text) {
  if (node_ == nullptr || text.isEmpty()) {
    return;
  }
  const Utf8Text bytes = safeUtf8Into(valueBuffer(), text);
  xmlAddChild(node_, xmlNewDocTextLen(node_->doc, reinterpret_cast<const xmlChar*>(bytes.data), bytes.size));
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
  return textOfUtf8(bytes);
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

Element Element::replaceWithElementOf(Document& other) {
  xmlNode* root = other.isNull() ? nullptr : xmlDocGetRootElement(other.handle());
  if (node_ == nullptr || root == nullptr) {
    return {};
  }
  xmlUnlinkNode(root);
  // Adopting re-homes the names that the other document keeps in its dictionary.
  if (xmlDOMWrapAdoptNode(nullptr, other.handle(), root, node_->doc, nullptr, 0) != 0) {
    xmlAddChild(reinterpret_cast<xmlNode*>(other.handle()), root);
    return {};
  }
  xmlReplaceNode(node_, root);
  xmlFreeNode(node_);
  node_ = nullptr;
  return Element(root);
}

// ---- Document ----

void Document::Deleter::operator()(_xmlDoc* doc) const {
  xmlFreeDoc(doc);
}

Document::Document() {
  ensureLibrary();
  doc_.reset(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
  // The names of elements and attributes are kept once in the document's dictionary, as
  // the parser keeps them, instead of once per node: a page of many items has a handful of
  // names, and moving a tree into another document looks them up instead of copying them.
  if (doc_ != nullptr) {
    doc_->dict = xmlDictCreate();
  }
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
  // Only a regular file is read: a pipe put in its place would make the start-up wait for a
  // writer, and a device such as /dev/zero would never end.
  qint64 size = 0;
  const int handle = platform::openRegularFileForRead(path, size);
  if (handle == platform::kInvalidFileHandle) {
    fileError(error, QStringLiteral("not a readable regular file: ") + path);
    return null();
  }
  if (size > kMaxDocumentBytes) {
    platform::closeFile(handle);
    fileError(error, QStringLiteral("document too large"));
    return null();
  }
  QByteArray bytes(size, Qt::Uninitialized);
  qint64 got = 0;
  while (got < size) {
    const qint64 read = platform::readFileAt(handle, got, bytes.data() + got, size - got);
    if (read <= 0) {
      break;
    }
    got += read;
  }
  platform::closeFile(handle);
  if (got < size) {
    fileError(error, QStringLiteral("the file could not be read whole: ") + path);
    return null();
  }
  return fromBytes(bytes, error);
}

Element Document::documentElement() const {
  return doc_ == nullptr ? Element() : Element(xmlDocGetRootElement(doc_.get()));
}

bool Document::anyElementTextContains(const char* name, const char* needle) const {
  const xmlNode* root = doc_ == nullptr ? nullptr : xmlDocGetRootElement(doc_.get());
  const auto* wanted = reinterpret_cast<const xmlChar*>(name);
  const auto* sought = reinterpret_cast<const xmlChar*>(needle);
  for (const xmlNode* node = root; node != nullptr; node = nextInSubtree(const_cast<xmlNode*>(node), root)) {
    if (node->type != XML_ELEMENT_NODE || xmlStrEqual(node->name, wanted) == 0) {
      continue;
    }
    for (const xmlNode* text = node->children; text != nullptr; text = text->next) {
      if ((text->type == XML_TEXT_NODE || text->type == XML_CDATA_SECTION_NODE) && text->content != nullptr &&
          xmlStrcasestr(text->content, sought) != nullptr) {
        return true;
      }
    }
  }
  return false;
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
  xmlNode* instruction = xmlNewDocPI(doc_.get(), utf8(target.toUtf8()), safeValue(data));
  xmlAddChild(reinterpret_cast<xmlNode*>(doc_.get()), instruction);
}

Document Document::clone() const {
  return doc_ == nullptr ? null() : Document(xmlCopyDoc(doc_.get(), 1));
}

Document Document::fromElement(const Element& element) {
  Document document;
  if (element.isNull()) {
    return null();
  }
  xmlNode* copy = xmlDocCopyNode(element.handle(), document.handle(), 1);
  if (copy == nullptr) {
    return null();
  }
  xmlDocSetRootElement(document.handle(), copy);
  return document;
}

namespace {

// The document written as libxml2's serializer writes it without indenting, for the shapes
// the program builds: processing instructions and one element at the top, elements and
// texts below, attributes of plain text, no namespaces. libxml2 makes several calls per
// node into a growing buffer and spends far more than the text costs to copy; a page of a
// large folder is written here in one pass. Any other node answers false and the whole
// document is left to libxml2, so the bytes are the same either way.
class PlainWriter : private ByteSink {
 public:
  explicit PlainWriter(const xmlDoc* doc) : doc_(doc) {}

  // The bytes written, once document() answered true.
  using ByteSink::take;

  bool document() {
    if (doc_->type != XML_DOCUMENT_NODE || doc_->standalone != -1 ||
        (doc_->version != nullptr && xmlStrchr(doc_->version, '"') != nullptr)) {
      return false;
    }
    put("<?xml version=\"");
    if (doc_->version != nullptr) {
      append(doc_->version);
    } else {
      put("1.0");
    }
    put("\" encoding=\"UTF-8\"?>\n");
    for (const xmlNode* child = doc_->children; child != nullptr; child = child->next) {
      if (child->type == XML_PI_NODE) {
        instruction(child, "?>");
      } else if (child->type != XML_ELEMENT_NODE || !tree(child)) {
        return false;
      }
      put('\n');
    }
    return true;
  }

 private:
  // Runs of ordinary bytes are copied whole; a byte the serializer escapes takes its reference.
  template <typename Reference>
  void escaped(const xmlChar* text, Reference reference) {
    const char* run = reinterpret_cast<const char*>(text);
    const char* at = run;
    for (; *at != 0; ++at) {
      if (const char* written = reference(*at)) {
        put(run, static_cast<std::size_t>(at - run));
        put(written, std::strlen(written));
        run = at + 1;
      }
    }
    put(run, static_cast<std::size_t>(at - run));
  }

  static const char* textReference(char c) {
    switch (c) {
      case '<':
        return "&lt;";
      case '>':
        return "&gt;";
      case '&':
        return "&amp;";
      case '\r':
        return "&#13;";
      default:
        return nullptr;
    }
  }

  static const char* attributeReference(char c) {
    switch (c) {
      case '\n':
        return "&#10;";
      case '\t':
        return "&#9;";
      case '"':
        return "&quot;";
      default:
        return textReference(c);
    }
  }

  bool startTag(const xmlNode* node) {
    if (node->ns != nullptr || node->nsDef != nullptr) {
      return false;
    }
    put('<');
    append(node->name);
    for (const xmlAttr* attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
      // Another document's attribute would be written with character references.
      if (attribute->type != XML_ATTRIBUTE_NODE || attribute->ns != nullptr || attribute->doc != doc_) {
        return false;
      }
      put(' ');
      append(attribute->name);
      put("=\"");
      for (const xmlNode* text = attribute->children; text != nullptr; text = text->next) {
        if (text->type != XML_TEXT_NODE) {
          return false;
        }
        if (text->content != nullptr) {
          escaped(text->content, attributeReference);
        }
      }
      put('"');
    }
    return true;
  }

  bool tree(const xmlNode* top) {
    const auto enter = [this](const xmlNode* node) {
      if (node->type == XML_ELEMENT_NODE) {
        if (!startTag(node)) {
          return Visit::Refuse;
        }
        if (node->children != nullptr) {
          put('>');
          return Visit::Children;
        }
        put("/>");
      } else if (node->type == XML_TEXT_NODE) {
        if (node->content != nullptr) {
          if (node->name == xmlStringTextNoenc) {
            append(node->content);
          } else {
            escaped(node->content, textReference);
          }
        }
      } else {
        return Visit::Refuse;
      }
      return Visit::Past;
    };
    return walkTree(top, enter, [this](const xmlNode* closed) { endTag(closed); });
  }

  const xmlDoc* doc_;
};

}  // namespace

QByteArray Document::toBytes(bool indent) const {
  if (doc_ == nullptr) {
    return {};
  }
  if (!indent) {
    PlainWriter writer(doc_.get());
    if (writer.document()) {
      return writer.take();
    }
  }
  // The declaration names UTF-8, the tree's own encoding: the text is written straight into
  // a buffer without an encoder. Naming the encoding in a memory dump would pass every byte
  // through libxml2's UTF-8 to UTF-8 converter, the same bytes at a third of the page's cost.
  xmlOutputBuffer* buffer = xmlAllocOutputBuffer(nullptr);
  if (buffer == nullptr) {
    return {};
  }
  xmlNodeDumpOutput(buffer, doc_.get(), reinterpret_cast<xmlNode*>(doc_.get()), 0, indent ? 1 : 0, "UTF-8");
  const QByteArray bytes(reinterpret_cast<const char*>(xmlOutputBufferGetContent(buffer)),
                         static_cast<qsizetype>(xmlOutputBufferGetSize(buffer)));
  xmlOutputBufferClose(buffer);
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

QByteArray Stylesheet::transformToUtf8(const Document& input, const Parameters& parameters, QString* error) const {
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
  // A page of a large folder costs libxml2's html serializer several calls per node and a
  // URI escape per link; the writer of our own gives the same bytes in one pass, or declines.
  QByteArray bytes;
  if (writeHtmlResult(result, style_, &bytes)) {
    xmlFreeDoc(result);
    return bytes;
  }
  // A buffer without an encoder keeps libxml2's own UTF-8.
  xmlOutputBuffer* buffer = xmlAllocOutputBuffer(nullptr);
  if (buffer == nullptr) {
    reportTo(error, QStringLiteral("no output buffer"));
  } else if (xsltSaveResultTo(buffer, result, style_) < 0) {
    reportTo(error, QStringLiteral("serializing the transform result failed"));
  } else {
    bytes = QByteArray(reinterpret_cast<const char*>(xmlOutputBufferGetContent(buffer)),
                       static_cast<qsizetype>(xmlOutputBufferGetSize(buffer)));
  }
  if (buffer != nullptr) {
    xmlOutputBufferClose(buffer);
  }
  xmlFreeDoc(result);
  return bytes;
}

namespace {

bool isUnescapedText(const xmlNode* node) {
  return node->type == XML_TEXT_NODE && node->name == xmlStringTextNoenc;
}

// True when unescaped text stands only among the children of the document element.
bool unescapedTextOnlyAtTop(xmlNode* root) {
  for (xmlNode* child = root->children; child != nullptr; child = child->next) {
    for (xmlNode* node = child->children; node != nullptr; node = nextInSubtree(node, child)) {
      if (isUnescapedText(node)) {
        return false;
      }
    }
  }
  return true;
}

// Text written out as the serializer writes character data.
void appendEscaped(QByteArray& out, const xmlChar* text) {
  for (const xmlChar* c = text; c != nullptr && *c != 0; ++c) {
    switch (*c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        out += static_cast<char>(*c);
    }
  }
}

constexpr const char* kSlotTarget = "orv-slot";

// Rebuilds under parent, in the result document, what the markup document holds below
// from: its elements and texts copied, each slot instruction replaced by the next kept node.
bool rebuildChildren(xmlNode* from, xmlNode* parent, std::vector<xmlNode*>& kept, std::size_t& next) {
  for (xmlNode* node = from->children; node != nullptr; node = node->next) {
    if (node->type == XML_PI_NODE && xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>(kSlotTarget))) {
      if (next >= kept.size()) {
        return false;
      }
      xmlAddChild(parent, kept[next++]);
      continue;
    }
    const bool element = node->type == XML_ELEMENT_NODE;
    xmlNode* copy = xmlDocCopyNode(node, parent->doc, element ? 2 : 1);
    if (copy == nullptr) {
      return false;
    }
    xmlNode* added = xmlAddChild(parent, copy);
    if (added == nullptr) {
      xmlFreeNode(copy);
      return false;
    }
    if (element && !rebuildChildren(node, added, kept, next)) {
      return false;
    }
  }
  return true;
}

// Reads the unescaped text among the root's children as markup, in place.
bool readBackTopLevelMarkup(xmlDoc* result) {
  xmlNode* root = xmlDocGetRootElement(result);
  bool any = false;
  QByteArray markup = "<r>";
  std::vector<xmlNode*> kept;
  for (xmlNode* child = root->children; child != nullptr; child = child->next) {
    if (isUnescapedText(child)) {
      markup += reinterpret_cast<const char*>(child->content);
      any = true;
    } else if (child->type == XML_TEXT_NODE) {
      appendEscaped(markup, child->content);
    } else {
      markup += "<?";
      markup += kSlotTarget;
      markup += "?>";
      kept.push_back(child);
    }
  }
  if (!any) {
    return true;
  }
  markup += "</r>";
  xmlDoc* parsed = xmlReadMemory(markup.constData(), static_cast<int>(markup.size()), nullptr, nullptr, kParseOptions);
  if (parsed == nullptr) {
    return false;
  }
  // Every kept node leaves the root; the texts that spelled the markup go.
  for (xmlNode* node : kept) {
    xmlUnlinkNode(node);
  }
  while (root->children != nullptr) {
    xmlNode* text = root->children;
    xmlUnlinkNode(text);
    xmlFreeNode(text);
  }
  std::size_t next = 0;
  const bool rebuilt = rebuildChildren(xmlDocGetRootElement(parsed), root, kept, next) && next == kept.size();
  xmlFreeDoc(parsed);
  // Nodes that found no place are freed with the root's document only if they are in it.
  for (std::size_t i = next; i < kept.size(); ++i) {
    xmlFreeNode(kept[i]);
  }
  return rebuilt;
}

}  // namespace

Document Stylesheet::transformReadBack(const Document& input, const Parameters& parameters, QString* error) const {
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
  xmlNode* root = xmlDocGetRootElement(result);
  if (root != nullptr && root->nsDef == nullptr && unescapedTextOnlyAtTop(root)) {
    if (!readBackTopLevelMarkup(result)) {
      xmlFreeDoc(result);
      reportTo(error, QStringLiteral("the result is not well-formed"));
      return Document::null();
    }
    return Document(result);
  }
  // Anywhere else the whole result is written out and read back.
  xmlChar* chars = nullptr;
  int size = 0;
  const int saved = xsltSaveResultToString(&chars, &size, result, style_);
  xmlFreeDoc(result);
  const QByteArray bytes =
      saved == 0 && chars != nullptr ? QByteArray(reinterpret_cast<const char*>(chars), size) : QByteArray();
  xmlFree(chars);
  return Document::fromBytes(bytes, error);
}

}  // namespace orv::xml
