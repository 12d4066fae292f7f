#include "platform/html_writer.h"

#include "platform/xml_writing.h"

#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxslt/imports.h>
#include <libxslt/xsltInternals.h>

#include <array>
#include <cstdint>
#include <cstring>

namespace orv::xml {
namespace {

// What the serializer writes in place of one byte. In an html document tab, LF, CR and every
// byte from 0x80 stay as they are and the other control characters are dropped.
struct Replacement {
  bool copy = true;
  unsigned char size = 0;
  char bytes[7] = {};
};

using Table = std::array<Replacement, 256>;

void set(Table& table, unsigned char byte, const char* text) {
  Replacement& entry = table[byte];
  entry.copy = false;
  entry.size = static_cast<unsigned char>(std::strlen(text));
  std::memcpy(entry.bytes, text, entry.size);
}

bool isDroppedControl(unsigned char byte) {
  return byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r';
}

Table textTable() {
  Table table;
  for (int byte = 1; byte < 0x20; ++byte) {
    if (isDroppedControl(static_cast<unsigned char>(byte))) {
      set(table, static_cast<unsigned char>(byte), "");
    }
  }
  set(table, '<', "&lt;");
  set(table, '>', "&gt;");
  set(table, '&', "&amp;");
  return table;
}

// An attribute holding both kinds of quote is written between double quotes, its double
// quotes as references.
Table bothQuotesTable() {
  Table table = textTable();
  set(table, '"', "&quot;");
  return table;
}

// Links are written with their references in place and then URI-escaped, every byte that is
// neither unreserved nor one of the serializer's kept delimiters taking its %XX.
Table uriTable() {
  Table table = textTable();
  static const char kept[] = "-_.!~*'()@/:=?;#%&,+<>";
  for (int value = 1; value < 256; ++value) {
    const auto byte = static_cast<unsigned char>(value);
    const bool alphanumeric =
        (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9');
    if (alphanumeric || std::strchr(kept, byte) != nullptr || isDroppedControl(byte)) {
      continue;
    }
    static const char hex[] = "0123456789ABCDEF";
    const char escape[4] = {'%', hex[byte >> 4], hex[byte & 0xF], 0};
    set(table, byte, escape);
  }
  return table;
}

const Table& textReplacements() {
  static const Table table = textTable();
  return table;
}
const Table& bothQuotesReplacements() {
  static const Table table = bothQuotesTable();
  return table;
}
const Table& uriReplacements() {
  static const Table table = uriTable();
  return table;
}

// The bytes of an attribute value that decide how it is written.
constexpr unsigned char kDoubleQuote = 1;
constexpr unsigned char kSingleQuote = 2;
constexpr unsigned char kOpen = 4;
constexpr unsigned char kAmpersand = 8;

constexpr std::array<unsigned char, 256> scanTable() {
  std::array<unsigned char, 256> table{};
  table['"'] = kDoubleQuote;
  table['\''] = kSingleQuote;
  table['<'] = kOpen;
  table['&'] = kAmpersand;
  return table;
}
constexpr std::array<unsigned char, 256> kScan = scanTable();

bool isBlank(unsigned char byte) {
  return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r';
}

bool sameIgnoringCase(const xmlChar* name, const char* other) {
  return xmlStrcasecmp(name, reinterpret_cast<const xmlChar*>(other)) == 0;
}

class HtmlWriter : private ByteSink {
 public:
  explicit HtmlWriter(const xmlDoc* doc) : doc_(doc) {}

  using ByteSink::take;

  bool document() {
    if (const xmlDtd* dtd = doc_->intSubset) {
      if (dtd->name == nullptr) {
        return false;
      }
      put("<!DOCTYPE ");
      append(dtd->name);
      if (dtd->ExternalID != nullptr) {
        put(" PUBLIC ");
        quoted(dtd->ExternalID);
        if (dtd->SystemID != nullptr) {
          put(' ');
          quoted(dtd->SystemID);
        }
      } else if (dtd->SystemID != nullptr &&
                 xmlStrcmp(dtd->SystemID, reinterpret_cast<const xmlChar*>("about:legacy-compat")) != 0) {
        put(" SYSTEM ");
        quoted(dtd->SystemID);
      }
      put(">\n");
    }
    for (const xmlNode* child = doc_->children; child != nullptr; child = child->next) {
      if (child->parent != reinterpret_cast<const xmlNode*>(doc_)) {
        return false;
      }
      switch (child->type) {
        case XML_DTD_NODE:
          break;
        case XML_ELEMENT_NODE:
          if (!tree(child)) {
            return false;
          }
          break;
        case XML_COMMENT_NODE:
        case XML_PI_NODE:
          leaf(child);
          break;
        default:
          return false;
      }
    }
    put('\n');
    return true;
  }

 private:
  // What the serializer looks up of an element by name, found once per name: the names of a
  // transform's result come from the stylesheet's dictionary, so a pointer stands for a name.
  struct ElementFacts {
    const xmlChar* name = nullptr;
    const htmlElemDesc* info = nullptr;
    bool empty = false;     // void: written as a start tag alone, its children never
    bool shortEnd = false;  // written without an end tag when it has no children
    bool rawText = false;   // script and style: texts written as they are
    bool anchor = false;    // "a": its name attribute is a link
  };

  enum class AttributeKind : unsigned char { plain, boolean, link, name };
  struct AttributeFacts {
    const xmlChar* name = nullptr;
    AttributeKind kind = AttributeKind::plain;
  };

  static constexpr std::size_t kSlots = 256;
  static constexpr std::size_t kMaxFilled = 192;

  static std::size_t slotOf(const xmlChar* name) {
    const auto address = reinterpret_cast<std::uintptr_t>(name);
    return static_cast<std::size_t>((address >> 3) ^ (address >> 11)) % kSlots;
  }

  template <typename Facts, typename Compute>
  static Facts facts(std::array<Facts, kSlots>& table, std::size_t& filled, const xmlChar* name, Compute compute) {
    std::size_t slot = slotOf(name);
    for (; table[slot].name != nullptr; slot = (slot + 1) % kSlots) {
      if (table[slot].name == name) {
        return table[slot];
      }
    }
    Facts found = compute(name);
    if (filled < kMaxFilled) {
      table[slot] = found;
      ++filled;
    }
    return found;
  }

  ElementFacts element(const xmlChar* name) {
    return facts(elements_, elementsFilled_, name, [](const xmlChar* key) {
      ElementFacts found;
      found.name = key;
      found.info = htmlTagLookup(key);
      found.empty = found.info != nullptr && found.info->empty != 0;
      found.shortEnd = found.info != nullptr && found.info->saveEndTag != 0 &&
                       std::strcmp(found.info->name, "html") != 0 && std::strcmp(found.info->name, "body") != 0;
      found.rawText = sameIgnoringCase(key, "script") || sameIgnoringCase(key, "style");
      found.anchor = sameIgnoringCase(key, "a");
      return found;
    });
  }

  AttributeKind attributeKind(const xmlChar* name) {
    return facts(attributes_, attributesFilled_, name,
                 [](const xmlChar* key) {
                   AttributeFacts found;
                   found.name = key;
                   if (htmlIsBooleanAttr(key) != 0) {
                     found.kind = AttributeKind::boolean;
                   } else if (sameIgnoringCase(key, "href") || sameIgnoringCase(key, "action") ||
                              sameIgnoringCase(key, "src")) {
                     found.kind = AttributeKind::link;
                   } else if (sameIgnoringCase(key, "name")) {
                     found.kind = AttributeKind::name;
                   }
                   return found;
                 })
        .kind;
  }

  // Runs of bytes kept as they are are copied whole.
  void replaced(const xmlChar* text, const Table& table) {
    const xmlChar* run = text;
    const xmlChar* at = text;
    for (; *at != 0; ++at) {
      const Replacement& entry = table[*at];
      if (!entry.copy) {
        put(reinterpret_cast<const char*>(run), static_cast<std::size_t>(at - run));
        put(entry.bytes, entry.size);
        run = at + 1;
      }
    }
    put(reinterpret_cast<const char*>(run), static_cast<std::size_t>(at - run));
  }

  // A string between double quotes, or single ones when it holds a double quote, or double
  // ones with references when it holds both.
  void quoted(const xmlChar* text) {
    const bool doubleQuote = xmlStrchr(text, '"') != nullptr;
    if (doubleQuote && xmlStrchr(text, '\'') != nullptr) {
      put('"');
      const xmlChar* run = text;
      for (const xmlChar* at = text; *at != 0; ++at) {
        if (*at == '"') {
          put(reinterpret_cast<const char*>(run), static_cast<std::size_t>(at - run));
          put("&quot;");
          run = at + 1;
        }
      }
      append(run);
      put('"');
    } else {
      const char quote = doubleQuote ? '\'' : '"';
      put(quote);
      append(text);
      put(quote);
    }
  }

  void leaf(const xmlNode* node) {
    if (node->type == XML_COMMENT_NODE) {
      if (node->content != nullptr) {
        put("<!--");
        append(node->content);
        put("-->");
      }
    } else if (node->name != nullptr) {
      instruction(node, ">");
    }
  }

  bool attribute(const xmlAttr* attribute, const xmlNode* owner, const ElementFacts& ownerFacts) {
    if (attribute->type != XML_ATTRIBUTE_NODE || attribute->ns != nullptr || attribute->parent != owner ||
        attribute->name == nullptr) {
      return false;
    }
    put(' ');
    append(attribute->name);
    if (attribute->children == nullptr) {
      return true;
    }
    const AttributeKind kind = attributeKind(attribute->name);
    if (kind == AttributeKind::boolean) {
      return true;
    }
    // The serializer copies "<!--...-->" and "&{...}" in an attribute as they are; such a
    // value is left to it.
    unsigned char seen = 0;
    for (const xmlNode* text = attribute->children; text != nullptr; text = text->next) {
      if (text->type != XML_TEXT_NODE || text->parent != reinterpret_cast<const xmlNode*>(attribute)) {
        return false;
      }
      if (text->content == nullptr) {
        continue;
      }
      for (const xmlChar* at = text->content; *at != 0; ++at) {
        const unsigned char flag = kScan[*at];
        if (flag != 0) {
          if ((flag == kOpen && at[1] == '!') || (flag == kAmpersand && at[1] == '{')) {
            return false;
          }
          seen |= flag;
        }
      }
    }
    const bool doubleQuote = (seen & kDoubleQuote) != 0;
    const bool singleQuote = (seen & kSingleQuote) != 0;
    put('=');
    if (kind == AttributeKind::link || (kind == AttributeKind::name && ownerFacts.anchor)) {
      // Blanks leading the value are left out of a link; an escaped link holds no double quote.
      put('"');
      bool leading = true;
      for (const xmlNode* text = attribute->children; text != nullptr; text = text->next) {
        const xmlChar* at = text->content;
        if (at == nullptr) {
          continue;
        }
        if (leading) {
          while (*at != 0 && (isBlank(*at) || isDroppedControl(*at))) {
            ++at;
          }
          leading = *at == 0;
        }
        replaced(at, uriReplacements());
      }
      put('"');
      return true;
    }
    const char quote = doubleQuote && !singleQuote ? '\'' : '"';
    const Table& table = doubleQuote && singleQuote ? bothQuotesReplacements() : textReplacements();
    put(quote);
    for (const xmlNode* text = attribute->children; text != nullptr; text = text->next) {
      if (text->content != nullptr) {
        replaced(text->content, table);
      }
    }
    put(quote);
    return true;
  }

  bool tree(const xmlNode* top) {
    const auto enter = [this](const xmlNode* node) {
      if (node->type == XML_ELEMENT_NODE) {
        if (node->ns != nullptr || node->nsDef != nullptr || node->name == nullptr) {
          return Visit::Refuse;
        }
        const ElementFacts facts = element(node->name);
        put('<');
        append(node->name);
        for (const xmlAttr* property = node->properties; property != nullptr; property = property->next) {
          if (!attribute(property, node, facts)) {
            return Visit::Refuse;
          }
        }
        if (facts.empty) {
          put('>');
        } else if (node->children == nullptr) {
          if (facts.shortEnd) {
            put('>');
          } else {
            put("></");
            append(node->name);
            put('>');
          }
        } else {
          put('>');
          return Visit::Children;
        }
      } else if (node->type == XML_TEXT_NODE) {
        if (node->content != nullptr) {
          if (node->name == xmlStringTextNoenc || element(node->parent->name).rawText) {
            append(node->content);
          } else {
            replaced(node->content, textReplacements());
          }
        }
      } else if (node->type == XML_COMMENT_NODE || node->type == XML_PI_NODE) {
        leaf(node);
      } else {
        return Visit::Refuse;
      }
      return Visit::Past;
    };
    return walkTree(top, enter, [this](const xmlNode* closed) { endTag(closed); });
  }

  const xmlDoc* doc_;
  std::array<ElementFacts, kSlots> elements_{};
  std::size_t elementsFilled_ = 0;
  std::array<AttributeFacts, kSlots> attributes_{};
  std::size_t attributesFilled_ = 0;
};

}  // namespace

bool writeHtmlResult(xmlDoc* result, const xsltStylesheet* constStyle, QByteArray* out) {
  // An html result document escapes as the tables here say; any other kind is left alone.
  if (result == nullptr || result->type != XML_HTML_DOCUMENT_NODE || constStyle == nullptr || out == nullptr) {
    return false;
  }
  // The import cascade is only read; libxslt's walk over it takes a mutable pointer.
  auto* style = const_cast<xsltStylesheet*>(constStyle);
  const xmlChar* method = nullptr;
  const xmlChar* methodUri = nullptr;
  const xmlChar* encoding = nullptr;
  int indent = -1;
  XSLT_GET_IMPORT_PTR(method, style, method)
  XSLT_GET_IMPORT_PTR(methodUri, style, methodURI)
  XSLT_GET_IMPORT_PTR(encoding, style, encoding)
  XSLT_GET_IMPORT_INT(indent, style, indent)
  // Only the plain html method without indenting, into UTF-8: the others change the bytes.
  if (method == nullptr || methodUri != nullptr || xmlStrEqual(method, reinterpret_cast<const xmlChar*>("html")) == 0 ||
      indent != 0 || (encoding != nullptr && !sameIgnoringCase(encoding, "UTF-8"))) {
    return false;
  }
  // The saver writes nothing at all for a result without content.
  if (result->children == nullptr || (result->children->type == XML_DTD_NODE && result->children->next == nullptr)) {
    *out = QByteArray();
    return true;
  }
  // The saver names the encoding in the head first; doing the same here leaves the tree as
  // it would have, and the saver, should it still be called, finds the meta element already
  // right.
  htmlSetMetaEncoding(result, encoding != nullptr ? encoding : reinterpret_cast<const xmlChar*>("UTF-8"));
  HtmlWriter writer(result);
  if (!writer.document()) {
    return false;
  }
  *out = writer.take();
  return true;
}

}  // namespace orv::xml
