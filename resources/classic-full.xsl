<?xml version="1.0" encoding="UTF-8"?>
<!--
  The page stylesheet: turns the folder page, the section fragment, the message page, the
  login page and the single item into HTML. It runs in the browser (named by the page's
  xml-stylesheet instruction) and on the server, so it keeps to plain XSLT 1.0: no
  extension functions, no document() loads, no disable-output-escaping.

  Every control that changes how a section shows is a small GET form: browsers submit it,
  while link-following tools (mirrors, crawlers) leave it alone and so fetch each folder
  once rather than once per combination of options. The form carries the options that the
  page was asked with, but for the one it changes, so the other sections stay as the
  visitor left them.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

  <xsl:output method="html" encoding="UTF-8" indent="no" doctype-system="about:legacy-compat"/>

  <xsl:variable name="UC" select="'ABCDEFGHIJKLMNOPQRSTUVWXYZ'"/>
  <xsl:variable name="lc" select="'abcdefghijklmnopqrstuvwxyz'"/>

  <xsl:variable name="lang" select="/page/server/language"/>
  <xsl:variable name="config" select="/page/server/config"/>
  <xsl:variable name="allowmini" select="translate($config/allowmini, $UC, $lc) = 'true'"/>
  <xsl:variable name="allowmedia" select="translate($config/allowmedia, $UC, $lc) = 'true'"/>
  <xsl:variable name="showplayers" select="translate($config/showplayers, $UC, $lc) = 'true'"/>
  <xsl:variable name="minisize">
    <xsl:choose>
      <xsl:when test="number($config/minidimention) &gt;= 10">
        <xsl:value-of select="number($config/minidimention)"/>
      </xsl:when>
      <xsl:otherwise>96</xsl:otherwise>
    </xsl:choose>
  </xsl:variable>

  <!-- The frame of every thumbnail, the same for all. -->
  <xsl:variable name="thumbStyle" select="concat('width:', $minisize, 'px;height:', $minisize, 'px')"/>

  <!-- The url tag without its leading "?"; its parts are "key=value" joined by "&". -->
  <xsl:variable name="tag" select="string(/page/document/url/@tag)"/>
  <xsl:variable name="query">
    <xsl:choose>
      <xsl:when test="starts-with($tag, '?')">
        <xsl:value-of select="substring($tag, 2)"/>
      </xsl:when>
      <xsl:otherwise>
        <xsl:value-of select="$tag"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:variable>

  <!--
    What links to folders carry after their path: the url tag, but nothing when it holds no
    option (only the playlist marker), so that a folder has one address while nothing is
    chosen, and a mirror fetches it once.
  -->
  <xsl:variable name="linkTag">
    <xsl:if test="translate($tag, $UC, $lc) != '?.pls'">
      <xsl:value-of select="$tag"/>
    </xsl:if>
  </xsl:variable>

  <!-- The query lower-cased, each of its parts after an "&", to look for a key. -->
  <xsl:variable name="queryParts" select="concat('&amp;', translate($query, $UC, $lc))"/>

  <!-- The hidden fields of all the query's options, which most forms carry. -->
  <xsl:variable name="keptOptions">
    <xsl:call-template name="query-options">
      <xsl:with-param name="except" select="''"/>
    </xsl:call-template>
  </xsl:variable>

  <xsl:variable name="stylesheet" select="'/?res=classic.css'"/>

  <!-- The words of sizes and tooltips, looked up once rather than once per item. -->
  <xsl:variable name="units" select="$lang/units"/>
  <xsl:variable name="tips" select="$lang/tooltips"/>

  <!-- ================================================================ documents -->

  <xsl:template match="/">
    <xsl:choose>
      <xsl:when test="page/identification">
        <xsl:apply-templates select="page" mode="login"/>
      </xsl:when>
      <xsl:when test="page/message">
        <xsl:apply-templates select="page" mode="message"/>
      </xsl:when>
      <xsl:when test="page">
        <xsl:apply-templates select="page" mode="folder"/>
      </xsl:when>
      <xsl:when test="section">
        <xsl:apply-templates select="section" mode="fragment"/>
      </xsl:when>
      <xsl:when test="item">
        <xsl:apply-templates select="item" mode="single"/>
      </xsl:when>
      <xsl:otherwise>
        <html>
          <xsl:call-template name="head"/>
          <body/>
        </html>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template name="head">
    <xsl:param name="title"/>
    <xsl:param name="icon" select="'/?res=favicon.ico'"/>
    <head>
      <meta name="viewport" content="width=device-width, initial-scale=1"/>
      <meta name="color-scheme" content="light dark"/>
      <title>
        <xsl:value-of select="$title"/>
      </title>
      <link rel="icon" href="{$icon}"/>
      <link rel="stylesheet" href="{$stylesheet}"/>
    </head>
  </xsl:template>

  <xsl:template name="html-lang">
    <xsl:if test="string($lang/@type) != ''">
      <xsl:attribute name="lang">
        <xsl:value-of select="$lang/@type"/>
      </xsl:attribute>
    </xsl:if>
  </xsl:template>

  <!-- ============================================================== folder page -->

  <xsl:template match="page" mode="folder">
    <xsl:variable name="levels" select="document/url/folder"/>
    <xsl:variable name="here">
      <xsl:choose>
        <xsl:when test="$levels">
          <xsl:value-of select="$levels[last()]/@label"/>
        </xsl:when>
        <xsl:otherwise>/</xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <html>
      <xsl:call-template name="html-lang"/>
      <xsl:call-template name="head">
        <xsl:with-param name="title">
          <xsl:value-of select="$here"/>
          <xsl:if test="string(server/version/name) != ''">
            <xsl:value-of select="concat(' – ', server/version/name)"/>
          </xsl:if>
        </xsl:with-param>
        <xsl:with-param name="icon" select="string(document/url/@icon)"/>
      </xsl:call-template>
      <body class="page-folder">
        <header class="bar">
          <nav class="crumbs">
            <a class="crumb home" href="/{$linkTag}">
              <img src="/?res=nav_home.png" alt="/" width="16" height="16"/>
            </a>
            <xsl:for-each select="$levels">
              <span class="sep">/</span>
              <xsl:choose>
                <xsl:when test="position() = last()">
                  <span class="crumb current" aria-current="page">
                    <xsl:value-of select="@label"/>
                  </span>
                </xsl:when>
                <xsl:otherwise>
                  <a class="crumb">
                    <xsl:attribute name="href">
                      <xsl:call-template name="folder-link">
                        <xsl:with-param name="src" select="string(@src)"/>
                      </xsl:call-template>
                    </xsl:attribute>
                    <xsl:value-of select="@label"/>
                  </a>
                </xsl:otherwise>
              </xsl:choose>
            </xsl:for-each>
          </nav>
          <xsl:if test="$levels">
            <a class="up" rel="up" title="{$lang/sections/pfolder}">
              <xsl:attribute name="href">
                <xsl:choose>
                  <xsl:when test="count($levels) &gt; 1">
                    <xsl:call-template name="folder-link">
                      <xsl:with-param name="src" select="string($levels[last() - 1]/@src)"/>
                    </xsl:call-template>
                  </xsl:when>
                  <xsl:otherwise>
                    <xsl:value-of select="concat('/', $linkTag)"/>
                  </xsl:otherwise>
                </xsl:choose>
              </xsl:attribute>
              <img src="/?res=nav_parent.png" alt="" width="16" height="16"/>
              <span>
                <xsl:value-of select="$lang/sections/pfolder"/>
              </span>
            </a>
          </xsl:if>
        </header>

        <div class="hero">
          <xsl:if test="string(document/icon/@src) != ''">
            <img class="page-icon" src="{document/icon/@src}" alt="" width="48" height="48"/>
          </xsl:if>
          <div>
            <h1>
              <xsl:choose>
                <xsl:when test="$levels">
                  <xsl:value-of select="$here"/>
                </xsl:when>
                <xsl:when test="string(server/version/name) != ''">
                  <xsl:value-of select="server/version/name"/>
                </xsl:when>
                <xsl:otherwise>/</xsl:otherwise>
              </xsl:choose>
            </h1>
            <xsl:if test="section//item">
              <p class="summary">
                <xsl:call-template name="count">
                  <xsl:with-param name="n" select="sum(section/@diskitems[number(.) = number(.)])"/>
                </xsl:call-template>
              </p>
            </xsl:if>
          </div>
        </div>

        <main>
          <xsl:apply-templates select="section" mode="page"/>
          <xsl:if test="not(section//item)">
            <div class="empty">
              <img src="/?res=itemicon_big_show_folder.png" alt="" width="48" height="48"/>
              <p>
                <xsl:call-template name="count">
                  <xsl:with-param name="n" select="0"/>
                </xsl:call-template>
              </p>
            </div>
          </xsl:if>
        </main>

        <footer class="foot">
          <xsl:value-of select="server/version/name"/>
          <xsl:text> </xsl:text>
          <xsl:value-of select="server/version/num"/>
        </footer>
      </body>
    </html>
  </xsl:template>

  <!-- "12 items", with the page's own words for item and items. -->
  <xsl:template name="count">
    <xsl:param name="n"/>
    <xsl:value-of select="$n"/>
    <xsl:text> </xsl:text>
    <xsl:choose>
      <xsl:when test="$n = 1">
        <xsl:value-of select="$lang/units/object"/>
      </xsl:when>
      <xsl:otherwise>
        <xsl:value-of select="$lang/units/objects"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- ================================================================= sections -->

  <xsl:template match="section" mode="page">
    <xsl:if test=".//item">
      <xsl:variable name="type" select="string(@type)"/>
      <xsl:variable name="showby">
        <xsl:call-template name="mode-of"/>
      </xsl:variable>
      <section class="sec sec-{$type} view-{$showby}" id="sec-{$type}">
        <header class="sec-head">
          <h2>
            <img src="/?res=itemicon_small_show_{$type}.png" alt="" width="16" height="16"/>
            <span class="sec-title">
              <xsl:value-of select="$lang/sections/*[name() = $type]"/>
            </span>
            <xsl:if test="string(@diskitems) != ''">
              <span class="sec-count">
                <xsl:attribute name="title">
                  <xsl:value-of select="concat($lang/sections/containing, ' ')"/>
                  <xsl:call-template name="count">
                    <xsl:with-param name="n" select="@diskitems"/>
                  </xsl:call-template>
                </xsl:attribute>
                <xsl:call-template name="count">
                  <xsl:with-param name="n" select="@diskitems"/>
                </xsl:call-template>
              </span>
            </xsl:if>
          </h2>
          <xsl:call-template name="section-menu">
            <xsl:with-param name="type" select="$type"/>
            <xsl:with-param name="showby" select="$showby"/>
          </xsl:call-template>
        </header>
        <xsl:call-template name="section-body">
          <xsl:with-param name="showby" select="$showby"/>
        </xsl:call-template>
      </section>
    </xsl:if>
  </xsl:template>

  <!-- The display mode of the current section: "list", "icon" or "mini". -->
  <xsl:template name="mode-of">
    <xsl:variable name="mode" select="translate(@showby, $UC, $lc)"/>
    <xsl:choose>
      <xsl:when test="$mode = 'icon' or $mode = 'mini'">
        <xsl:value-of select="$mode"/>
      </xsl:when>
      <xsl:otherwise>list</xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template name="section-body">
    <xsl:param name="showby"/>
    <xsl:variable name="thumbnail" select="$showby = 'mini' and $allowmini and @type = 'image'"/>
    <xsl:choose>
      <xsl:when test="$showby = 'list'">
        <xsl:call-template name="list-table"/>
      </xsl:when>
      <xsl:otherwise>
        <xsl:for-each select="group">
          <xsl:if test="item">
            <div class="group">
              <xsl:apply-templates select="." mode="group-head"/>
              <ul class="tiles">
                <xsl:apply-templates select="item" mode="tile">
                  <xsl:with-param name="thumbnail" select="$thumbnail"/>
                </xsl:apply-templates>
              </ul>
            </div>
          </xsl:if>
        </xsl:for-each>
        <xsl:if test="item">
          <ul class="tiles">
            <xsl:apply-templates select="item" mode="tile">
              <xsl:with-param name="thumbnail" select="$thumbnail"/>
            </xsl:apply-templates>
          </ul>
        </xsl:if>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- ============================================================ section menu -->

  <xsl:template name="section-menu">
    <xsl:param name="type"/>
    <xsl:param name="showby"/>
    <xsl:variable name="menus" select="$lang/menus"/>
    <xsl:variable name="sortby" select="translate(@sortby, $UC, $lc)"/>
    <xsl:variable name="descending" select="translate(@sortorder, $UC, $lc) = 'descending'"/>
    <xsl:variable name="falling">
      <xsl:call-template name="falling"/>
    </xsl:variable>
    <xsl:variable name="grouped" select="translate(@showgroup, $UC, $lc) = 'true'"/>
    <xsl:variable name="anchor" select="concat('sec-', $type)"/>

    <nav class="menu">
      <span class="menu-part" role="group" aria-label="{$menus/showby}">
        <span class="menu-label">
          <xsl:value-of select="$menus/showby"/>
        </span>
        <xsl:call-template name="option-button">
          <xsl:with-param name="key" select="concat('showby_', $type)"/>
          <xsl:with-param name="value" select="'list'"/>
          <xsl:with-param name="on" select="$showby = 'list'"/>
          <xsl:with-param name="text" select="$menus/showbylist"/>
          <xsl:with-param name="anchor" select="$anchor"/>
        </xsl:call-template>
        <xsl:call-template name="option-button">
          <xsl:with-param name="key" select="concat('showby_', $type)"/>
          <xsl:with-param name="value" select="'icon'"/>
          <xsl:with-param name="on" select="$showby = 'icon' or ($showby = 'mini' and not($allowmini and $type = 'image'))"/>
          <xsl:with-param name="text" select="$menus/showbyicon"/>
          <xsl:with-param name="anchor" select="$anchor"/>
        </xsl:call-template>
        <xsl:if test="$allowmini and $type = 'image'">
          <xsl:call-template name="option-button">
            <xsl:with-param name="key" select="concat('showby_', $type)"/>
            <xsl:with-param name="value" select="'mini'"/>
            <xsl:with-param name="on" select="$showby = 'mini'"/>
            <xsl:with-param name="text" select="$menus/showbymini"/>
            <xsl:with-param name="anchor" select="$anchor"/>
          </xsl:call-template>
        </xsl:if>
      </span>

      <span class="menu-part" role="group" aria-label="{$menus/sortby}">
        <span class="menu-label">
          <xsl:value-of select="$menus/sortby"/>
        </span>
        <xsl:call-template name="sort-link">
          <xsl:with-param name="type" select="$type"/>
          <xsl:with-param name="value" select="'name'"/>
          <xsl:with-param name="text" select="$menus/sortbyname"/>
        </xsl:call-template>
        <xsl:if test="$type != 'folder'">
          <xsl:call-template name="sort-link">
            <xsl:with-param name="type" select="$type"/>
            <xsl:with-param name="value" select="'size'"/>
            <xsl:with-param name="text" select="$menus/sortbysize"/>
          </xsl:call-template>
          <xsl:call-template name="sort-link">
            <xsl:with-param name="type" select="$type"/>
            <xsl:with-param name="value" select="'type'"/>
            <xsl:with-param name="text" select="$menus/sortbytype"/>
          </xsl:call-template>
        </xsl:if>
        <xsl:call-template name="sort-link">
          <xsl:with-param name="type" select="$type"/>
          <xsl:with-param name="value" select="'date'"/>
          <xsl:with-param name="text" select="$menus/sortbydate"/>
        </xsl:call-template>
        <xsl:if test="$type = 'sound' and $allowmedia">
          <xsl:call-template name="sort-link">
            <xsl:with-param name="type" select="$type"/>
            <xsl:with-param name="value" select="'artist'"/>
            <xsl:with-param name="text" select="$menus/sortbyartist"/>
          </xsl:call-template>
          <xsl:call-template name="sort-link">
            <xsl:with-param name="type" select="$type"/>
            <xsl:with-param name="value" select="'album'"/>
            <xsl:with-param name="text" select="$menus/sortbyalbum"/>
          </xsl:call-template>
        </xsl:if>
        <xsl:call-template name="option-button">
          <xsl:with-param name="key" select="concat('sortorder_', $type)"/>
          <xsl:with-param name="value">
            <xsl:choose>
              <xsl:when test="$descending">ascending</xsl:when>
              <xsl:otherwise>descending</xsl:otherwise>
            </xsl:choose>
          </xsl:with-param>
          <xsl:with-param name="text">
            <xsl:choose>
              <xsl:when test="$falling = 'true'">↓</xsl:when>
              <xsl:otherwise>↑</xsl:otherwise>
            </xsl:choose>
          </xsl:with-param>
          <xsl:with-param name="title" select="$menus/sortby"/>
          <xsl:with-param name="anchor" select="$anchor"/>
          <xsl:with-param name="class" select="'order'"/>
        </xsl:call-template>
      </span>

      <xsl:if test="$sortby != 'artist' and $sortby != 'album'">
        <span class="menu-part">
          <xsl:call-template name="option-button">
            <xsl:with-param name="key" select="concat('showgroup_', $type)"/>
            <xsl:with-param name="value">
              <xsl:choose>
                <xsl:when test="$grouped">false</xsl:when>
                <xsl:otherwise>true</xsl:otherwise>
              </xsl:choose>
            </xsl:with-param>
            <xsl:with-param name="on" select="$grouped"/>
            <xsl:with-param name="text" select="$menus/showgroup"/>
            <xsl:with-param name="anchor" select="$anchor"/>
            <xsl:with-param name="class" select="'toggle'"/>
          </xsl:call-template>
        </span>
      </xsl:if>

      <xsl:if test="$type = 'sound'">
        <span class="menu-part">
          <xsl:call-template name="option-button">
            <xsl:with-param name="key" select="'showplayers'"/>
            <xsl:with-param name="value">
              <xsl:choose>
                <xsl:when test="$showplayers">false</xsl:when>
                <xsl:otherwise>true</xsl:otherwise>
              </xsl:choose>
            </xsl:with-param>
            <xsl:with-param name="on" select="$showplayers"/>
            <xsl:with-param name="text" select="$menus/showplayers"/>
            <xsl:with-param name="anchor" select="$anchor"/>
            <xsl:with-param name="class" select="'toggle'"/>
          </xsl:call-template>
          <a class="listen" href="?folder.pls" type="audio/scpls">
            <img src="/?res=nav_listen.png" alt="" width="16" height="16"/>
            <span>
              <xsl:value-of select="$menus/listen_section"/>
            </span>
          </a>
        </span>
      </xsl:if>

      <xsl:call-template name="filter-box">
        <xsl:with-param name="type" select="$type"/>
      </xsl:call-template>
    </nav>
  </xsl:template>

  <!--
    One display option: a form whose button sets key to value. Its other fields are the
    options the page was asked with, but key.
  -->
  <xsl:template name="option-button">
    <xsl:param name="key"/>
    <xsl:param name="value"/>
    <xsl:param name="on" select="false()"/>
    <xsl:param name="text"/>
    <xsl:param name="anchor"/>
    <xsl:param name="class" select="''"/>
    <xsl:param name="title" select="''"/>
    <form class="opt" method="get" action="#{$anchor}">
      <xsl:call-template name="kept-options">
        <xsl:with-param name="except" select="$key"/>
      </xsl:call-template>
      <button type="submit" name="{$key}" value="{$value}">
        <xsl:choose>
          <xsl:when test="$on">
            <xsl:attribute name="class">
              <xsl:value-of select="normalize-space(concat($class, ' on'))"/>
            </xsl:attribute>
            <xsl:attribute name="aria-pressed">true</xsl:attribute>
          </xsl:when>
          <xsl:when test="$class != ''">
            <xsl:attribute name="class">
              <xsl:value-of select="$class"/>
            </xsl:attribute>
          </xsl:when>
        </xsl:choose>
        <xsl:if test="$title != ''">
          <xsl:attribute name="title">
            <xsl:value-of select="$title"/>
          </xsl:attribute>
        </xsl:if>
        <xsl:value-of select="$text"/>
      </button>
    </form>
  </xsl:template>

  <!--
    Whether the section's items run from the greatest value down ("true") or up. Dates are
    sorted newest first for "ascending", so that is the falling order for them.
  -->
  <xsl:template name="falling">
    <xsl:variable name="descending" select="translate(@sortorder, $UC, $lc) = 'descending'"/>
    <xsl:variable name="dates" select="translate(@sortby, $UC, $lc) = 'date'"/>
    <xsl:value-of select="$descending != $dates"/>
  </xsl:template>

  <!-- A sort key of the menu: choosing the key in use turns its order round. -->
  <xsl:template name="sort-link">
    <xsl:param name="type"/>
    <xsl:param name="value"/>
    <xsl:param name="text"/>
    <xsl:variable name="on" select="translate(@sortby, $UC, $lc) = $value"/>
    <xsl:choose>
      <xsl:when test="$on">
        <xsl:call-template name="option-button">
          <xsl:with-param name="key" select="concat('sortorder_', $type)"/>
          <xsl:with-param name="value">
            <xsl:choose>
              <xsl:when test="translate(@sortorder, $UC, $lc) = 'descending'">ascending</xsl:when>
              <xsl:otherwise>descending</xsl:otherwise>
            </xsl:choose>
          </xsl:with-param>
          <xsl:with-param name="on" select="true()"/>
          <xsl:with-param name="text" select="$text"/>
          <xsl:with-param name="anchor" select="concat('sec-', $type)"/>
        </xsl:call-template>
      </xsl:when>
      <xsl:otherwise>
        <xsl:call-template name="option-button">
          <xsl:with-param name="key" select="concat('sortby_', $type)"/>
          <xsl:with-param name="value" select="$value"/>
          <xsl:with-param name="text" select="$text"/>
          <xsl:with-param name="anchor" select="concat('sec-', $type)"/>
        </xsl:call-template>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!--
    The name filter: a form that asks for the same page with filter_<type> set. A form
    sends only its own fields, so every display option the page was asked with goes along
    as a hidden field holding the value the page shows.
  -->
  <xsl:template name="filter-box">
    <xsl:param name="type"/>
    <xsl:variable name="filters" select="$lang/filters"/>
    <xsl:variable name="key" select="concat('filter_', $type)"/>
    <details class="filter">
      <xsl:if test="string(@filter) != ''">
        <xsl:attribute name="open">open</xsl:attribute>
      </xsl:if>
      <summary>
        <xsl:value-of select="$lang/menus/filter"/>
        <xsl:if test="string(@filter) != ''">
          <span class="filter-word">
            <xsl:value-of select="@filter"/>
          </span>
        </xsl:if>
      </summary>
      <form method="get" action="#sec-{$type}" role="search">
        <xsl:call-template name="kept-options">
          <xsl:with-param name="except" select="$key"/>
        </xsl:call-template>
        <label>
          <span class="visually-hidden">
            <xsl:value-of select="$filters/label"/>
          </span>
          <input type="search" name="{$key}" value="{@filter}" placeholder="{$filters/label}" size="14"/>
        </label>
        <button type="submit">
          <xsl:value-of select="$filters/validate"/>
        </button>
        <button type="button" class="quiet" onclick="this.closest('details').open=false">
          <xsl:value-of select="$filters/hide"/>
        </button>
      </form>
    </details>
  </xsl:template>

  <!--
    The options the page was asked with, as hidden fields, but except: each option of the
    url tag, with the value the page shows (the filter as its plain text, which the form
    encodes again). Every form of the page asks for them: while except is no option of the
    query they are all of them, built once for the page.
  -->
  <xsl:template name="kept-options">
    <xsl:param name="except"/>
    <xsl:choose>
      <xsl:when test="not(contains($queryParts, concat('&amp;', $except, '=')))">
        <xsl:copy-of select="$keptOptions"/>
      </xsl:when>
      <xsl:otherwise>
        <xsl:call-template name="query-options">
          <xsl:with-param name="except" select="$except"/>
        </xsl:call-template>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!--
    The hidden fields of the query's options but except. The keys of a section are only
    looked for when the query names its type at all, and none when it sets nothing.
  -->
  <xsl:template name="query-options">
    <xsl:param name="except"/>
    <xsl:if test="contains($query, '=')">
      <xsl:for-each select="/page/section">
        <xsl:variable name="t" select="string(@type)"/>
        <xsl:if test="contains($queryParts, concat('_', $t, '='))">
          <xsl:if test="$except != concat('showby_', $t) and contains($queryParts, concat('&amp;showby_', $t, '='))">
            <input type="hidden" name="showby_{$t}" value="{@showby}"/>
          </xsl:if>
          <xsl:if test="$except != concat('sortby_', $t) and contains($queryParts, concat('&amp;sortby_', $t, '='))">
            <input type="hidden" name="sortby_{$t}" value="{@sortby}"/>
          </xsl:if>
          <xsl:if test="$except != concat('sortorder_', $t) and contains($queryParts, concat('&amp;sortorder_', $t, '='))">
            <input type="hidden" name="sortorder_{$t}" value="{@sortorder}"/>
          </xsl:if>
          <xsl:if test="$except != concat('showgroup_', $t) and contains($queryParts, concat('&amp;showgroup_', $t, '='))">
            <input type="hidden" name="showgroup_{$t}" value="{@showgroup}"/>
          </xsl:if>
          <xsl:if test="$except != concat('filter_', $t) and contains($queryParts, concat('&amp;filter_', $t, '='))">
            <input type="hidden" name="filter_{$t}" value="{@filter}"/>
          </xsl:if>
        </xsl:if>
      </xsl:for-each>
      <xsl:if test="$except != 'showplayers' and contains($queryParts, '&amp;showplayers=')">
        <input type="hidden" name="showplayers" value="{$config/showplayers}"/>
      </xsl:if>
    </xsl:if>
  </xsl:template>

  <!-- ================================================================== groups -->

  <xsl:template match="group" mode="group-head">
    <xsl:if test="@name or @img or @playlist or @website">
      <div class="group-head">
        <xsl:if test="string(@img) != ''">
          <img class="group-pic" src="{@img}" alt="" width="48" height="48" loading="lazy"/>
        </xsl:if>
        <span class="group-name">
          <xsl:choose>
            <xsl:when test="string(@name) != ''">
              <xsl:value-of select="@name"/>
            </xsl:when>
            <xsl:otherwise>—</xsl:otherwise>
          </xsl:choose>
        </span>
        <span class="group-count">
          <xsl:value-of select="count(item)"/>
        </span>
        <xsl:if test="string(@playlist) != ''">
          <a class="listen" href="{@playlist}" type="audio/scpls">
            <img src="/?res=nav_listen.png" alt="" width="16" height="16"/>
            <span>
              <xsl:value-of select="$lang/sections/listen_group"/>
            </span>
          </a>
        </xsl:if>
        <xsl:if test="string(@website) != ''">
          <a class="web" href="{@website}" target="_blank" rel="noopener noreferrer">
            <img src="/?res=nav_search.png" alt="" width="16" height="16"/>
            <span>
              <xsl:value-of select="$lang/sections/website"/>
            </span>
          </a>
        </xsl:if>
      </div>
    </xsl:if>
  </xsl:template>

  <!-- ============================================================== list view -->

  <xsl:template name="list-table">
    <xsl:variable name="type" select="string(@type)"/>
    <xsl:variable name="media" select="boolean(.//item/artist)"/>
    <!-- A test stops at the first size it finds, where boolean() collects them all first. -->
    <xsl:variable name="anyFile">
      <xsl:if test=".//item/size">true</xsl:if>
    </xsl:variable>
    <xsl:variable name="files" select="string($anyFile) = 'true'"/>
    <xsl:variable name="columns" select="3 + 7 * number($media) + 2 * number($files)"/>
    <div class="table-wrap">
      <table class="items">
        <thead>
          <tr>
            <th class="c-icon"/>
            <xsl:call-template name="column-head">
              <xsl:with-param name="class" select="'c-name'"/>
              <xsl:with-param name="text" select="$tips/name"/>
              <xsl:with-param name="sort" select="'name'"/>
            </xsl:call-template>
            <xsl:if test="$media">
              <xsl:call-template name="column-head">
                <xsl:with-param name="class" select="'c-artist'"/>
                <xsl:with-param name="text" select="$tips/artist"/>
                <xsl:with-param name="sort" select="'artist'"/>
              </xsl:call-template>
              <th class="c-title">
                <xsl:value-of select="$tips/title"/>
              </th>
              <xsl:call-template name="column-head">
                <xsl:with-param name="class" select="'c-album'"/>
                <xsl:with-param name="text" select="$tips/album"/>
                <xsl:with-param name="sort" select="'album'"/>
              </xsl:call-template>
              <th class="c-year num">
                <xsl:value-of select="$tips/year"/>
              </th>
              <th class="c-track num">
                <xsl:value-of select="$tips/track"/>
              </th>
              <th class="c-length num">
                <xsl:value-of select="$tips/length"/>
              </th>
              <th class="c-bitrate num">
                <xsl:value-of select="$tips/bitrate"/>
              </th>
            </xsl:if>
            <xsl:if test="$files">
              <xsl:call-template name="column-head">
                <xsl:with-param name="class" select="'c-size num'"/>
                <xsl:with-param name="text" select="$tips/size"/>
                <xsl:with-param name="sort" select="'size'"/>
              </xsl:call-template>
              <xsl:call-template name="column-head">
                <xsl:with-param name="class" select="'c-type'"/>
                <xsl:with-param name="text" select="$lang/menus/sortbytype"/>
                <xsl:with-param name="sort" select="'type'"/>
              </xsl:call-template>
            </xsl:if>
            <xsl:call-template name="column-head">
              <xsl:with-param name="class" select="'c-date'"/>
              <xsl:with-param name="text" select="$tips/date"/>
              <xsl:with-param name="sort" select="'date'"/>
            </xsl:call-template>
          </tr>
        </thead>
        <xsl:for-each select="group[item]">
          <tbody>
            <xsl:if test="@name or @img or @playlist or @website">
              <tr class="group-row">
                <th colspan="{$columns}" scope="rowgroup">
                  <xsl:apply-templates select="." mode="group-head"/>
                </th>
              </tr>
            </xsl:if>
            <xsl:apply-templates select="item" mode="row">
              <xsl:with-param name="media" select="$media"/>
              <xsl:with-param name="files" select="$files"/>
            </xsl:apply-templates>
          </tbody>
        </xsl:for-each>
        <xsl:if test="item">
          <tbody>
            <xsl:apply-templates select="item" mode="row">
              <xsl:with-param name="media" select="$media"/>
              <xsl:with-param name="files" select="$files"/>
            </xsl:apply-templates>
          </tbody>
        </xsl:if>
      </table>
    </div>
  </xsl:template>

  <!-- A column head; the columns the section can sort by are links, the sorted one marked. -->
  <xsl:template name="column-head">
    <xsl:param name="class"/>
    <xsl:param name="text"/>
    <xsl:param name="sort"/>
    <xsl:variable name="type" select="string(@type)"/>
    <xsl:variable name="sortable" select="$type = 'sound' or ($type != 'folder' and $sort != 'artist' and $sort != 'album') or $sort = 'name' or $sort = 'date'"/>
    <xsl:variable name="sorted" select="translate(@sortby, $UC, $lc) = $sort"/>
    <th class="{$class}">
      <xsl:if test="$sorted">
        <xsl:variable name="falling">
          <xsl:call-template name="falling"/>
        </xsl:variable>
        <xsl:attribute name="aria-sort">
          <xsl:choose>
            <xsl:when test="$falling = 'true'">descending</xsl:when>
            <xsl:otherwise>ascending</xsl:otherwise>
          </xsl:choose>
        </xsl:attribute>
      </xsl:if>
      <xsl:choose>
        <xsl:when test="$sortable and /page/document">
          <xsl:call-template name="sort-link">
            <xsl:with-param name="type" select="$type"/>
            <xsl:with-param name="value" select="$sort"/>
            <xsl:with-param name="text" select="$text"/>
          </xsl:call-template>
        </xsl:when>
        <xsl:otherwise>
          <xsl:value-of select="$text"/>
        </xsl:otherwise>
      </xsl:choose>
    </th>
  </xsl:template>

  <!--
    A row runs once per item, so each of its instructions costs once per item: its pieces
    are written out rather than called with parameters, and a file whose name needs no
    escaping links to its src as it is, without building the link in a tree fragment.
    Hidden files and folders carry the "hide" variant of their icon: they are dimmed.
  -->
  <xsl:template match="item" mode="row">
    <xsl:param name="media"/>
    <xsl:param name="files"/>
    <tr>
      <xsl:attribute name="class">item<xsl:if test="not(size)"> is-folder</xsl:if><xsl:if test="contains(img, '_hide_')"> is-hidden</xsl:if></xsl:attribute>
      <td class="c-icon">
        <xsl:call-template name="small-icon"/>
      </td>
      <td class="c-name">
        <xsl:choose>
          <xsl:when test="size and not(contains(src, '?'))">
            <a href="{src}" title="{name}">
              <xsl:call-template name="label"/>
            </a>
            <xsl:if test="$showplayers and ancestor::section[1]/@type = 'sound'">
              <audio class="player" controls="controls" preload="none" src="{src}"/>
            </xsl:if>
          </xsl:when>
          <xsl:otherwise>
            <xsl:variable name="href">
              <xsl:call-template name="item-href"/>
            </xsl:variable>
            <a href="{$href}" title="{name}">
              <xsl:call-template name="label"/>
            </a>
            <xsl:call-template name="player">
              <xsl:with-param name="href" select="$href"/>
            </xsl:call-template>
          </xsl:otherwise>
        </xsl:choose>
      </td>
      <xsl:if test="$media">
        <td class="c-artist">
          <xsl:value-of select="artist"/>
        </td>
        <td class="c-title">
          <xsl:value-of select="title"/>
        </td>
        <td class="c-album">
          <xsl:value-of select="album"/>
        </td>
        <td class="c-year num">
          <xsl:value-of select="year"/>
        </td>
        <td class="c-track num">
          <xsl:value-of select="track"/>
        </td>
        <td class="c-length num">
          <xsl:value-of select="length"/>
        </td>
        <td class="c-bitrate num">
          <xsl:if test="number(bitrate) &gt; 0">
            <xsl:value-of select="bitrate"/>
            <xsl:text> kbit/s</xsl:text>
          </xsl:if>
        </td>
      </xsl:if>
      <xsl:if test="$files">
        <td class="c-size num">
          <xsl:call-template name="size"/>
        </td>
        <td class="c-type">
          <xsl:value-of select="type"/>
        </td>
      </xsl:if>
      <td class="c-date">
        <time>
          <xsl:value-of select="substring(date, 1, 16)"/>
        </time>
      </td>
    </tr>
  </xsl:template>

  <!-- ====================================================== icon and thumbnail views -->

  <!-- Like a row, a tile runs once per item and is built the same way. -->
  <xsl:template match="item" mode="tile">
    <xsl:param name="thumbnail"/>
    <li>
      <xsl:attribute name="class">tile<xsl:if test="not(size)"> is-folder</xsl:if><xsl:if test="contains(img, '_hide_')"> is-hidden</xsl:if></xsl:attribute>
      <xsl:choose>
        <xsl:when test="size and not(contains(src, '?'))">
          <a href="{src}">
            <xsl:call-template name="tile-content">
              <xsl:with-param name="thumbnail" select="$thumbnail"/>
            </xsl:call-template>
          </a>
          <xsl:if test="$showplayers and ancestor::section[1]/@type = 'sound'">
            <audio class="player" controls="controls" preload="none" src="{src}"/>
          </xsl:if>
        </xsl:when>
        <xsl:otherwise>
          <xsl:variable name="href">
            <xsl:call-template name="item-href"/>
          </xsl:variable>
          <a href="{$href}">
            <xsl:call-template name="tile-content">
              <xsl:with-param name="thumbnail" select="$thumbnail"/>
            </xsl:call-template>
          </a>
          <xsl:call-template name="player">
            <xsl:with-param name="href" select="$href"/>
          </xsl:call-template>
        </xsl:otherwise>
      </xsl:choose>
    </li>
  </xsl:template>

  <!-- The link of a tile: its tooltip, its picture and its label. -->
  <xsl:template name="tile-content">
    <xsl:param name="thumbnail"/>
    <xsl:attribute name="title">
      <xsl:call-template name="tooltip"/>
    </xsl:attribute>
    <xsl:choose>
      <xsl:when test="$thumbnail">
        <span class="thumb" style="{$thumbStyle}">
          <img src="?miniature={src}" alt="" loading="lazy" decoding="async" data-fallback="{img}" onerror="this.onerror=null;if(this.dataset.fallback)this.src=this.dataset.fallback"/>
        </span>
      </xsl:when>
      <xsl:when test="string(img) != ''">
        <span class="glyph">
          <img src="{img}" alt="" width="48" height="48"/>
        </span>
      </xsl:when>
      <xsl:otherwise>
        <span class="glyph"/>
      </xsl:otherwise>
    </xsl:choose>
    <span class="label">
      <xsl:call-template name="label"/>
    </span>
  </xsl:template>

  <!-- ============================================================ item pieces -->

  <!--
    The link of an item. A file's src is its encoded name; a folder's is its encoded
    name, "/" and the url tag. A "?" that a name may hold is written %3F here so that it
    stays part of the path.
  -->
  <xsl:template name="item-href">
    <xsl:choose>
      <xsl:when test="size or not(contains(src, '/'))">
        <xsl:call-template name="escape-question">
          <xsl:with-param name="text" select="string(src)"/>
        </xsl:call-template>
      </xsl:when>
      <xsl:otherwise>
        <xsl:call-template name="escape-question">
          <xsl:with-param name="text" select="substring-before(src, '/')"/>
        </xsl:call-template>
        <xsl:text>/</xsl:text>
        <xsl:if test="$linkTag != ''">
          <xsl:value-of select="substring-after(src, '/')"/>
        </xsl:if>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- A folder's address as the page gives it (path and url tag), with the tag of links. -->
  <xsl:template name="folder-link">
    <xsl:param name="src"/>
    <xsl:choose>
      <xsl:when test="contains($src, '?')">
        <xsl:value-of select="concat(substring-before($src, '?'), $linkTag)"/>
      </xsl:when>
      <xsl:otherwise>
        <xsl:value-of select="$src"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template name="escape-question">
    <xsl:param name="text"/>
    <xsl:choose>
      <xsl:when test="contains($text, '?')">
        <xsl:value-of select="concat(substring-before($text, '?'), '%3F')"/>
        <xsl:call-template name="escape-question">
          <xsl:with-param name="text" select="substring-after($text, '?')"/>
        </xsl:call-template>
      </xsl:when>
      <xsl:otherwise>
        <xsl:value-of select="$text"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!--
    The item's 16-pixel icon. Those of the file types and default items have 48-pixel
    companions, offered to screens with more than one device pixel to the pixel. Each srcset
    is one concat() so that its "?res=" family name stands whole in the text, where the
    check that every named resource exists finds it.
  -->
  <xsl:template name="small-icon">
    <xsl:choose>
      <xsl:when test="starts-with(img, '/?res=filetype_16_')">
        <img src="{img}" alt="" width="16" height="16" srcset="{concat(img, ' 1x, /?res=filetype_48_', substring(img, 19), ' 3x')}"/>
      </xsl:when>
      <xsl:when test="starts-with(img, '/?res=itemicon_small_')">
        <img src="{img}" alt="" width="16" height="16" srcset="{concat(img, ' 1x, /?res=itemicon_big_', substring(img, 22), ' 3x')}"/>
      </xsl:when>
      <xsl:when test="string(img) != ''">
        <img src="{img}" alt="" width="16" height="16"/>
      </xsl:when>
    </xsl:choose>
  </xsl:template>

  <!--
    The label under an item's icon. In a page its line breaks are br elements; in a
    section fragment they are still the text "<br />".
  -->
  <xsl:template name="label">
    <xsl:choose>
      <xsl:when test="label[* or contains(., '&lt;br /&gt;')]">
        <xsl:apply-templates select="label/node()" mode="label"/>
      </xsl:when>
      <xsl:otherwise>
        <!--
          A label of one line is its text, and the name stands for an empty one: the label
          comes before the name in an item, so the union's first node is the one shown.
        -->
        <xsl:value-of select="label[node()] | name"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template match="br" mode="label">
    <br/>
  </xsl:template>

  <xsl:template match="text()" mode="label">
    <xsl:call-template name="break-lines">
      <xsl:with-param name="text" select="."/>
    </xsl:call-template>
  </xsl:template>

  <xsl:template match="*" mode="label">
    <xsl:value-of select="."/>
  </xsl:template>

  <xsl:template name="break-lines">
    <xsl:param name="text"/>
    <xsl:choose>
      <xsl:when test="contains($text, '&lt;br /&gt;')">
        <xsl:value-of select="substring-before($text, '&lt;br /&gt;')"/>
        <br/>
        <xsl:call-template name="break-lines">
          <xsl:with-param name="text" select="substring-after($text, '&lt;br /&gt;')"/>
        </xsl:call-template>
      </xsl:when>
      <xsl:otherwise>
        <xsl:value-of select="$text"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template name="tooltip">
    <xsl:value-of select="name"/>
    <xsl:if test="string(artist) != '' or string(title) != ''">
      <xsl:value-of select="concat('&#10;', artist, ' – ', title)"/>
    </xsl:if>
    <xsl:if test="size">
      <xsl:value-of select="concat('&#10;', $tips/size, ': ')"/>
      <xsl:call-template name="size"/>
    </xsl:if>
    <xsl:if test="string(date) != ''">
      <xsl:value-of select="concat('&#10;', $tips/date, ': ', substring(date, 1, 16))"/>
    </xsl:if>
  </xsl:template>

  <!-- A player under each sound file while the page shows players. -->
  <xsl:template name="player">
    <xsl:param name="href"/>
    <xsl:if test="$showplayers and size and ancestor::section[1]/@type = 'sound'">
      <audio class="player" controls="controls" preload="none" src="{$href}"/>
    </xsl:if>
  </xsl:template>

  <!--
    The item's size in bytes, in the page's units; nothing when it is no number, as NaN
    fails every comparison.
  -->
  <xsl:template name="size">
    <xsl:choose>
      <xsl:when test="number(size) = 1">
        <xsl:text>1 </xsl:text>
        <xsl:value-of select="$units/byte"/>
      </xsl:when>
      <xsl:when test="number(size) &lt; 1024">
        <xsl:value-of select="number(size)"/>
        <xsl:text> </xsl:text>
        <xsl:value-of select="$units/bytes"/>
      </xsl:when>
      <xsl:when test="number(size) &lt; 1048576">
        <xsl:value-of select="concat(format-number(size div 1024, '0.#'), ' ', $units/kilobyte)"/>
      </xsl:when>
      <xsl:when test="number(size) &lt; 1073741824">
        <xsl:value-of select="concat(format-number(size div 1048576, '0.#'), ' ', $units/megabyte)"/>
      </xsl:when>
      <xsl:when test="number(size) &lt; 1099511627776">
        <xsl:value-of select="concat(format-number(size div 1073741824, '0.##'), ' ', $units/gigabyte)"/>
      </xsl:when>
      <xsl:when test="number(size) &gt;= 1099511627776">
        <xsl:value-of select="concat(format-number(size div 1099511627776, '0.##'), ' ', $units/terabyte)"/>
      </xsl:when>
    </xsl:choose>
  </xsl:template>

  <!-- ============================================================ message page -->

  <xsl:template match="page" mode="message">
    <xsl:variable name="label" select="string(message/label)"/>
    <html>
      <xsl:call-template name="html-lang"/>
      <xsl:call-template name="head">
        <xsl:with-param name="title" select="string(message/title)"/>
        <xsl:with-param name="icon" select="string(document/url/@icon)"/>
      </xsl:call-template>
      <body class="page-message">
        <header class="bar">
          <nav class="crumbs">
            <a class="crumb home" href="/">
              <img src="/?res=nav_home.png" alt="/" width="16" height="16"/>
            </a>
          </nav>
        </header>
        <main class="card message">
          <xsl:if test="not(contains($label, 'http://'))">
            <img class="card-icon" src="/?res=itemicon_big_error.png" alt="" width="48" height="48"/>
          </xsl:if>
          <h1>
            <xsl:value-of select="message/title"/>
          </h1>
          <p class="message-text">
            <xsl:choose>
              <xsl:when test="contains($label, 'http://')">
                <xsl:variable name="location" select="concat('http://', substring-after($label, 'http://'))"/>
                <xsl:value-of select="substring-before($label, 'http://')"/>
                <a href="{$location}">
                  <xsl:value-of select="$location"/>
                </a>
              </xsl:when>
              <xsl:otherwise>
                <xsl:value-of select="$label"/>
              </xsl:otherwise>
            </xsl:choose>
          </p>
        </main>
      </body>
    </html>
  </xsl:template>

  <!-- ============================================================== login page -->

  <xsl:template match="page" mode="login">
    <html>
      <xsl:call-template name="html-lang"/>
      <xsl:call-template name="head">
        <xsl:with-param name="title" select="string(identification/title)"/>
        <xsl:with-param name="icon" select="string(document/url/@icon)"/>
      </xsl:call-template>
      <body class="page-login">
        <header class="bar">
          <nav class="crumbs">
            <a class="crumb home" href="/">
              <img src="/?res=nav_home.png" alt="/" width="16" height="16"/>
            </a>
          </nav>
        </header>
        <main class="card login">
          <img class="card-icon" src="/?res=login.png" alt="" width="48" height="48"/>
          <h1>
            <xsl:value-of select="identification/title"/>
          </h1>
          <form method="post">
            <p class="info">
              <xsl:value-of select="$lang/info"/>
            </p>
            <label class="field">
              <span>
                <xsl:value-of select="$lang/user"/>
              </span>
              <input type="text" name="user" autocomplete="username" autocapitalize="none" spellcheck="false" required="required" autofocus="autofocus"/>
            </label>
            <label class="field">
              <span>
                <xsl:value-of select="$lang/password"/>
              </span>
              <input type="password" name="password" autocomplete="current-password"/>
            </label>
            <label class="check">
              <input type="checkbox" name="savepwd"/>
              <span>
                <xsl:value-of select="$lang/savepwd"/>
              </span>
            </label>
            <button type="submit">
              <xsl:value-of select="$lang/submit"/>
            </button>
          </form>
        </main>
      </body>
    </html>
  </xsl:template>

  <!-- ======================================================== section fragment -->

  <xsl:template match="section" mode="fragment">
    <xsl:variable name="showby">
      <xsl:call-template name="mode-of"/>
    </xsl:variable>
    <html>
      <xsl:call-template name="head">
        <xsl:with-param name="title" select="string(@type)"/>
      </xsl:call-template>
      <body class="page-section">
        <main>
          <section class="sec sec-{@type} view-{$showby}" id="sec-{@type}">
            <xsl:call-template name="section-body">
              <xsl:with-param name="showby" select="$showby"/>
            </xsl:call-template>
          </section>
        </main>
      </body>
    </html>
  </xsl:template>

  <!-- ============================================================= single item -->

  <xsl:template match="item" mode="single">
    <xsl:variable name="href">
      <xsl:call-template name="item-href"/>
    </xsl:variable>
    <html>
      <xsl:call-template name="head">
        <xsl:with-param name="title" select="string(name)"/>
      </xsl:call-template>
      <body class="page-item">
        <main class="card item-card">
          <xsl:call-template name="small-icon"/>
          <h1>
            <a href="{$href}">
              <xsl:value-of select="name"/>
            </a>
          </h1>
          <dl class="facts">
            <xsl:for-each select="artist | title | album | year | track | length | size | type | date">
              <xsl:if test="string(.) != ''">
                <dt>
                  <xsl:value-of select="name()"/>
                </dt>
                <dd>
                  <xsl:value-of select="."/>
                </dd>
              </xsl:if>
            </xsl:for-each>
          </dl>
        </main>
      </body>
    </html>
  </xsl:template>

</xsl:stylesheet>
