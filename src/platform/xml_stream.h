#pragma once

#include <QString>

#include <optional>
#include <string_view>

// Reads a file's elements one after the other as the parser meets them, without building a
// tree: the stores of many thousand rows read in a fraction of the time and memory a
// document takes. The same limits as a document load: no network, no external entities,
// no entities but XML's own five: a file with a document type is not accepted.
namespace orv::xml {

// The attributes of one start tag, as the parser hands them over: valid during the call.
class StreamAttributes {
 public:
  StreamAttributes(const unsigned char** attributes, int count) : attributes_(attributes), count_(count) {}

  // The value of the attribute of that name (UTF-8, its entity and character references
  // resolved), or nothing when the tag has none.
  std::optional<std::string_view> value(std::string_view name) const;

 private:
  const unsigned char** attributes_;  // libxml2's five pointers an attribute
  int count_;
};

// What the reader tells. depth is 0 for the document element.
class StreamHandler {
 public:
  virtual ~StreamHandler() = default;
  virtual void startElement(int depth, std::string_view name, const StreamAttributes& attributes) = 0;
  virtual void endElement(int depth, std::string_view name) = 0;
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
