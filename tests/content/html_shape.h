#pragma once

// Readers of the HTML that the page stylesheet writes: whether its text is well-formed as a
// browser needs it, and what its links say.

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QSet>
#include <QString>

#include <utility>
#include <vector>

namespace html_shape {

// Checks that serialized HTML is well-formed in the sense a browser needs: every "<" opens
// a tag, every "&" starts a reference, attribute values are quoted, and every element but
// the void ones is closed in order. Returns the first fault, or an empty text.
inline QString htmlShapeFault(const QByteArray& html) {
  static const QSet<QByteArray> voidElements = {"area",  "base", "br",   "col",    "embed", "hr", "img",
                                                "input", "link", "meta", "source", "track", "wbr"};
  static const QRegularExpression reference(QStringLiteral("^&(#[0-9]+|#x[0-9A-Fa-f]+|[A-Za-z][A-Za-z0-9]*);"));
  auto referenceAt = [&](qsizetype at) { return reference.match(QString::fromLatin1(html.mid(at, 12))).hasMatch(); };
  QList<QByteArray> open;
  qsizetype i = 0;
  const qsizetype n = html.size();
  auto isNameChar = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == ':';
  };
  while (i < n) {
    const char c = html.at(i);
    if (c == '&') {
      if (!referenceAt(i)) {
        return QStringLiteral("bare & at %1").arg(i);
      }
      ++i;
      continue;
    }
    if (c != '<') {
      ++i;
      continue;
    }
    if (html.mid(i, 4) == "<!--") {
      const qsizetype end = html.indexOf("-->", i + 4);
      if (end < 0) {
        return QStringLiteral("open comment");
      }
      i = end + 3;
      continue;
    }
    if (html.mid(i, 2) == "<!") {
      const qsizetype end = html.indexOf('>', i);
      if (end < 0) {
        return QStringLiteral("open declaration");
      }
      i = end + 1;
      continue;
    }
    const bool closing = i + 1 < n && html.at(i + 1) == '/';
    qsizetype p = i + (closing ? 2 : 1);
    const qsizetype nameStart = p;
    while (p < n && isNameChar(html.at(p))) {
      ++p;
    }
    const QByteArray name = html.mid(nameStart, p - nameStart).toLower();
    if (name.isEmpty()) {
      return QStringLiteral("bare < at %1").arg(i);
    }
    // Attributes: name, or name="value" / name='value'.
    while (p < n && html.at(p) != '>') {
      const char a = html.at(p);
      if (a == ' ' || a == '\n' || a == '\t' || a == '/') {
        ++p;
        continue;
      }
      if (!isNameChar(a)) {
        return QStringLiteral("odd character in tag %1 at %2").arg(QString::fromLatin1(name)).arg(p);
      }
      while (p < n && isNameChar(html.at(p))) {
        ++p;
      }
      if (p < n && html.at(p) == '=') {
        ++p;
        if (p >= n || (html.at(p) != '"' && html.at(p) != '\'')) {
          return QStringLiteral("unquoted attribute in %1 at %2").arg(QString::fromLatin1(name)).arg(p);
        }
        const char quote = html.at(p);
        const qsizetype end = html.indexOf(quote, p + 1);
        if (end < 0) {
          return QStringLiteral("open attribute value");
        }
        for (qsizetype q = p + 1; q < end; ++q) {
          if (html.at(q) == '<') {
            return QStringLiteral("< in an attribute value at %1").arg(q);
          }
          if (html.at(q) == '&' && !referenceAt(q)) {
            return QStringLiteral("bare & in an attribute value at %1").arg(q);
          }
        }
        p = end + 1;
      }
    }
    if (p >= n) {
      return QStringLiteral("open tag %1").arg(QString::fromLatin1(name));
    }
    if (closing) {
      if (open.isEmpty() || open.last() != name) {
        return QStringLiteral("</%1> closes %2")
            .arg(QString::fromLatin1(name),
                 open.isEmpty() ? QStringLiteral("nothing") : QString::fromLatin1(open.last()));
      }
      open.removeLast();
    } else if (!voidElements.contains(name)) {
      open.append(name);
    }
    i = p + 1;
  }
  if (!open.isEmpty()) {
    return QStringLiteral("unclosed %1").arg(QString::fromLatin1(open.last()));
  }
  return {};
}

// The text of HTML character data or an attribute value with its references resolved.
inline QString htmlUnescaped(const QString& text) {
  static const QRegularExpression reference(QStringLiteral("&(#[0-9]+|#x[0-9A-Fa-f]+|amp|lt|gt|quot|apos|nbsp);"));
  QString result;
  qsizetype done = 0;
  for (QRegularExpressionMatchIterator it = reference.globalMatch(text); it.hasNext();) {
    const QRegularExpressionMatch match = it.next();
    result += text.mid(done, match.capturedStart() - done);
    const QString name = match.captured(1);
    if (name.startsWith(QLatin1Char('#'))) {
      const bool hex = name.startsWith(QLatin1String("#x"));
      const char32_t code = name.mid(hex ? 2 : 1).toUInt(nullptr, hex ? 16 : 10);
      result += QString::fromUcs4(&code, 1);
    } else {
      static const QList<std::pair<QString, QString>> named = {
          {QStringLiteral("amp"), QStringLiteral("&")},  {QStringLiteral("lt"), QStringLiteral("<")},
          {QStringLiteral("gt"), QStringLiteral(">")},   {QStringLiteral("quot"), QStringLiteral("\"")},
          {QStringLiteral("apos"), QStringLiteral("'")}, {QStringLiteral("nbsp"), QString(QChar(0xA0))}};
      for (const auto& [key, value] : named) {
        if (key == name) {
          result += value;
        }
      }
    }
    done = match.capturedEnd();
  }
  return result + text.mid(done);
}

// One "a" element of the HTML: its href and title attributes and its text without tags,
// references resolved.
struct HtmlLink {
  QString href;
  QString title;
  QString text;
};

// The links of well-formed HTML (see htmlShapeFault), in document order.
inline std::vector<HtmlLink> htmlLinks(const QByteArray& html) {
  static const QRegularExpression anchor(QStringLiteral("<a(\\s[^>]*)?>(.*?)</a>"),
                                         QRegularExpression::DotMatchesEverythingOption);
  static const QRegularExpression attribute(QStringLiteral("([A-Za-z-]+)=(?:\"([^\"]*)\"|'([^']*)')"));
  static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
  std::vector<HtmlLink> links;
  const QString text = QString::fromUtf8(html);
  for (QRegularExpressionMatchIterator it = anchor.globalMatch(text); it.hasNext();) {
    const QRegularExpressionMatch match = it.next();
    HtmlLink link;
    for (QRegularExpressionMatchIterator a = attribute.globalMatch(match.captured(1)); a.hasNext();) {
      const QRegularExpressionMatch pair = a.next();
      const QString value = htmlUnescaped(pair.captured(2) + pair.captured(3));
      if (pair.captured(1) == QLatin1String("href")) {
        link.href = value;
      } else if (pair.captured(1) == QLatin1String("title")) {
        link.title = value;
      }
    }
    link.text = htmlUnescaped(QString(match.captured(2)).remove(tag));
    links.push_back(link);
  }
  return links;
}

}  // namespace html_shape
