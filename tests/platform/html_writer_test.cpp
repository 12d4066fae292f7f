// The server writes html transform results itself instead of through libxslt's saver: every
// byte must stay what the saver writes, and what the writer is not sure of it must decline.
#include "platform/html_writer.h"

#include "platform/xml.h"

#include <libxml/HTMLtree.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using orv::xml::writeHtmlResult;

struct StyleDeleter {
  void operator()(xsltStylesheet* style) const { xsltFreeStylesheet(style); }
};
struct DocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using StylePtr = std::unique_ptr<xsltStylesheet, StyleDeleter>;
using DocPtr = std::unique_ptr<xmlDoc, DocDeleter>;

DocPtr parse(const QByteArray& bytes) {
  return DocPtr(xmlReadMemory(bytes.constData(), static_cast<int>(bytes.size()), "case.xml", nullptr, 0));
}

StylePtr styleOf(const QByteArray& bytes) {
  xmlDoc* doc = xmlReadMemory(bytes.constData(), static_cast<int>(bytes.size()), "case.xsl", nullptr, 0);
  return StylePtr(doc != nullptr ? xsltParseStylesheetDoc(doc) : nullptr);
}

// What libxslt's saver writes into a buffer without an encoder, as the server calls it.
QByteArray saverBytes(xmlDoc* result, xsltStylesheet* style) {
  xmlOutputBuffer* buffer = xmlAllocOutputBuffer(nullptr);
  EXPECT_GE(xsltSaveResultTo(buffer, result, style), 0);
  const QByteArray bytes(reinterpret_cast<const char*>(xmlOutputBufferGetContent(buffer)),
                         static_cast<qsizetype>(xmlOutputBufferGetSize(buffer)));
  xmlOutputBufferClose(buffer);
  return bytes;
}

// Two results of the same transform: one written by the writer, the other by the saver. A
// declined result must still give the saver's bytes when the saver then writes it.
void expectSaverBytes(xsltStylesheet* style, xmlDoc* input, bool written) {
  DocPtr ours(xsltApplyStylesheet(style, input, nullptr));
  DocPtr theirs(xsltApplyStylesheet(style, input, nullptr));
  ASSERT_TRUE(ours != nullptr);
  ASSERT_TRUE(theirs != nullptr);
  const QByteArray expected = saverBytes(theirs.get(), style);
  QByteArray bytes = "untouched";
  const bool wrote = writeHtmlResult(ours.get(), style, &bytes);
  EXPECT_EQ(wrote, written);
  if (wrote) {
    EXPECT_EQ(bytes, expected);
  } else {
    EXPECT_EQ(bytes, "untouched");
    EXPECT_EQ(saverBytes(ours.get(), style), expected);
  }
}

constexpr char kHtmlOutput[] =
    R"(<xsl:output method="html" encoding="UTF-8" indent="no" doctype-system="about:legacy-compat"/>)";

QByteArray stylesheet(const char* output, const char* body) {
  return QByteArray(R"(<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">)") + output +
         R"(<xsl:template match="/">)" + body + "</xsl:template></xsl:stylesheet>";
}

// Values the stylesheets put in texts and attributes: every character the escaping treats on
// its own, both kinds of quote, references, non-ASCII, links with blanks.
constexpr char kInput[] =
    "<r>"
    "<all>a&lt;b&gt;c&amp;d\"e'f\tg\nh&#13;i %20 %zz {x} } [y] |\\^`$ \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \x7F "
    "end</all>"
    "<dq>say \"yes\"</dq>"
    "<sq>it's</sq>"
    "<both>\"it's\"</both>"
    "<link>  /a b/c&amp;d?e=f&lt;g&gt;#h%41 \xC3\xA9\"q\"'s'~*()!,;+@:=</link>"
    "<blank> &#9;&#10;&#13;</blank>"
    "<empty></empty>"
    "<amp>&amp;</amp>"
    "</r>";

struct Case {
  const char* what;
  const char* output;
  const char* body;
  bool written;
};

const Case kCases[] = {
    {"a page with head, title and body", kHtmlOutput, "<html><head><title>t</title></head><body><p>x</p></body></html>",
     true},
    {"void elements, with attributes and without", kHtmlOutput,
     R"(<html><head><link rel="stylesheet" href="/?res=a b.css"/><base href="/"/></head><body>)"
     R"(<img src="x y.png" alt=""/><br/><hr/><input type="text" name="q" value="v"/><area/><col/>)"
     R"(<param name="p" value="1"/><embed src="e"/><basefont/><isindex/><frame/><wbr/></body></html>)",
     true},
    {"a void element given children writes none of them", kHtmlOutput,
     "<div><br>text<b>bold</b></br><img>x</img>after</div>", true},
    {"empty elements that are not void", kHtmlOutput,
     "<div></div><span/><p/><table><tr><td/></tr></table><textarea/><select><option/></select><html/><body/>", true},
    {"elements the html tables do not know, and names in capitals", kHtmlOutput,
     R"(<custom-el a="b"/><svg/><DIV ID="x"><BR/><IMG SRC="a b"/></DIV><Br/>)", true},
    {"boolean attributes, in any case", kHtmlOutput,
     R"(<form><input type="checkbox" checked="checked" disabled=""/><select multiple="multiple">)"
     R"(<option selected="selected" value="a">a</option></select><input readonly="x" CHECKED="1"/>)"
     R"(<dl compact="compact"/><img ismap="ismap"/><td nowrap="nowrap"/><hr noshade="noshade"/>)"
     R"(<script defer="defer"/><area nohref="nohref"/><frame noresize="1"/><object declare="d"/></form>)",
     true},
    {"links escaped: href, src, action and the name of a", kHtmlOutput,
     R"(<a href="{/r/link}" name="{/r/link}">l</a><img src="{/r/link}"/><form action="{/r/link}"/>)"
     R"(<A HREF="{/r/all}" NAME="{/r/all}"/><link href="{/r/both}"/><script src="{/r/dq}"/>)",
     true},
    {"name is a link only on a", kHtmlOutput,
     R"(<div name="{/r/link}"/><input name="{/r/link}"/><a title="{/r/link}"/>)", true},
    {"links of blanks only, empty, and with blanks behind", kHtmlOutput,
     R"(<a href="{/r/blank}"/><a href=""/><a href="{/r/empty}"/><a href="x {/r/blank}"/>)"
     R"(<a><xsl:attribute name="href"><xsl:value-of select="/r/blank"/>y<xsl:value-of select="/r/link"/></xsl:attribute></a>)",
     true},
    {"plain attributes with each kind of quote and character", kHtmlOutput,
     R"(<div title="{/r/all}" class="{/r/dq}" id="{/r/sq}" lang="{/r/both}" dir="{/r/amp}"/>)", true},
    {"empty attributes", kHtmlOutput,
     R"(<div title="" class="{/r/empty}"><xsl:attribute name="lang"/><xsl:attribute name="id"></xsl:attribute></div>)",
     true},
    {"text with every kind of character", kHtmlOutput,
     R"(<p><xsl:value-of select="/r/all"/></p><p><xsl:value-of select="/r/both"/></p><p> </p>)", true},
    {"text written unescaped", kHtmlOutput,
     R"(<p><xsl:text disable-output-escaping="yes">&lt;b&gt;&amp;amp;</xsl:text></p>)", true},
    {"comments and processing instructions", kHtmlOutput,
     R"(<html><xsl:comment> a - &lt;b&gt; &amp; </xsl:comment><body><xsl:comment/>)"
     R"(<xsl:processing-instruction name="pi">data ?</xsl:processing-instruction>)"
     R"(<xsl:processing-instruction name="bare"/></body></html><xsl:comment>after</xsl:comment>)",
     true},
    {"script and style texts are written as they are", kHtmlOutput,
     R"(<html><head><style>a &gt; b { x: "&amp;" }</style><script>if (a &lt; b &amp;&amp; c) {}</script>)"
     R"(<SCRIPT>1 &lt; 2</SCRIPT><Style>&lt;</Style></head><body><pre>)"
     "\n"
     R"( x &lt; y</pre></body></html>)",
     true},
    {"a meta element naming the content type already", kHtmlOutput,
     R"(<html><head><meta http-equiv="Content-Type" content="text/html; charset=ISO-8859-1"/></head></html>)", true},
    {"a meta element that says the same", kHtmlOutput,
     R"(<html><head><title/><meta http-equiv="content-type" content="text/html; charset=utf-8"/></head></html>)", true},
    {"an empty head", kHtmlOutput, "<html><head/><body/></html>", true},
    {"a fragment without html or head", kHtmlOutput, R"(<section><div class="x">y</div></section>)", true},
    {"several top elements", kHtmlOutput, "<p>a</p><p>b</p>", true},
    {"no document type", R"(<xsl:output method="html" encoding="UTF-8" indent="no"/>)", "<html><body/></html>", true},
    {"a document type with a system identifier",
     R"(<xsl:output method="html" encoding="UTF-8" indent="no" doctype-system="http://x/y.dtd"/>)", "<html/>", true},
    {"a document type with both identifiers",
     R"(<xsl:output method="html" encoding="UTF-8" indent="no" doctype-public="-//W3C//DTD HTML 4.01//EN" doctype-system="http://www.w3.org/TR/html4/strict.dtd"/>)",
     "<html/>", true},
    {"a document type with a public identifier alone",
     R"(<xsl:output method="html" encoding="UTF-8" indent="no" doctype-public="-//W3C//DTD HTML 4.01//EN"/>)",
     "<html/>", true},
    {"an encoding named in small letters", R"(<xsl:output method="html" encoding="utf-8" indent="no"/>)",
     "<html><head/></html>", true},
    {"an empty result", kHtmlOutput, "", true},
    {"an empty result without a document type", R"(<xsl:output method="html" indent="no"/>)", "", true},

    {"indenting", R"(<xsl:output method="html" encoding="UTF-8" indent="yes"/>)", "<html><body><p/></body></html>",
     false},
    {"indenting by default", R"(<xsl:output method="html" encoding="UTF-8"/>)", "<html><body><p/></body></html>",
     false},
    {"another encoding", R"(<xsl:output method="html" encoding="ISO-8859-1" indent="no"/>)",
     "<html><head/><body>\xC3\xA9</body></html>", false},
    {"the xml method", R"(<xsl:output method="xml" encoding="UTF-8" indent="no"/>)", "<html><br/></html>", false},
    {"the text method", R"(<xsl:output method="text" encoding="UTF-8"/>)", "<html>x</html>", false},
    {"no method named", R"(<xsl:output encoding="UTF-8" indent="no"/>)", "<html><br/></html>", false},
    {"an element in a namespace", kHtmlOutput, R"(<html><x:e xmlns:x="urn:x"/></html>)", false},
    {"a namespace declared", kHtmlOutput, R"(<html xmlns="http://www.w3.org/1999/xhtml"><br/></html>)", false},
    {"an attribute in a namespace", kHtmlOutput, R"(<html><p xml:lang="en"/></html>)", false},
    {"an attribute holding &{", kHtmlOutput, R"(<p title="a&amp;{{b}}"/>)", false},
    {"an attribute holding a server side include", kHtmlOutput, R"(<a href="&lt;!--#echo x--&gt;"/>)", false},
    {"text at the top", kHtmlOutput, "top <p/>", false},
};

TEST(HtmlWriter, TransformResultsAreWrittenAsTheSaverWritesThem) {
  DocPtr input = parse(kInput);
  ASSERT_TRUE(input != nullptr);
  for (const Case& row : kCases) {
    SCOPED_TRACE(row.what);
    StylePtr style = styleOf(stylesheet(row.output, row.body));
    ASSERT_TRUE(style != nullptr);
    expectSaverBytes(style.get(), input.get(), row.written);
  }
}

// Trees no stylesheet of the program gives, built by hand: control characters the escaping
// drops, nodes the writer leaves to libxml2.
TEST(HtmlWriter, BuiltTreesAreWrittenAsTheSaverWritesThemOrDeclined) {
  StylePtr style = styleOf(stylesheet(kHtmlOutput, "<html/>"));
  ASSERT_TRUE(style != nullptr);
  const auto xml = [](const char* text) { return reinterpret_cast<const xmlChar*>(text); };
  struct Built {
    const char* what;
    std::function<void(xmlDoc*, xmlNode*)> build;
    bool written;
  };
  const Built rows[] = {
      {"control characters in text and attributes",
       [&](xmlDoc* doc, xmlNode* body) {
         xmlAddChild(body, xmlNewDocText(doc, xml("a\x01z\x08\x0B\x0C\x1F\t\r\n<&>")));
         xmlNode* a = xmlNewChild(body, nullptr, xml("a"), nullptr);
         xmlNewProp(a, xml("href"), xml("\x01 \x02x\x03y z\x1F"));
         xmlNewProp(a, xml("title"), xml("\x01t\x1Fu\"'"));
       },
       true},
      {"an attribute of several texts",
       [&](xmlDoc* doc, xmlNode* body) {
         xmlNode* a = xmlNewChild(body, nullptr, xml("a"), nullptr);
         xmlAttr* href = xmlNewProp(a, xml("href"), xml(" "));
         xmlAddChild(reinterpret_cast<xmlNode*>(href), xmlNewDocText(doc, xml(" &b c")));
         xmlAttr* title = xmlNewProp(a, xml("title"), xml("x\""));
         xmlAddChild(reinterpret_cast<xmlNode*>(title), xmlNewDocText(doc, xml("'y")));
       },
       true},
      {"an attribute without a value", [&](xmlDoc*, xmlNode* body) { xmlNewProp(body, xml("data-x"), nullptr); }, true},
      {"a CDATA section", [&](xmlDoc* doc, xmlNode* body) { xmlAddChild(body, xmlNewCDataBlock(doc, xml("<x>"), 3)); },
       false},
      {"an entity reference",
       [&](xmlDoc* doc, xmlNode* body) { xmlAddChild(body, xmlNewReference(doc, xml("&nbsp;"))); }, false},
  };
  for (const Built& row : rows) {
    SCOPED_TRACE(row.what);
    const auto make = [&] {
      xmlDoc* doc = htmlNewDocNoDtD(xml("about:legacy-compat"), nullptr);
      xmlNode* html = xmlNewDocNode(doc, nullptr, xml("html"), nullptr);
      xmlDocSetRootElement(doc, html);
      xmlNewChild(html, nullptr, xml("head"), nullptr);
      row.build(doc, xmlNewChild(html, nullptr, xml("body"), nullptr));
      return DocPtr(doc);
    };
    DocPtr ours = make();
    DocPtr theirs = make();
    const QByteArray expected = saverBytes(theirs.get(), style.get());
    QByteArray bytes;
    EXPECT_EQ(writeHtmlResult(ours.get(), style.get(), &bytes), row.written);
    EXPECT_EQ(row.written ? bytes : saverBytes(ours.get(), style.get()), expected);
  }
}

QByteArray readSource(const char* path) {
  QFile file(QStringLiteral(ORV_SOURCE_DIR "/") + QString::fromUtf8(path));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
  return file.readAll();
}

// A folder page as the server builds it, its names chosen to hold what the escaping treats.
QByteArray folderPage(const QByteArray& name, const char* showby, bool players) {
  QByteArray escaped = name;
  escaped.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace("\"", "&quot;");
  QByteArray page =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><page><server><language type=\"en\"><units><object>item</object>"
      "<objects>items</objects><byte>byte</byte><bytes>bytes</bytes><kilobyte>KB</kilobyte><megabyte>MB</megabyte>"
      "<gigabyte>GB</gigabyte><terabyte>TB</terabyte></units><sections><pfolder>Parent folder</pfolder>"
      "<folder>Folders</folder><other>Other files</other><sound>Sound</sound><image>Images</image>"
      "<video>Videos</video><containing>containing</containing><listen_group>Listen</listen_group></sections>"
      "<menus><showby>Show as</showby><sortby>Sort by</sortby><showbylist>List</showbylist>"
      "<showbyicon>Icons</showbyicon><showbymini>Thumbnails</showbymini><sortbyname>Name</sortbyname>"
      "<sortbysize>Size</sortbysize><filter>Filter</filter></menus><filters><label>Filter</label>"
      "<validate>Apply</validate><hide>Hide</hide></filters><tooltips><name>Name</name><size>Size</size>"
      "<date>Date</date></tooltips></language><config><minidimention>96</minidimention><allowmini>true</allowmini>"
      "<allowmedia>true</allowmedia><showfolder>true</showfolder><showplayers>";
  page += players ? "true" : "false";
  page += "</showplayers></config></server><document type=\"folder\"><url icon=\"/?res=favicon.ico\" tag=\"?f=";
  page += escaped + "\"><folder src=\"/pub/" + escaped + "/\" label=\"" + escaped +
          "\"/></url></document>"
          "<section type=\"folder\" showby=\"list\" sortby=\"name\" sortorder=\"ascending\" showgroup=\"false\" "
          "filter=\"" +
          escaped + "\" diskitems=\"1\"><group><item><label>" + escaped + "</label><name>" + escaped +
          "/</name><date>2026/12/11 13:47:04</date><src>" + escaped + "/</src></item></group></section>";
  for (const char* type : {"other", "sound", "image"}) {
    page += QByteArray("<section type=\"") + type + "\" showby=\"" + showby +
            "\" sortby=\"name\" sortorder=\"ascending\" showgroup=\"true\" filter=\"\" diskitems=\"1\"><group name=\"" +
            escaped + "\"><item><label>" + escaped + "</label><name>" + escaped +
            ".mp3</name><date>2012/03/01 00:00:00</date><size>11</size><type>mp3</type><src>" + escaped +
            ".mp3</src></item></group></section>";
  }
  return page + "</page>";
}

TEST(HtmlWriter, PagesOfThePageStylesheetAreWrittenAsTheSaverWritesThem) {
  StylePtr style = styleOf(readSource("resources/classic-full.xsl"));
  ASSERT_TRUE(style != nullptr);
  const QByteArray names[] = {
      "plain",
      "with space & <angle> \"quote\" 'single'",
      "100% %20 {x} #frag ?q=1;a,b+c@d:e",
      "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
      "  leading and trailing  ",
      "tab\tline\nfeed",
  };
  for (const QByteArray& name : names) {
    for (const char* showby : {"list", "icon", "mini"}) {
      for (bool players : {false, true}) {
        SCOPED_TRACE(name.constData());
        SCOPED_TRACE(showby);
        DocPtr input = parse(folderPage(name, showby, players));
        ASSERT_TRUE(input != nullptr);
        expectSaverBytes(style.get(), input.get(), true);
      }
    }
  }
}

// The server's own road: the stylesheet class writes html results through the writer and
// gives the saver's bytes.
TEST(HtmlWriter, TheStylesheetWritesHtmlResultsAsTheSaverDoes) {
  const QByteArray source = readSource("resources/classic-full.xsl");
  orv::xml::Stylesheet ours = orv::xml::Stylesheet::fromDocument(orv::xml::Document::fromBytes(source));
  StylePtr theirs = styleOf(source);
  ASSERT_FALSE(ours.isNull());
  ASSERT_TRUE(theirs != nullptr);
  const QByteArray page = folderPage("a & b \"c\" \xC3\xA9", "icon", true);
  DocPtr input = parse(page);
  DocPtr result(xsltApplyStylesheet(theirs.get(), input.get(), nullptr));
  ASSERT_TRUE(result != nullptr);
  EXPECT_EQ(ours.transformToUtf8(orv::xml::Document::fromBytes(page)), saverBytes(result.get(), theirs.get()));
}

}  // namespace
