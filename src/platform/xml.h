#pragma once

#include "platform/atomic_file.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

struct _xmlDoc;
struct _xmlNode;
struct _xsltStylesheet;

// A thin RAII layer over libxml2 and libxslt: documents, elements, attributes, processing
// instructions, loading and saving, and transforms. Loading never reaches the network and
// never expands external entities. Texts are QString; every character that XML 1.0 cannot
// hold (control characters other than tab, LF and CR, lone surrogates, U+FFFE and U+FFFF)
// is written as U+FFFD, so a document built here is always well-formed.
namespace orv::xml {

class Document;

// A node of a document; it does not own the node, the document does.
class Element {
 public:
  Element() = default;
  explicit Element(_xmlNode* node) : node_(node) {}

  bool isNull() const { return node_ == nullptr; }
  explicit operator bool() const { return node_ != nullptr; }
  _xmlNode* handle() const { return node_; }

  QString name() const;
  bool hasAttribute(const QString& name) const;
  QString attribute(const QString& name) const;  // empty when absent
  void setAttribute(const QString& name, const QString& value);

  // The text held directly by the element (its text and CDATA children), without
  // resolving entity references.
  QString text() const;
  void setText(const QString& text);  // replaces every child with one text node

  Element appendElement(const QString& name);
  Element appendTextElement(const QString& name, const QString& text);
  // The same for a name the program spells itself (ASCII): no text conversions per element.
  Element appendElement(const char* name);
  Element appendTextElement(const char* name, const QString& text);
  void appendText(const QString& text);

  // Child elements in document order; an empty name matches every element.
  Element firstChildElement(const QString& name = {}) const;
  Element nextSiblingElement(const QString& name = {}) const;
  std::vector<Element> childElements(const QString& name = {}) const;

  // The first element of that name among all descendants (not the element itself), in
  // document order; null when there is none.
  Element firstDescendantElement(const QString& name) const;

  // The text of every text and CDATA node below the element, in document order, without
  // resolving entity references.
  QString textContent() const;

  // The serialized element, for tests and logs.
  QByteArray toBytes() const;

  // Puts the document element of other where this element stands, moved rather than
  // copied (a large subtree costs no copy), and frees this element; answers the moved
  // element. other is left without a document element, and every handle to this element
  // or below it is then invalid.
  Element replaceWithElementOf(Document& other);

 private:
  _xmlNode* node_ = nullptr;
};

class Document {
 public:
  Document();  // an empty document, XML 1.0
  ~Document();
  Document(Document&& other) noexcept;
  Document& operator=(Document&& other) noexcept;
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // A null document, the state of a failed load.
  static Document null();

  // Loads from memory or a file; a failure gives a null document and the parser's
  // message in error.
  static Document fromBytes(const QByteArray& bytes, QString* error = nullptr);
  static Document fromFile(const QString& path, QString* error = nullptr);

  bool isNull() const { return doc_ == nullptr; }
  _xmlDoc* handle() const { return doc_.get(); }

  Element documentElement() const;
  // The first element of that name in document order, the document element included.
  Element firstDescendantElement(const QString& name) const;
  // Whether an element of that name holds, in its own text, the ASCII needle in any case.
  bool anyElementTextContains(const char* name, const char* needle) const;
  // Appends the root element (after any processing instruction added before).
  Element createDocumentElement(const QString& name);
  void appendProcessingInstruction(const QString& target, const QString& data);

  Document clone() const;

  // A new document whose element is a deep copy of the element.
  static Document fromElement(const Element& element);

  // The document with its XML declaration, encoded in UTF-8.
  QByteArray toBytes(bool indent = false) const;
  platform::WriteResult saveFile(const QString& path, unsigned permissions = 0644) const;

 private:
  struct Deleter {
    void operator()(_xmlDoc* doc) const;
  };
  friend class Stylesheet;
  explicit Document(_xmlDoc* doc);
  std::unique_ptr<_xmlDoc, Deleter> doc_;
};

// A parsed XSLT stylesheet.
class Stylesheet {
 public:
  Stylesheet() = default;
  ~Stylesheet();
  Stylesheet(Stylesheet&& other) noexcept;
  Stylesheet& operator=(Stylesheet&& other) noexcept;
  Stylesheet(const Stylesheet&) = delete;
  Stylesheet& operator=(const Stylesheet&) = delete;

  // Parses a copy of the document; a null stylesheet when it is not a valid one.
  static Stylesheet fromDocument(const Document& document, QString* error = nullptr);

  bool isNull() const { return style_ == nullptr; }

  using Parameters = std::vector<std::pair<QString, QString>>;  // name, string value

  // The result tree of the transform, or a null document when it fails.
  Document transform(const Document& input, const Parameters& parameters = {}, QString* error = nullptr) const;

  // The result serialized as the stylesheet's xsl:output asks (html, xml or text).
  QByteArray transformToBytes(const Document& input, const Parameters& parameters = {}, QString* error = nullptr) const;

  // The same result always written in UTF-8, whatever encoding the xsl:output names: the
  // text of the result, for callers that send it as UTF-8 themselves. Where the output
  // names another encoding, the declaration or meta element that says so is still written.
  QByteArray transformToUtf8(const Document& input, const Parameters& parameters = {}, QString* error = nullptr) const;

  // The result as writing it out and reading it back would give it: text that the
  // stylesheet wrote unescaped (disable-output-escaping) becomes the markup it spells.
  // Where such text stands only among the children of the result's element, only that
  // text is read as markup and the other children are moved into place, which spares
  // writing out and reading back a large result. Null when the transform fails or the
  // result is not well-formed.
  Document transformReadBack(const Document& input, const Parameters& parameters = {}, QString* error = nullptr) const;

 private:
  _xsltStylesheet* style_ = nullptr;
};

// What XML 1.0 can hold of the text: every character it cannot becomes U+FFFD.
QString toXmlSafeText(const QString& text);

}  // namespace orv::xml
