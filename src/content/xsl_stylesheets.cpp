#include "content/xsl_stylesheets.h"

#include "core/language.h"

#include <QStringList>

#include <initializer_list>
#include <utility>

namespace orv::content {
namespace {

QString latin(const char* text) {
  return QString::fromLatin1(text);
}

// The letters upper- and lower-cased by the stylesheets: A to Z and the 30 accented
// capitals of Western and Turkish text, each at the position of its small partner.
QString codePoints(std::initializer_list<std::pair<char32_t, char32_t>> ranges) {
  QString text;
  for (const auto& [first, last] : ranges) {
    for (char32_t code = first; code <= last; ++code) {
      text += QChar(static_cast<char16_t>(code));
    }
  }
  return text;
}

QString upperCaseLetters() {
  return codePoints(
      {{U'A', U'Z'}, {0xC0, 0xCF}, {0x11E, 0x11E}, {0xD1, 0xD6}, {0xD8, 0xDC}, {0x130, 0x130}, {0x15E, 0x15E}});
}

QString lowerCaseLetters() {
  return codePoints(
      {{U'a', U'z'}, {0xE0, 0xEF}, {0x11F, 0x11F}, {0xF1, 0xF6}, {0xF8, 0xFC}, {0x131, 0x131}, {0x15F, 0x15F}});
}

// A text placed as character data of the stylesheet: markup characters become
// references, and characters XML cannot hold become U+FFFD.
QString escapeCharacterData(const QString& text) {
  QString escaped;
  for (const QChar c : xml::toXmlSafeText(text)) {
    switch (c.unicode()) {
      case u'&':
        escaped += latin("&amp;");
        break;
      case u'<':
        escaped += latin("&lt;");
        break;
      case u'>':
        escaped += latin("&gt;");
        break;
      case u'\r':
        escaped += latin("&#13;");
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

QString stylesheetStart() {
  return latin(
      "<?xml version=\"1.0\"?>"
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
      "<xsl:output method=\"xml\" version=\"1.0\" encoding=\"UTF-8\" omit-xml-declaration=\"no\" indent=\"no\"/>");
}

QString caseVariables() {
  return latin("<xsl:variable name=\"upperCase\" select=\"'") + upperCaseLetters() + latin("'\"/>") +
         latin("<xsl:variable name=\"lowerCase\" select=\"'") + lowerCaseLetters() + latin("'\"/>");
}

// Attributes of the output section, copied from the input section in the given order.
QString copiedSectionAttributes(std::initializer_list<const char*> names) {
  QString text;
  for (const char* name : names) {
    text += latin("<xsl:attribute name=\"") + latin(name) + latin("\"><xsl:value-of select=\"section/@") + latin(name) +
            latin("\"/></xsl:attribute>");
  }
  return text;
}

QString textVariable(const char* name, const QString& value) {
  return latin("<xsl:variable name=\"") + latin(name) + latin("\"><xsl:text>") + escapeCharacterData(value) +
         latin("</xsl:text></xsl:variable>");
}

// A boundary grouping walks the items in their order and opens a new group wherever the
// key of an item differs, ignoring case, from the key of the item just before it. The
// previous item is its nearest preceding sibling: asking the parent for the item at the
// previous position instead makes libxslt walk the whole list for every item. Keys that
// are the same as they stand are the same ignoring case: only keys that differ are
// lower-cased, since translating a text through the two case lists is the dearest step.
// keyOf holds "%1" where the node path of the item goes ("" or "$previous/").
QString boundaryGroupLoop(const QString& keyOf, const QString& groupName) {
  const QString currentKey = QString(keyOf).replace(latin("%1"), QString());
  const QString previousKey = QString(keyOf).replace(latin("%1"), latin("$previous/"));
  const QString openGroup = latin("<xsl:call-template name=\"openGroup\"><xsl:with-param name=\"name\" select=\"") +
                            groupName + latin("\"/></xsl:call-template>");
  return latin(
             "<xsl:for-each select=\"section/item\">"
             "<xsl:variable name=\"previous\" select=\"preceding-sibling::item[1]\"/>"
             "<xsl:choose>"
             "<xsl:when test=\"position()=1\">") +
         openGroup + latin("</xsl:when><xsl:when test=\"") + currentKey + latin("!=") + previousKey +
         latin(" and translate(") + currentKey + latin(",$upperCase,$lowerCase)!=translate(") + previousKey +
         latin(
             ",$upperCase,$lowerCase)\">"
             "<xsl:text disable-output-escaping=\"yes\">&lt;/group&gt;</xsl:text>") +
         openGroup +
         latin(
             "</xsl:when>"
             "</xsl:choose>"
             "<xsl:copy-of select=\".\"/>"
             "</xsl:for-each>"
             "<xsl:text disable-output-escaping=\"yes\">&lt;/group&gt;</xsl:text>");
}

QString boundaryGroupTemplate(const char* name, const char* keyOf, const char* groupName) {
  return latin("<xsl:template name=\"") + latin(name) + latin("\">") +
         boundaryGroupLoop(latin(keyOf), latin(groupName)) + latin("</xsl:template>");
}

// The grouping by the text of the child that sortby names. For the names the page writes,
// the child is named in the path itself: the same child, found without comparing the name
// of every child of every item with the variable.
QString contentTextGroupTemplate() {
  QString text = latin("<xsl:template name=\"BuildContentTextGroup\"><xsl:choose>");
  for (const char* child : {"artist", "album"}) {
    const QString key = latin("string(%1") + latin(child) + latin(")");
    text += latin("<xsl:when test=\"$sortby='") + latin(child) + latin("'\">") +
            boundaryGroupLoop(key, latin("string(") + latin(child) + latin(")")) + latin("</xsl:when>");
  }
  text += latin("<xsl:otherwise>") +
          boundaryGroupLoop(latin("string(%1*[name()=$sortby])"), latin("string(*[name()=$sortby])")) +
          latin("</xsl:otherwise></xsl:choose></xsl:template>");
  return text;
}

// The sorted items, by the child whose name is sortby. Texts sort ignoring case first, so
// that the groups made afterwards, which compare their keys ignoring case, never come apart
// ("A1", "B", "a2" would give A, B, A). The children the page writes are named in the path
// itself, as in the grouping.
QString sortedItems(const QString& child) {
  return latin("<xsl:apply-templates select=\"section/item\"><xsl:sort select=\"translate(") + child +
         latin(",$upperCase,$lowerCase)\" order=\"{$sortorder}\" data-type=\"{$datatype}\"/><xsl:sort select=\"") +
         child + latin("\" order=\"{$sortorder}\" data-type=\"{$datatype}\"/></xsl:apply-templates>");
}

QString sortedItemsBySortValue() {
  QString text = latin("<xsl:choose>");
  for (const char* child : {"name", "size", "type", "date", "artist", "album"}) {
    text += latin("<xsl:when test=\"$sortby='") + latin(child) + latin("'\">") + sortedItems(latin(child)) +
            latin("</xsl:when>");
  }
  text += latin("<xsl:otherwise>") + sortedItems(latin("*[name()=$sortby]")) + latin("</xsl:otherwise></xsl:choose>");
  return text;
}

// A literal group of the size grouping, written only when it has items.
QString sizeGroup(const char* variable, const char* test) {
  const QString selection = latin("section/item[") + latin(test) + latin("]");
  return latin("<xsl:if test=\"") + selection + latin("\"><group name=\"{$") + latin(variable) +
         latin("}\"><xsl:copy-of select=\"") + selection + latin("\"/></group></xsl:if>");
}

}  // namespace

XslGroupTexts XslGroupTexts::fromLanguage() {
  const core::tLanguage& language = core::gLanguage;
  return {language.text(u"HTLM/GROUP/NULL_CAPACITY"), language.text(u"HTLM/GROUP/SMALL_CAPACITY"),
          language.text(u"HTLM/GROUP/AVERAGE_CAPACITY"), language.text(u"HTLM/GROUP/BIG_CAPACITY"),
          language.text(u"HTLM/GROUP/FILES")};
}

QString getXslSortStylesheetText() {
  QStringList lines;
  lines << stylesheetStart() << caseVariables();
  lines << latin(
      "<xsl:template match=\"/\">"
      "<xsl:variable name=\"sortorder\"><xsl:call-template name=\"getSortOrder\"/></xsl:variable>"
      "<xsl:variable name=\"sortby\" select=\"string(section/@sortby)\"/>"
      "<xsl:variable name=\"datatype\"><xsl:choose>"
      "<xsl:when test=\"$sortby='size'\">number</xsl:when>"
      "<xsl:otherwise>text</xsl:otherwise>"
      "</xsl:choose></xsl:variable>"
      "<section>");
  lines << copiedSectionAttributes({"type", "showby", "sortby", "sortorder", "showgroup", "diskitems", "filter"});
  lines << sortedItemsBySortValue() << latin("</section></xsl:template>");
  // Dates sort newest first for "ascending".
  lines << latin(
      "<xsl:template name=\"getSortOrder\">"
      "<xsl:choose>"
      "<xsl:when test=\"section/@sortby='date'\">"
      "<xsl:choose>"
      "<xsl:when test=\"section/@sortorder='ascending'\">descending</xsl:when>"
      "<xsl:otherwise>ascending</xsl:otherwise>"
      "</xsl:choose>"
      "</xsl:when>"
      "<xsl:otherwise><xsl:value-of select=\"section/@sortorder\"/></xsl:otherwise>"
      "</xsl:choose>"
      "</xsl:template>");
  lines << latin("<xsl:template match=\"section/item\"><xsl:copy-of select=\".\"/></xsl:template>");
  lines << latin("</xsl:stylesheet>");
  return lines.join(QString());
}

QString getXslGroupStylesheetText(const XslGroupTexts& texts) {
  QStringList lines;
  lines << stylesheetStart() << caseVariables();
  lines << latin("<xsl:variable name=\"sortby\" select=\"string(/section/@sortby)\"/>");
  lines << textVariable("nullCapacity", texts.nullCapacity) << textVariable("smallCapacity", texts.smallCapacity)
        << textVariable("averageCapacity", texts.averageCapacity) << textVariable("bigCapacity", texts.bigCapacity)
        << textVariable("files", texts.files);
  lines << latin("<xsl:template match=\"/\"><section>");
  lines << copiedSectionAttributes({"type", "showby", "sortby", "sortorder", "showgroup", "filter", "diskitems"});
  lines << latin(
      "<xsl:choose>"
      "<xsl:when test=\"(section/@showgroup='true' or $sortby='artist' or $sortby='album') and section/item\">"
      "<xsl:choose>"
      "<xsl:when test=\"$sortby='size'\"><xsl:call-template name=\"BuildSizeGroup\"/></xsl:when>"
      "<xsl:when test=\"$sortby='type'\"><xsl:call-template name=\"BuildTypeGroup\"/></xsl:when>"
      "<xsl:when test=\"$sortby='name'\"><xsl:call-template name=\"BuildAlphabeticGroup\"/></xsl:when>"
      "<xsl:when test=\"$sortby='date'\"><xsl:call-template name=\"BuildDateGroup\"/></xsl:when>"
      "<xsl:otherwise><xsl:call-template name=\"BuildContentTextGroup\"/></xsl:otherwise>"
      "</xsl:choose>"
      "</xsl:when>"
      "<xsl:when test=\"section/@showgroup='false' and section/item\">"
      "<xsl:call-template name=\"BuildNullGroup\"/>"
      "</xsl:when>"
      "</xsl:choose>"
      "</section>"
      "</xsl:template>");
  lines << boundaryGroupTemplate("BuildAlphabeticGroup", "substring(%1name,1,1)",
                                 "translate(substring(name,1,1),$lowerCase,$upperCase)");
  lines << boundaryGroupTemplate("BuildTypeGroup", "string(%1type)",
                                 "concat($files,' ',translate(type,$lowerCase,$upperCase))");
  // Only a sortby of "date" leads here: the child is named in the path.
  lines << boundaryGroupTemplate("BuildDateGroup", "substring(%1date,1,10)", "substring(date,1,10)");
  lines << contentTextGroupTemplate();
  lines << latin("<xsl:template name=\"BuildSizeGroup\"><xsl:choose><xsl:when test=\"section/@sortorder='ascending'\">")
        << sizeGroup("nullCapacity", "size=0") << sizeGroup("smallCapacity", "size&gt;0 and size&lt;=3500000")
        << sizeGroup("averageCapacity", "size&gt;3500000 and size&lt;=100000000")
        << sizeGroup("bigCapacity", "size&gt;100000000")
        << latin("</xsl:when><xsl:when test=\"section/@sortorder='descending'\">")
        << sizeGroup("bigCapacity", "size&gt;100000000")
        << sizeGroup("averageCapacity", "size&gt;3500000 and size&lt;=100000000")
        << sizeGroup("smallCapacity", "size&gt;0 and size&lt;=3500000") << sizeGroup("nullCapacity", "size=0")
        << latin("</xsl:when></xsl:choose></xsl:template>");
  lines << latin(
      "<xsl:template name=\"BuildNullGroup\"><group><xsl:copy-of select=\"section/item\"/></group></xsl:template>");
  // The start tag of a boundary group, written as text. The name is escaped for a
  // double-quoted attribute: the serializer escapes "&", "<" and ">" of a text, and the
  // quote, tab and line feed are written as references here, so that any name reads
  // back unchanged. The name is halved until each special character stands alone, which
  // keeps the recursion shallow however many of them a name holds.
  lines << latin(
      "<xsl:template name=\"openGroup\">"
      "<xsl:param name=\"name\"/>"
      "<xsl:text disable-output-escaping=\"yes\">&lt;group name=\"</xsl:text>"
      "<xsl:call-template name=\"writeAttributeText\"><xsl:with-param name=\"text\" select=\"$name\"/>"
      "</xsl:call-template>"
      "<xsl:text disable-output-escaping=\"yes\">\"&gt;</xsl:text>"
      "</xsl:template>");
  lines << latin(
      "<xsl:template name=\"writeAttributeText\">"
      "<xsl:param name=\"text\"/>"
      "<xsl:choose>"
      "<xsl:when test=\"translate($text,'&quot;&#9;&#10;','')=$text\"><xsl:value-of select=\"$text\"/></xsl:when>"
      "<xsl:when test=\"$text='&quot;'\"><xsl:text disable-output-escaping=\"yes\">&amp;quot;</xsl:text></xsl:when>"
      "<xsl:when test=\"$text='&#9;'\"><xsl:text disable-output-escaping=\"yes\">&amp;#9;</xsl:text></xsl:when>"
      "<xsl:when test=\"$text='&#10;'\"><xsl:text disable-output-escaping=\"yes\">&amp;#10;</xsl:text></xsl:when>"
      "<xsl:otherwise>"
      "<xsl:variable name=\"half\" select=\"floor(string-length($text) div 2)\"/>"
      "<xsl:call-template name=\"writeAttributeText\">"
      "<xsl:with-param name=\"text\" select=\"substring($text,1,$half)\"/>"
      "</xsl:call-template>"
      "<xsl:call-template name=\"writeAttributeText\">"
      "<xsl:with-param name=\"text\" select=\"substring($text,$half+1)\"/>"
      "</xsl:call-template>"
      "</xsl:otherwise>"
      "</xsl:choose>"
      "</xsl:template>");
  lines << latin("</xsl:stylesheet>");
  return lines.join(QString());
}

QString fnctStylesheetLowerCase(const QString& text) {
  static const QString upper = upperCaseLetters();
  static const QString lower = lowerCaseLetters();
  QString lowered = text;
  for (QChar& c : lowered) {
    // Most text is plain ASCII: only the accented capitals need the search.
    if (c.unicode() >= u'A' && c.unicode() <= u'Z') {
      c = QChar(static_cast<char16_t>(c.unicode() + (u'a' - u'A')));
    } else if (c.unicode() >= 0xC0) {
      const qsizetype at = upper.indexOf(c);
      if (at >= 0) {
        c = lower.at(at);
      }
    }
  }
  return lowered;
}

xml::Document getXslSortStylesheet() {
  return xml::Document::fromBytes(getXslSortStylesheetText().toUtf8());
}

xml::Document getXslGroupStylesheet(const XslGroupTexts& texts) {
  return xml::Document::fromBytes(getXslGroupStylesheetText(texts).toUtf8());
}

xml::Document getXslGroupStylesheet() {
  return getXslGroupStylesheet(XslGroupTexts::fromLanguage());
}

xml::Document fnctTransformSection(const xml::Stylesheet& stylesheet, const xml::Document& section) {
  return stylesheet.transformReadBack(section);
}

}  // namespace orv::content
