#include "platform/xml_stream.h"

#include "platform/file_system.h"
#include "platform/xml_plain_scan.h"

#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cstring>
#include <memory>
#include <vector>

namespace orv::xml {
namespace {

// Entity references are resolved into the values (libxml2 otherwise hands "&" over as
// "&#38;"), but only XML's own five are known: nothing is read from elsewhere and no
// declared entity can multiply the text.
constexpr int kStreamOptions = XML_PARSE_NONET | XML_PARSE_NOENT | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

constexpr qint64 kChunkBytes = 256 * 1024;

struct Reader {
  StreamHandler* handler = nullptr;
  int depth = 0;
  bool refused = false;  // the document declares a type: it could declare entities
  std::vector<StreamAttribute> attributes;
};

void onStart(void* context, const xmlChar* localname, const xmlChar*, const xmlChar*, int, const xmlChar**,
             int attributeCount, int, const xmlChar** attributes) {
  auto* reader = static_cast<Reader*>(static_cast<xmlParserCtxt*>(context)->_private);
  // libxml2 gives five pointers an attribute: name, prefix, namespace, value and its end.
  reader->attributes.clear();
  for (int i = 0; i < attributeCount; ++i) {
    const xmlChar* const* attribute = attributes + 5 * i;
    if (attribute[1] != nullptr) {
      continue;  // a prefixed name is none of the names asked for
    }
    const auto* begin = reinterpret_cast<const char*>(attribute[3]);
    const auto* end = reinterpret_cast<const char*>(attribute[4]);
    reader->attributes.push_back(
        {reinterpret_cast<const char*>(attribute[0]), std::string_view(begin, static_cast<std::size_t>(end - begin))});
  }
  const StreamAttributes view(reader->attributes.data(), static_cast<int>(reader->attributes.size()));
  reader->handler->startElement(reader->depth, reinterpret_cast<const char*>(localname), view);
  ++reader->depth;
}

void onEnd(void* context, const xmlChar* localname, const xmlChar*, const xmlChar*) {
  auto* reader = static_cast<Reader*>(static_cast<xmlParserCtxt*>(context)->_private);
  --reader->depth;
  reader->handler->endElement(reader->depth, reinterpret_cast<const char*>(localname));
}

// The stores never write a document type; one that comes with a file could declare entities
// that multiply or replace its texts.
void onDocumentType(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
  auto* parser = static_cast<xmlParserCtxt*>(context);
  static_cast<Reader*>(parser->_private)->refused = true;
  xmlStopParser(parser);
}

xmlEntity* onEntity(void*, const xmlChar* name) {
  return xmlGetPredefinedEntity(name);
}

// Errors are read from the context at the end; nothing is printed.
void ignoreError(void*, xmlError*) {}

struct ContextDeleter {
  void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};

struct HandleCloser {
  int handle;
  ~HandleCloser() { platform::closeFile(handle); }
};

}  // namespace

std::optional<std::string_view> StreamAttributes::value(std::string_view name) const {
  for (int i = 0; i < count_; ++i) {
    if (attributes_[i].name == name) {
      return attributes_[i].value;
    }
  }
  return std::nullopt;
}

StreamResult streamElements(const QString& path, StreamHandler& handler) {
  StreamResult result;
  // Only a regular file: a pipe or a device put in its place would hold the start-up.
  const int handle = platform::openRegularFileForRead(path, result.size);
  if (handle == platform::kInvalidFileHandle) {
    result.error = QStringLiteral("not a readable regular file: ") + path;
    return result;
  }
  const HandleCloser closer{handle};
  result.opened = true;
  switch (scanPlainElements(handle, result.size, handler)) {
    case PlainScan::Complete:
      result.wellFormed = true;
      return result;
    case PlainScan::Cut:
      result.error = QStringLiteral("the document ends before its last element does");
      return result;
    case PlainScan::Outside:
      handler.restart();
      break;
  }

  xmlSAXHandler sax;
  std::memset(&sax, 0, sizeof sax);
  sax.initialized = XML_SAX2_MAGIC;
  sax.startElementNs = onStart;
  sax.endElementNs = onEnd;
  sax.getEntity = onEntity;
  sax.internalSubset = onDocumentType;
  sax.serror = ignoreError;

  Reader reader{&handler, 0, false, {}};
  std::vector<char> buffer(static_cast<std::size_t>(kChunkBytes));
  const std::unique_ptr<xmlParserCtxt, ContextDeleter> context(
      xmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr));
  if (!context) {
    result.error = QStringLiteral("no parser");
    return result;
  }
  context->_private = &reader;
  xmlCtxtUseOptions(context.get(), kStreamOptions);

  qint64 offset = 0;
  bool readFault = false;
  const auto going = [&] { return context->wellFormed && !reader.refused; };
  while (offset < result.size && going()) {
    const qint64 read = platform::readFileAt(handle, offset, buffer.data(), kChunkBytes);
    if (read <= 0) {
      readFault = true;
      break;
    }
    offset += read;
    xmlParseChunk(context.get(), buffer.data(), static_cast<int>(read), 0);
  }
  if (going() && !readFault) {
    xmlParseChunk(context.get(), nullptr, 0, 1);
  }
  if (reader.refused) {
    result.error = QStringLiteral("a document type is not accepted");
  } else if (readFault) {
    result.error = QStringLiteral("the file could not be read whole: ") + path;
  } else if (!context->wellFormed) {
    const xmlError* error = xmlCtxtGetLastError(context.get());
    result.error = error != nullptr && error->message != nullptr ? QString::fromUtf8(error->message).trimmed()
                                                                 : QStringLiteral("not well-formed");
    if (error != nullptr) {
      result.error += QStringLiteral(" (line %1)").arg(error->line);
    }
  } else {
    result.wellFormed = true;
  }
  return result;
}

}  // namespace orv::xml
