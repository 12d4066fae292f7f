#include "server/mime_types.h"

#include "core/ignoring_case.h"

#include <QLatin1StringView>

#include <algorithm>
#include <array>
#include <string_view>

namespace orv::server {
namespace {

struct MimeType {
  std::string_view extension;
  std::string_view type;
};

// One entry per extension; extensions of one type stand together. No extension is listed
// twice, so the order only helps reading.
constexpr std::array<MimeType, 154> kMimeTypes{{
    {"bmp", "image/bmp"},
    {"cgm", "image/cgm"},
    {"gif", "image/gif"},
    {"ief", "image/ief"},
    {"jpeg", "image/jpeg"},
    {"jpg", "image/jpeg"},
    {"jpe", "image/jpeg"},
    {"png", "image/png"},
    {"svg", "image/svg+xml"},
    {"tiff", "image/tiff"},
    {"tif", "image/tiff"},
    {"djvu", "image/vnd.djvu"},
    {"djv", "image/vnd.djvu"},
    {"wbmp", "image/vnd.wap.wbmp"},
    {"ras", "image/x-cmu-raster"},
    {"ico", "image/x-icon"},
    {"pnm", "image/x-portable-anymap"},
    {"pbm", "image/x-portable-bitmap"},
    {"pgm", "image/x-portable-graymap"},
    {"ppm", "image/x-portable-pixmap"},
    {"rgb", "image/x-rgb"},
    {"xbm", "image/x-xbitmap"},
    {"xpm", "image/x-xpixmap"},
    {"xwd", "image/x-xwindowdump"},
    {"mpeg", "video/mpeg"},
    {"mpg", "video/mpeg"},
    {"mpe", "video/mpeg"},
    {"qt", "video/quicktime"},
    {"mov", "video/quicktime"},
    {"mxu", "video/vnd.mpegurl"},
    {"m4u", "video/vnd.mpegurl"},
    {"avi", "video/x-msvideo"},
    {"movie", "video/x-sgi-movie"},
    {"au", "audio/basic"},
    {"snd", "audio/basic"},
    {"mid", "audio/midi"},
    {"midi", "audio/midi"},
    {"kar", "audio/midi"},
    {"mpga", "audio/mpeg"},
    {"mp2", "audio/mpeg"},
    {"mp3", "audio/mpeg"},
    {"aif", "audio/x-aiff"},
    {"aiff", "audio/x-aiff"},
    {"aifc", "audio/x-aiff"},
    {"m3u", "audio/x-mpegurl"},
    {"ram", "audio/x-pn-realaudio"},
    {"ra", "audio/x-pn-realaudio"},
    {"pls", "audio/scpls"},
    {"wav", "audio/x-wav"},
    {"ics", "text/calendar"},
    {"ifb", "text/calendar"},
    {"css", "text/css"},
    {"html", "text/html"},
    {"htm", "text/html"},
    {"asc", "text/plain"},
    {"txt", "text/plain"},
    {"rtx", "text/richtext"},
    {"rtf", "text/rtf"},
    {"sgml", "text/sgml"},
    {"sgm", "text/sgml"},
    {"tsv", "text/tab-separated-values"},
    {"wml", "text/vnd.wap.wml"},
    {"wmls", "text/vnd.wap.wmlscript"},
    {"etx", "text/x-setext"},
    {"ez", "application/andrew-inset"},
    {"atom", "application/atom+xml"},
    {"hqx", "application/mac-binhex40"},
    {"cpt", "application/mac-compactpro"},
    {"mathml", "application/mathml+xml"},
    {"doc", "application/msword"},
    {"bin", "application/octet-stream"},
    {"dms", "application/octet-stream"},
    {"lha", "application/octet-stream"},
    {"lzh", "application/octet-stream"},
    {"exe", "application/octet-stream"},
    {"class", "application/octet-stream"},
    {"so", "application/octet-stream"},
    {"dll", "application/octet-stream"},
    {"dmg", "application/octet-stream"},
    {"oda", "application/oda"},
    {"ogg", "application/ogg"},
    {"pdf", "application/pdf"},
    {"ai", "application/postscript"},
    {"eps", "application/postscript"},
    {"ps", "application/postscript"},
    {"rdf", "application/rdf+xml"},
    {"smi", "application/smil"},
    {"smil", "application/smil"},
    {"gram", "application/srgs"},
    {"grxml", "application/srgs+xml"},
    {"mif", "application/vnd.mif"},
    {"xls", "application/vnd.ms-excel"},
    {"ppt", "application/vnd.ms-powerpoint"},
    {"wbxml", "application/vnd.wap.wbxml"},
    {"wmlc", "application/vnd.wap.wmlc"},
    {"wmlsc", "application/vnd.wap.wmlscriptc"},
    {"vxml", "application/voicexml+xml"},
    {"bcpio", "application/x-bcpio"},
    {"vcd", "application/x-cdlink"},
    {"pgn", "application/x-chess-pgn"},
    {"cpio", "application/x-cpio"},
    {"csh", "application/x-csh"},
    {"dcr", "application/x-director"},
    {"dir", "application/x-director"},
    {"dxr", "application/x-director"},
    {"dvi", "application/x-dvi"},
    {"spl", "application/x-futuresplash"},
    {"gtar", "application/x-gtar"},
    {"hdf", "application/x-hdf"},
    {"skp", "application/x-koan"},
    {"skd", "application/x-koan"},
    {"skt", "application/x-koan"},
    {"skm", "application/x-koan"},
    {"latex", "application/x-latex"},
    {"nc", "application/x-netcdf"},
    {"cdf", "application/x-netcdf"},
    {"sh", "application/x-sh"},
    {"shar", "application/x-shar"},
    {"swf", "application/x-shockwave-flash"},
    {"sit", "application/x-stuffit"},
    {"sv4cpio", "application/x-sv4cpio"},
    {"sv4crc", "application/x-sv4crc"},
    {"tar", "application/x-tar"},
    {"tcl", "application/x-tcl"},
    {"tex", "application/x-tex"},
    {"texinfo", "application/x-texinfo"},
    {"texi", "application/x-texinfo"},
    {"t", "application/x-troff"},
    {"tr", "application/x-troff"},
    {"roff", "application/x-troff"},
    {"man", "application/x-troff-man"},
    {"me", "application/x-troff-me"},
    {"ms", "application/x-troff-ms"},
    {"ustar", "application/x-ustar"},
    {"src", "application/x-wais-source"},
    {"xhtml", "application/xhtml+xml"},
    {"xht", "application/xhtml+xml"},
    {"xslt", "application/xslt+xml"},
    {"xml", "application/xml"},
    {"xsl", "application/xml"},
    {"dtd", "application/xml-dtd"},
    {"zip", "application/zip"},
    {"rm", "application/vnd.rn-realmedia"},
    {"pdb", "chemical/x-pdb"},
    {"igs", "model/iges"},
    {"iges", "model/iges"},
    {"msh", "model/mesh"},
    {"mesh", "model/mesh"},
    {"silo", "model/mesh"},
    {"wrl", "model/vrml"},
    {"vrml", "model/vrml"},
    {"ice", "x-conference/x-cooltalk"},
    // Scripts need a JavaScript type (RFC 9239) for browsers to run them as modules.
    {"js", "text/javascript"},
    {"xyz", "chemical/x-xyz"},
}};

constexpr std::string_view kDefaultType = "application/octet-stream";

QByteArray fromStatic(std::string_view text) {
  return QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr bool isLowerAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80 || (c >= 'A' && c <= 'Z')) {
      return false;
    }
  }
  return true;
}

// The rows by extension, for a binary search of an ASCII extension.
constexpr std::array<MimeType, kMimeTypes.size()> sortedByExtension() {
  std::array<MimeType, kMimeTypes.size()> rows = kMimeTypes;
  std::sort(rows.begin(), rows.end(), [](const MimeType& a, const MimeType& b) { return a.extension < b.extension; });
  return rows;
}

constexpr std::array<MimeType, kMimeTypes.size()> kByExtension = sortedByExtension();

constexpr bool isSearchable() {
  for (std::size_t i = 0; i < kByExtension.size(); ++i) {
    if (!isLowerAscii(kByExtension[i].extension) ||
        (i > 0 && kByExtension[i - 1].extension == kByExtension[i].extension)) {
      return false;
    }
  }
  return true;
}
static_assert(isSearchable(), "extensions are distinct and in lower-case ASCII");

constexpr qsizetype kLongestAsciiLookUp = 16;

}  // namespace

QByteArray getMimeType(QStringView extension) {
  // Every answer looks its type up: an ASCII extension, lowered, is searched among the sorted
  // rows; any other goes through Unicode's case folding, which can still match a listed one.
  if (extension.size() <= kLongestAsciiLookUp) {
    std::array<char, kLongestAsciiLookUp> lowered{};
    bool ascii = true;
    for (qsizetype i = 0; i < extension.size() && ascii; ++i) {
      const char16_t unit = extension[i].unicode();
      ascii = unit < 0x80;
      lowered[static_cast<std::size_t>(i)] =
          static_cast<char>(unit >= u'A' && unit <= u'Z' ? unit + (u'a' - u'A') : unit);
    }
    if (ascii) {
      const std::string_view key(lowered.data(), static_cast<std::size_t>(extension.size()));
      const auto found =
          std::lower_bound(kByExtension.begin(), kByExtension.end(), key,
                           [](const MimeType& row, std::string_view text) { return row.extension < text; });
      return fromStatic(found != kByExtension.end() && found->extension == key ? found->type : kDefaultType);
    }
  }
  for (const MimeType& row : kMimeTypes) {
    if (core::equalsIgnoringCase(
            extension, QLatin1StringView(row.extension.data(), static_cast<qsizetype>(row.extension.size())))) {
      return fromStatic(row.type);
    }
  }
  return fromStatic(kDefaultType);
}

}  // namespace orv::server
