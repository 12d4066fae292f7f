#pragma once

#include <QString>

#include <optional>
#include <string_view>

// Reads a file's elements one after the other as the parser meets them, without building a
// tree: the stores of many thousand rows read in a fraction of the time and memory a
// document takes. The same limits as a document load: no network, no external entities,
// no entities but XML's own five: a file with a document type is not accepted.
//
// A file in the plain form the program writes (elements with attributes, white space
// between them, XML's five entities, UTF-8) is read by a scanner of that form alone, some
// twenty times faster than libxml2; at the first thing outside it, the handler is told to
// start again and libxml2 reads the file from its beginning.
namespace orv::xml {

struct StreamAttribute {
  std::string_view name;
  std::string_view value;  // UTF-8, its entity and character references resolved
};

// The attributes of one start tag, as the parser hands them over: valid during the call.
class StreamAttributes {
 public:
  StreamAttributes(const StreamAttribute* attributes, int count) : attributes_(attributes), count_(count) {}

  // The value of the attribute of that name, or nothing when the tag has none.
  std::optional<std::string_view> value(std::string_view name) const;

 private:
  const StreamAttribute* attributes_;
  int count_;
};

// What the reader tells. depth is 0 for the document element.
class StreamHandler {
 public:
  virtual ~StreamHandler() = default;
  virtual void startElement(int depth, std::string_view name, const StreamAttributes& attributes) = 0;
  virtual void endElement(int depth, std::string_view name) = 0;
  // Everything told so far is void: the file is read again from its beginning.
  virtual void restart() = 0;
};

struct StreamResult {
  bool opened = false;      // the file exists and could be read
  bool wellFormed = false;  // read to its end without a fault
  qint64 size = 0;          // bytes of the file
  QString error;            // why not, for the log; empty when well-formed
};

// Reads the file through the handler. The handler sees every element up to the first
// fault, and nothing after it.
StreamResult streamElements(const QString& path, StreamHandler& handler);

}  // namespace orv::xml
